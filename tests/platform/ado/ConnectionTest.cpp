#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>
#include <tuple>

#include "AdoTestSupport.h"
#include "platform/win/TextEncoding.h"

namespace {

const HRESULT kClosed = static_cast<HRESULT>(0x800A0E78);
const HRESULT kOpen = static_cast<HRESULT>(0x800A0E79);
const wchar_t kClosedText[] = L"Operation is not allowed when the object is closed.";

// A raised error as one comparable value: code, source, description.
using Err = std::tuple<HRESULT, std::wstring, std::wstring>;
Err Of(const AdoRaised& r) {
    return {r.hr, r.source, r.description};
}

LONG Count(_Connection* pConn, const wchar_t* pszSql) {
    _RecordsetPtr pRs = pConn->Execute(pszSql, nullptr, adCmdText);
    return pRs->GetFields()->GetItem(0L)->GetValue();
}

} // namespace

class Connection : public AdoTest {};

TEST_F(Connection, CreatedByClassIdentifierOrProgIDOnlyWithCom) {
    CLSID clsid;
    ASSERT_EQ(S_OK, CLSIDFromString(L"{00000514-0000-0010-8000-00AA006D2EA4}", &clsid));
    _Connection* pRaw = nullptr;
    ASSERT_EQ(S_OK, CoCreateInstance(clsid, nullptr, CLSCTX_ALL, __uuidof(_Connection),
                                     reinterpret_cast<void**>(&pRaw)));
    EXPECT_EQ(1u, ComRefCount(pRaw));
    EXPECT_EQ(0u, pRaw->Release());

    ASSERT_EQ(S_OK, CLSIDFromString(L"{00000535-0000-0010-8000-00AA006D2EA4}", &clsid));
    _RecordsetPtr pRs;
    EXPECT_EQ(S_OK, pRs.CreateInstance(clsid));
    EXPECT_EQ(adStateClosed, pRs->GetState());
    _ConnectionPtr pConn;
    EXPECT_EQ(S_OK, pConn.CreateInstance(L"adodb.connection"));
    _CommandPtr pCmd;
    EXPECT_EQ(S_OK, pCmd.CreateInstance(L"ADODB.Command"));
    // A class asked for an interface it does not have.
    EXPECT_EQ(E_NOINTERFACE, pCmd.CreateInstance(L"ADODB.Connection"));

    HRESULT hr = S_OK;
    std::thread([&] { hr = _RecordsetPtr().CreateInstance(L"ADODB.Recordset"); }).join();
    EXPECT_EQ(CO_E_NOTINITIALIZED, hr);
}

TEST_F(Connection, OpenCloseReopenAndClosedOperations) {
    _ConnectionPtr pConn;
    ASSERT_EQ(S_OK, pConn.CreateInstance(CLSID_Connection));
    EXPECT_EQ(adStateClosed, pConn->GetState());
    EXPECT_EQ(adModeUnknown, pConn->GetMode());
    EXPECT_EQ(std::wstring(), std::wstring(pConn->GetConnectionString()));

    // Every operation on a connection that is not open fails the same way, before the first
    // Open and after Close.
    auto expectClosed = [&] {
        _variant_t affected(7L);
        for (auto fn : std::vector<std::function<void()>>{
                 [&] { pConn->Execute(L"SELECT 1", &affected, adCmdText); },
                 [&] { pConn->OpenSchema(adSchemaTables); }, [&] { pConn->BeginTrans(); },
                 [&] { pConn->CommitTrans(); }, [&] { pConn->RollbackTrans(); },
                 [&] { pConn->Close(); }}) {
            EXPECT_EQ(Err(kClosed, L"ADODB.Connection", kClosedText), Of(AdoCatch(fn)));
        }
        EXPECT_EQ(7L, static_cast<LONG>(affected));
        _Recordset* pRs = reinterpret_cast<_Recordset*>(&affected);
        EXPECT_EQ(kClosed, pConn->raw_Execute(_bstr_t(L"SELECT 1"), nullptr, adCmdText, &pRs));
        EXPECT_EQ(nullptr, pRs);
        EXPECT_EQ(kClosedText, AdoTakeErrorInfo(kClosed).description);
    };
    expectClosed();

    const std::wstring strFile = SqliteString(m_dir.WideFile("reopen.db"));
    pConn->Open(strFile.c_str(), L"", L"", adConnectUnspecified);
    EXPECT_EQ(adStateOpen, pConn->GetState());
    EXPECT_EQ(strFile, std::wstring(pConn->GetConnectionString()));
    pConn->Execute(L"CREATE TABLE t(a int); INSERT INTO t VALUES (42)", nullptr, adCmdText);

    EXPECT_EQ(
        Err(kOpen, L"ADODB.Connection", L"Operation is not allowed when the object is open."),
        Of(AdoCatch([&] { pConn->Open(L"Provider=SQLite;Data Source=:memory:", L"", L"", 0); })));
    EXPECT_EQ(kOpen, AdoCatch([&] { pConn->PutConnectionString(L"Provider=SQLite"); }).hr);
    EXPECT_EQ(kOpen, AdoCatch([&] { pConn->PutMode(adModeRead); }).hr);
    // Still the first database.
    EXPECT_EQ(strFile, std::wstring(pConn->GetConnectionString()));
    EXPECT_EQ(42, Count(pConn, L"SELECT a FROM t"));

    pConn->Close();
    EXPECT_EQ(adStateClosed, pConn->GetState());
    EXPECT_EQ(strFile, std::wstring(pConn->GetConnectionString()));
    expectClosed();

    // Reopened on its stored string: the data was kept in the file.
    pConn->Open(L"", L"", L"", adConnectUnspecified);
    EXPECT_EQ(42, Count(pConn, L"SELECT a FROM t"));
    EXPECT_EQ(1u, ComRefCount(pConn));
}

TEST_F(Connection, ReadOnlyModeAndFilesThatCannotBeOpened) {
    {
        _ConnectionPtr pWriter = OpenFile("ro.db");
        pWriter->Execute(L"CREATE TABLE t(a int); INSERT INTO t VALUES (1)", nullptr, adCmdText);
    }
    _ConnectionPtr pConn;
    ASSERT_EQ(S_OK, pConn.CreateInstance(L"ADODB.Connection"));
    pConn->PutMode(adModeRead);
    EXPECT_EQ(adModeRead, pConn->GetMode());
    pConn->Open(SqliteString(m_dir.WideFile("ro.db")).c_str(), L"", L"", adConnectUnspecified);
    EXPECT_EQ(1, Count(pConn, L"SELECT count(*) FROM t"));
    EXPECT_EQ(
        Err(DB_E_ERRORSINCOMMAND, L"SQLite", L"attempt to write a readonly database"),
        Of(AdoCatch([&] { pConn->Execute(L"INSERT INTO t VALUES (2)", nullptr, adCmdText); })));
    EXPECT_EQ(1, Count(pConn, L"SELECT count(*) FROM t"));
    EXPECT_EQ(1, pConn->BeginTrans());
    EXPECT_EQ(1, Count(pConn, L"SELECT count(*) FROM t"));
    pConn->CommitTrans();
    pConn->Close();

    // Read-only does not create a missing file; a missing folder is not created either.
    for (const std::string& name : {std::string("absent.db"), std::string("no/such/folder.db")}) {
        EXPECT_EQ(Err(E_FAIL, L"SQLite", L"unable to open database file"), Of(AdoCatch([&] {
                      pConn->Open(SqliteString(m_dir.WideFile(name)).c_str(), L"", L"",
                                  adConnectUnspecified);
                  })))
            << name;
        EXPECT_EQ(adStateClosed, pConn->GetState());
        EXPECT_FALSE(std::filesystem::exists(m_dir.File(name)));
        pConn->PutMode(adModeReadWrite);
    }
    EXPECT_FALSE(std::filesystem::exists(m_dir.File("no")));
    EXPECT_EQ(1u, ComRefCount(pConn));
}

TEST_F(Connection, ExecuteReturnsRowsOrCountsChanges) {
    _ConnectionPtr pConn = OpenMemory();
    _variant_t affected(L"stale");
    _RecordsetPtr pRs = pConn->Execute(L"CREATE TABLE t(id integer PRIMARY KEY, name text);\n"
                                       L"INSERT INTO t VALUES (1, 'a'), (2, 'b');\n"
                                       L"INSERT INTO t VALUES (3, 'c');  -- done\n",
                                       &affected, adCmdText);
    EXPECT_FALSE(pRs);
    EXPECT_EQ(VT_I4, affected.vt);
    EXPECT_EQ(3, affected.lVal);
    // Rows changed by triggers and cascades are not the statement's own; statements that
    // change no rows add nothing.
    const std::pair<const wchar_t*, LONG> batches[] = {
        {L"PRAGMA foreign_keys = ON; CREATE TABLE log(id REFERENCES t ON DELETE CASCADE);"
         L"CREATE TRIGGER tr AFTER UPDATE ON t BEGIN INSERT INTO log VALUES (new.id); END",
         0},
        {L"UPDATE t SET name = upper(name) WHERE id >= 2", 2},
        {L"UPDATE t SET name = name WHERE id = 3; CREATE INDEX ix ON t(name);"
         L"DROP TABLE IF EXISTS gone; UPDATE t SET name = name WHERE id = 2",
         2},
        {L"CREATE INDEX ix2 ON t(id, name)", 0},
        {L"UPDATE t SET name = 'x' WHERE id > 99", 0},
    };
    for (const auto& [pszSql, nAffected] : batches) {
        pConn->Execute(pszSql, &affected, adCmdText);
        EXPECT_EQ(nAffected, affected.lVal) << pszSql;
    }
    EXPECT_EQ(4, Count(pConn, L"SELECT count(*) FROM log"));

    pRs = pConn->Execute(L"INSERT INTO t VALUES (4, 'd'); SELECT id, name FROM t ORDER BY id",
                         &affected, adCmdText);
    ASSERT_TRUE(pRs);
    EXPECT_EQ(VT_I4, affected.vt);
    EXPECT_EQ(-1, affected.lVal);
    EXPECT_EQ((std::vector<std::vector<std::wstring>>{
                  {L"1", L"a"}, {L"2", L"B"}, {L"3", L"C"}, {L"4", L"d"}}),
              AdoReadRows(pRs));
    pRs = nullptr;
    pConn->Execute(L"DELETE FROM t", &affected, adCmdText);
    EXPECT_EQ(4, affected.lVal);
    EXPECT_EQ(0, Count(pConn, L"SELECT count(*) FROM log"));
    // No recordset asked for: the statement still runs.
    EXPECT_EQ(S_OK, pConn->raw_Execute(_bstr_t(L"INSERT INTO t VALUES (5, 'e')"), nullptr,
                                       adCmdText, nullptr));
    EXPECT_EQ(1, Count(pConn, L"SELECT count(*) FROM t"));
    EXPECT_EQ(1u, ComRefCount(pConn));
}

TEST_F(Connection, FailedStatementsReportTheDatabaseText) {
    _ConnectionPtr pConn = OpenMemory();
    pConn->Execute(L"CREATE TABLE t(id integer PRIMARY KEY, name text NOT NULL UNIQUE)", nullptr,
                   adCmdText);
    struct {
        const wchar_t* pszSql;
        HRESULT hr;
        const wchar_t* pszText;
    } const cases[] = {
        {L"SELEC nonsense", DB_E_ERRORSINCOMMAND, L"Incorrect syntax near 'SELEC'."},
        {L"SELECT * FROM missing", DB_E_ERRORSINCOMMAND, L"Invalid object name 'missing'."},
        {L"INSERT INTO t VALUES (1, NULL)", DB_E_INTEGRITYVIOLATION,
         L"Cannot insert the value NULL into column 'name', table 'main.dbo.t'; column does not "
         L"allow nulls. INSERT fails."},
        // A violated constraint ends its statement only: the batch goes on, and fails with the
        // first such error when it ends.
        {L"INSERT OR IGNORE INTO t VALUES (1, 'a'); INSERT INTO t VALUES (2, 'a'); INSERT INTO t "
         L"VALUES (3, 'c')",
         DB_E_INTEGRITYVIOLATION,
         L"Violation of UNIQUE KEY constraint 'UQ__t__84F118907F020A5D'. Cannot insert duplicate "
         L"key in object 'dbo.t'."},
        {L"INSERT INTO t VALUES (1, 'z')", DB_E_INTEGRITYVIOLATION,
         L"Violation of PRIMARY KEY constraint 'PK__t__1792196CDCA8A574'. Cannot insert "
         L"duplicate key in object 'dbo.t'. The duplicate key value is (1)."},
    };
    for (const auto& c : cases) {
        int nDummy = 0;
        _Recordset* pRs = reinterpret_cast<_Recordset*>(&nDummy);
        HRESULT hr = pConn->raw_Execute(_bstr_t(c.pszSql), nullptr, adCmdText, &pRs);
        EXPECT_EQ(nullptr, pRs);
        EXPECT_EQ(Err(c.hr, L"SQLite", c.pszText), Of(AdoTakeErrorInfo(hr)));
        EXPECT_EQ(Err(c.hr, L"SQLite", c.pszText),
                  Of(AdoCatch([&] { pConn->Execute(c.pszSql, nullptr, adCmdText); })));
        EXPECT_TRUE(AdoNoErrorInfoLeft());
    }
    EXPECT_EQ((std::vector<std::vector<std::wstring>>{{L"1", L"a"}, {L"3", L"c"}}),
              AdoReadRows(pConn->Execute(L"SELECT * FROM t", nullptr, adCmdText)));
    EXPECT_EQ(1u, ComRefCount(pConn));
}

TEST_F(Connection, TransactionsCommitRollBackAndNeedOneToEnd) {
    _ConnectionPtr pConn = OpenFile("tx.db");
    _ConnectionPtr pOther = OpenFile("tx.db");
    pConn->Execute(L"CREATE TABLE t(a int)", nullptr, adCmdText);

    EXPECT_EQ(1, pConn->BeginTrans());
    pConn->Execute(L"INSERT INTO t VALUES (1)", nullptr, adCmdText);
    EXPECT_EQ(1, Count(pConn, L"SELECT count(*) FROM t"));
    EXPECT_EQ(0, Count(pOther, L"SELECT count(*) FROM t"));
    pConn->RollbackTrans();
    EXPECT_EQ(0, Count(pConn, L"SELECT count(*) FROM t"));

    EXPECT_EQ(1, pConn->BeginTrans());
    pConn->Execute(L"INSERT INTO t VALUES (2)", nullptr, adCmdText);
    pConn->CommitTrans();
    EXPECT_EQ(2, Count(pOther, L"SELECT sum(a) FROM t"));

    for (auto fn : {&_Connection::CommitTrans, &_Connection::RollbackTrans}) {
        AdoRaised r = AdoCatch([&] { (pConn.GetInterfacePtr()->*fn)(); });
        EXPECT_EQ(static_cast<HRESULT>(0x8004D00E), r.hr);
        EXPECT_FALSE(r.description.empty());
    }

    // Closing with a transaction open discards its changes; the reopened session has none.
    EXPECT_EQ(1, pConn->BeginTrans());
    pConn->Execute(L"DELETE FROM t", nullptr, adCmdText);
    pConn->Close();
    pConn->Open(L"", L"", L"", adConnectUnspecified);
    EXPECT_EQ(1, Count(pConn, L"SELECT count(*) FROM t"));
    EXPECT_EQ(static_cast<HRESULT>(0x8004D00E), AdoCatch([&] { pConn->CommitTrans(); }).hr);
    EXPECT_EQ(1, pConn->BeginTrans());
    pConn->CommitTrans();
    EXPECT_EQ(1u, ComRefCount(pConn));
    EXPECT_EQ(1u, ComRefCount(pOther));
}

TEST_F(Connection, WriterWaitsForAnotherConnectionsTransaction) {
    _ConnectionPtr pHolder = OpenFile("busy.db");
    _ConnectionPtr pWriter = OpenFile("busy.db");
    pHolder->Execute(L"CREATE TABLE t(a int)", nullptr, adCmdText);

    // Runs fn while pHolder has a write transaction open that another thread commits after
    // half a second; fn must succeed, having waited for it.
    auto whileHeld = [&](const std::function<void()>& fn) {
        pHolder->BeginTrans();
        pHolder->Execute(L"INSERT INTO t VALUES (1)", nullptr, adCmdText);
        HRESULT hrCommit = E_UNEXPECTED;
        std::thread releaser([&] {
            CoInitialize(nullptr);
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            hrCommit = pHolder->raw_CommitTrans();
            CoUninitialize();
        });
        auto start = std::chrono::steady_clock::now();
        AdoRaised r = AdoCatch(fn);
        auto waited = std::chrono::steady_clock::now() - start;
        releaser.join();
        EXPECT_EQ(S_OK, r.hr) << WinWideToUtf8(r.description);
        EXPECT_EQ(S_OK, hrCommit);
        EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(waited).count(), 400);
    };
    whileHeld([&] { pWriter->Execute(L"INSERT INTO t VALUES (2)", nullptr, adCmdText); });
    // A transaction that reads before it writes must not find the database locked midway.
    whileHeld([&] {
        pWriter->BeginTrans();
        LONG n = Count(pWriter, L"SELECT count(*) FROM t");
        pWriter->Execute((L"INSERT INTO t VALUES (" + std::to_wstring(n) + L")").c_str(), nullptr,
                         adCmdText);
        pWriter->CommitTrans();
    });
    EXPECT_EQ(7, Count(pWriter, L"SELECT sum(a) FROM t"));
}
