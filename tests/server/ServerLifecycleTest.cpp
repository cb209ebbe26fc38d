// The server as a host holds it: the properties it stores, the connection it hands out, its
// copies, and the COM initialisation it pairs with its own life.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <utility>

#include "platform/com/ComObject.h"
#include "platform/com/ComRuntime.h"
#include "support/RecordingApp.h"
#include "support/TempDir.h"
#include "zqk_vododuvod.h"

namespace {

const wchar_t kMemory[] = L"Provider=SQLite; Data Source=:memory:; Initial Catalog=db";

// Runs body on a thread of its own, where nothing has initialised COM yet, so that the
// server's own initialisation and uninitialisation are what the counts show.
template <typename Fn> void OnCleanThread(Fn body) {
    std::thread worker([&] {
        ASSERT_FALSE(ZqkIsComInitialized());
        body();
    });
    worker.join();
}

LONG State(IDispatch* pConnection) {
    return _ConnectionPtr(pConnection)->GetState();
}

CString FirstCell(CZORADORXServer& server, const wchar_t* lpszSQL) {
    CStringArray arr;
    server.GetSelData(lpszSQL, arr);
    return arr.GetSize() > 0 ? arr[0] : CString(L"<no row>");
}

} // namespace

TEST(ServerLifecycle, StoredProperties) {
    RecordingApp app;
    CZORADORXServer server;
    using Set = void (CZORADORXServer::*)(const wchar_t*);
    using Get = const wchar_t* (CZORADORXServer::*)();
    const std::pair<Set, Get> props[] = {
        {&CZORADORXServer::SetDatabase, &CZORADORXServer::GetDatabase},
        {&CZORADORXServer::SetLoginID, &CZORADORXServer::GetLoginID},
        {&CZORADORXServer::SetGroupID, &CZORADORXServer::GetGroupID}};
    for (const auto& [set, get] : props) {
        EXPECT_STREQ(L"", (server.*get)());
        wchar_t buffer[] = L"kept";
        (server.*set)(buffer);
        buffer[0] = L'K';       // the server keeps its own copy
        (server.*set)(nullptr); // and ignores a null one
        EXPECT_STREQ(L"kept", (server.*get)());
    }

    CString value(L"unchanged");
    EXPECT_EQ(0, server.AssocDatabase(L"hist", value));
    EXPECT_EQ(0, server.AssocDatabase(L"", value));
    EXPECT_STREQ(L"unchanged", value);
    server.AppendAssocDatabase(L"hist", L"db_2019");
    server.AppendAssocDatabase(L"hist", L"db_2020");
    server.AppendAssocDatabase(L"blank", nullptr);
    EXPECT_EQ(1, server.AssocDatabase(L"hist", value));
    EXPECT_STREQ(L"db_2020", value);
    EXPECT_EQ(0, server.AssocDatabase(L"HIST", value));
    EXPECT_STREQ(L"db_2020", value);
    EXPECT_EQ(1, server.AssocDatabase(L"blank", value));
    EXPECT_STREQ(L"", value);

    // Storage for the host only: opening a database named "db" does not touch it.
    ASSERT_EQ(1, server.InitADOServer(kMemory));
    EXPECT_STREQ(L"kept", server.GetDatabase());
    EXPECT_TRUE(app.m_boxes.empty());
}

TEST(ServerLifecycle, ConnectionPointerCarriesOneReferenceForTheCaller) {
    RecordingApp app;
    CZORADORXServer server;
    ASSERT_EQ(1, server.InitADOServer(kMemory));
    IDispatch* p = server.GetConnectionPtr();
    ASSERT_NE(nullptr, p);
    ULONG nHeld = ComRefCount(p);
    IDispatch* q = server.GetConnectionPtr();
    EXPECT_EQ(p, q);
    EXPECT_EQ(nHeld + 1, ComRefCount(p));
    q->Release();
    p->Release();
    // With both references given back the server's own connection still works.
    EXPECT_EQ(1, server.ExecuteSQL(L"CREATE TABLE t(a int)"));
    EXPECT_TRUE(app.m_boxes.empty());
}

TEST(ServerLifecycle, CopiesShareOneImplementationTheLastOwnerCloses) {
    TempDir dir;
    std::wstring connect = L"Provider=SQLite; Data Source=" + dir.WideFile("life.db");
    RecordingApp app;
    OnCleanThread([&] {
        auto* a = new CZORADORXServer;
        auto* b = new CZORADORXServer(*a);
        auto* c = new CZORADORXServer(*b);
        c->SetDatabase(L"shared");
        EXPECT_EQ(a->GetDatabase(), c->GetDatabase()); // one storage for all
        EXPECT_STREQ(L"shared", a->GetDatabase());
        ASSERT_EQ(1, c->InitADOServer(connect.c_str()));
        EXPECT_EQ(1, a->ExecuteSQL(L"CREATE TABLE t(a int)"));
        IDispatch* p = a->GetConnectionPtr();
        delete a;
        delete c;
        EXPECT_EQ(adStateOpen, State(p));
        b->BeginTrans();
        EXPECT_EQ(1, b->ExecuteSQL(L"INSERT INTO t VALUES (1)"));
        delete b;
        // The reference handed out keeps the object alive; the last owner closed it all the
        // same.
        EXPECT_EQ(adStateClosed, State(p));
        p->Release();
        {
            // Closing ended the transaction and gave up the write lock: another connection
            // takes it at once and finds no row.
            CZORADORXServer other;
            ASSERT_EQ(1, other.InitADOServer(connect.c_str()));
            other.BeginTrans();
            EXPECT_STREQ(L"0", FirstCell(other, L"SELECT COUNT(*) FROM t"));
            other.RollbackTrans();
        }

        {
            CZORADORXServer first;
            CZORADORXServer second;
            first.SetDatabase(L"first");
            second.SetDatabase(L"second");
            ASSERT_EQ(1, first.InitADOServer(kMemory));
            p = first.GetConnectionPtr();
            // first's own object has no other owner: it goes, closing its connection.
            first = second;
            EXPECT_EQ(adStateClosed, State(p));
            p->Release();
            EXPECT_STREQ(L"second", first.GetDatabase());
            first.SetLoginID(L"u");
            EXPECT_STREQ(L"u", second.GetLoginID());
            CZORADORXServer& alias = first;
            first = alias;
            EXPECT_STREQ(L"second", first.GetDatabase());
            CZORADORXServer third;
            second = third = first;
            ASSERT_EQ(1, second.InitADOServer(kMemory));
            EXPECT_EQ(1, first.IsDatabaseOpen());
        }
    });
    EXPECT_TRUE(app.m_boxes.empty());
}

TEST(ServerLifecycle, ComStaysInitialisedAfterTheServerGoes) {
    RecordingApp app;
    OnCleanThread([] {
        {
            CZORADORXServer server;
            EXPECT_TRUE(ZqkIsComInitialized());
            std::wstring dsn = L"zqk; Provider=SQLite; Data Source=:memory:";
            for (int i = 0; i < 50; ++i) {
                // Each form in turn, each on a fresh in-memory database: re-initialising
                // never takes the thread's COM away.
                ASSERT_EQ(1, i % 2
                                 ? server.InitADOServer(dsn.c_str(), L"u", L"p", adModeUnknown, -1)
                                 : server.InitADOServer(kMemory))
                    << i;
                ASSERT_EQ(1, server.ExecuteSQL(L"CREATE TABLE t(a int)")) << i;
            }
        }
        // The destructor does not uninitialise: the thread can still create objects, and
        // initialising again reports COM as initialised already.
        EXPECT_TRUE(ZqkIsComInitialized());
        _ConnectionPtr pConn;
        EXPECT_EQ(S_OK, pConn.CreateInstance(L"ADODB.Connection"));
        pConn = nullptr;
        EXPECT_EQ(S_FALSE, CoInitialize(nullptr));
        CoUninitialize();

        for (int nGone : {0, 1}) {
            std::unique_ptr<CZORADORXServer> servers[] = {std::make_unique<CZORADORXServer>(),
                                                          std::make_unique<CZORADORXServer>()};
            ASSERT_EQ(1, servers[nGone]->InitADOServer(kMemory));
            servers[nGone].reset();
            std::unique_ptr<CZORADORXServer>& survivor = servers[1 - nGone];
            EXPECT_EQ(1, survivor->InitADOServer(kMemory));
            EXPECT_EQ(1, survivor->ExecuteSQL(L"CREATE TABLE t(a int)"));
            survivor.reset();
            EXPECT_TRUE(ZqkIsComInitialized());
        }
    });
    // A host that initialised COM itself keeps it after its server goes.
    OnCleanThread([] {
        ASSERT_EQ(S_OK, CoInitialize(nullptr));
        {
            CZORADORXServer server;
            ASSERT_EQ(1, server.InitADOServer(kMemory));
            ASSERT_EQ(1, server.InitADOServer(kMemory));
        }
        EXPECT_TRUE(ZqkIsComInitialized());
        CoUninitialize(); // the host's own; the server's stays
        EXPECT_TRUE(ZqkIsComInitialized());
    });
    EXPECT_TRUE(app.m_boxes.empty());
}

TEST(ServerLifecycle, ComThatCannotBeInitialisedIsReportedAndConstructionGoesOn) {
    RecordingApp app;
    OnCleanThread([&] {
        // A thread in the multithreaded apartment: the server's CoInitialize is refused.
        ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
        {
            CZORADORXServer server;
            ASSERT_EQ(1u, app.m_boxes.size());
            EXPECT_EQ(L"初始化Com失败!", app.m_boxes[0].strText);
            EXPECT_EQ(static_cast<UINT>(MB_OK), app.m_boxes[0].nType);
            EXPECT_EQ(0u, app.m_boxes[0].nIDHelp);
            // The server is usable: COM is initialised on this thread after all.
            EXPECT_EQ(1, server.InitADOServer(kMemory));
            EXPECT_EQ(1, server.ExecuteSQL(L"CREATE TABLE t(a int)"));
        }
        CoUninitialize();
        EXPECT_FALSE(ZqkIsComInitialized());
    });
    EXPECT_EQ(1u, app.m_boxes.size());
}
