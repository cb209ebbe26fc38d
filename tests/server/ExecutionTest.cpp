// Running statements and transactions on the server's connection: what reaches the database,
// which failures are shown and which reach the host as _com_error.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/com/ComObject.h"
#include "support/RecordingApp.h"
#include "support/TempDir.h"
#include "zqk_vododuvod.h"

namespace {

const wchar_t kMemory[] = L"Provider=SQLite; Data Source=:memory:; Initial Catalog=db";

// Records every command text handed to the data-access objects while it lives.
class TraceRecorder {
public:
    TraceRecorder()
        : m_prev(AdoSetCommandTrace(
              [this](LPCWSTR psz) { m_texts.emplace_back(psz ? psz : L"<null>"); })) {}
    ~TraceRecorder() { AdoSetCommandTrace(m_prev); }
    std::vector<std::wstring> m_texts;

private:
    std::function<void(LPCWSTR)> m_prev;
};

void ExpectBox(const RecordingApp::Box& box, const std::wstring& strText) {
    EXPECT_EQ(strText, box.strText);
    EXPECT_EQ(0u, box.nType);
    EXPECT_EQ(0u, box.nIDHelp);
}

std::wstring Report(const wchar_t* pszCode, HRESULT hr, const wchar_t* pszDescription) {
    return std::wstring(L"Error:\n\tCode = ") + pszCode + L"\n\tCode meaning = " +
           _com_error(hr).ErrorMessage() + L"\n\tSource = SQLite\n\tDescription = " +
           pszDescription + L"\n";
}

// The code of the _com_error that fn raises, S_OK when it returns.
HRESULT Raised(const std::function<void()>& fn, std::wstring* pstrDescription = nullptr) {
    try {
        fn();
    } catch (_com_error& e) {
        if (pstrDescription)
            *pstrDescription = static_cast<const wchar_t*>(e.Description());
        return e.Error();
    }
    return S_OK;
}

CString FirstCell(CZORADORXServer& server, const wchar_t* lpszSQL) {
    CStringArray arr;
    server.GetSelData(lpszSQL, arr);
    return arr.GetSize() > 0 ? arr[0] : CString(L"<no row>");
}

// Hands out a connection of the test's choosing in place of its own.
class RedirectedServer : public CZORADORXServer {
public:
    IDispatch* GetConnectionPtr() override {
        if (m_pTarget)
            m_pTarget->AddRef();
        return m_pTarget;
    }
    IDispatch* m_pTarget = nullptr;
};

} // namespace

TEST(Execution, WithoutAConnectionNothingReachesTheDatabase) {
    RecordingApp app;
    TraceRecorder trace;
    CZORADORXServer server;
    EXPECT_EQ(0, server.ExecuteSQL(L"CREATE TABLE t(a int)"));
    EXPECT_EQ(0, server.ExecuteSQL(nullptr));
    ASSERT_EQ(2u, app.m_boxes.size());
    ExpectBox(app.m_boxes[0], L"数据库没有正常连接...");
    ExpectBox(app.m_boxes[1], L"数据库没有正常连接...");
    EXPECT_TRUE(trace.m_texts.empty());

    EXPECT_EQ(E_POINTER, Raised([&] { server.BeginTrans(); }));
    EXPECT_EQ(E_POINTER, Raised([&] { server.CommitTrans(); }));
    EXPECT_EQ(E_POINTER, Raised([&] { server.RollbackTrans(); }));
    EXPECT_EQ(2u, app.m_boxes.size());
}

TEST(Execution, StatementsReachTheDatabaseAsGiven) {
    RecordingApp app;
    CZORADORXServer server;
    ASSERT_EQ(1, server.InitADOServer(kMemory));
    TraceRecorder trace;
    EXPECT_EQ(1, server.ExecuteSQL(L"CREATE TABLE t(id int, name nvarchar(20))"));
    EXPECT_EQ(1, server.ExecuteSQL(L"INSERT INTO t VALUES (1, N'a'), (2, N'b')"));
    EXPECT_EQ(1, server.ExecuteSQL(L"SELECT id, name FROM t"));
    // The rows of the SELECT were dropped, not left pending: the table can go.
    EXPECT_EQ(1, server.ExecuteSQL(L"DROP TABLE t"));
    EXPECT_TRUE(app.m_boxes.empty());
    // A null text reaches the command as an empty one, which the provider will not run.
    EXPECT_EQ(0, server.ExecuteSQL(nullptr));
    EXPECT_EQ(0, server.ExecuteSQL(L""));
    std::vector<std::wstring> expected = {L"CREATE TABLE t(id int, name nvarchar(20))",
                                          L"INSERT INTO t VALUES (1, N'a'), (2, N'b')",
                                          L"SELECT id, name FROM t",
                                          L"DROP TABLE t",
                                          L"",
                                          L""};
    EXPECT_EQ(expected, trace.m_texts);
    const std::wstring kNoCommand =
        L"Error:\n\tCode = 80040e0c\n\tCode meaning = IDispatch error #3084\n\tSource = "
        L"SQLite\n\tDescription = Command text was not set for the command object.\n";
    ASSERT_EQ(2u, app.m_boxes.size());
    EXPECT_EQ(kNoCommand, app.m_boxes[0].strText);
    EXPECT_EQ(kNoCommand, app.m_boxes[1].strText);
}

TEST(Execution, RejectedStatementIsReportedOnceAndTheConnectionStays) {
    RecordingApp app;
    CZORADORXServer server;
    ASSERT_EQ(1, server.InitADOServer(kMemory));
    ASSERT_EQ(1, server.ExecuteSQL(L"CREATE TABLE t(id int PRIMARY KEY)"));
    EXPECT_EQ(0, server.ExecuteSQL(L"INSERT INTO missing VALUES (1)"));
    ASSERT_EQ(1u, app.m_boxes.size());
    ExpectBox(app.m_boxes[0],
              Report(L"80040e14", DB_E_ERRORSINCOMMAND, L"Invalid object name 'missing'."));

    EXPECT_EQ(1, server.IsDatabaseOpen());
    EXPECT_EQ(1, server.ExecuteSQL(L"INSERT INTO t VALUES (1)"));
    EXPECT_EQ(0, server.ExecuteSQL(L"INSERT INTO t VALUES (1)"));
    ASSERT_EQ(2u, app.m_boxes.size());
    ExpectBox(app.m_boxes[1],
              Report(L"80040e2f", DB_E_INTEGRITYVIOLATION,
                     L"Violation of PRIMARY KEY constraint 'PK__t__1792196CDCA8A574'. Cannot "
                     L"insert duplicate key in object 'dbo.t'. The duplicate key value is (1)."));
    EXPECT_STREQ(L"1", FirstCell(server, L"SELECT COUNT(*) FROM t"));
}

TEST(Execution, TransactionsEndAsTheHostSays) {
    TempDir dir;
    std::wstring connect = L"Provider=SQLite; Data Source=" + dir.WideFile("tx.db");
    RecordingApp app;
    CZORADORXServer server;
    ASSERT_EQ(1, server.InitADOServer(connect.c_str()));
    ASSERT_EQ(1, server.ExecuteSQL(L"CREATE TABLE t(a int)"));
    server.BeginTrans();
    ASSERT_EQ(1, server.ExecuteSQL(L"INSERT INTO t VALUES (1)"));
    EXPECT_STREQ(L"1", FirstCell(server, L"SELECT COUNT(*) FROM t"));
    server.RollbackTrans();
    EXPECT_STREQ(L"0", FirstCell(server, L"SELECT COUNT(*) FROM t"));

    server.BeginTrans();
    ASSERT_EQ(1, server.ExecuteSQL(L"INSERT INTO t VALUES (2)"));
    server.CommitTrans();
    CZORADORXServer other;
    ASSERT_EQ(1, other.InitADOServer(connect.c_str()));
    EXPECT_STREQ(L"2", FirstCell(other, L"SELECT a FROM t"));

    // Ending a transaction that was never begun is the database's error, passed on unshown.
    std::wstring strDescription;
    EXPECT_EQ(XACT_E_NOTRANSACTION, Raised([&] { server.CommitTrans(); }, &strDescription));
    EXPECT_EQ(L"cannot commit - no transaction is active", strDescription);
    EXPECT_EQ(XACT_E_NOTRANSACTION, Raised([&] { server.RollbackTrans(); }, &strDescription));
    EXPECT_EQ(L"cannot rollback - no transaction is active", strDescription);
    EXPECT_TRUE(app.m_boxes.empty());
}

TEST(Execution, TransactionsReturnEveryReference) {
    RecordingApp app;
    CZORADORXServer server;
    ASSERT_EQ(1, server.InitADOServer(kMemory));
    IDispatch* p = server.GetConnectionPtr();
    ULONG nBefore = ComRefCount(p);
    for (int i = 0; i < 100; ++i) {
        server.BeginTrans();
        if (i % 2)
            server.CommitTrans();
        else
            server.RollbackTrans();
    }
    for (int i = 0; i < 10; ++i)
        ASSERT_EQ(XACT_E_NOTRANSACTION, Raised([&] { server.CommitTrans(); }));
    EXPECT_EQ(nBefore, ComRefCount(p));
    p->Release();
    EXPECT_TRUE(app.m_boxes.empty());
}

TEST(Execution, TransactionsGoThroughTheOverridableConnectionPointer) {
    RecordingApp app;
    CZORADORXServer real;
    ASSERT_EQ(1, real.InitADOServer(kMemory));
    ASSERT_EQ(1, real.ExecuteSQL(L"CREATE TABLE t(a int)"));
    RedirectedServer redirected;
    ASSERT_EQ(1, redirected.InitADOServer(kMemory));

    // Its own open connection is not used when the override hands out none.
    EXPECT_EQ(E_POINTER, Raised([&] { redirected.BeginTrans(); }));
    // An object without the connection interface counts as none.
    _CommandPtr pCommand(L"ADODB.Command");
    redirected.m_pTarget = pCommand;
    EXPECT_EQ(E_POINTER, Raised([&] { redirected.BeginTrans(); }));

    IDispatch* p = real.GetConnectionPtr();
    ULONG nBefore = ComRefCount(p);
    redirected.m_pTarget = p;
    redirected.BeginTrans();
    ASSERT_EQ(1, real.ExecuteSQL(L"INSERT INTO t VALUES (1)"));
    redirected.RollbackTrans();
    EXPECT_STREQ(L"0", FirstCell(real, L"SELECT COUNT(*) FROM t"));
    EXPECT_EQ(nBefore, ComRefCount(p));
    EXPECT_EQ(1u, ComRefCount(pCommand));
    p->Release();
    EXPECT_TRUE(app.m_boxes.empty());
}
