#include "platform/ado/sqlite/SqliteVariables.h"

#include <cwctype>

#include "platform/win/TextEncoding.h"

namespace {

std::wstring Lower(std::wstring s) {
    for (wchar_t& c : s)
        c = static_cast<wchar_t>(towlower(static_cast<wint_t>(c)));
    return s;
}

} // namespace

std::wstring CSqlBatchVariables::Undeclared(const std::wstring& strName) {
    return L"Must declare the scalar variable \"" + strName + L"\".";
}

void CSqlBatchVariables::Declare(const std::wstring& strName, const std::wstring& strType) {
    CVariable v;
    v.type = SqlServerParseType(strType);
    m_variables[Lower(strName)] = v;
}

bool CSqlBatchVariables::Bind(sqlite3_stmt* pStmt, std::wstring* pstrError) const {
    for (int i = 1; i <= sqlite3_bind_parameter_count(pStmt); ++i) {
        const char* pszName = sqlite3_bind_parameter_name(pStmt, i);
        if (pszName == nullptr || pszName[0] != '@')
            continue;
        std::wstring name = WinUtf8ToWide(pszName);
        auto it = m_variables.find(Lower(name));
        if (it == m_variables.end()) {
            *pstrError = Undeclared(name);
            return false;
        }
        it->second.value.Bind(pStmt, i);
    }
    return true;
}

bool CSqlBatchVariables::Assign(const std::wstring& strName, sqlite3_stmt* pStmt, int nColumn,
                                std::wstring* pstrError) {
    auto it = m_variables.find(Lower(strName));
    if (it == m_variables.end()) {
        *pstrError = Undeclared(strName);
        return false;
    }
    CSqlValue v = CSqlValue::OfColumn(pStmt, nColumn);
    if (!SqlConvert(it->second.type, 0, &v, pstrError))
        return false;
    it->second.value = v;
    return true;
}
