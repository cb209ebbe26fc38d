// Connection set-up in its three forms: what each does with null arguments, on success and on
// failure, which boxes it shows, and which connection object the server is left with.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>

#include "platform/ado/AdoTestSupport.h"
#include "support/Contents.h"
#include "support/RecordingApp.h"
#include "support/TempDir.h"
#include "zqk_vododuvod.h"

namespace {

const wchar_t kMemory[] = L"Provider=SQLite; Data Source=:memory:; Initial Catalog=db";
const int kOpts = adConnectUnspecified;

std::wstring Meaning(HRESULT hr) {
    return _com_error(hr).ErrorMessage();
}

// The detailed report as the user sees it; the code as the box writes it (eight lower-case digits).
std::wstring Report(const wchar_t* pszCode, HRESULT hr, const wchar_t* pszSource,
                    const wchar_t* pszDescription) {
    return std::wstring(L"Error:\n\tCode = ") + pszCode + L"\n\tCode meaning = " + Meaning(hr) +
           L"\n\tSource = " + pszSource + L"\n\tDescription = " + pszDescription + L"\n";
}

const std::wstring kCannotOpen =
    Report(L"80004005", E_FAIL, L"SQLite", L"unable to open database file");

// The texts of the boxes shown since the last call, each a plain box without help.
Strings TakeBoxes(RecordingApp& app) {
    Strings texts;
    for (const RecordingApp::Box& box : app.m_boxes) {
        texts.push_back(box.strText);
        EXPECT_EQ(0u, box.nType);
        EXPECT_EQ(0u, box.nIDHelp);
    }
    app.m_boxes.clear();
    return texts;
}

LONG State(IDispatch* pConnection) {
    return _ConnectionPtr(pConnection)->GetState();
}

std::wstring Connection(CZORADORXServer& server, int nExpectedOpen) {
    CString str(L"<unchanged>");
    EXPECT_EQ(nExpectedOpen, server.GetConnection(str));
    return static_cast<LPCWSTR>(str);
}

} // namespace

TEST(ConnectionSetup, NullArgumentsChangeNothing) {
    RecordingApp app;
    CZORADORXServer server;
    auto callNullForms = [&] {
        EXPECT_EQ(0, server.InitADOServer(nullptr));
        EXPECT_EQ(0, server.InitADOServer(nullptr, true, kOpts));
        EXPECT_EQ(0, server.InitADOServer(nullptr, L"U", L"P", adModeUnknown, kOpts));
        EXPECT_EQ(0, server.InitADOServer(L"S", nullptr, L"P", adModeUnknown, kOpts));
    };
    callNullForms();
    EXPECT_EQ(nullptr, server.GetConnectionPtr());
    EXPECT_EQ(L"", Connection(server, 0));

    ASSERT_EQ(1, server.InitADOServer(kMemory));
    ASSERT_EQ(1, server.ExecuteSQL(L"CREATE TABLE t(a int)"));
    IDispatch* p = server.GetConnectionPtr();
    callNullForms();
    EXPECT_EQ(kMemory, Connection(server, 1));
    EXPECT_EQ(adStateOpen, State(p));
    p->Release();
    // Still the same in-memory database: its table is there.
    EXPECT_EQ(1, server.ExecuteSQL(L"INSERT INTO t VALUES (1)"));
    EXPECT_TRUE(app.m_boxes.empty());
}

TEST(ConnectionSetup, EachFormOpensAndAnotherSuccessReplacesTheConnection) {
    TempDir dir;
    std::wstring first = L"Provider=SQLite; Data Source=" + dir.WideFile("first.db");
    std::wstring second =
        L"Provider=SQLite;Data Source=" + dir.WideFile("second.db") + L";Initial Catalog=two";
    RecordingApp app;
    CZORADORXServer server;
    ASSERT_EQ(1, server.InitADOServer(first.c_str()));
    EXPECT_EQ(first, Connection(server, 1));
    IDispatch* pFirst = server.GetConnectionPtr();

    ASSERT_EQ(1, server.InitADOServer(second.c_str(), false, kOpts));
    EXPECT_EQ(adStateClosed, State(pFirst));
    IDispatch* pSecond = server.GetConnectionPtr();
    EXPECT_NE(pFirst, pSecond);
    EXPECT_EQ(adStateOpen, State(pSecond));
    EXPECT_EQ(second, Connection(server, 1));

    // The five-argument form hands its string to the connection as built; a data source name
    // that carries the provider lets the embedded database answer it.
    std::wstring dsn = L"zqk; Provider=SQLite; Data Source=" + dir.WideFile("first.db");
    ASSERT_EQ(1, server.InitADOServer(dsn.c_str(), L"U", nullptr, adModeUnknown, kOpts));
    EXPECT_EQ(adStateClosed, State(pSecond));
    EXPECT_EQ(L"DSN=" + dsn + L"; UID=U; PWD=", Connection(server, 1));
    ASSERT_EQ(1, server.InitADOServer(dsn.c_str(), L"U", L"secret", adModeReadWrite, kOpts));
    EXPECT_EQ(L"DSN=" + dsn + L"; UID=U; PWD=secret", Connection(server, 1));

    // The mode reaches the connection (it can only be set before opening).
    ASSERT_EQ(1, server.InitADOServer(dsn.c_str(), L"U", L"", adModeRead, kOpts));
    IDispatch* pReadOnly = server.GetConnectionPtr();
    EXPECT_EQ(adModeRead, _ConnectionPtr(pReadOnly)->GetMode());
    EXPECT_TRUE(app.m_boxes.empty());
    pFirst->Release();
    pSecond->Release();
    pReadOnly->Release();
}

TEST(ConnectionSetup, EachFormFailsWithItsOwnBoxesAndConnectionObject) {
    TempDir dir;
    const std::wstring bad = L"Provider=SQLite; Data Source=" + dir.WideFile("missing/x.db");
    EXPECT_EQ(L"Unknown error 0x800A0E7A", Meaning(adErrProviderNotFound));
    const struct {
        std::function<int(CZORADORXServer&)> fnInit;
        Strings boxes;
        bool bKeepsClosedObject;
    } cases[] = {
        {[&](CZORADORXServer& s) { return s.InitADOServer(bad.c_str()); },
         {kCannotOpen, L"Unspecified error"},
         true},
        // A data source the driver manager does not know.
        {[](CZORADORXServer& s) {
             return s.InitADOServer(L"zqk_nosuch", L"U", nullptr, adModeUnknown, kOpts);
         },
         {Report(L"80004005", E_FAIL, L"ODBC",
                 L"[unixODBC][Driver Manager]Data source name not found and no default driver "
                 L"specified"),
          Meaning(E_FAIL)},
         true},
        // The three-argument form shows at most the report, and keeps no object.
        {[&](CZORADORXServer& s) { return s.InitADOServer(bad.c_str(), true, kOpts); },
         {kCannotOpen},
         false},
        {[&](CZORADORXServer& s) { return s.InitADOServer(bad.c_str(), false, kOpts); }, {}, false},
    };
    for (const auto& c : cases) {
        RecordingApp app;
        CZORADORXServer server;
        EXPECT_EQ(0, c.fnInit(server));
        EXPECT_EQ(c.boxes, TakeBoxes(app));
        EXPECT_EQ(0, server.IsDatabaseOpen());
        EXPECT_EQ(L"", Connection(server, 0));
        IDispatch* pClosed = server.GetConnectionPtr();
        ASSERT_EQ(c.bKeepsClosedObject, pClosed != nullptr);
        if (pClosed) {
            EXPECT_EQ(adStateClosed, State(pClosed));
            // The closed object is used as it is: the command refuses it before the statement
            // is set, which ExecuteSQL does not guard, and a transaction operation passes the
            // connection's own error on; neither shows a box.
            AdoRaised r = AdoCatch([&] { server.ExecuteSQL(L"SELECT 1"); });
            EXPECT_EQ(adErrInvalidConnection, r.hr);
            EXPECT_EQ(L"ADODB.Command", r.source);
            EXPECT_EQ(adErrObjectClosed, AdoCatch([&] { server.BeginTrans(); }).hr);
            EXPECT_EQ(Strings{}, TakeBoxes(app));
        } else {
            EXPECT_EQ(0, server.ExecuteSQL(L"SELECT 1"));
            EXPECT_EQ(Strings{L"数据库没有正常连接..."}, TakeBoxes(app));
        }
        // Nothing open to close: a valid string opens without a box.
        ASSERT_EQ(1, server.InitADOServer(kMemory));
        EXPECT_EQ(Strings{}, TakeBoxes(app));
        IDispatch* pOpen = server.GetConnectionPtr();
        EXPECT_NE(pClosed, pOpen);
        EXPECT_EQ(adStateOpen, State(pOpen));
        pOpen->Release();
        if (pClosed)
            pClosed->Release();
    }
}

TEST(ConnectionSetup, FailedReinitialisationKeepsTheLastSuccessfulString) {
    TempDir dir;
    std::wstring bad = L"Provider=SQLite; Data Source=" + dir.WideFile("missing/x.db");
    std::wstring good = L"Provider=SQLite; Data Source=" + dir.WideFile("good.db");
    RecordingApp app;
    CZORADORXServer server;
    ASSERT_EQ(1, server.InitADOServer(kMemory));
    IDispatch* p = server.GetConnectionPtr();
    EXPECT_EQ(0, server.InitADOServer(bad.c_str()));
    EXPECT_EQ(2u, TakeBoxes(app).size());
    EXPECT_EQ(adStateClosed, State(p)); // the open connection was closed first
    p->Release();
    EXPECT_EQ(kMemory, Connection(server, 0));

    ASSERT_EQ(1, server.InitADOServer(good.c_str(), true, kOpts));
    EXPECT_EQ(0, server.InitADOServer(L"S", L"U", L"P", adModeUnknown, kOpts));
    EXPECT_EQ(2u, TakeBoxes(app).size());
    EXPECT_EQ(good, Connection(server, 0));

    ASSERT_EQ(1, server.InitADOServer(kMemory));
    EXPECT_EQ(0, server.InitADOServer(bad.c_str(), false, -1));
    EXPECT_TRUE(app.m_boxes.empty());
    EXPECT_EQ(kMemory, Connection(server, 0));
    EXPECT_EQ(nullptr, server.GetConnectionPtr());
}

TEST(ConnectionSetup, CloseFailureIsReportedAndTheNewConnectionOpens) {
    RecordingApp app;
    {
        CZORADORXServer server;
        ASSERT_EQ(1, server.InitADOServer(kMemory));
        // The host closes the connection behind the server's back; the server still counts it open.
        IDispatch* p = server.GetConnectionPtr();
        _ConnectionPtr(p)->Close();
        EXPECT_EQ(1, server.IsDatabaseOpen());
        ASSERT_EQ(1, server.InitADOServer(kMemory));
        EXPECT_EQ(Strings{Report(L"800a0e78", adErrObjectClosed, L"ADODB.Connection",
                                 L"Operation is not allowed when the object is closed.")},
                  TakeBoxes(app));
        EXPECT_EQ(1, server.ExecuteSQL(L"CREATE TABLE t(a int)"));
        p->Release();
        // Destruction has nobody to tell about a failed close.
        p = server.GetConnectionPtr();
        _ConnectionPtr(p)->Close();
        p->Release();
    }
    EXPECT_TRUE(app.m_boxes.empty());
}

TEST(ConnectionSetup, NoConnectionObjectOnAThreadWithoutCom) {
    RecordingApp app;
    CZORADORXServer server;
    ASSERT_EQ(1, server.InitADOServer(kMemory));
    std::thread([&] {
        EXPECT_EQ(0, server.InitADOServer(kMemory));
        EXPECT_EQ(0, server.InitADOServer(L"S", L"U", L"P", adModeUnknown, kOpts));
        EXPECT_EQ(0, server.InitADOServer(kMemory, true, kOpts));
        EXPECT_EQ(nullptr, server.GetConnectionPtr());
        EXPECT_EQ(0, server.IsDatabaseOpen());
        // Creating the command is not guarded either.
        EXPECT_EQ(CO_E_NOTINITIALIZED, AdoCatch([&] { server.ExecuteSQL(L"SELECT 1"); }).hr);
    }).join();
    EXPECT_TRUE(app.m_boxes.empty());
    EXPECT_EQ(kMemory, Connection(server, 0));
    EXPECT_EQ(1, server.InitADOServer(kMemory));
}
