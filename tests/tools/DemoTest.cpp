// zqk demo: the tour prints the same calls and answers every time, keeps its database, and
// starts afresh when its folder is used again.
#include "ToolRunner.h"

TEST(ZqkDemo, TourMatchesGoldenKeepsItsDatabaseAndRunsAgainInTheSameFolder) {
    TempDir dir;
    ToolRunner zqk(dir);
    std::string strFolder = dir.File("tour");
    ToolResult first = zqk.Run({"demo", strFolder});
    EXPECT_EQ(0, first.nStatus) << first.strOut << first.strErr;
    EXPECT_EQ("", first.strErr);
    ExpectGolden("demo.txt", ReplaceAll(first.strOut, strFolder, "<FOLDER>"));
    EXPECT_TRUE(std::filesystem::exists(strFolder + "/demo.db"));

    // The demo's database is a plain database the other commands open.
    ToolResult tables =
        zqk.Run({"tables", "-c",
                 "Provider=SQLite; Data Source=" + strFolder + "/demo.db; Initial Catalog=demo"});
    EXPECT_EQ(0, tables.nStatus);
    EXPECT_EQ("Staff\nFiles\n", tables.strOut);

    ToolResult again = zqk.Run({"demo", strFolder});
    EXPECT_EQ(0, again.nStatus) << again.strOut;
    EXPECT_EQ(first.strOut, again.strOut);
}

TEST(ZqkDemo, WithoutAFolderWorksInANewTemporaryFolderAndNamesIt) {
    TempDir dir;
    ToolRunner zqk(dir);
    ToolResult result = zqk.Run({"demo"});
    EXPECT_EQ(0, result.nStatus) << result.strOut << result.strErr;
    std::string strMarker = "The database is kept in ";
    size_t nAt = result.strOut.find(strMarker);
    ASSERT_NE(std::string::npos, nAt);
    std::string strKept = result.strOut.substr(nAt + strMarker.size());
    strKept = strKept.substr(0, strKept.find('\n'));
    EXPECT_EQ(0u, strKept.find(dir.Path() + "/zqk-demo-")) << strKept;
    EXPECT_TRUE(std::filesystem::exists(strKept));
}

TEST(ZqkDemo, AFolderThatCannotBeMadeFailsBeforeAnyStep) {
    TempDir dir;
    ToolRunner zqk(dir);
    WriteFile(dir.File("plain"), "not a folder");
    ToolResult result = zqk.Run({"demo", dir.File("plain") + "/sub"});
    EXPECT_EQ(1, result.nStatus);
    EXPECT_EQ("", result.strOut);
    EXPECT_NE(std::string::npos, result.strErr.find("cannot make this folder"));
}

TEST(ZqkDemo, AStepThatDoesNotDoWhatItShouldEndsTheDemoWithStatusOne) {
    TempDir dir;
    ToolRunner zqk(dir);
    // A plain file where the unpacked copy's folder would go: unpacking cannot write it.
    std::filesystem::create_directory(dir.File("tour"));
    WriteFile(dir.File("tour/unpacked"), "in the way");
    ToolResult result = zqk.Run({"demo", dir.File("tour")});
    EXPECT_EQ(1, result.nStatus);
    EXPECT_NE(std::string::npos, result.strOut.find("   FAILED: the file did not come back as it "
                                                    "went in\n"))
        << result.strOut;
    EXPECT_NE(std::string::npos, result.strOut.find("\nStep 9 of 11 did not do what it should"));
    EXPECT_EQ(std::string::npos, result.strOut.find("10. Run a transaction"));
}
