// The loadable extension gives a plain SQLite connection the collations the provider's tables
// declare and the functions its views use, so other tools compare, sort and compute as the
// library does.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "SqlServerScriptSupport.h"

namespace {

std::vector<std::string> Column(sqlite3* pDb, const char* pszSql, int* pRc) {
    std::vector<std::string> out;
    sqlite3_stmt* pStmt = nullptr;
    *pRc = sqlite3_prepare_v2(pDb, pszSql, -1, &pStmt, nullptr);
    if (*pRc != SQLITE_OK)
        return out;
    while ((*pRc = sqlite3_step(pStmt)) == SQLITE_ROW)
        out.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(pStmt, 0)));
    if (*pRc == SQLITE_DONE)
        *pRc = SQLITE_OK;
    sqlite3_finalize(pStmt);
    return out;
}

} // namespace

TEST(BridgeExtension, PlainSqliteSortsComparesAndComputesAsTheProvider) {
    char szDir[] = "/tmp/zqk-collext-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(szDir));
    const std::string strFile = std::string(szDir) + "/shop.db";
    CoInitialize(nullptr);
    {
        _ConnectionPtr pConn;
        pConn.CreateInstance(L"ADODB.Connection");
        pConn->Open(_bstr_t(("Provider=SQLite; Data Source=" + strFile).c_str()), L"", L"", -1);
        RunScript(pConn, {{L"CREATE TABLE Staff (Login varchar(10) PRIMARY KEY, Name nvarchar(10) "
                           L"COLLATE Chinese_PRC_CI_AS, Joined datetime)"},
                          {L"INSERT INTO Staff VALUES ('bob', N'张伟', '2024-01-05'); INSERT INTO "
                           L"Staff VALUES ('Ann', N'李娜', '2024-01-05 08:00')"},
                          {L"CREATE VIEW Labels AS SELECT Login + ': ' + Name AS Label, "
                           L"CAST(Joined AS date) AS Day FROM Staff"}});
    }
    CoUninitialize();

    sqlite3* pDb = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open(strFile.c_str(), &pDb));
    int rc = SQLITE_OK;
    // Without the extension a plain connection opens the file and reads it, but cannot compare
    // nor read the view.
    EXPECT_EQ(2u, Column(pDb, "SELECT Login FROM Staff", &rc).size());
    Column(pDb, "SELECT Login FROM Staff ORDER BY Login", &rc);
    EXPECT_EQ(SQLITE_ERROR, rc);
    EXPECT_NE(std::string::npos, std::string(sqlite3_errmsg(pDb)).find("no such collation"));
    Column(pDb, "SELECT Label FROM Labels", &rc);
    EXPECT_EQ(SQLITE_ERROR, rc);

    ASSERT_EQ(SQLITE_OK, sqlite3_enable_load_extension(pDb, 1));
    char* pszError = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_load_extension(pDb, ZQK_BRIDGE_EXTENSION, nullptr, &pszError))
        << (pszError ? pszError : "");
    EXPECT_EQ((std::vector<std::string>{"Ann", "bob"}),
              Column(pDb, "SELECT Login FROM Staff ORDER BY Login", &rc));
    EXPECT_EQ((std::vector<std::string>{"bob"}),
              Column(pDb, "SELECT Login FROM Staff WHERE Login = 'BOB  '", &rc));
    EXPECT_EQ((std::vector<std::string>{"李娜", "张伟"}),
              Column(pDb, "SELECT Name FROM Staff ORDER BY Name", &rc));
    // Dates compare as times: midnight comes before eight o'clock.
    EXPECT_EQ((std::vector<std::string>{"bob", "Ann"}),
              Column(pDb, "SELECT Login FROM Staff ORDER BY Joined", &rc));
    // The view's translation calls the bridge's functions; LIKE is SQL Server's, with sets.
    EXPECT_EQ((std::vector<std::string>{"Ann: 李娜", "bob: 张伟"}),
              Column(pDb, "SELECT Label FROM Labels ORDER BY Label", &rc));
    EXPECT_EQ((std::vector<std::string>{"2024-01-05"}),
              Column(pDb, "SELECT DISTINCT Day FROM Labels", &rc));
    EXPECT_EQ((std::vector<std::string>{"Ann"}),
              Column(pDb, "SELECT Login FROM Staff WHERE Login LIKE '[a]%'", &rc));
    // The key's index still finds rows written by the provider; duplicates stay refused.
    EXPECT_EQ(SQLITE_CONSTRAINT, sqlite3_exec(pDb, "INSERT INTO Staff VALUES ('ANN', 'x', NULL)",
                                              nullptr, nullptr, nullptr));
    EXPECT_EQ(SQLITE_OK, rc);
    sqlite3_close(pDb);
    std::system(("rm -rf " + std::string(szDir)).c_str());
}
