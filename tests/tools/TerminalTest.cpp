// What zqk does on a terminal: the progress bar of pack and unpack (for large files only,
// ending at the whole size), and the password prompt of a data source, without echo.
#include "ToolRunner.h"

TEST(ZqkTerminal, LargeTransfersDrawABarOnATerminalSmallOnesDoNot) {
    TempDir dir;
    ToolRunner zqk(dir);
    ASSERT_EQ(0, zqk.Run({"create", "Files", "ID:int!", "Body:image"}).nStatus);
    WriteFile(dir.File("big.bin"), std::string(3 * 1000 * 1000, 'x'));
    WriteFile(dir.File("small.bin"), std::string(1000, 'y'));

    std::string strPack = zqk.RunOnTerminal({"pack", "Files", "Body", "big.bin", "ID=1:int"});
    EXPECT_NE(std::string::npos, strPack.find("packing [##############################] 100% "
                                              "3.0/3.0 MB"))
        << strPack;
    std::string strUnpack =
        zqk.RunOnTerminal({"unpack", "Body", "back.bin", "SELECT Body FROM Files WHERE ID = 1"});
    EXPECT_NE(std::string::npos, strUnpack.find("unpacking [##############################] 100%"))
        << strUnpack;
    EXPECT_EQ(ReadFile(dir.File("big.bin")), ReadFile(dir.File("back.bin")));

    EXPECT_EQ("", zqk.RunOnTerminal({"pack", "Files", "Body", "small.bin", "ID=2:int"}));
    // Not on a terminal, not even a large file draws one.
    ToolResult quiet = zqk.Run({"pack", "Files", "Body", "big.bin", "ID=3:int"});
    EXPECT_EQ(0, quiet.nStatus);
    EXPECT_EQ("", quiet.strErr);
}

TEST(ZqkTerminal, DataSourcePasswordIsAskedWithoutEchoAndNeverShown) {
    TempDir dir;
    ToolRunner zqk(dir);
    std::string strSeen = zqk.RunOnTerminal({"tables", "-d", "nosuchdsn", "-u", "alice"},
                                            "Password for alice@nosuchdsn: ", "TypedSecret9\n");
    EXPECT_NE(std::string::npos, strSeen.find("Password for alice@nosuchdsn: ")) << strSeen;
    EXPECT_EQ(std::string::npos, strSeen.find("TypedSecret9")) << strSeen;
    // A data source that does not exist cannot open; the attempt is named, masked. (The
    // PostgreSQL tests answer the prompt for a data source that opens.)
    EXPECT_NE(std::string::npos, strSeen.find("cannot open DSN=nosuchdsn; UID=alice; PWD=***"))
        << strSeen;
}
