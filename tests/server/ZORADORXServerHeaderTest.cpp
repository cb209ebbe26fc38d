// A host that includes the server's header and nothing else: what the transactions raise is
// declared there, so it can catch it.
#include <gtest/gtest.h>

#include "ZORADORXServer.h"

namespace {

// The code the call raised, or S_OK when it returned.
template <typename Fn> HRESULT Raised(Fn fn) {
    try {
        fn();
    } catch (_com_error& e) {
        return e.Error();
    }
    return S_OK;
}

} // namespace

TEST(ZORADORXServerHeader, TransactionFailuresCatchAsComError) {
    CZORADORXServer unconnected;
    EXPECT_EQ(E_POINTER, Raised([&] { unconnected.BeginTrans(); }));
    EXPECT_EQ(E_POINTER, Raised([&] { unconnected.RollbackTrans(); }));

    CZORADORXServer server;
    ASSERT_EQ(1,
              server.InitADOServer(L"Provider=SQLite; Data Source=:memory:; Initial Catalog=db"));
    EXPECT_EQ(S_OK, Raised([&] { server.BeginTrans(); }));
    EXPECT_EQ(S_OK, Raised([&] { server.CommitTrans(); }));
    // No transaction is open any more (XACT_E_NOTRANSACTION, which this header does not name).
    EXPECT_EQ(static_cast<HRESULT>(0x8004D00E), Raised([&] { server.CommitTrans(); }));
}
