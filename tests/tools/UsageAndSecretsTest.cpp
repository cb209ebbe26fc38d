// The tool's contract with scripts: help on every command, status 2 with a one-line hint for
// a wrong command line, status 1 for a database error, the connection chosen in its order,
// --trace on standard error, and passwords never printed.
#include <algorithm>

#include "ToolRunner.h"

namespace {

const std::vector<std::string> kCommands = {"demo", "sql",  "tables", "describe", "create",
                                            "drop", "pack", "unpack", "archive"};

bool Contains(const std::string& strText, const std::string& strPart) {
    return strText.find(strPart) != std::string::npos;
}

} // namespace

TEST(ZqkUsage, EveryCommandHasHelpAndTheOverviewNamesThemAll) {
    TempDir dir;
    ToolRunner zqk(dir);
    ToolResult overview = zqk.Run({"--help"});
    EXPECT_EQ(0, overview.nStatus);
    for (const std::string& strCommand : kCommands) {
        EXPECT_TRUE(Contains(overview.strOut, "  " + strCommand + " ")) << strCommand;
        ToolResult help = zqk.Run({strCommand, "--help"});
        EXPECT_EQ(0, help.nStatus) << strCommand;
        EXPECT_EQ(0u, help.strOut.find("usage: zqk " + strCommand)) << help.strOut;
        EXPECT_EQ("", help.strErr);
    }
    // Asking for help touches no database.
    EXPECT_FALSE(std::filesystem::exists(dir.File("zqk.db")));
}

TEST(ZqkUsage, WrongCommandLinesGiveStatusTwoAndOneLineHint) {
    TempDir dir;
    ToolRunner zqk(dir);
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"frobnicate"},
        {"sql", "--bogus", "SELECT 1"},
        {"sql", "--csv", "--json", "SELECT 1"},
        {"sql", "-c"},
        {"sql", "--trace=yes", "SELECT 1"},
        {"sql", "-c", "Provider=SQLite; Data Source=a.db", "-d", "dsn", "-u", "me", "SELECT 1"},
        {"tables", "-d", "dsn"},
        {"tables", "-u", "me"},
        {"tables", "extra"},
        {"describe"},
        {"drop"},
        {"demo", "a", "b"},
        {"archive"},
    };
    for (const auto& args : bad) {
        ToolResult result = zqk.Run(args, "");
        std::string strWhat = args.empty() ? "(nothing)" : args[0];
        EXPECT_EQ(2, result.nStatus) << strWhat;
        EXPECT_EQ("", result.strOut) << strWhat;
        EXPECT_EQ(0u, result.strErr.find("zqk")) << result.strErr;
        EXPECT_TRUE(Contains(result.strErr, "--help')\n")) << result.strErr;
        EXPECT_EQ(1, std::count(result.strErr.begin(), result.strErr.end(), '\n')) << result.strErr;
    }
    // No statement at all, neither as arguments nor on standard input.
    EXPECT_EQ(2, zqk.Run({"sql"}, "\n  \n").nStatus);
    EXPECT_FALSE(std::filesystem::exists(dir.File("zqk.db")));
}

TEST(ZqkConnection, TargetsAreTakenInTheirOrderAndTraceShowsTheStatements) {
    TempDir dir;
    ToolRunner zqk(dir);
    std::string strA = "Provider=SQLite; Data Source=" + dir.File("a.db");
    std::string strB = "Provider=SQLite; Data Source=" + dir.File("b.db");
    ASSERT_EQ(0, zqk.Run({"create", "-c", strA, "OnlyInA", "x:int"}).nStatus);
    ASSERT_EQ(0, zqk.Run({"create", "-c", strB, "OnlyInB", "x:int"}).nStatus);
    ASSERT_EQ(0, zqk.Run({"create", "OnlyInDefault", "x:int"}).nStatus);

    EXPECT_EQ("OnlyInDefault\n", zqk.Run({"tables"}).strOut);
    zqk.SetEnv("ZQK_CONNECT", strA.c_str());
    EXPECT_EQ("OnlyInA\n", zqk.Run({"tables"}).strOut);
    EXPECT_EQ("OnlyInB\n", zqk.Run({"tables", "--connect", strB}).strOut);

    ToolResult traced = zqk.Run({"describe", "--trace", "OnlyInA"});
    EXPECT_EQ(0, traced.nStatus);
    EXPECT_TRUE(Contains(traced.strErr, "trace: SELECT name, xtype, length FROM a.dbo.syscolumns"))
        << traced.strErr;
    EXPECT_FALSE(Contains(traced.strOut, "trace:"));

    ToolResult unopened = zqk.Run(
        {"tables", "-c", "Provider=SQLite; Data Source=" + dir.File("no/such/folder/x.db")});
    EXPECT_EQ(1, unopened.nStatus);
    EXPECT_TRUE(Contains(unopened.strErr, "[message] Error:\n\tCode = 80004005"))
        << unopened.strErr;
    EXPECT_TRUE(Contains(unopened.strErr, "zqk: cannot open Provider=SQLite; Data Source="));
}

TEST(ZqkConnection, PasswordsNeverShowInTraceOrErrors) {
    TempDir dir;
    ToolRunner zqk(dir);
    const std::string strSecret = "Hunter2Secret";
    std::string strConnect =
        "Provider=SQLite; Data Source=" + dir.File("p.db") + "; PWD=" + strSecret;
    std::vector<ToolResult> results;
    results.push_back(
        zqk.Run({"sql", "--trace", "-c", strConnect, "SELECT 1 AS one", "SELECT * FROM Missing"}));
    results.push_back(zqk.Run({"tables", "-c", "Provider=Nowhere; Password='" + strSecret + "'"}));
    results.push_back(zqk.Run(
        {"tables", "-c", "Provider=SQLite; Data Source=/no/such/x.db; pwd = " + strSecret}));
    zqk.SetEnv("ZQK_CONNECT", ("Provider=Nowhere; PWD=" + strSecret).c_str());
    results.push_back(zqk.Run({"tables", "--trace"}));
    // The data-source form, on a data source that does not exist: the password comes from
    // the environment and is masked wherever the attempt is described.
    zqk.SetEnv("ZQK_CONNECT", nullptr);
    zqk.SetEnv("ZQK_PASSWORD", strSecret.c_str());
    results.push_back(zqk.Run({"tables", "--trace", "-d", "nosuchdsn", "-u", "alice"}));
    EXPECT_TRUE(Contains(results.back().strErr, "cannot open DSN=nosuchdsn; UID=alice; PWD=***"))
        << results.back().strErr;

    EXPECT_EQ(1, results[0].nStatus) << results[0].strErr;
    for (size_t i = 1; i < results.size(); ++i)
        EXPECT_EQ(1, results[i].nStatus) << i;
    for (const ToolResult& result : results) {
        EXPECT_FALSE(Contains(result.strOut, strSecret)) << result.strOut;
        EXPECT_FALSE(Contains(result.strErr, strSecret)) << result.strErr;
    }
    EXPECT_TRUE(Contains(results[0].strErr, "trace: SELECT 1 AS one"));
    EXPECT_TRUE(Contains(results[2].strErr, "pwd = ***")) << results[2].strErr;
}
