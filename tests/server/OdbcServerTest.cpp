// The server facade on a database server: the five-argument form against a configured data
// source of the private PostgreSQL cluster, its readers, statements and transactions, and what
// the host sees when the data source, the password or the server is wrong.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <string>

#include "platform/ado/AdoTestSupport.h"
#include "support/OdbcBackends.h"
#include "support/RecordingApp.h"
#include "zqk_vododuvod.h"

namespace {

const int kOpts = adConnectUnspecified;

std::wstring Text(CZORADORXServer& server, const std::wstring& strSql) {
    CString str;
    EXPECT_EQ(1, server.GetSelData(strSql.c_str(), str)) << strSql;
    return static_cast<LPCWSTR>(str);
}

// Each test's own table in the data source's shared database.
std::wstring TableName(const char* pszTest) {
    return L"srv_" + Widen(pszTest) + L"_" + std::to_wstring(getpid());
}

} // namespace

TEST(OdbcServer, FiveArgumentFormServesReadersStatementsAndTransactions) {
    const std::wstring strPassword = PostgresPassword();
    const std::wstring t = TableName("serve");
    RecordingApp app;
    CZORADORXServer server;
    ASSERT_EQ(1,
              server.InitADOServer(L"zqk_pg", L"zqk", strPassword.c_str(), adModeUnknown, kOpts));
    CString strConnection;
    EXPECT_EQ(1, server.GetConnection(strConnection));
    EXPECT_EQ(L"DSN=zqk_pg; UID=zqk; PWD=" + strPassword, static_cast<LPCWSTR>(strConnection));

    ASSERT_EQ(1, server.ExecuteSQL((L"CREATE TABLE " + t + L"(id int, name varchar(20))").c_str()));
    ASSERT_EQ(1,
              server.ExecuteSQL((L"INSERT INTO " + t + L" VALUES (1, ' a '), (2, 'b')").c_str()));
    CStringArray arr;
    EXPECT_EQ(2, server.GetSelData((L"SELECT id, name FROM " + t + L" ORDER BY id").c_str(), arr));
    ASSERT_EQ(4, arr.GetSize());
    EXPECT_EQ(CString(L"1"), arr[0]);
    EXPECT_EQ(CString(L"a"), arr[1]); // readers trim
    EXPECT_EQ(CString(L"b"), arr[3]);
    CZORValueTable table;
    EXPECT_EQ(2, server.GetSelData((L"SELECT name, id FROM " + t).c_str(), table, TRUE));

    server.BeginTrans();
    ASSERT_EQ(1, server.ExecuteSQL((L"INSERT INTO " + t + L" VALUES (3, 'c')").c_str()));
    EXPECT_EQ(L"3", Text(server, L"SELECT count(*) FROM " + t));
    server.RollbackTrans();
    EXPECT_EQ(L"2", Text(server, L"SELECT count(*) FROM " + t));
    server.BeginTrans();
    ASSERT_EQ(1, server.ExecuteSQL((L"INSERT INTO " + t + L" VALUES (4, 'd')").c_str()));
    server.CommitTrans();
    EXPECT_EQ(L"3", Text(server, L"SELECT count(*) FROM " + t));

    CStringArray names;
    server.GetTableNameArray(names, L"TABLE");
    bool bListed = false;
    for (INT_PTR i = 0; i < names.GetSize(); ++i)
        bListed |= std::wstring(static_cast<LPCWSTR>(names[i])) == t;
    EXPECT_TRUE(bListed);
    EXPECT_TRUE(app.m_boxes.empty());

    // A statement the server rejects: one report, naming the provider, without the password.
    EXPECT_EQ(0, server.ExecuteSQL(L"SELEC 1"));
    ASSERT_EQ(1u, app.m_boxes.size());
    EXPECT_NE(std::wstring::npos, app.m_boxes[0].strText.find(L"Source = ODBC"));
    EXPECT_NE(std::wstring::npos, app.m_boxes[0].strText.find(L"SELEC"));
    EXPECT_EQ(std::wstring::npos, app.m_boxes[0].strText.find(strPassword));
    EXPECT_EQ(1, server.ExecuteSQL((L"DROP TABLE " + t).c_str()));
}

TEST(OdbcServer, WrongDataSourcesFailWithinTheTimeoutAndKeepThePasswordOut) {
    const std::wstring strPassword = PostgresPassword();
    const struct {
        const wchar_t* pszDsn;
        const wchar_t* pszPassword;
        const wchar_t* pszText; // in the first box
    } cases[] = {
        {L"zqk_nosuch", L"secret-nosuch-1", L"Data source name not found"},
        {L"zqk_pg", L"wrong-pass-77", L"password authentication failed"},
        {L"zqk_pg_stopped", L"secret-stopped-3", L"Source = ODBC"},
    };
    for (const auto& c : cases) {
        RecordingApp app;
        CZORADORXServer server;
        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(0, server.InitADOServer(c.pszDsn, L"zqk", c.pszPassword, adModeUnknown, kOpts));
        EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
                  20.0);
        EXPECT_EQ(0, server.IsDatabaseOpen());
        ASSERT_EQ(2u, app.m_boxes.size()) << c.pszDsn;
        EXPECT_NE(std::wstring::npos, app.m_boxes[0].strText.find(c.pszText))
            << app.m_boxes[0].strText;
        for (const RecordingApp::Box& box : app.m_boxes)
            EXPECT_EQ(std::wstring::npos, box.strText.find(c.pszPassword)) << box.strText;
        // The same server object opens the right data source afterwards.
        EXPECT_EQ(
            1, server.InitADOServer(L"zqk_pg", L"zqk", strPassword.c_str(), adModeUnknown, kOpts));
        EXPECT_EQ(L"1", Text(server, L"SELECT 1"));
    }
}

TEST(OdbcServer, ASessionTheServerEndsFailsTheNextStatementAndCanBeReinitialised) {
    const std::wstring strPassword = PostgresPassword();
    RecordingApp app;
    CZORADORXServer server;
    ASSERT_EQ(1,
              server.InitADOServer(L"zqk_pg", L"zqk", strPassword.c_str(), adModeUnknown, kOpts));
    const std::wstring strPid = Text(server, L"SELECT pg_backend_pid()");
    BackendDatabase::Admin(L"SELECT pg_terminate_backend(" + strPid + L")");
    EXPECT_EQ(0, server.ExecuteSQL(L"SELECT 1"));
    ASSERT_EQ(1u, app.m_boxes.size());
    EXPECT_NE(std::wstring::npos, app.m_boxes[0].strText.find(L"Source = ODBC"));
    app.m_boxes.clear();
    ASSERT_EQ(1,
              server.InitADOServer(L"zqk_pg", L"zqk", strPassword.c_str(), adModeUnknown, kOpts));
    EXPECT_EQ(L"2", Text(server, L"SELECT 2"));
    EXPECT_NE(strPid, Text(server, L"SELECT pg_backend_pid()"));
}
