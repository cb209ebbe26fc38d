// zqk sql: queries print aligned tables, CSV or JSON; other statements their row counts;
// statements come from arguments or standard input; the first failure ends the run.
#include "ToolRunner.h"

namespace {

class ZqkSql : public ::testing::Test {
protected:
    ZqkSql() : zqk(dir) {}
    void SetUp() override {
        ToolResult made = zqk.Run(
            {"sql",
             "CREATE TABLE People (ID int PRIMARY KEY, Name nvarchar(20), City varchar(20), "
             "Score float)",
             "INSERT INTO People VALUES (1, N'Ann', 'Oslo', 7.5), (2, N'王芳', 'Xi''an, \"old\"', "
             "NULL), (3, N'  Bo', NULL, -12)"});
        ASSERT_EQ(0, made.nStatus) << made.strErr;
        ASSERT_EQ("0 rows affected\n3 rows affected\n", made.strOut);
    }
    TempDir dir;
    ToolRunner zqk;
};

const char* const kQuery = "SELECT ID, Name, City, Score FROM People ORDER BY ID";

} // namespace

TEST_F(ZqkSql, QueryAsAlignedTableWithWideCharactersAndNull) {
    ToolResult result = zqk.Run({"sql", kQuery});
    EXPECT_EQ(0, result.nStatus);
    EXPECT_EQ("", result.strErr);
    ExpectGolden("sql-table.txt", result.strOut);
}

TEST_F(ZqkSql, QueryAsCsvAndAsJson) {
    ToolResult csv = zqk.Run({"sql", "--csv", kQuery, "UPDATE People SET Score = 0 WHERE ID = 9"});
    EXPECT_EQ(0, csv.nStatus);
    ExpectGolden("sql-csv.txt", csv.strOut);
    // CSV stays data only: the count of the update goes to standard error.
    EXPECT_EQ("0 rows affected\n", csv.strErr);

    ToolResult json = zqk.Run({"sql", "--json", kQuery, "UPDATE People SET Score = 1 WHERE ID < 3",
                               "SELECT ID FROM People WHERE ID > 10"});
    EXPECT_EQ(0, json.nStatus);
    ExpectGolden("sql-json.txt", json.strOut);
}

TEST_F(ZqkSql, FailurePrintsTheErrorReportAndStopsTheRun) {
    ToolResult result = zqk.Run({"sql", "SELECT 1 AS a", "SELECT * FROM Missing", "SELECT 2 AS b"});
    EXPECT_EQ(1, result.nStatus);
    EXPECT_EQ("a\n-\n1\n(1 row)\n", result.strOut);
    ExpectGolden("sql-error.txt", result.strErr);

    ToolResult key = zqk.Run({"sql", "INSERT INTO People (ID) VALUES (1)"});
    EXPECT_EQ(1, key.nStatus);
    EXPECT_NE(std::string::npos, key.strErr.find("Code = 80040e2f")) << key.strErr;
}

TEST_F(ZqkSql, StatementsFromStandardInputByLineOrInGoBatches) {
    ToolResult lines = zqk.Run({"sql"}, "SELECT COUNT(*) AS n FROM People\n\n"
                                        "DELETE FROM People WHERE ID = 3\n"
                                        "SELECT COUNT(*) AS n FROM People\n");
    EXPECT_EQ(0, lines.nStatus) << lines.strErr;
    EXPECT_EQ("n\n-\n3\n(1 row)\n1 row affected\nn\n-\n2\n(1 row)\n", lines.strOut);

    // A batch spans lines and may hold several statements; GO is matched in any case.
    ToolResult batches = zqk.Run({"sql", "--csv"}, "INSERT INTO People (ID, Name)\n"
                                                   "  VALUES (4, N'Dee');\n"
                                                   "INSERT INTO People (ID) VALUES (5)\n"
                                                   "go\n"
                                                   "SELECT ID,\n  Name FROM People WHERE ID > 3\n"
                                                   "GO\n");
    EXPECT_EQ(0, batches.nStatus) << batches.strErr;
    EXPECT_EQ("ID,Name\r\n4,Dee\r\n5,\r\n", batches.strOut);
    EXPECT_EQ("2 rows affected\n", batches.strErr);
}

TEST_F(ZqkSql, EmptyResultStillShowsItsColumns) {
    ToolResult table = zqk.Run({"sql", "SELECT ID, Name FROM People WHERE ID = 0"});
    EXPECT_EQ("ID | Name\n---+-----\n(0 rows)\n", table.strOut);
    ToolResult json = zqk.Run({"sql", "--json", "SELECT ID FROM People WHERE ID = 0"});
    EXPECT_EQ("[]\n", json.strOut);
}

TEST_F(ZqkSql, BinaryValuesShowTheirSize) {
    ToolResult result = zqk.Run({"sql", "SELECT CAST(X'00FF10' AS BLOB) AS b"});
    EXPECT_EQ(0, result.nStatus) << result.strErr;
    EXPECT_NE(std::string::npos, result.strOut.find("<3 bytes>")) << result.strOut;
}
