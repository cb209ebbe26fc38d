// zqk pack and unpack: a 5 MB file goes into a row and comes back byte for byte, into each
// kind of place; what cannot be done is reported with status 1, wrong usage with 2.
#include "ToolRunner.h"

namespace {

// Bytes that never repeat in a short cycle, so that a shifted or cut copy shows.
std::string Pattern(size_t nBytes) {
    std::string str(nBytes, '\0');
    unsigned long long nState = 88172645463325252ULL;
    for (char& ch : str) {
        nState ^= nState << 13;
        nState ^= nState >> 7;
        nState ^= nState << 17;
        ch = static_cast<char>(nState);
    }
    return str;
}

class ZqkPack : public ::testing::Test {
protected:
    ZqkPack() : zqk(dir) {}
    void SetUp() override {
        ASSERT_EQ(0, zqk.Run({"create", "Files", "ID:int!", "Name:varchar(50)", "Size:int",
                              "Stored:datetime", "Body:image"})
                         .nStatus);
        strBytes = Pattern(5 * 1000 * 1000);
        WriteFile(dir.File("five.bin"), strBytes);
    }
    const char* kQuery = "SELECT Body FROM Files WHERE ID = 7";
    TempDir dir;
    ToolRunner zqk;
    std::string strBytes;
};

} // namespace

TEST_F(ZqkPack, FiveMegabytesRoundTripIntoEveryKindOfPlace) {
    ToolResult packed =
        zqk.Run({"pack", "Files", "Body", "five.bin", "ID=7:int", "Name=five.bin:VARCHAR",
                 "Size=5000000:int", "Stored=2024-05-06 07:08:09:datetime"});
    ASSERT_EQ(0, packed.nStatus) << packed.strErr;
    EXPECT_EQ("stored five.bin (5000000 bytes) in Files.Body\n", packed.strOut);
    EXPECT_EQ("", packed.strErr);
    // The further columns are typed as given (datetime values keep their own colons).
    EXPECT_EQ("ID,Name,Size,Stored\r\n7,five.bin,5000000,2024-05-06 07:08:09\r\n",
              zqk.Run({"sql", "--csv", "SELECT ID, Name, Size, Stored FROM Files"}).strOut);

    ToolResult here = zqk.Run({"unpack", "Body", "here.bin", kQuery});
    EXPECT_EQ(0, here.nStatus) << here.strErr;
    EXPECT_EQ("wrote 5000000 bytes to ./here.bin\n", here.strOut);
    EXPECT_TRUE(ReadFile(dir.File("here.bin")) == strBytes);

    std::filesystem::create_directory(dir.File("out"));
    ToolResult folder = zqk.Run({"unpack", "--to", "out/", "Body", "f.bin", kQuery});
    EXPECT_EQ(0, folder.nStatus) << folder.strErr;
    EXPECT_EQ("wrote 5000000 bytes to out/f.bin\n", folder.strOut);
    EXPECT_TRUE(ReadFile(dir.File("out/f.bin")) == strBytes);

    ToolResult nested = zqk.Run({"unpack", "Body", "out/n.bin", kQuery});
    EXPECT_EQ(0, nested.nStatus) << nested.strErr;
    EXPECT_TRUE(ReadFile(dir.File("out/n.bin")) == strBytes);

    // The temporary folder is $TMPDIR, which the runner points at the test's folder.
    ToolResult temp = zqk.Run({"unpack", "--temp", "Body", "t.bin", kQuery});
    EXPECT_EQ(0, temp.nStatus) << temp.strErr;
    EXPECT_EQ("wrote 5000000 bytes to " + dir.Path() + "/t.bin\n", temp.strOut);
    EXPECT_TRUE(ReadFile(dir.File("t.bin")) == strBytes);
}

TEST_F(ZqkPack, WhatCannotBeDoneIsADatabaseOrFileError) {
    ToolResult missing = zqk.Run({"pack", "Files", "Body", "nothing.bin", "ID=1:int"});
    EXPECT_EQ(1, missing.nStatus);
    EXPECT_EQ("zqk: nothing.bin: no such file\n", missing.strErr);

    ASSERT_EQ(0, zqk.Run({"pack", "Files", "Body", "five.bin", "ID=7:int"}).nStatus);
    ToolResult duplicate = zqk.Run({"pack", "Files", "Body", "five.bin", "ID=7:int"});
    EXPECT_EQ(1, duplicate.nStatus);
    EXPECT_NE(std::string::npos, duplicate.strErr.find("refused the row")) << duplicate.strErr;

    ToolResult column = zqk.Run({"pack", "Files", "Nope", "five.bin", "ID=8:int"});
    EXPECT_EQ(1, column.nStatus);
    EXPECT_NE(std::string::npos, column.strErr.find("Code = 800a0cc1")) << column.strErr;
    EXPECT_EQ("n\r\n1\r\n", zqk.Run({"sql", "--csv", "SELECT COUNT(*) AS n FROM Files"}).strOut);

    ToolResult noRow = zqk.Run({"unpack", "Body", "x.bin", "SELECT Body FROM Files WHERE ID = 1"});
    EXPECT_EQ(1, noRow.nStatus);
    EXPECT_NE(std::string::npos, noRow.strErr.find("nothing to unpack")) << noRow.strErr;
    EXPECT_FALSE(std::filesystem::exists(dir.File("x.bin")));

    ToolResult noFolder = zqk.Run({"unpack", "--to", "absent", "Body", "x.bin", kQuery});
    EXPECT_EQ(1, noFolder.nStatus);
    EXPECT_EQ("zqk: absent: no such folder\n", noFolder.strErr);

    // Without a terminal or a desktop the folder picker cancels.
    ToolResult picked = zqk.Run({"unpack", "--pick", "Body", "x.bin", kQuery});
    EXPECT_EQ(1, picked.nStatus);
    EXPECT_EQ("zqk: no folder was chosen\n", picked.strErr);

    // The packer reports success for a file it cannot create; the tool looks for the file.
    std::filesystem::create_directories(dir.File("busy/x.bin"));
    ToolResult blocked = zqk.Run({"unpack", "--to", "busy", "Body", "x.bin", kQuery});
    EXPECT_EQ(1, blocked.nStatus);
    EXPECT_EQ("zqk: could not create busy/x.bin\n", blocked.strErr);
}

TEST_F(ZqkPack, WrongCommandLinesAreUsageErrors) {
    const std::vector<std::vector<std::string>> bad = {
        {"pack", "Files", "Body"},
        {"pack", "Files", "Body", "five.bin", "ID:int"},
        {"pack", "Files", "Body", "five.bin", "ID=1"},
        {"pack", "Files", "Body", "five.bin", "ID=1:bigint"},
        {"unpack", "--to", "out", "--temp", "Body", "x.bin", "SELECT 1"},
        {"unpack", "--temp", "Body", "sub/x.bin", "SELECT 1"},
        {"unpack", "Body", "x.bin"},
    };
    for (const auto& args : bad) {
        ToolResult result = zqk.Run(args);
        EXPECT_EQ(2, result.nStatus) << args.back();
        EXPECT_EQ(0u, result.strErr.find("zqk " + args[0] + ": ")) << result.strErr;
    }
    EXPECT_EQ("n\r\n0\r\n", zqk.Run({"sql", "--csv", "SELECT COUNT(*) AS n FROM Files"}).strOut);
}
