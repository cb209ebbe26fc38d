// zqk on databases reached through ODBC, with the back ends of the odbc test fixture: the
// private PostgreSQL cluster, by data source (-d/-u, the password from ZQK_PASSWORD or the
// terminal) and by connection string (-c), each test in a database of its own; and SQLite's
// ODBC driver, standing in for SQL Server with a hand-made catalogue.
#include <unistd.h>

#include "ToolRunner.h"

#ifndef ZQK_ODBC_DIR
#error "ODBC tests are built with ZQK_ODBC_DIR, the folder the odbc fixture makes"
#endif

namespace {

bool Contains(const std::string& strText, const std::string& strPart) {
    return strText.find(strPart) != std::string::npos;
}

std::string FixtureFile(const std::string& strName) {
    return std::string(ZQK_ODBC_DIR) + "/" + strName;
}

// What every run on an ODBC back end needs in its environment.
void UseOdbcBackends(ToolRunner& zqk, const TempDir& dir) {
    zqk.SetEnv("ODBCSYSINI", ZQK_ODBC_DIR);
    zqk.SetEnv("ODBCINI", FixtureFile("odbc.ini").c_str());
    // PostgreSQL's driver keeps some memory for good after failed statements; the leak
    // checker of sanitizer builds is told so, and nothing else.
    WriteFile(dir.File("lsan.supp"), "leak:psqlodbcw.so\n");
    zqk.SetEnv("LSAN_OPTIONS", ("suppressions=" + dir.File("lsan.supp")).c_str());
}

// What a command that needs SQL Server says on a database that is not.
const char* const kNeither = " needs the embedded database or SQL Server, whose catalogue and "
                             "dialect it uses; this database is neither (use 'zqk sql' with its "
                             "own statements)\n";

// The rows of the embedded tests (SqlCommandTest), with names quoted to keep their case.
const std::vector<std::string> kPeople = {
    "CREATE TABLE \"People\" (\"ID\" int PRIMARY KEY, \"Name\" varchar(20), \"City\" "
    "varchar(20), \"Score\" float)",
    "INSERT INTO \"People\" VALUES (1, N'Ann', 'Oslo', 7.5), (2, N'王芳', 'Xi''an, \"old\"', "
    "NULL), (3, N'  Bo', NULL, -12)"};
const char* const kQuery =
    "SELECT \"ID\", \"Name\", \"City\", \"Score\" FROM \"People\" ORDER BY \"ID\"";

// A database of its own on the cluster for each test, dropped after it (also when it fails).
// Its private data-source file names the database in the data source zqk_pg.
class ZqkPostgres : public ::testing::Test {
protected:
    ZqkPostgres() : zqk(dir) { UseOdbcBackends(zqk, dir); }

    void SetUp() override {
        std::getline(std::ifstream(FixtureFile("password")), strPassword);
        ASSERT_FALSE(strPassword.empty()) << "the odbc fixture has not started the cluster";
        static int s_nCount = 0;
        strDatabase = "zqk_tool_" + std::to_string(::getpid()) + "_" + std::to_string(++s_nCount);
        ToolResult made = Admin("CREATE DATABASE " + strDatabase);
        ASSERT_EQ(0, made.nStatus) << made.strErr;
        bCreated = true;
        WriteFile(dir.File("odbc.ini"), ReplaceAll(ReadFile(FixtureFile("odbc.ini")),
                                                   "Database=postgres", "Database=" + strDatabase));
        zqk.SetEnv("ODBCINI", dir.File("odbc.ini").c_str());
        strConnect = "DSN=zqk_pg;UID=zqk;PWD=" + strPassword;
    }
    void TearDown() override {
        if (bCreated) {
            EXPECT_EQ(0, Admin("DROP DATABASE IF EXISTS " + strDatabase + " WITH (FORCE)").nStatus);
        }
    }

    // A statement on the cluster's maintenance database.
    ToolResult Admin(const std::string& strSql) const {
        return zqk.Run(
            {"sql", "-c", "DSN=zqk_pg;UID=zqk;PWD=" + strPassword + ";Database=postgres", strSql});
    }
    // zqk COMMAND -d zqk_pg -u zqk ARGS..., the password in the environment.
    ToolResult WithDsn(const std::string& strCommand, std::vector<std::string> args) {
        zqk.SetEnv("ZQK_PASSWORD", strPassword.c_str());
        args.insert(args.begin(), {strCommand, "-d", "zqk_pg", "-u", "zqk"});
        ToolResult result = zqk.Run(args);
        zqk.SetEnv("ZQK_PASSWORD", nullptr);
        return result;
    }
    // zqk COMMAND -c "DSN=zqk_pg;UID=zqk;PWD=..." ARGS...
    ToolResult WithString(const std::string& strCommand, std::vector<std::string> args) const {
        args.insert(args.begin(), {strCommand, "-c", strConnect});
        return zqk.Run(args);
    }

    TempDir dir;
    ToolRunner zqk;
    std::string strPassword, strDatabase, strConnect;
    bool bCreated = false;
};

} // namespace

TEST_F(ZqkPostgres, QueriesPrintAsTheyDoOnTheEmbeddedDatabase) {
    ToolResult made = WithDsn("sql", kPeople);
    ASSERT_EQ(0, made.nStatus) << made.strErr;
    EXPECT_EQ("0 rows affected\n3 rows affected\n", made.strOut);

    // The same rows give the same table, CSV and JSON as on the embedded database.
    ToolResult table = WithDsn("sql", {kQuery});
    EXPECT_EQ(0, table.nStatus) << table.strErr;
    EXPECT_EQ("", table.strErr);
    ExpectGolden("sql-table.txt", table.strOut);
    ToolResult csv = WithString(
        "sql", {"--csv", kQuery, "UPDATE \"People\" SET \"Score\" = 0 WHERE \"ID\" = 9"});
    EXPECT_EQ(0, csv.nStatus) << csv.strErr;
    ExpectGolden("sql-csv.txt", csv.strOut);
    EXPECT_EQ("0 rows affected\n", csv.strErr);
    ToolResult json =
        WithDsn("sql", {"--json", kQuery, "UPDATE \"People\" SET \"Score\" = 1 WHERE \"ID\" < 3",
                        "SELECT \"ID\" FROM \"People\" WHERE \"ID\" > 10"});
    EXPECT_EQ(0, json.nStatus) << json.strErr;
    ExpectGolden("sql-json.txt", json.strOut);

    // The database's tables, through both forms.
    ASSERT_EQ(0, WithString("sql", {"CREATE TABLE lower_case (x int)"}).nStatus);
    EXPECT_EQ("People\nlower_case\n", WithDsn("tables", {}).strOut);
    ToolResult tables = WithString("tables", {});
    EXPECT_EQ(0, tables.nStatus) << tables.strErr;
    EXPECT_EQ("People\nlower_case\n", tables.strOut);
}

TEST_F(ZqkPostgres, FailurePrintsTheServersReportAndStopsWithStatusOne) {
    ToolResult result =
        WithString("sql", {"SELECT 1 AS a", "SELECT * FROM \"Missing\"", "SELECT 2"});
    EXPECT_EQ(1, result.nStatus);
    EXPECT_EQ("a\n-\n1\n(1 row)\n", result.strOut);
    ExpectGolden("sql-error-postgres.txt", result.strErr);

    // A data source the server refuses: its report, then the target with the password masked.
    zqk.SetEnv("ZQK_PASSWORD", "not-the-password");
    ToolResult refused = zqk.Run({"tables", "-d", "zqk_pg", "-u", "zqk"});
    EXPECT_EQ(1, refused.nStatus);
    EXPECT_EQ("", refused.strOut);
    EXPECT_TRUE(Contains(refused.strErr, "password authentication failed")) << refused.strErr;
    EXPECT_TRUE(Contains(refused.strErr, "zqk: cannot open DSN=zqk_pg; UID=zqk; PWD=***\n"))
        << refused.strErr;
}

TEST_F(ZqkPostgres, PasswordsNeverShowInTraceErrorsOrMessages) {
    ASSERT_EQ(0, WithDsn("sql", kPeople).nStatus);
    zqk.SetEnv("ZQK_PASSWORD", strPassword.c_str());
    const std::vector<std::string> dsn = {"-d", "zqk_pg", "-u", "zqk", "--trace"};
    const std::vector<std::string> string = {"-c", strConnect, "--trace"};
    std::vector<ToolResult> results;
    for (const auto& target : {dsn, string}) {
        auto run = [&](std::vector<std::string> args) {
            args.insert(args.begin() + 1, target.begin(), target.end());
            results.push_back(zqk.Run(args));
            return results.back();
        };
        // The server echoes a name that holds the password in its error.
        ToolResult echoed = run({"sql", kQuery, "SELECT * FROM \"t" + strPassword + "\""});
        EXPECT_EQ(1, echoed.nStatus);
        EXPECT_TRUE(Contains(echoed.strErr, "trace: SELECT \"ID\"")) << echoed.strErr;
        EXPECT_TRUE(Contains(echoed.strErr, "trace: SELECT * FROM \"t***\"")) << echoed.strErr;
        EXPECT_TRUE(Contains(echoed.strErr, "ERROR: relation \"t")) << echoed.strErr;
        EXPECT_EQ(0, run({"tables"}).nStatus);
        run({"describe", "People"});
        // The tool's own messages name what the user gave.
        EXPECT_EQ(0, run({"archive", "save", kQuery, "people.zqt"}).nStatus);
        ToolResult named = run({"archive", "load", "people.zqt", "t" + strPassword});
        EXPECT_EQ(1, named.nStatus);
        EXPECT_TRUE(Contains(named.strErr, "zqk: creating table t*** needs")) << named.strErr;
    }
    // With the password given wrong, the wrong one stays hidden.
    const std::string strWrong = "Wrong-Secret-42";
    zqk.SetEnv("ZQK_PASSWORD", strWrong.c_str());
    results.push_back(zqk.Run({"sql", "--trace", "-d", "zqk_pg", "-u", "zqk", "SELECT 1"}));
    results.push_back(zqk.Run({"tables", "--trace", "-c", "DSN=zqk_pg;UID=zqk;PWD=" + strWrong}));
    for (const ToolResult& result : results) {
        for (const std::string& strSecret : {strPassword, strWrong}) {
            EXPECT_FALSE(Contains(result.strOut, strSecret)) << result.strOut;
            EXPECT_FALSE(Contains(result.strErr, strSecret)) << result.strErr;
        }
    }
    EXPECT_TRUE(Contains(results.back().strErr, "cannot open DSN=zqk_pg;UID=zqk;PWD=***"))
        << results.back().strErr;
}

TEST_F(ZqkPostgres, PasswordAskedOnTheTerminalOpensTheDataSource) {
    std::string strSeen =
        zqk.RunOnTerminal({"sql", "-d", "zqk_pg", "-u", "zqk", "CREATE TABLE typed (x int)"},
                          "Password for zqk@zqk_pg: ", strPassword + "\n");
    EXPECT_TRUE(Contains(strSeen, "Password for zqk@zqk_pg: ")) << strSeen;
    EXPECT_FALSE(Contains(strSeen, strPassword)) << strSeen;
    EXPECT_FALSE(Contains(strSeen, "cannot open")) << strSeen;
    EXPECT_EQ("typed\n", WithString("tables", {}).strOut);
}

TEST_F(ZqkPostgres, SchemaCommandsSayTheyNeedSqlServerAndChangeNothing) {
    ASSERT_EQ(0, WithDsn("sql", kPeople).nStatus);
    const struct {
        std::vector<std::string> args;
        const char* pszWhat;
    } cases[] = {
        {{"describe", "People"}, "describe"},
        {{"create", "Staff", "ID:int!", "Name:nvarchar(20)"}, "create"},
        {{"drop", "People"}, "drop"},
        {{"archive", "load", "people.zqt", "Copy"}, "creating table Copy"},
    };
    ASSERT_EQ(0, WithString("archive", {"save", kQuery, "people.zqt"}).nStatus);
    for (const auto& c : cases) {
        ToolResult result =
            WithString(c.args[0], std::vector<std::string>(c.args.begin() + 1, c.args.end()));
        EXPECT_EQ(1, result.nStatus) << c.pszWhat;
        EXPECT_EQ("", result.strOut) << c.pszWhat;
        EXPECT_EQ(std::string("zqk: ") + c.pszWhat + kNeither, result.strErr);
    }
    EXPECT_EQ("People\n", WithDsn("tables", {}).strOut);
}

TEST_F(ZqkPostgres, ArchivesLoadIntoTablesMadeBeforehandWhateverTheirNamesCase) {
    ASSERT_EQ(0, WithDsn("sql", kPeople).nStatus);
    ASSERT_EQ(0, WithDsn("archive", {"save", kQuery, "people.zqt"}).nStatus);
    // Unquoted names are folded to lower case; quoted ones keep theirs. Labels match both.
    ASSERT_EQ(0, WithDsn("sql", {"CREATE TABLE copy (id int, name varchar(20), city text, "
                                 "\"Score\" float)"})
                     .nStatus);
    ToolResult loaded = WithString("archive", {"load", "people.zqt", "COPY"});
    EXPECT_EQ(0, loaded.nStatus) << loaded.strErr;
    EXPECT_EQ("loaded 3 rows into COPY\n", loaded.strOut);
    ToolResult rows = WithDsn("sql", {"--csv", "SELECT * FROM copy ORDER BY id"});
    EXPECT_EQ(
        "id,name,city,Score\r\n1,Ann,Oslo,7.5\r\n2,王芳,\"Xi'an, \"\"old\"\"\",\r\n3,Bo,,-12\r\n",
        rows.strOut);
}

TEST_F(ZqkPostgres, FilesPackIntoABinaryColumnAndUnpackByteForByte) {
    ASSERT_EQ(0, WithDsn("sql", {"CREATE TABLE files (id int PRIMARY KEY, name varchar(40), "
                                 "body bytea)"})
                     .nStatus);
    std::string strBytes;
    for (unsigned n = 1; strBytes.size() < 300 * 1000; n = n * 1103515245u + 12345u)
        strBytes += static_cast<char>(n >> 16);
    WriteFile(dir.File("in.bin"), strBytes);
    ToolResult packed =
        WithString("pack", {"files", "body", "in.bin", "id=1:int", "name=in:varchar"});
    EXPECT_EQ(0, packed.nStatus) << packed.strErr;
    ToolResult unpacked =
        WithDsn("unpack", {"body", "out.bin", "SELECT body FROM files WHERE name = 'in'"});
    EXPECT_EQ(0, unpacked.nStatus) << unpacked.strErr;
    EXPECT_TRUE(ReadFile(dir.File("out.bin")) == strBytes);
}

// SQLite's ODBC driver with the catalogue tables SQL Server keeps in every database: the tool
// finds them and reads and writes as on SQL Server, in the connection's current database.
TEST(ZqkOdbcCatalogue, ADatabaseWithSqlServersCatalogueIsDescribedThroughIt) {
    TempDir dir;
    ToolRunner zqk(dir);
    UseOdbcBackends(zqk, dir);
    const std::string strConnect = "Driver=ZQK SQLite3; Database=" + dir.File("server.db");
    ToolResult plain = zqk.Run({"describe", "-c", strConnect, "Staff"});
    EXPECT_EQ(1, plain.nStatus);
    EXPECT_EQ(std::string("zqk: describe") + kNeither, plain.strErr);

    ToolResult made = zqk.Run(
        {"sql", "-c", strConnect,
         "CREATE TABLE sysobjects (id int, name varchar(128), xtype char(2))",
         "CREATE TABLE syscolumns (id int, name varchar(128), xtype int, length int, colid int)",
         "CREATE TABLE systypes (xtype int, name varchar(128))",
         "INSERT INTO systypes VALUES (56, 'int'), (231, 'nvarchar')",
         "INSERT INTO sysobjects VALUES (7, 'Staff', 'U')",
         "INSERT INTO syscolumns VALUES (7, 'Name', 231, 40, 2), (7, 'ID', 56, 4, 1)"});
    ASSERT_EQ(0, made.nStatus) << made.strErr;
    ToolResult created =
        zqk.Run({"create", "-c", strConnect, "Staff", "ID:int!", "Name:nvarchar(20)"});
    EXPECT_EQ(0, created.nStatus) << created.strErr;
    EXPECT_EQ("created table Staff with 2 columns\n", created.strOut);
    ToolResult described = zqk.Run({"describe", "-c", strConnect, "Staff"});
    EXPECT_EQ(0, described.nStatus) << described.strErr;
    EXPECT_EQ("column | type     | length\n"
              "-------+----------+-------\n"
              "ID     | int      |      4\n"
              "Name   | nvarchar |     40\n",
              described.strOut);
    ToolResult dropped = zqk.Run({"drop", "-c", strConnect, "Staff"});
    EXPECT_EQ(0, dropped.nStatus) << dropped.strErr;
    EXPECT_EQ("sysobjects\nsyscolumns\nsystypes\n", zqk.Run({"tables", "-c", strConnect}).strOut);
}
