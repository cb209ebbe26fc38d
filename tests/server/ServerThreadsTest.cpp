// A server destroyed on another thread than the one that made it leaves both threads' COM
// initialisation as it was.
#include <gtest/gtest.h>

#include <thread>

#include "zqk_vododuvod.h"

namespace {

TEST(ServerThreads, DestroyingElsewhereLeavesEachThreadsComAlone) {
    CZORADORXServer* pServer = nullptr;
    bool bMakerInitialised = false;
    std::thread maker([&] {
        pServer = new CZORADORXServer; // raises this thread's COM count
        bMakerInitialised = ZqkIsComInitialized();
    });
    maker.join();
    ASSERT_TRUE(bMakerInitialised);

    ASSERT_EQ(S_OK, CoInitialize(nullptr)); // this thread's own count
    delete pServer;
    // Still initialised here: the host can go on creating objects.
    EXPECT_TRUE(ZqkIsComInitialized());
    _ConnectionPtr pConn;
    EXPECT_EQ(S_OK, pConn.CreateInstance(L"ADODB.Connection"));
    pConn = nullptr;
    CoUninitialize();
    EXPECT_FALSE(ZqkIsComInitialized());

    // On its own thread too, the server leaves COM initialised when it goes.
    std::thread own([] {
        {
            CZORADORXServer server;
            EXPECT_TRUE(ZqkIsComInitialized());
        }
        EXPECT_TRUE(ZqkIsComInitialized());
    });
    own.join();
}

} // namespace
