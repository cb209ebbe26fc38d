#include <cwctype>

#include "platform/ado/AdoProvider.h"
#include "platform/ado/odbc/OdbcProvider.h"
#include "platform/ado/sqlite/SqliteProvider.h"

std::unique_ptr<CAdoProvider> AdoCreateProvider(const std::wstring& strProvider) {
    std::wstring name;
    for (wchar_t c : strProvider)
        name += static_cast<wchar_t>(towlower(static_cast<wint_t>(c)));
    if (name == L"sqlite")
        return std::make_unique<CSqliteProvider>();
    if (name == L"odbc")
        return std::make_unique<COdbcProvider>();
    return nullptr;
}
