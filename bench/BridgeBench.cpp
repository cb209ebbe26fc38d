// The SQL Server bridge's translation against running what it translates: for each statement
// of a host's everyday kinds, the time to split and translate it (schema look-ups included)
// and the time to run the translated statements on a 1,000-row table with the SQLite C API.
// Goal: translation under 5 % of running, for every statement.
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "BenchTable.h"
#include "platform/ado/sqlite/SqlServerBridge.h"
#include "platform/ado/sqlite/SqlServerCatalog.h"
#include "platform/ado/sqlite/SqlServerCollation.h"
#include "platform/ado/sqlite/SqlServerFunctions.h"
#include "platform/win/TextEncoding.h"

namespace {

using bench::Clock;
using bench::Die;
using bench::Seconds;

// The database as the provider shows it to the bridge: its catalogue name and its tables.
class CBenchSchema : public CSqlServerSchema {
public:
    explicit CBenchSchema(sqlite3* pDb) : m_pDb(pDb) {
        sqlite3_prepare_v2(m_pDb,
                           "SELECT name, sql FROM main.sqlite_schema WHERE type IN "
                           "('table','view') AND name = ?1 COLLATE NOCASE",
                           -1, &m_pTableSql, nullptr);
    }
    ~CBenchSchema() override { sqlite3_finalize(m_pTableSql); }
    CSqlDatabaseRef ResolveDatabase(const std::wstring& strDatabase) override {
        CSqlDatabaseRef ref;
        if (wcscasecmp(strDatabase.c_str(), L"Shop") == 0)
            ref.nKind = CSqlDatabaseRef::kMain;
        return ref;
    }
    std::wstring CatalogName() override { return L"Shop"; }
    bool AttachedCatalog(const std::wstring&, std::wstring*) override { return false; }
    bool TableSqlUtf8(const std::wstring& strSchema, const std::wstring& strTable,
                      std::string* pstrName, std::string* pstrSql) override {
        if (strSchema != L"main")
            return false;
        std::string name = WinWideToUtf8(strTable);
        sqlite3_reset(m_pTableSql);
        sqlite3_bind_text(m_pTableSql, 1, name.c_str(), -1, SQLITE_TRANSIENT);
        if (sqlite3_step(m_pTableSql) != SQLITE_ROW)
            return false;
        pstrName->assign(reinterpret_cast<const char*>(sqlite3_column_text(m_pTableSql, 0)));
        pstrSql->assign(reinterpret_cast<const char*>(sqlite3_column_text(m_pTableSql, 1)));
        return true;
    }
    bool ColumnType(const std::wstring& strSchema, const std::wstring& strTable,
                    const std::wstring& strColumn, std::string* pstrDeclared) override {
        return SqlServerColumnDeclaredType(m_pDb, strSchema, strTable, strColumn, pstrDeclared);
    }
    bool ResultColumns(const std::wstring&, std::vector<CSqlResultColumn>*) override {
        return false; // no query is prepared here
    }
    std::vector<std::wstring> TableDependents(const std::wstring&, const std::wstring&) override {
        return {};
    }
    bool IdentityInsert(const std::wstring&, const std::wstring&) override { return false; }

private:
    sqlite3* m_pDb;
    sqlite3_stmt* m_pTableSql = nullptr;
};

// Every SQLite statement a text becomes.
std::vector<std::string> Translate(const CSqlServerBridge& bridge, const std::wstring& strSql) {
    CSqlBatch batch;
    CSqlBridgeError e;
    if (!bridge.Split(strSql, &batch, &e))
        Die("refused:", WinWideToUtf8(e.strText).c_str());
    std::vector<std::string> out;
    for (const CSqlStep& step : batch.steps) {
        CSqlTranslation t;
        if (!bridge.TranslateStep(batch, step, &t, &e))
            Die("refused:", WinWideToUtf8(e.strText).c_str());
        for (const std::wstring& s : t.statements)
            out.push_back(WinWideToUtf8(s));
    }
    return out;
}

void Run(sqlite3* pDb, const std::vector<std::string>& statements) {
    for (const std::string& s : statements) {
        sqlite3_stmt* pStmt = nullptr;
        if (sqlite3_prepare_v2(pDb, s.c_str(), -1, &pStmt, nullptr) != SQLITE_OK)
            Die("cannot prepare:", sqlite3_errmsg(pDb));
        int rc;
        while ((rc = sqlite3_step(pStmt)) == SQLITE_ROW) {
        }
        sqlite3_finalize(pStmt);
        if (rc != SQLITE_DONE)
            Die("cannot run:", sqlite3_errmsg(pDb));
    }
}

const wchar_t kCreate[] =
    L"CREATE TABLE [dbo].[Goods](\n\t[ID] [int] IDENTITY(1,1) NOT NULL,\n\t[Name] [nvarchar](50) "
    L"NOT NULL,\n\t[Price] [decimal](10, 2) NULL,\n\t[Made] [datetime] NULL DEFAULT (getdate()),"
    L"\n\t[Code] [varchar](20) NULL,\n CONSTRAINT [PK_Goods] PRIMARY KEY CLUSTERED ([ID] ASC) "
    L"WITH (PAD_INDEX = OFF) ON [PRIMARY]) ON [PRIMARY]";

// Statements of the kinds a host sends every day.
const wchar_t* const kStatements[] = {
    L"SELECT TOP 100 ID, Name, Price FROM dbo.Goods WITH (NOLOCK) WHERE Name LIKE N'a%' ORDER BY "
    L"Price DESC",
    L"SELECT COUNT(*), SUM(Price) FROM Shop.dbo.Goods WHERE Code = 'k-000123' OR Price > 500",
    L"SELECT Name + ' (' + Code + ')', ISNULL(Price, 0) / 2 FROM [Shop].[dbo].[Goods] WHERE "
    L"LEN(Name) > 3",
    L"UPDATE dbo.Goods SET Price = Price * 1.01 WHERE Code LIKE 'K-0%'",
    L"IF EXISTS (SELECT * FROM sysobjects WHERE name = 'Goods' AND xtype = 'U') SELECT name, "
    L"xtype, length FROM Shop.dbo.syscolumns WHERE id = OBJECT_ID('Goods') ORDER BY colid",
    L"INSERT INTO Goods (Name, Price, Code) VALUES (N'Teapot', 12.5, 'K-1'); DELETE FROM Goods "
    L"WHERE ID > 1000",
};

} // namespace

int main(int argc, char** argv) {
    bench::g_pszProgram = "zqk_bench_bridge";
    int nRounds = 2000;
    bool bTranslateOnly = false; // for a profiler: translations alone
    int nOnlyStatement = 0;      // for a profiler: the statement of that number (from 1) alone
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--rounds") == 0)
            nRounds = std::atoi(argv[i + 1]);
        if (std::strcmp(argv[i], "--only") == 0)
            bTranslateOnly = std::strcmp(argv[i + 1], "translate") == 0;
        if (std::strcmp(argv[i], "--statement") == 0)
            nOnlyStatement = std::atoi(argv[i + 1]);
    }
    bench::CTemporaryFile file;
    file.strPath = "/tmp/zqk_bench_bridge_" + std::to_string(getpid()) + ".sqlite";
    sqlite3* pDb = nullptr;
    // Opened as the provider opens its connections: one thread at a time, no mutexes.
    if (sqlite3_open_v2(file.strPath.c_str(), &pDb,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK)
        Die("cannot create", file.strPath.c_str());
    // The connection as the provider makes it.
    static CSqlSession session;
    SqlRegisterCollations(pDb);
    if (SqlRegisterFunctions(pDb, &session) != SQLITE_OK ||
        SqlServerCreateCatalog(pDb, L"Shop") != SQLITE_OK)
        Die("cannot set the connection up:", sqlite3_errmsg(pDb));
    CBenchSchema schema(pDb);
    CSqlServerBridge bridge(schema);
    Run(pDb, Translate(bridge, kCreate));
    bench::Exec(pDb, "BEGIN");
    bench::CRandom rnd;
    for (int i = 1; i <= 1000; ++i) {
        wchar_t sz[200];
        swprintf(sz, 200,
                 L"INSERT INTO Goods (Name, Price, Code) VALUES (N'%ls %u', %u.%02u, "
                 L"'K-%06u')",
                 i % 3 ? L"Apple" : L"Pear", rnd.Below(1000), rnd.Below(1000), rnd.Below(100),
                 rnd.Below(1000000));
        Run(pDb, Translate(bridge, sz));
    }
    bench::Exec(pDb, "COMMIT");

    std::printf("%-60s %12s %12s %8s\n", "statement", "translate us", "run us", "ratio");
    bool bMet = true;
    int nStatement = 0;
    for (const wchar_t* pszSql : kStatements) {
        if (++nStatement != nOnlyStatement && nOnlyStatement != 0)
            continue;
        std::vector<std::string> translated = Translate(bridge, pszSql);
        Clock::time_point t0 = Clock::now();
        for (int r = 0; r < nRounds; ++r)
            Translate(bridge, pszSql);
        double dTranslate = Seconds(t0) / nRounds;
        int nRuns = bTranslateOnly ? 1 : nRounds / 10 + 1;
        t0 = Clock::now();
        for (int r = 0; r < nRuns; ++r)
            Run(pDb, translated);
        double dRun = Seconds(t0) / nRuns;
        double dRatio = dTranslate / dRun;
        bMet = bMet && dRatio < 0.05;
        std::string head = bench::Narrow(pszSql).substr(0, 60);
        std::printf("%-60s %12.2f %12.2f %7.2f%%\n", head.c_str(), dTranslate * 1e6, dRun * 1e6,
                    dRatio * 100);
    }
    std::printf("goal (every ratio under 5%%): %s\n", bMet ? "met" : "NOT met");
    sqlite3_close(pDb);
    return bMet ? 0 : 1;
}
