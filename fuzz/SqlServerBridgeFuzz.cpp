// Fuzz target: SQL text from outside through the SQL Server bridge, and declared column types
// through the catalogue's type reader. Any input must end in a translation or a refusal, never
// a crash. A translation is already SQLite's text, so translating it again must change nothing;
// a refusal for an unknown database must say which.
#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/ado/sqlite/SqlServerBridge.h"
#include "platform/ado/sqlite/SqlServerCatalog.h"
#include "platform/win/TextEncoding.h"

namespace {

// "db" is the connection's database, "arch" an attached one; nothing else exists.
CSqlDatabaseRef Resolve(const std::wstring& strDatabase) {
    CSqlDatabaseRef ref;
    if (wcscasecmp(strDatabase.c_str(), L"db") == 0) {
        ref.nKind = CSqlDatabaseRef::kMain;
    } else if (wcscasecmp(strDatabase.c_str(), L"arch") == 0) {
        ref.nKind = CSqlDatabaseRef::kAttached;
        ref.strSchema = L"arch";
    }
    return ref;
}

bool Catalog(const std::wstring& strSchema, std::wstring* pPrefix) {
    *pPrefix = strSchema + L"$";
    return true;
}

void Check(bool bHolds) {
    if (!bHolds)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);

    // SQLite hands the type reader declared types as UTF-8 without NULs.
    CSqlServerType type = SqlServerTypeOf(bytes.substr(0, bytes.find('\0')).c_str());
    Check(type.nXtype > 0 && type.nXtype < 256 && type.nLength >= -1);

    static const CSqlServerBridge bridge(&Resolve, &Catalog);
    std::wstring strOut, strError;
    bool bUnknown = false;
    if (!bridge.Translate(WinUtf8ToWide(bytes), &strOut, &strError, &bUnknown)) {
        Check(!strError.empty());
        Check(!bUnknown || strError.compare(0, 10, L"Database '") == 0);
        return 0;
    }
    // Where TOP was dropped, its neighbours meet: in broken input ("SELECT TOP 1 ..x",
    // "FROM dbo." before the LIMIT) they may then read differently.
    std::string lower(bytes);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    if (lower.find("top") != std::string::npos)
        return 0;
    std::wstring strAgain, strError2;
    bool bUnknown2 = false;
    Check(bridge.Translate(strOut, &strAgain, &strError2, &bUnknown2));
    Check(strAgain == strOut);
    return 0;
}
