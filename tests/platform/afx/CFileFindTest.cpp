#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/afx/afx.h"
#include "support/TempDir.h"

namespace {

using Names = std::vector<std::wstring>;

// Every match of a search; FindNextFile must answer TRUE exactly until it reaches the last.
Names FindAll(const std::wstring& pattern) {
    CFileFind ff;
    Names out;
    if (!ff.FindFile(pattern.c_str()))
        return out;
    BOOL bMore = TRUE;
    while (bMore) {
        bMore = ff.FindNextFile();
        out.emplace_back(ff.GetFileName().GetString());
    }
    EXPECT_FALSE(ff.FindNextFile());
    return out;
}

class CFileFindTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"b.txt", "a.txt", "ab.bin", "a1.bin", "abc.bin", "README"})
            Make(name);
        std::ofstream(dir.File("a.txt")) << "twelve bytes";
        std::filesystem::create_directory(dir.File("sub"));
        root.assign(dir.Path().begin(), dir.Path().end());
    }
    void Make(const std::string& name) { std::ofstream(dir.File(name)) << "abc"; }

    TempDir dir;
    std::wstring root;
};

} // namespace

TEST_F(CFileFindTest, WildcardsInTheLastComponent) {
    EXPECT_EQ((Names{L"a.txt", L"b.txt"}), FindAll(root + L"/*.txt"));
    EXPECT_EQ((Names{L"a1.bin", L"ab.bin"}), FindAll(root + L"/a?.bin"));
    EXPECT_EQ((Names{L"a1.bin", L"ab.bin", L"abc.bin"}), FindAll(root + L"/a*.bin"));
    // "*.*" is everything, names without a dot and the dot entries included, in name order.
    EXPECT_EQ((Names{L".", L"..", L"README", L"a.txt", L"a1.bin", L"ab.bin", L"abc.bin", L"b.txt",
                     L"sub"}),
              FindAll(root + L"/*.*"));
    EXPECT_EQ(Names{}, FindAll(root + L"/*.doc"));
    EXPECT_EQ(Names{}, FindAll(root + L"/nofolder/*.*"));
    EXPECT_EQ(Names{}, FindAll(root + L"/a.txt/*.*")); // a file is no folder
}

TEST_F(CFileFindTest, PlainNamesMatchExactly) {
    EXPECT_EQ((Names{L"ab.bin"}), FindAll(root + L"/ab.bin"));
    EXPECT_EQ((Names{L"sub"}), FindAll(root + L"/sub"));
    EXPECT_EQ(Names{}, FindAll(root + L"/AB.BIN")); // names are case-sensitive here
    EXPECT_EQ(Names{}, FindAll(root + L"/missing"));

    // Only '*' and '?' are wildcards: brackets are ordinary characters.
    Make("x[1].txt");
    Make("x1.txt");
    EXPECT_EQ((Names{L"x[1].txt"}), FindAll(root + L"/x[1].txt"));
    EXPECT_EQ((Names{L"x1.txt", L"x[1].txt"}), FindAll(root + L"/x*.txt"));

    // '?' stands for one character, also where that takes several bytes on disk.
    Make("\xE6\x95\xB0.dat");
    EXPECT_EQ((Names{L"数.dat"}), FindAll(root + L"/?.dat"));
    EXPECT_EQ((Names{L"数.dat"}), FindAll(root + L"/数.dat"));

    // The folder part may end in a backslash, as paths built for Windows do.
    EXPECT_EQ((Names{L"a.txt", L"b.txt"}), FindAll(root + L"\\?.txt"));
}

TEST_F(CFileFindTest, AccessorsDescribeTheCurrentMatch) {
    std::wstring canon = std::filesystem::canonical(dir.Path()).wstring();
    CFileFind ff;
    // A relative folder is resolved, so paths are always absolute.
    std::filesystem::path cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path());
    EXPECT_TRUE(ff.FindFile(L"./*.*"));
    std::filesystem::current_path(cwd);
    EXPECT_STREQ(canon.c_str(), ff.GetRoot());

    std::vector<std::wstring> seen;
    BOOL bMore = TRUE;
    while (bMore) {
        bMore = ff.FindNextFile();
        CString strTitle = ff.IsDots() ? CString() : ff.GetFileTitle(); // no title to speak of
        seen.push_back(std::wstring(ff.GetFileName()) + L"|" + ff.GetFilePath().GetString() + L"|" +
                       strTitle.GetString() + L"|" + std::to_wstring(ff.GetLength()) + L"|" +
                       std::to_wstring(ff.IsDirectory()) + std::to_wstring(ff.IsDots()));
    }
    // Folders have no length.
    EXPECT_EQ((std::vector<std::wstring>{
                  L".|" + canon + L"/.||0|11",
                  L"..|" + canon + L"/..||0|11",
                  L"README|" + canon + L"/README|README|3|00",
                  L"a.txt|" + canon + L"/a.txt|a|12|00",
                  L"a1.bin|" + canon + L"/a1.bin|a1|3|00",
                  L"ab.bin|" + canon + L"/ab.bin|ab|3|00",
                  L"abc.bin|" + canon + L"/abc.bin|abc|3|00",
                  L"b.txt|" + canon + L"/b.txt|b|3|00",
                  L"sub|" + canon + L"/sub|sub|0|10",
              }),
              seen);

    // A new search starts over, with no current match before the first FindNextFile.
    EXPECT_TRUE(ff.FindFile((root + L"/b.txt").c_str()));
    bool bThrown = false;
    try {
        ff.GetFileName();
    } catch (CException* e) {
        bThrown = true;
        e->Delete();
    }
    EXPECT_TRUE(bThrown);
    EXPECT_FALSE(ff.FindNextFile());
    EXPECT_STREQ(L"b.txt", ff.GetFileName());
}

TEST_F(CFileFindTest, ANullNameFindsEverythingAndAnEmptyOneNothing) {
    std::filesystem::path cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path());
    CFileFind ff;
    Names found;
    BOOL bFound = ff.FindFile();
    for (BOOL bMore = bFound; bMore;) {
        bMore = ff.FindNextFile();
        found.emplace_back(ff.GetFileName().GetString());
    }
    // An empty name is no pattern: it ends the search it replaces and matches nothing, not
    // even in the current folder.
    EXPECT_TRUE(ff.FindFile(nullptr));
    BOOL bEmpty = ff.FindFile(L"");
    BOOL bNext = ff.FindNextFile();
    std::filesystem::current_path(cwd);
    EXPECT_TRUE(bFound);
    EXPECT_EQ((Names{L".", L"..", L"README", L"a.txt", L"a1.bin", L"ab.bin", L"abc.bin", L"b.txt",
                     L"sub"}),
              found);
    EXPECT_FALSE(bEmpty);
    EXPECT_FALSE(bNext);
    EXPECT_EQ(Names{}, FindAll(L""));
}
