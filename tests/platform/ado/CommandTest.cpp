#include <vector>

#include "AdoTestSupport.h"

namespace {

const HRESULT kInvalidConnection = static_cast<HRESULT>(0x800A0E7D);
const HRESULT kNotCapable = static_cast<HRESULT>(0x800A0CB3);

typedef std::vector<std::vector<std::wstring>> Rows;

} // namespace

class Command : public AdoTest {};

TEST_F(Command, PropertiesAndTheConnectionItHolds) {
    CLSID clsid;
    ASSERT_EQ(S_OK, CLSIDFromProgID(L"ADODB.Command", &clsid));
    EXPECT_TRUE(clsid == CLSID_Command);
    _CommandPtr pCmd;
    ASSERT_EQ(S_OK, pCmd.CreateInstance(clsid));
    EXPECT_EQ(std::wstring(), std::wstring(pCmd->GetCommandText()));
    EXPECT_EQ(adCmdUnknown, pCmd->GetCommandType());
    EXPECT_FALSE(pCmd->GetActiveConnection());
    ISupportErrorInfo* pSupport = nullptr;
    ASSERT_EQ(S_OK, pCmd->QueryInterface(__uuidof(ISupportErrorInfo),
                                         reinterpret_cast<void**>(&pSupport)));
    EXPECT_EQ(S_OK, pSupport->InterfaceSupportsErrorInfo(__uuidof(_Command)));
    pSupport->Release();

    pCmd->PutCommandText(L" SELECT 'x;y' ");
    EXPECT_EQ(std::wstring(L" SELECT 'x;y' "), std::wstring(pCmd->GetCommandText()));
    pCmd->PutCommandType(adCmdText);
    EXPECT_EQ(adCmdText, pCmd->GetCommandType());
    AdoRaised r = AdoCatch([&] { pCmd->PutCommandType(adCmdStoredProc); });
    EXPECT_EQ(kNotCapable, r.hr);
    EXPECT_EQ(L"ADODB.Command", r.source);
    EXPECT_EQ(adCmdText, pCmd->GetCommandType());

    // Without a connection, and with one that was never opened.
    const std::wstring strInvalid = L"The connection cannot be used to perform this operation. It "
                                    L"is either closed or invalid in this context.";
    r = AdoCatch([&] { pCmd->Execute(nullptr, nullptr, adCmdUnknown); });
    EXPECT_EQ(kInvalidConnection, r.hr);
    EXPECT_EQ(L"ADODB.Command", r.source);
    EXPECT_EQ(strInvalid, r.description);
    _ConnectionPtr pConn;
    ASSERT_EQ(S_OK, pConn.CreateInstance(L"ADODB.Connection"));
    r = AdoCatch([&] { pCmd->PutRefActiveConnection(pConn); });
    EXPECT_EQ(kInvalidConnection, r.hr);
    EXPECT_EQ(L"ADODB.Command", r.source);
    EXPECT_EQ(strInvalid, r.description);
    EXPECT_EQ(1u, ComRefCount(pConn));
    EXPECT_FALSE(pCmd->GetActiveConnection());
    pConn = OpenMemory();
    pCmd->PutRefActiveConnection(pConn);
    pCmd->PutRefActiveConnection(pConn);
    EXPECT_EQ(2u, ComRefCount(pConn));
    {
        _ConnectionPtr pHeld = pCmd->GetActiveConnection();
        EXPECT_EQ(pConn.GetInterfacePtr(), pHeld.GetInterfacePtr());
        EXPECT_EQ(3u, ComRefCount(pConn));
    }
    pCmd->PutRefActiveConnection(nullptr);
    EXPECT_EQ(1u, ComRefCount(pConn));
    EXPECT_FALSE(pCmd->GetActiveConnection());
    pCmd->PutRefActiveConnection(pConn);
    pCmd = nullptr;
    EXPECT_EQ(1u, ComRefCount(pConn));
}

TEST_F(Command, ExecuteRunsItsTextOnTheOpenConnection) {
    _ConnectionPtr pConn = OpenMemory();
    _CommandPtr pCmd;
    ASSERT_EQ(S_OK, pCmd.CreateInstance(L"ADODB.Command"));
    pCmd->PutRefActiveConnection(pConn);
    pCmd->PutCommandText(L"CREATE TABLE t(a int UNIQUE); INSERT INTO t VALUES (1), (2)");
    pCmd->PutCommandType(adCmdText);
    _variant_t affected;
    EXPECT_FALSE(pCmd->Execute(&affected, nullptr, adCmdUnknown));
    EXPECT_EQ(VT_I4, affected.vt);
    EXPECT_EQ(2, affected.lVal);
    _variant_t missing(vtMissing);
    pCmd->PutCommandText(L"UPDATE t SET a = a * 10");
    EXPECT_FALSE(pCmd->Execute(&affected, &missing, adCmdText));
    EXPECT_EQ(2, affected.lVal);

    pCmd->PutCommandText(L"SELECT a FROM t ORDER BY a DESC");
    _RecordsetPtr pRs = pCmd->Execute(&affected, nullptr, adCmdUnknown);
    ASSERT_TRUE(pRs);
    EXPECT_EQ(-1, affected.lVal);
    // The result outlives the command that made it.
    pCmd->PutRefActiveConnection(nullptr);
    EXPECT_EQ((Rows{{L"20"}, {L"10"}}), AdoReadRows(pRs));
    pRs = nullptr;
    pCmd->PutRefActiveConnection(pConn);

    // Parameters are not offered.
    _variant_t parameters(5L);
    EXPECT_EQ(kNotCapable, AdoCatch([&] { pCmd->Execute(nullptr, &parameters, adCmdText); }).hr);
    pCmd->PutCommandText(L"INSERT INTO t VALUES (10)");
    AdoRaised r = AdoCatch([&] { pCmd->Execute(nullptr, nullptr, adCmdUnknown); });
    EXPECT_EQ(DB_E_INTEGRITYVIOLATION, r.hr);
    EXPECT_EQ(L"SQLite", r.source);
    EXPECT_EQ(L"Violation of UNIQUE KEY constraint 'UQ__t__14E0E74B1E794C6D'. Cannot insert "
              L"duplicate key in object 'dbo.t'. The duplicate key value is (10).",
              r.description);

    // A connection closed after it was given is no connection; reopened, it is taken again.
    pConn->Close();
    pCmd->PutCommandText(L"CREATE TABLE u(b int)");
    EXPECT_EQ(kInvalidConnection,
              AdoCatch([&] { pCmd->Execute(nullptr, nullptr, adCmdUnknown); }).hr);
    EXPECT_EQ(kInvalidConnection, AdoCatch([&] { pCmd->PutRefActiveConnection(pConn); }).hr);
    pConn->Open(L"", L"", L"", adConnectUnspecified);
    pCmd->PutRefActiveConnection(pConn);
    EXPECT_FALSE(pCmd->Execute(nullptr, nullptr, adCmdUnknown));
    EXPECT_EQ((Rows{{L"u"}}),
              AdoReadRows(pConn->Execute(L"SELECT name FROM sqlite_schema", nullptr, adCmdText)));
    pCmd = nullptr;
    EXPECT_EQ(1u, ComRefCount(pConn));
}

TEST_F(Command, TraceSeesEveryTextOnceAsGiven) {
    std::vector<std::wstring> seen;
    std::function<void(LPCWSTR)> previous =
        AdoSetCommandTrace([&](LPCWSTR psz) { seen.push_back(psz); });
    _ConnectionPtr pConn = OpenMemory();
    const std::wstring strCreate = L"  create TABLE [t] (a text) ; -- note\n";
    const std::wstring strInsert = L"INSERT INTO t VALUES ('\u00e9\U0001D11E'), ('b')";
    pConn->Execute(strCreate.c_str(), nullptr, adCmdText);
    pConn->Execute(strInsert.c_str(), nullptr, adCmdText);
    EXPECT_EQ(DB_E_ERRORSINCOMMAND,
              AdoCatch([&] { pConn->Execute(L"SELEC 1", nullptr, adCmdText); }).hr);

    _CommandPtr pCmd;
    ASSERT_EQ(S_OK, pCmd.CreateInstance(L"ADODB.Command"));
    pCmd->PutRefActiveConnection(pConn);
    pCmd->PutCommandText(L"DELETE FROM t WHERE a = 'b'");
    pCmd->Execute(nullptr, nullptr, adCmdUnknown);

    _RecordsetPtr pRs;
    ASSERT_EQ(S_OK, pRs.CreateInstance(L"ADODB.Recordset"));
    {
        const _variant_t connection(static_cast<IDispatch*>(pConn));
        pRs->Open(L"SELECT a FROM t", connection, adOpenForwardOnly, adLockReadOnly, adCmdText);
        EXPECT_EQ((Rows{{L"\u00e9\U0001D11E"}}), AdoReadRows(pRs));
        pRs->Close();
        pRs->Open(L"t", connection, adOpenForwardOnly, adLockOptimistic, adCmdTable);
        pRs->Close();
    }

    EXPECT_EQ((std::vector<std::wstring>{strCreate, strInsert, L"SELEC 1",
                                         L"DELETE FROM t WHERE a = 'b'", L"SELECT a FROM t", L"t"}),
              seen);

    // Installing returns the trace it replaces; an empty one removes it.
    std::vector<std::wstring> other;
    std::function<void(LPCWSTR)> mine =
        AdoSetCommandTrace([&](LPCWSTR psz) { other.push_back(psz); });
    ASSERT_TRUE(mine);
    mine(L"probe");
    EXPECT_EQ(L"probe", seen.back());
    pConn->Execute(L"SELECT 2", nullptr, adCmdText);
    EXPECT_EQ(std::vector<std::wstring>{L"SELECT 2"}, other);
    EXPECT_TRUE(AdoSetCommandTrace({}));
    EXPECT_FALSE(AdoSetCommandTrace({}));
    pConn->Execute(L"SELECT 3", nullptr, adCmdText);
    EXPECT_EQ(7u, seen.size());
    EXPECT_EQ(1u, other.size());
    AdoSetCommandTrace(previous);
    pCmd = nullptr;
    pRs = nullptr;
    EXPECT_EQ(1u, ComRefCount(pConn));
}
