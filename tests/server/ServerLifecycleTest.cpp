// The server as a host holds it: the properties it stores, the connection it hands out, its
// copies, and the COM initialisation it pairs with its own life.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>

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
    for (const wchar_t* psz : {server.GetDatabase(), server.GetLoginID(), server.GetGroupID()}) {
        ASSERT_NE(nullptr, psz);
        EXPECT_STREQ(L"", psz);
    }
    EXPECT_EQ(0, server.IsDatabaseOpen());
    EXPECT_EQ(nullptr, server.GetConnectionPtr());
    CString value(L"kept");
    EXPECT_EQ(0, server.AssocDatabase(L"hist", value));
    EXPECT_EQ(0, server.AssocDatabase(L"", value));
    EXPECT_STREQ(L"kept", value);

    wchar_t buffer[] = L"sales";
    server.SetDatabase(buffer);
    buffer[0] = L'S'; // the server keeps its own copy
    server.SetDatabase(nullptr);
    server.SetLoginID(L"clerk");
    server.SetLoginID(nullptr);
    server.SetGroupID(L"staff");
    server.SetGroupID(nullptr);
    EXPECT_STREQ(L"sales", server.GetDatabase());
    EXPECT_STREQ(L"clerk", server.GetLoginID());
    EXPECT_STREQ(L"staff", server.GetGroupID());

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
    EXPECT_STREQ(L"sales", server.GetDatabase());
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
    EXPECT_EQ(1, server.ExecuteSQL(L"INSERT INTO t VALUES (7)"));
    EXPECT_STREQ(L"7", FirstCell(server, L"SELECT a FROM t"));
    EXPECT_TRUE(app.m_boxes.empty());
}

TEST(ServerLifecycle, DestructionClosesTheOpenConnection) {
    TempDir dir;
    std::wstring connect = L"Provider=SQLite; Data Source=" + dir.WideFile("life.db");
    RecordingApp app;
    IDispatch* p = nullptr;
    {
        CZORADORXServer server;
        ASSERT_EQ(1, server.InitADOServer(connect.c_str()));
        ASSERT_EQ(1, server.ExecuteSQL(L"CREATE TABLE t(a int)"));
        server.BeginTrans();
        ASSERT_EQ(1, server.ExecuteSQL(L"INSERT INTO t VALUES (1)"));
        p = server.GetConnectionPtr();
    }
    // The reference handed out keeps the object alive; the server closed it all the same.
    EXPECT_EQ(adStateClosed, State(p));
    p->Release();

    // Closing ended the transaction and gave up the write lock: another connection takes it
    // at once and finds no row.
    CZORADORXServer other;
    ASSERT_EQ(1, other.InitADOServer(connect.c_str()));
    other.BeginTrans();
    EXPECT_STREQ(L"0", FirstCell(other, L"SELECT COUNT(*) FROM t"));
    other.RollbackTrans();
    EXPECT_TRUE(app.m_boxes.empty());
}

TEST(ServerLifecycle, CopiesShareOneImplementationFreedOnce) {
    RecordingApp app;
    OnCleanThread([] {
        {
            CZORADORXServer a;
            CZORADORXServer b(a);
            b.SetDatabase(L"shared");
            EXPECT_STREQ(L"shared", a.GetDatabase());
            EXPECT_EQ(a.GetDatabase(), b.GetDatabase());
            ASSERT_EQ(1, a.InitADOServer(kMemory));
            EXPECT_EQ(1, b.IsDatabaseOpen());
            EXPECT_EQ(1, b.ExecuteSQL(L"CREATE TABLE t(a int)"));
            EXPECT_EQ(1, a.ExecuteSQL(L"INSERT INTO t VALUES (1)")); // one in-memory database
        }
        // Every server initialised COM once and the shared object uninitialised it once.
        EXPECT_FALSE(ZqkIsComInitialized());

        auto* a = new CZORADORXServer;
        auto* b = new CZORADORXServer(*a);
        auto* c = new CZORADORXServer(*b);
        ASSERT_EQ(1, c->InitADOServer(kMemory));
        IDispatch* p = a->GetConnectionPtr();
        delete a;
        delete c;
        EXPECT_EQ(adStateOpen, State(p));
        EXPECT_EQ(1, b->ExecuteSQL(L"SELECT 1"));
        delete b; // the last owner closes the connection
        EXPECT_EQ(adStateClosed, State(p));
        p->Release();
        EXPECT_FALSE(ZqkIsComInitialized());

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
        EXPECT_FALSE(ZqkIsComInitialized());
    });
    EXPECT_TRUE(app.m_boxes.empty());
}

TEST(ServerLifecycle, ComInitialisationPairsWithTheServersLife) {
    RecordingApp app;
    OnCleanThread([] {
        {
            CZORADORXServer server;
            EXPECT_TRUE(ZqkIsComInitialized());
            std::wstring dsn = L"zqk; Provider=SQLite; Data Source=:memory:";
            for (int i = 0; i < 50; ++i) {
                // Each form in turn, each on a fresh in-memory database.
                int nResult = server.InitADOServer(kMemory);
                if (i % 2)
                    nResult = server.InitADOServer(dsn.c_str(), L"u", L"p", adModeUnknown, -1);
                ASSERT_EQ(1, nResult) << i;
                ASSERT_EQ(1, server.ExecuteSQL(L"CREATE TABLE t(a int)")) << i;
            }
        }
        EXPECT_FALSE(ZqkIsComInitialized());

        for (bool bFirstGoesFirst : {true, false}) {
            auto first = std::make_unique<CZORADORXServer>();
            auto second = std::make_unique<CZORADORXServer>();
            std::unique_ptr<CZORADORXServer>& gone = bFirstGoesFirst ? first : second;
            std::unique_ptr<CZORADORXServer>& survivor = bFirstGoesFirst ? second : first;
            ASSERT_EQ(1, gone->InitADOServer(kMemory));
            gone.reset();
            EXPECT_TRUE(ZqkIsComInitialized());
            EXPECT_EQ(1, survivor->InitADOServer(kMemory));
            EXPECT_EQ(1, survivor->ExecuteSQL(L"CREATE TABLE t(a int)"));
            survivor.reset();
            EXPECT_FALSE(ZqkIsComInitialized());
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
        CoUninitialize();
        EXPECT_FALSE(ZqkIsComInitialized());
    });
    EXPECT_TRUE(app.m_boxes.empty());
}
