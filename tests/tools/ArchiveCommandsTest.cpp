// zqk archive: value tables in files, shown as tables or CSV, saved from queries and loaded
// into tables. The archives here are written byte by byte, in the format hosts exchange.
#include "ToolRunner.h"

namespace {

std::string Int32(int n) {
    std::string str(4, '\0');
    for (int i = 0; i < 4; ++i)
        str[static_cast<size_t>(i)] =
            static_cast<char>((static_cast<unsigned>(n) >> (8 * i)) & 0xFF);
    return str;
}

// A wide archive string (lengths below 255 UTF-16 units).
std::string Wide(const std::u16string& str) {
    std::string out = "\xFF\xFE\xFF";
    out += static_cast<char>(str.size());
    for (char16_t ch : str) {
        out += static_cast<char>(ch & 0xFF);
        out += static_cast<char>(ch >> 8);
    }
    return out;
}

std::string Record(const std::vector<std::u16string>& values) {
    std::string out = Int32(static_cast<int>(values.size()));
    for (const std::u16string& value : values)
        out += Wide(value);
    return out;
}

// Labels ID, Name, City; label II set; rows of three widths, one with wide characters.
std::string SampleTable() {
    return Record({u"ID", u"Name", u"City"}) + Record({u"n", u"t", u"t"}) + Record({}) +
           Record({}) + Int32(3) + Record({u"1", u"Ann", u"Oslo"}) +
           Record({u"2", u"王芳", u"Xi'an, \"old\""}) + Record({u"3"});
}

const char* const kShown = "ID | Name | City\n"
                           "---+------+-------------\n"
                           "1  | Ann  | Oslo\n"
                           "2  | 王芳 | Xi'an, \"old\"\n"
                           "3  |      |\n"
                           "(3 rows)\n"
                           "label II: n,t,t\n";

} // namespace

TEST(ZqkArchive, ShowsATableWithAndWithoutTheObjectFraming) {
    TempDir dir;
    ToolRunner zqk(dir);
    WriteFile(dir.File("plain.zqt"), SampleTable());
    ToolResult plain = zqk.Run({"archive", "show", "plain.zqt"});
    EXPECT_EQ(0, plain.nStatus) << plain.strErr;
    EXPECT_EQ(kShown, plain.strOut);

    // A host that stored the table as an object put its class in front.
    std::string strFramed =
        std::string("\xFF\xFF\x00\x00\x0E\x00", 6) + "CZORValueTable" + SampleTable();
    WriteFile(dir.File("framed.zqt"), strFramed);
    ToolResult framed = zqk.Run({"archive", "show", "framed.zqt"});
    EXPECT_EQ(0, framed.nStatus) << framed.strErr;
    EXPECT_EQ(kShown, framed.strOut);

    ToolResult csv = zqk.Run({"archive", "show", "--csv", "plain.zqt"});
    EXPECT_EQ(0, csv.nStatus);
    ExpectGolden("archive-show.csv", csv.strOut);
}

TEST(ZqkArchive, DamagedOrMissingFilesAreFileErrors) {
    TempDir dir;
    ToolRunner zqk(dir);
    std::string strTable = SampleTable();
    WriteFile(dir.File("cut.zqt"), strTable.substr(0, strTable.size() - 3));
    ToolResult cut = zqk.Run({"archive", "show", "cut.zqt"});
    EXPECT_EQ(1, cut.nStatus);
    EXPECT_EQ("", cut.strOut);
    EXPECT_EQ(0u, cut.strErr.find("zqk: cut.zqt is not a value table archive")) << cut.strErr;

    ToolResult missing = zqk.Run({"archive", "show", "absent.zqt"});
    EXPECT_EQ(1, missing.nStatus);
    EXPECT_EQ(0u, missing.strErr.find("zqk: absent.zqt: ")) << missing.strErr;

    EXPECT_EQ(2, zqk.Run({"archive", "show"}).nStatus);
    EXPECT_EQ(2, zqk.Run({"archive", "copy", "a", "b"}).nStatus);
    EXPECT_EQ(2, zqk.Run({"archive", "save", "--csv", "SELECT 1", "x.zqt"}).nStatus);
}

TEST(ZqkArchive, SaveLoadIntoANewTableAndIntoAnExistingOneInOneTransaction) {
    TempDir dir;
    ToolRunner zqk(dir);
    ASSERT_EQ(0, zqk.Run({"sql", "CREATE TABLE Src (ID int PRIMARY KEY, Name nvarchar(20))",
                          "INSERT INTO Src VALUES (1, N'Ann'), (2, N'王''芳'), (3, NULL)"})
                     .nStatus);
    ToolResult saved =
        zqk.Run({"archive", "save", "SELECT ID, Name FROM Src ORDER BY ID", "s.zqt"});
    EXPECT_EQ(0, saved.nStatus) << saved.strErr;
    EXPECT_EQ("saved 3 rows of 2 columns to s.zqt\n", saved.strOut);
    // What was saved is the value table: trimmed text, NULL as empty.
    EXPECT_EQ(Record({u"ID", u"Name"}) + Record({}) + Record({}) + Record({}) + Int32(3) +
                  Record({u"1", u"Ann"}) + Record({u"2", u"王'芳"}) + Record({u"3", u""}),
              ReadFile(dir.File("s.zqt")));

    ToolResult fresh = zqk.Run({"archive", "load", "s.zqt", "Copy"});
    EXPECT_EQ(0, fresh.nStatus) << fresh.strErr;
    EXPECT_EQ("created table Copy with 2 columns\nloaded 3 rows into Copy\n", fresh.strOut);
    EXPECT_EQ("ID,Name\r\n1,Ann\r\n2,王'芳\r\n3,\r\n",
              zqk.Run({"sql", "--csv", "SELECT ID, Name FROM Copy ORDER BY ID"}).strOut);
    EXPECT_EQ(
        "n\r\n1\r\n",
        zqk.Run({"sql", "--csv", "SELECT COUNT(*) AS n FROM Copy WHERE Name IS NULL"}).strOut);

    // Into the source itself: row 1 breaks the key, so none of the three arrive.
    ASSERT_EQ(0, zqk.Run({"sql", "DELETE FROM Src WHERE ID > 1"}).nStatus);
    ToolResult refused = zqk.Run({"archive", "load", "s.zqt", "Src"});
    EXPECT_EQ(1, refused.nStatus);
    EXPECT_NE(std::string::npos, refused.strErr.find("zqk: nothing loaded: row 1 was refused"))
        << refused.strErr;
    EXPECT_EQ("n\r\n1\r\n", zqk.Run({"sql", "--csv", "SELECT COUNT(*) AS n FROM Src"}).strOut);

    ASSERT_EQ(0, zqk.Run({"sql", "DELETE FROM Src"}).nStatus);
    ToolResult existing = zqk.Run({"archive", "load", "s.zqt", "Src"});
    EXPECT_EQ(0, existing.nStatus) << existing.strErr;
    EXPECT_EQ("loaded 3 rows into Src\n", existing.strOut);
}
