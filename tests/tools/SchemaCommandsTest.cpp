// zqk create, describe, tables and drop on an embedded database, and what they refuse.
#include <algorithm>

#include "ToolRunner.h"

TEST(ZqkSchema, CreateDescribeListAndDropATable) {
    TempDir dir;
    ToolRunner zqk(dir);
    ToolResult created = zqk.Run({"create", "Staff", "ID:int!", "Name:NVARCHAR(20)",
                                  "Dept:varchar(10)", "Salary:float", "Rate:real", "Age:smallint",
                                  "Joined:datetime", "Notes:text", "Photo:image"});
    EXPECT_EQ(0, created.nStatus) << created.strErr;
    EXPECT_EQ("created table Staff with 9 columns\n", created.strOut);
    ToolResult second = zqk.Run({"create", "Other", "Code:varchar(4)!"});
    EXPECT_EQ(0, second.nStatus) << second.strErr;

    ToolResult described = zqk.Run({"describe", "Staff"});
    EXPECT_EQ(0, described.nStatus) << described.strErr;
    ExpectGolden("describe.txt", described.strOut);

    // The key refuses a second row with its value; the datetime column has a default.
    ToolResult rows = zqk.Run({"sql", "INSERT INTO Staff (ID, Name) VALUES (1, N'Ann')",
                               "SELECT COUNT(*) AS n FROM Staff WHERE Joined IS NOT NULL",
                               "INSERT INTO Staff (ID) VALUES (1)"});
    EXPECT_EQ(1, rows.nStatus);
    EXPECT_EQ("1 row affected\nn\n-\n1\n(1 row)\n", rows.strOut);

    EXPECT_EQ("Staff\nOther\n", zqk.Run({"tables"}).strOut);
    ToolResult dropped = zqk.Run({"drop", "Staff"});
    EXPECT_EQ(0, dropped.nStatus);
    EXPECT_EQ("dropped table Staff\n", dropped.strOut);
    EXPECT_EQ("Other\n", zqk.Run({"tables"}).strOut);
    // The default target is the file zqk.db in the current folder.
    EXPECT_TRUE(std::filesystem::exists(dir.File("zqk.db")));
}

TEST(ZqkSchema, MissingAndExistingTablesAreDatabaseErrors) {
    TempDir dir;
    ToolRunner zqk(dir);
    ASSERT_EQ(0, zqk.Run({"create", "T", "a:int"}).nStatus);

    ToolResult again = zqk.Run({"create", "T", "b:int"});
    EXPECT_EQ(1, again.nStatus);
    EXPECT_EQ("zqk: table T already exists\n", again.strErr);

    ToolResult missing = zqk.Run({"describe", "Nope"});
    EXPECT_EQ(1, missing.nStatus);
    EXPECT_EQ("zqk: no table named Nope\n", missing.strErr);

    ToolResult drop = zqk.Run({"drop", "Nope", "T"});
    EXPECT_EQ(1, drop.nStatus);
    EXPECT_EQ("dropped table T\n", drop.strOut);
    EXPECT_NE(std::string::npos, drop.strErr.find("[message] Error:")) << drop.strErr;
    EXPECT_NE(std::string::npos, drop.strErr.find("Cannot drop the table 'Nope', because it does "
                                                  "not exist or you do not have permission."))
        << drop.strErr;
}

TEST(ZqkSchema, BadFieldDescriptorsAreUsageErrorsAndCreateNothing) {
    TempDir dir;
    ToolRunner zqk(dir);
    const std::vector<std::vector<std::string>> bad = {
        {"create", "T", "name"},            // no type
        {"create", "T", "name:varchar"},    // no length
        {"create", "T", "name:varchar(x)"}, // length not a number
        {"create", "T", "name:varchar(10"}, // unclosed length
        {"create", "T", "name:int(4)"},     // length on a type without one
        {"create", "T", "name:bigint"},     // a type creation would leave out
        {"create", "T", "when:datetime!"},  // a key creation would ignore
        {"create", "T", ":int"},            // no name
        {"create", "T", "a]b:int"},         // a bracket in a name
        {"create", "T"},                    // no field at all
    };
    for (const auto& args : bad) {
        ToolResult result = zqk.Run(args);
        EXPECT_EQ(2, result.nStatus) << args.back();
        EXPECT_EQ("", result.strOut) << args.back();
        EXPECT_EQ(0u, result.strErr.find("zqk create: ")) << result.strErr;
        EXPECT_NE(std::string::npos, result.strErr.find("(see 'zqk create --help')\n"));
        EXPECT_EQ(1, std::count(result.strErr.begin(), result.strErr.end(), '\n'));
    }
    EXPECT_EQ("", zqk.Run({"tables"}).strOut);
}
