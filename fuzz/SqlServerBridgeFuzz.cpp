// Fuzz target: SQL text from outside through the SQL Server bridge (splitting, statement and
// table translation), declared column types through the type reader, texts through the
// collations and LIKE, stored table definitions through the constraint reader, and short texts
// run as batches on an embedded database with keys, checks and foreign keys. Any input must end
// in a translation or a refusal, never a crash; a refusal for an unknown database must say
// which; a collation must order consistently; every constraint has a name; a batch that fails
// says why and leaves its connection usable.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/ado/sqlite/SqlServerBridge.h"
#include "platform/ado/sqlite/SqlServerCollation.h"
#include "platform/ado/sqlite/SqlServerConstraints.h"
#include "platform/ado/sqlite/SqlServerTypes.h"
#include "platform/ado/sqlite/SqliteProvider.h"
#include "platform/win/TextEncoding.h"

namespace {

// "db" (also spelled "shop-2024") is the connection's database, "arch" an attached one;
// table T has an identity, table P decimals, money, char and computed columns.
class CFuzzSchema : public CSqlServerSchema {
public:
    CSqlDatabaseRef ResolveDatabase(const std::wstring& strDatabase) override {
        CSqlDatabaseRef ref;
        if (wcscasecmp(strDatabase.c_str(), L"db") == 0) {
            ref.nKind = CSqlDatabaseRef::kMain;
        } else if (wcscasecmp(strDatabase.c_str(), L"arch") == 0 ||
                   wcscasecmp(strDatabase.c_str(), L"tempdb") == 0) {
            ref.nKind = CSqlDatabaseRef::kAttached;
            ref.strSchema = wcscasecmp(strDatabase.c_str(), L"arch") == 0 ? L"arch" : L"temp";
        }
        return ref;
    }
    std::wstring CatalogName() override { return L"db"; }
    bool AttachedCatalog(const std::wstring& strSchema, std::wstring* pPrefix) override {
        *pPrefix = strSchema + L"$";
        return true;
    }
    // The fake's tables, as the UTF-8 SQLite keeps.
    bool TableSqlUtf8(const std::wstring& strSchema, const std::wstring& strTable,
                      std::string* pstrName, std::string* pstrSql) override {
        if (strSchema != L"main")
            return false;
        if (wcscasecmp(strTable.c_str(), L"T") == 0) {
            *pstrName = "T";
            *pstrSql = "CREATE TABLE T ([ID] INTEGER NOT NULL PRIMARY KEY AUTOINCREMENT CONSTRAINT "
                       "\"zqk_identity:int:5:1\" CHECK (1), [Name] nvarchar(20) COLLATE "
                       "SQL_Latin1_General_CP1_CI_AS, [Qty] int)";
            return true;
        }
        // P: exact numbers, fixed-length text and computed columns, which arithmetic, DATALENGTH
        // and padding read.
        if (wcscasecmp(strTable.c_str(), L"P") == 0) {
            *pstrName = "P";
            *pstrSql = "CREATE TABLE P ([Price] decimal(10,2), [Fee] money, [Code] char(4) "
                       "COLLATE SQL_Latin1_General_CP1_CI_AS DEFAULT ('a   '), [Qty] int, "
                       "[Total] AS ([Price] * [Qty]), [Tag] AS (zqk_add([Code], [Qty])))";
            return true;
        }
        return false;
    }
    // The fake holds no schema in memory: the bridge reads the definitions instead.
    bool ColumnType(const std::wstring&, const std::wstring&, const std::wstring&,
                    std::string*) override {
        return false;
    }
    bool ResultColumns(const std::wstring&, std::vector<CSqlResultColumn>*) override {
        return false; // no query is prepared here
    }
    std::vector<std::wstring> TableDependents(const std::wstring&, const std::wstring&) override {
        return {};
    }
    bool IdentityInsert(const std::wstring&, const std::wstring&) override { return false; }
};

void Check(bool bHolds) {
    if (!bHolds)
        std::abort();
}

// Runs a text as one batch on an embedded database inside a transaction that is then undone,
// so that each input meets the same tables.
void RunBatch(const std::wstring& strText) {
    static CSqliteProvider* pDb = [] {
        auto* p = new CSqliteProvider;
        CAdoError e;
        std::unique_ptr<CAdoCursor> cursor;
        LONG n = 0;
        Check(SUCCEEDED(p->Open({{L"data source", L":memory:"}, {L"initial catalog", L"db"}},
                                adModeUnknown, &e)));
        Check(SUCCEEDED(p->Execute(
            L"CREATE TABLE P (ID int PRIMARY KEY, Name varchar(5) UNIQUE)\n"
            L"CREATE TABLE C (ID int IDENTITY PRIMARY KEY, P int CONSTRAINT FK_C REFERENCES P, "
            L"Q int CHECK (Q > 0), CONSTRAINT UQ_C UNIQUE (P, Q))\n"
            L"CREATE UNIQUE INDEX IX_P ON P (Name, ID)\nINSERT INTO P VALUES (1, 'a')",
            &cursor, &n, &e)));
        return p;
    }();
    CAdoError e;
    std::unique_ptr<CAdoCursor> cursor;
    LONG n = 0;
    bool bOwn = SUCCEEDED(pDb->BeginTrans(&e));
    if (FAILED(pDb->Execute(strText, &cursor, &n, &e)))
        Check(!e.strDescription.empty());
    cursor.reset();
    if (bOwn)
        pDb->RollbackTrans(&e); // fails when the batch ended the transaction itself
    Check(SUCCEEDED(pDb->Execute(L"SET XACT_ABORT OFF", &cursor, &n, &e)));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);

    // SQLite hands the type reader declared types as UTF-8 without NULs.
    CSqlDeclaredType type = SqlServerParseType(bytes.substr(0, bytes.find('\0')).c_str());
    Check(type.pRow != nullptr && type.Xtype() > 0 && type.Xtype() < 256 &&
          type.StorageLength() >= -1);

    // Two texts from the input, split at its first newline.
    size_t nSplit = bytes.find('\n');
    std::string a = bytes.substr(0, nSplit),
                b = nSplit == std::string::npos ? "" : bytes.substr(nSplit + 1);
    const unsigned char* pa = reinterpret_cast<const unsigned char*>(a.data());
    const unsigned char* pb = reinterpret_cast<const unsigned char*>(b.data());
    int na = static_cast<int>(a.size()), nb = static_cast<int>(b.size());
    for (const wchar_t* pszName :
         {L"Latin1_General_CI_AS", L"Chinese_PRC_CS_AI", L"Latin1_General_BIN2"}) {
        CSqlCollation c;
        Check(SqlParseCollation(pszName, &c));
        int ab = SqlCollationCompare(c, pa, na, pb, nb),
            ba = SqlCollationCompare(c, pb, nb, pa, na);
        Check((ab < 0 && ba > 0) || (ab > 0 && ba < 0) || (ab == 0 && ba == 0));
        Check(SqlCollationCompare(c, pa, na, pa, na) == 0);
    }
    if (b.size() < 64) // a pattern of many %s takes long by design
        SqlLikeMatch(pa, na, pb, nb, '\\');

    // A stored definition may come from any database file.
    for (const CSqlConstraint& c : SqlTableConstraints(L"T", WinUtf8ToWide(bytes)))
        Check(!c.strName.empty());
    if (size < 2048)
        RunBatch(WinUtf8ToWide(bytes));

    static CFuzzSchema schema;
    static const CSqlServerBridge bridge(schema);
    std::wstring strOut;
    CSqlBridgeError error;
    if (!bridge.Translate(WinUtf8ToWide(bytes), &strOut, &error)) {
        Check(!error.strText.empty());
        Check(!error.bUnknownDatabase || error.strText.compare(0, 10, L"Database '") == 0);
    }
    return 0;
}
