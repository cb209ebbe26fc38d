// A host that includes the server's header and nothing else: what the transactions raise is
// declared there, so it can catch it as hosts do.
#include <gtest/gtest.h>

#include "ZORADORXServer.h"

TEST(ZORADORXServerHeader, TransactionFailuresCatchAsComError) {
    CZORADORXServer server;
    HRESULT hr = S_OK;
    try {
        server.BeginTrans(); // no connection yet
    } catch (_com_error& e) {
        hr = e.Error();
    }
    EXPECT_EQ(E_POINTER, hr);

    ASSERT_EQ(1,
              server.InitADOServer(L"Provider=SQLite; Data Source=:memory:; Initial Catalog=db"));
    server.BeginTrans();
    server.CommitTrans();
    hr = S_OK;
    try {
        server.CommitTrans();
    } catch (const _com_error& e) {
        hr = e.Error();
    }
    // No transaction is open any more (XACT_E_NOTRANSACTION, which this header does not name).
    EXPECT_EQ(static_cast<HRESULT>(0x8004D00E), hr);
}
