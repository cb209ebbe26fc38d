// Scripts as SQL Server's generators and hosts write them, with SQL Server's results: the
// catalogue and INFORMATION_SCHEMA, existence guards, temporary tables, owners, table hints,
// ALTER TABLE, and tables opened by name as a host names them.
#include "SqlServerScriptSupport.h"
#include "support/TempDir.h"

namespace {

// A generated schema script, batch by batch (the generator's GO lines split them).
const wchar_t* const kGenerated[] = {
    L"SET ANSI_NULLS ON",
    L"SET QUOTED_IDENTIFIER ON",
    L"SET ANSI_PADDING ON",
    L"IF NOT EXISTS (SELECT * FROM sys.objects WHERE object_id = OBJECT_ID(N'[dbo].[Goods]') "
    L"AND type in (N'U'))\nBEGIN\nCREATE TABLE [dbo].[Goods](\n\t[ID] [int] IDENTITY(1,1) NOT "
    L"NULL,\n\t[Name] [nvarchar](50) COLLATE Chinese_PRC_CI_AS NOT NULL,\n\t[Price] "
    L"[decimal](10, 2) NULL,\n\t[Made] [datetime] NULL,\n\t[Tag] [uniqueidentifier] NULL,\n "
    L"CONSTRAINT [PK_Goods] PRIMARY KEY CLUSTERED \n(\n\t[ID] ASC\n)WITH (PAD_INDEX  = OFF, "
    L"IGNORE_DUP_KEY = OFF) ON [PRIMARY]\n) ON [PRIMARY]\nEND",
    L"SET ANSI_PADDING OFF",
    L"ALTER TABLE [dbo].[Goods] ADD  CONSTRAINT [DF_Goods_Tag]  DEFAULT (newid()) FOR [Tag]",
};

} // namespace

TEST_F(SqlServerScript, GeneratedScriptsRunAndRerun) {
    for (const wchar_t* pszBatch : kGenerated) {
        SCOPED_TRACE(Narrow(pszBatch));
        Outcome o = RunBatch(m_pConn, pszBatch);
        if (wcscmp(pszBatch, L"SET ANSI_PADDING OFF") == 0) {
            EXPECT_EQ(L"SET ANSI_PADDING OFF is not supported by the embedded database.",
                      o.strError);
            continue;
        }
        EXPECT_TRUE(o.bOk) << Narrow(o.strError);
    }
    RunScript(
        m_pConn,
        {
            // Running the guarded creation again changes nothing.
            {kGenerated[3]},
            {L"INSERT INTO Goods (Name, Price) VALUES (N'茶杯', 12.5)"},
            {L"SELECT ID, Name, Price, LEN(Tag) FROM Goods", {{L"1", L"茶杯", L"12.5", L"36"}}},
            {L"SELECT COUNT(*) FROM Goods WHERE Tag LIKE '[0-9A-F]%-%-4%'", {{L"1"}}},
        });
}

TEST_F(SqlServerScript, CatalogueAnswersAsSqlServers) {
    RunScript(
        m_pConn,
        {
            {L"CREATE TABLE [dbo].[G] ([ID] [int] IDENTITY (1, 1) NOT NULL, [Name] [nvarchar](50) "
             L"NULL, [Amount] [decimal](10, 2) NULL, [Code] [char](4) NOT NULL) ON [PRIMARY]"},
            {L"CREATE VIEW dbo.GV AS SELECT Name FROM dbo.G"},
            {L"SELECT c.name, t.name, c.length, c.prec, c.scale, c.isnullable FROM syscolumns c "
             L"JOIN systypes t ON c.xusertype = t.xusertype WHERE c.id = OBJECT_ID('G') ORDER BY "
             L"c.colid",
             {{L"ID", L"int", L"4", L"10", L"0", L"0"},
              {L"Name", L"nvarchar", L"100", L"50", L"0", L"1"},
              {L"Amount", L"decimal", L"9", L"10", L"2", L"1"},
              {L"Code", L"char", L"4", L"4", L"0", L"0"}}},
            {L"SELECT TABLE_CATALOG, TABLE_SCHEMA, TABLE_NAME, TABLE_TYPE FROM "
             L"INFORMATION_SCHEMA.TABLES ORDER BY TABLE_NAME",
             {{L"Shop", L"dbo", L"G", L"BASE TABLE"}, {L"Shop", L"dbo", L"GV", L"VIEW"}}},
            {L"SELECT COLUMN_NAME, DATA_TYPE, CHARACTER_MAXIMUM_LENGTH, NUMERIC_PRECISION, "
             L"NUMERIC_SCALE, IS_NULLABLE FROM Shop.INFORMATION_SCHEMA.COLUMNS WHERE TABLE_NAME = "
             L"'g' ORDER BY ORDINAL_POSITION",
             {{L"ID", L"int", L"NULL", L"10", L"0", L"NO"},
              {L"Name", L"nvarchar", L"50", L"NULL", L"NULL", L"YES"},
              {L"Amount", L"decimal", L"NULL", L"10", L"2", L"YES"},
              {L"Code", L"char", L"4", L"NULL", L"NULL", L"NO"}}},
            {L"SELECT name, xtype, xusertype FROM systypes WHERE name IN ('sysname', 'nvarchar') "
             L"ORDER BY name",
             {{L"nvarchar", L"231", L"231"}, {L"sysname", L"231", L"256"}}},
            {L"SELECT name FROM Shop.dbo.sysobjects WHERE xtype = 'U' AND crdate <= GETDATE() AND "
             L"crdate > '2000-01-01'",
             {{L"G"}}},
            {L"SELECT COL_LENGTH('dbo.G', 'Name'), COL_LENGTH('G', 'Nope')", {{L"100", L"NULL"}}},
        });
}

TEST_F(SqlServerScript, GuardsTempTablesOwnersAndHints) {
    RunScript(
        m_pConn,
        {
            {L"IF OBJECT_ID('dbo.T', 'U') IS NOT NULL DROP TABLE dbo.T"},
            {L"IF OBJECT_ID('dbo.T', 'U') IS NULL CREATE TABLE dbo.T (A int) ELSE SELECT 'kept'"},
            {L"IF OBJECT_ID('dbo.T', 'U') IS NULL CREATE TABLE dbo.T (A int) ELSE SELECT 'kept'",
             {{L"kept"}}},
            {L"IF EXISTS (SELECT * FROM INFORMATION_SCHEMA.TABLES WHERE TABLE_NAME = 'T')\nBEGIN\n"
             L"  INSERT INTO T VALUES (1)\n  INSERT INTO T VALUES (2)\nEND\nSELECT COUNT(*) FROM T",
             {{L"2"}}},
            // Temporary tables are the connection's own, in tempdb.
            {L"CREATE TABLE #Work (K int PRIMARY KEY, V nvarchar(10))"},
            {L"INSERT INTO #Work SELECT A, 'x' FROM T"},
            {L"SELECT w.K, w.V FROM #Work w WITH (NOLOCK) JOIN T (NOLOCK) ON T.A = w.K ORDER BY "
             L"w.K",
             {{L"1", L"x"}, {L"2", L"x"}}},
            {L"SELECT name FROM sysobjects WHERE name LIKE '#%'", {}},
            {L"IF OBJECT_ID('tempdb..#Work') IS NOT NULL DROP TABLE #Work"},
            {L"SELECT OBJECT_ID('tempdb..#Work')", {{L"NULL"}}},
            {L"SELECT K INTO #Copy FROM (SELECT 5 AS K) x; SELECT K FROM #Copy", {{L"5"}}},
            Fails(L"CREATE TABLE ##Global (A int)",
                  L"Global temporary tables (##name) are not supported by the embedded database."),
            // Other owners keep their own objects.
            {L"CREATE TABLE Shop.sa.T (B varchar(5))"},
            {L"INSERT INTO sa.T VALUES ('own')"},
            {L"SELECT * FROM T", {{L"1"}, {L"2"}}},
            {L"SELECT B FROM sa.T", {{L"own"}}},
            {L"SELECT TABLE_SCHEMA, TABLE_NAME FROM INFORMATION_SCHEMA.TABLES ORDER BY 1",
             {{L"dbo", L"T"}, {L"sa", L"T"}}},
            {L"TRUNCATE TABLE sa.T; SELECT COUNT(*) FROM sa.T", {{L"0"}}},
            // Out of the embedded database's reach, and said so before anything runs.
            Fails(L"INSERT INTO T VALUES (3) WHILE 1 = 0 BREAK",
                  L"WHILE is not supported by the embedded database: loops, cursors, procedures, "
                  L"EXEC and dynamic SQL need SQL Server itself, which the ODBC provider reaches."),
            Fails(L"EXEC sp_who", L"EXEC is not supported by the embedded database: loops, "
                                  L"cursors, procedures, EXEC and dynamic SQL need SQL Server "
                                  L"itself, which the ODBC provider reaches."),
            {L"SELECT COUNT(*) FROM T", {{L"2"}}},
            Fails(L"SELECT 1\nGO", L"Incorrect syntax near 'GO'."),
        });
}

TEST_F(SqlServerScript, TablesOpenByTheNamesHostsUse) {
    RunBatch(m_pConn, L"CREATE TABLE [dbo].[G] ([ID] int, [Name] nvarchar(20))");
    for (const wchar_t* pszName :
         {L"G", L"dbo.G", L"Shop.dbo.G", L"[G]", L"[dbo].[G]", L"Shop..g"}) {
        SCOPED_TRACE(Narrow(pszName));
        _RecordsetPtr pRs;
        pRs.CreateInstance(L"ADODB.Recordset");
        try {
            pRs->Open(pszName, _variant_t(static_cast<IDispatch*>(m_pConn.GetInterfacePtr())),
                      adOpenForwardOnly, adLockReadOnly, adCmdTable);
            EXPECT_EQ(2, pRs->GetFields()->GetCount());
            EXPECT_EQ(adVarWChar, pRs->GetFields()->GetItem(1L)->GetType());
        } catch (const _com_error& e) {
            ADD_FAILURE() << std::hex << e.Error();
        }
    }
    _RecordsetPtr pRs;
    pRs.CreateInstance(L"ADODB.Recordset");
    try {
        pRs->Open(L"other.dbo.G", _variant_t(static_cast<IDispatch*>(m_pConn.GetInterfacePtr())),
                  adOpenForwardOnly, adLockReadOnly, adCmdTable);
        ADD_FAILURE() << "opened a table of another database";
    } catch (const _com_error& e) {
        EXPECT_EQ(DB_E_NOTABLE, e.Error());
    }
}

TEST(SqlServerFileNames, DatabaseNamesNeedNotBeIdentifiers) {
    CoInitialize(nullptr);
    {
        TempDir dir;
        _ConnectionPtr pConn;
        pConn.CreateInstance(L"ADODB.Connection");
        pConn->Open((L"Provider=SQLite; Data Source=" + dir.WideFile("shop-2024.db")).c_str(), L"",
                    L"", -1);
        RunScript(pConn,
                  {
                      {L"SELECT name FROM shop-2024.dbo.sysobjects WHERE name = 'T'", {}},
                      {L"CREATE TABLE [shop-2024].[dbo].[T] (A int)"},
                      {L"SELECT name FROM shop-2024.dbo.sysobjects WHERE name = 'T'", {{L"T"}}},
                      {L"SELECT 'shop-2024.dbo.T', 2024-1 FROM shop-2024..T", {}},
                  });
    }
    CoUninitialize();
}

TEST_F(SqlServerScript, AlterTableInSqlServersForms) {
    RunScript(
        m_pConn,
        {
            {L"CREATE TABLE [dbo].[A] ([ID] int IDENTITY(1,1) PRIMARY KEY, [Name] varchar(10))"},
            {L"INSERT INTO A (Name) VALUES ('one')"},
            {L"ALTER TABLE [Shop].[dbo].[A] ADD [Made] datetime DEFAULT GETDATE()"},
            {L"ALTER TABLE A ADD [Flag] int NULL DEFAULT 0, [Note] nvarchar(5) NULL"},
            {L"INSERT INTO A (Name) VALUES ('two')"},
            // Existing rows get NULL; new rows the default.
            {L"SELECT ID, Name, Made IS NULL, Flag FROM A ORDER BY ID",
             {{L"1", L"one", L"1", L"NULL"}, {L"2", L"two", L"0", L"0"}}},
            Fails(L"ALTER TABLE A ADD [Cnt] int NOT NULL",
                  L"ALTER TABLE only allows columns to be added that can contain nulls, or have a "
                  L"DEFAULT definition specified, or the column being added is an identity or "
                  L"timestamp column, or alternatively if none of the previous conditions are "
                  L"satisfied the table must be empty to allow addition of this column. Column "
                  L"'Cnt' cannot be added to non-empty table 'A' because it does not satisfy these "
                  L"conditions."),
            {L"CREATE TABLE E (X int); ALTER TABLE E ADD [Cnt] int NOT NULL"},
            // SQLite's ADD COLUMN is not SQL Server's: refused, not a column named COLUMN.
            Fails(L"ALTER TABLE E ADD COLUMN [Y] int",
                  L"Incorrect syntax near the keyword 'COLUMN'."),
            {L"ALTER TABLE E ADD [COLUMN] int"},
            {L"ALTER TABLE A ALTER COLUMN [Name] varchar(3) NULL"},
            Fails(L"ALTER TABLE A ALTER COLUMN [Name] varchar(2)",
                  L"String or binary data would be truncated."),
            {L"ALTER TABLE A ALTER COLUMN [Name] nvarchar(20) NOT NULL"},
            {L"INSERT INTO A (Name) VALUES (N'three')"},
            {L"SELECT ID, Name FROM A ORDER BY ID",
             {{L"1", L"one"}, {L"2", L"two"}, {L"3", L"three"}}},
            {L"SELECT COLUMN_NAME, DATA_TYPE, IS_NULLABLE FROM INFORMATION_SCHEMA.COLUMNS WHERE "
             L"TABLE_NAME = 'A' AND COLUMN_NAME = 'Name'",
             {{L"Name", L"nvarchar", L"NO"}}},
            {L"ALTER TABLE A ADD CONSTRAINT [CK_A_Flag] CHECK ([Flag] >= 0)"},
            Fails(L"UPDATE A SET Flag = -1",
                  L"The UPDATE statement conflicted with the CHECK constraint \"CK_A_Flag\". The "
                  L"conflict occurred in database \"Shop\", table \"dbo.A\", column 'Flag'."),
            {L"ALTER TABLE A DROP CONSTRAINT [CK_A_Flag]"},
            {L"ALTER TABLE A DROP CONSTRAINT IF EXISTS [CK_A_Flag]"},
            {L"ALTER TABLE A DROP IF EXISTS [CK_Gone]"},
            {L"UPDATE A SET Flag = -1 WHERE ID = 1"},
            {L"ALTER TABLE A DROP COLUMN IF EXISTS [Note], [Flag], [Gone]"},
            {L"ALTER TABLE A DROP COLUMN IF EXISTS [Note]"},
            {L"SELECT name FROM syscolumns WHERE id = OBJECT_ID('A') ORDER BY colid",
             {{L"ID"}, {L"Name"}, {L"Made"}}},
            {L"INSERT INTO A (Name) VALUES ('four'); SELECT SCOPE_IDENTITY()", {{L"4"}}},
        });
}

TEST_F(SqlServerScript, DeleteWithJoinsRemovesExactlyTheJoinedRows) {
    const wchar_t kSetUp[] =
        L"DELETE FROM T; DELETE FROM U; INSERT INTO T VALUES (1, 'a'), (2, 'b'), (3, 'c'), "
        L"(4, 'd'); INSERT INTO U VALUES (1, 'x'), (2, 'y'), (3, 'x')";
    const Rows kAll{{L"1"}, {L"2"}, {L"3"}, {L"4"}};
    RunScript(
        m_pConn,
        {
            {L"CREATE TABLE T (Id int PRIMARY KEY, Name varchar(10)); CREATE TABLE U (Id int, "
             L"Tag varchar(10))"},
            {kSetUp},
            {L"DELETE T FROM T JOIN U ON T.Id = U.Id WHERE U.Tag = 'x'"},
            {L"SELECT Id FROM T ORDER BY Id", {{L"2"}, {L"4"}}},
            {L"SELECT @@ROWCOUNT", {{L"2"}}},
            {kSetUp},
            {L"DELETE FROM T FROM T INNER JOIN U ON T.Id = U.Id WHERE U.Tag = 'y'"},
            {L"SELECT Id FROM T ORDER BY Id", {{L"1"}, {L"3"}, {L"4"}}},
            {kSetUp},
            // By alias; the other table's alias is not the target.
            {L"DELETE a FROM dbo.T AS a JOIN U b WITH (NOLOCK) ON a.Id = b.Id WHERE b.Tag = 'x' "
             L"AND a.Name <> 'c'"},
            {L"SELECT Id FROM T ORDER BY Id", {{L"2"}, {L"3"}, {L"4"}}},
            {kSetUp},
            // Rows without a partner.
            {L"DELETE t1 FROM T t1 LEFT JOIN U u1 ON u1.Id = t1.Id WHERE u1.Id IS NULL"},
            {L"SELECT Id FROM T ORDER BY Id", {{L"1"}, {L"2"}, {L"3"}}},
            {kSetUp},
            // A target outside the list joins it, as in SQL Server's older form.
            {L"DELETE FROM T FROM U WHERE T.Id = U.Id AND U.Tag = 'y'"},
            {L"SELECT Id FROM T ORDER BY Id", {{L"1"}, {L"3"}, {L"4"}}},
            {kSetUp},
            // A join that finds nothing deletes nothing; plain DELETEs are untouched.
            {L"DELETE T FROM T JOIN U ON T.Id = U.Id WHERE U.Tag = 'none'"},
            {L"SELECT Id FROM T ORDER BY Id", kAll},
            {L"DELETE T WHERE Id = 4; DELETE FROM T WHERE Id = 3"},
            {L"SELECT Id FROM T ORDER BY Id", {{L"1"}, {L"2"}}},
            {L"CREATE TABLE K (Id int PRIMARY KEY) WITHOUT ROWID"},
            Fails(L"DELETE K FROM K JOIN U ON K.Id = U.Id",
                  L"DELETE with a FROM list on a table WITHOUT ROWID is not supported by the "
                  L"embedded database."),
        });
}

TEST_F(SqlServerScript, UpdateWithJoinsChangesTheJoinedRows) {
    const wchar_t kSetUp[] =
        L"DELETE FROM T; DELETE FROM U; INSERT INTO T VALUES (1, 'a', 0), (2, 'b', 0), (3, 'c', "
        L"0), (4, 'd', 0); INSERT INTO U VALUES (1, 'x'), (2, 'y'), (3, 'x')";
    RunScript(
        m_pConn,
        {
            {L"CREATE TABLE T (Id int PRIMARY KEY, Name varchar(10), Code char(3)); CREATE TABLE U "
             L"(Id int, Tag varchar(10))"},
            {kSetUp},
            {L"UPDATE T SET Name = U.Tag, Code = U.Id FROM T JOIN U ON T.Id = U.Id WHERE "
             L"U.Tag = 'x'"},
            {L"SELECT @@ROWCOUNT", {{L"2"}}},
            {L"SELECT Id, Name, Code FROM T ORDER BY Id",
             {{L"1", L"x", L"1  "},
              {L"2", L"b", L"0  "},
              {L"3", L"x", L"3  "},
              {L"4", L"d", L"0  "}}},
            {kSetUp},
            {L"UPDATE a SET Name = b.Tag + '!' FROM dbo.T a INNER JOIN U AS b ON a.Id = b.Id"},
            {L"SELECT Name FROM T ORDER BY Id", {{L"x!"}, {L"y!"}, {L"x!"}, {L"d"}}},
            {L"UPDATE t1 SET Name = 'none' FROM T t1 LEFT JOIN U u1 ON u1.Id = t1.Id WHERE "
             L"u1.Id IS NULL"},
            {L"SELECT Name FROM T ORDER BY Id", {{L"x!"}, {L"y!"}, {L"x!"}, {L"none"}}},
            // SET may name the target's columns through its alias or name.
            {L"UPDATE a SET a.Name = b.Tag, Code = 'q' FROM T a JOIN U b ON a.Id = b.Id WHERE "
             L"b.Id = 2; UPDATE T SET T.Code = 'r' WHERE Id = 4"},
            {L"SELECT Name, Code FROM T WHERE Id IN (2, 4) ORDER BY Id",
             {{L"y", L"q  "}, {L"none", L"r  "}}},
            Fails(L"UPDATE a SET b.Tag = 'z' FROM T a JOIN U b ON a.Id = b.Id",
                  L"The multi-part identifier \"b.Tag\" could not be bound."),
            // A list without the target is joined to it by the WHERE, as before.
            {L"UPDATE T SET Name = U.Tag FROM U WHERE T.Id = U.Id AND U.Tag = 'y'"},
            {L"SELECT Name FROM T ORDER BY Id", {{L"x!"}, {L"y"}, {L"x!"}, {L"none"}}},
        });
}

TEST_F(SqlServerScript, JoinedDeletesAndUpdatesWorkOnTempTablesSelfJoinsAndTransactions) {
    RunScript(
        m_pConn,
        {
            {L"CREATE TABLE #dup (Id int IDENTITY PRIMARY KEY, Mail varchar(20), Hits int)"},
            {L"INSERT INTO #dup (Mail, Hits) VALUES ('a@x', 1), ('b@x', 2), ('A@X', 3), "
             L"('a@x ', 4), ('c@x', 5)"},
            // The classic removal of duplicates: the later rows of each address, which the
            // default collation compares without case and trailing blanks.
            {L"DELETE d FROM #dup d JOIN #dup k ON k.Mail = d.Mail AND k.Id < d.Id"},
            {L"SELECT Id, Mail FROM #dup ORDER BY Id",
             {{L"1", L"a@x"}, {L"2", L"b@x"}, {L"5", L"c@x"}}},
            // Totals from a grouped query joined to the rows they belong to.
            {L"CREATE TABLE #sum (Mail varchar(20), Total int); INSERT INTO #sum VALUES ('a@x', "
             L"10), ('a@x', 5), ('c@x', 1)"},
            {L"DECLARE @bonus int = 100; UPDATE d SET Hits = s.Total + @bonus FROM #dup d JOIN "
             L"(SELECT Mail, SUM(Total) AS Total FROM #sum GROUP BY Mail) s ON s.Mail = d.Mail"},
            {L"SELECT Id, Hits FROM #dup ORDER BY Id",
             {{L"1", L"115"}, {L"2", L"2"}, {L"5", L"101"}}},
            // A joined delete is undone with its transaction.
            {L"BEGIN TRAN; DELETE #dup FROM #dup JOIN #sum ON #sum.Mail = #dup.Mail; SELECT "
             L"COUNT(*) FROM #dup",
             {{L"1"}}},
            {L"ROLLBACK; SELECT COUNT(*) FROM #dup", {{L"3"}}},
            Fails(L"UPDATE d SET Id = 9 FROM #dup d JOIN #sum s ON s.Mail = d.Mail",
                  L"Cannot update identity column 'Id'."),
        });
}

TEST_F(SqlServerScript, ResultColumnsAreNamedAsWritten) {
    auto names = [&](const wchar_t* pszSql) {
        std::vector<std::wstring> out;
        _RecordsetPtr pRs = m_pConn->Execute(pszSql, nullptr, adCmdText);
        for (LONG i = 0; i < pRs->GetFields()->GetCount(); ++i)
            out.push_back(static_cast<const wchar_t*>(pRs->GetFields()->GetItem(i)->GetName()));
        return out;
    };
    RunScript(m_pConn, {{L"CREATE TABLE T (A int, [B c] nvarchar(5))"},
                        {L"INSERT INTO T VALUES (7, N'x')"}});
    typedef std::vector<std::wstring> Names;
    // Expressions keep the text the host wrote, not the embedded database's translation.
    EXPECT_EQ((Names{L"ISNULL(A, 0)", L"LEN([B c])", L"CAST(A AS varchar(9))", L"GETDATE()",
                     L"@@ROWCOUNT", L"A + 1", L"N'x' + [B c]"}),
              names(L"SELECT ISNULL(A, 0), LEN([B c]), CAST(A AS varchar(9)), GETDATE(), "
                    L"@@ROWCOUNT, A + 1, N'x' + [B c] FROM T"));
    // Columns, stars, aliases of every form, literals.
    EXPECT_EQ((Names{L"A", L"B c", L"A", L"B c", L"n", L"m", L"k", L"q r", L"s", L"1", L"'x'"}),
              names(L"SELECT A, [B c], t.*, COUNT(*) n, 2 AS m, k = A * 2, [q r] = 3, 's' = 4, "
                    L"1, 'x' FROM T t GROUP BY A, [B c]"));
    EXPECT_EQ((Names{L"Total", L"A"}), names(L"SELECT TOP 1 Total = A / 2, A FROM T ORDER BY A"));
    // The alias = expression form gives the expression's value, not a comparison.
    RunScript(m_pConn,
              {{L"SELECT Twice = A * 2, Same = A FROM T", {{L"14", L"7"}}},
               {L"SELECT CASE WHEN A > 1 THEN 'big' END, A COLLATE Latin1_General_CS_AS FROM T",
                {{L"big", L"7"}}},
               {L"DECLARE @d decimal(10, 2) = 1; SELECT @d / 4", {{L"0.25"}}}});
    EXPECT_EQ((Names{L"CASE WHEN A > 1 THEN 'big' END", L"A COLLATE Latin1_General_CS_AS"}),
              names(L"SELECT CASE WHEN A > 1 THEN 'big' END, A COLLATE Latin1_General_CS_AS "
                    L"FROM T"));
}

TEST_F(SqlServerScript, SelectIntoMakesColumnsAsTheirSources) {
    RunScript(m_pConn,
              {{L"CREATE TABLE T (ID int IDENTITY(5, 1) PRIMARY KEY, Name nvarchar(6) NOT NULL, "
                L"Price money DEFAULT 1)"},
               {L"INSERT INTO T (Name) VALUES (N'apple'); INSERT INTO T (Name) VALUES (N'Pear')"}});
    // The count is of the rows the new table took.
    _variant_t nAffected;
    m_pConn->Execute(L"SELECT * INTO #Copy FROM T", &nAffected, adCmdText);
    EXPECT_EQ(2, static_cast<long>(nAffected));
    RunScript(
        m_pConn,
        {// Text compares with the source's collation, lengths and nullability hold, the
         // identity goes on from the source's rows; defaults and keys stay behind.
         {L"SELECT ID, Name, Price FROM #Copy WHERE Name = 'APPLE'", {{L"5", L"apple", L"1"}}},
         Fails(L"INSERT INTO #Copy (Name) VALUES (N'avocado')",
               L"String or binary data would be truncated."),
         Fails(L"INSERT INTO #Copy (Price) VALUES (2)",
               L"Cannot insert the value NULL into column 'Name', table 'tempdb.dbo.#Copy'; column "
               L"does not allow nulls. INSERT fails."),
         {L"INSERT INTO #Copy (Name) VALUES (N'fig'); SELECT ID, Price FROM #Copy WHERE Name = "
          L"'fig'",
          {{L"7", L"NULL"}}},
         // A join keeps no identity; expressions compare text as the default collation does.
         {L"SELECT t.ID, u.Name, u.Name + 'x' AS Tagged INTO J FROM T t JOIN T u ON u.ID = t.ID"},
         {L"SELECT c.name, t.name, c.length FROM syscolumns c JOIN systypes t ON c.xusertype = "
          L"t.xusertype WHERE c.id = OBJECT_ID('J') AND c.name <> 'Tagged' ORDER BY c.colid",
          {{L"ID", L"int", L"4"}, {L"Name", L"nvarchar", L"12"}}},
         {L"SELECT ID FROM J WHERE Tagged = 'PEARX'", {{L"6"}}},
         // Every column needs a name of its own; alias = expression names one.
         Fails(L"SELECT ID + 1 INTO K1 FROM T",
               L"An object or column name is missing or empty. For SELECT INTO statements, verify "
               L"each column has a name. For other statements, look for empty alias names. "
               L"Aliases defined as \"\" or [] are not allowed. Change the alias to a valid "
               L"name."),
         Fails(L"SELECT Name, Name INTO K2 FROM T",
               L"Column names in each table must be unique. Column name 'Name' in table 'K2' is "
               L"specified more than once."),
         {L"SELECT Twice = ID * 2, ID + 1 AS Next INTO K3 FROM T WHERE ID = 5; SELECT * FROM K3",
          {{L"10", L"6"}}},
         Fails(L"INSERT INTO J (Name) VALUES (N'kiwi')",
               L"Cannot insert the value NULL into column 'ID', table 'Shop.dbo.J'; column does "
               L"not allow nulls. INSERT fails."),
         // Expressions take the types SQL Server gives them; what is not known stays untyped.
         {L"CREATE TABLE E (Code varchar(4), Note char(3), Qty smallint, Cost decimal(6,2))"},
         {L"INSERT INTO E VALUES ('ab', 'x', 3, 1.25)"},
         {L"SELECT Qty * 2 AS Dbl, Code + '-' + Note AS Tag, Code + N'é' AS Wide, Cost * Qty "
          L"AS Amt, 'lit' AS L, 7 AS Seven, 2.50 AS Half, Note + Note AS Pair, UPPER(Code) AS U, "
          L"RTRIM(Note) + LOWER(N'X') AS R, LEFT(Code, 1) AS F INTO EX FROM E"},
         {L"SELECT c.name, t.name, c.length, c.prec, c.scale FROM syscolumns c JOIN systypes t "
          L"ON c.xusertype = t.xusertype WHERE c.id = OBJECT_ID('EX') ORDER BY c.colid",
          {{L"Dbl", L"int", L"4", L"10", L"0"},
           {L"Tag", L"varchar", L"8", L"8", L"0"},
           {L"Wide", L"nvarchar", L"10", L"5", L"0"},
           {L"Amt", L"decimal", L"9", L"12", L"2"},
           {L"L", L"varchar", L"3", L"3", L"0"},
           {L"Seven", L"int", L"4", L"10", L"0"},
           {L"Half", L"decimal", L"5", L"3", L"2"},
           {L"Pair", L"char", L"6", L"6", L"0"},
           {L"U", L"varchar", L"4", L"4", L"0"},
           {L"R", L"nvarchar", L"8", L"4", L"0"},
           {L"F", L"sql_variant", L"8016", L"0", L"0"}}},
         {L"SELECT Dbl, Tag, Amt FROM EX WHERE Tag = 'AB-X'", {{L"6", L"ab-x  ", L"3.75"}}},
         {L"SELECT Code, COUNT(*) AS N, SUM(Cost) AS Total INTO EG FROM E GROUP BY Code"},
         {L"SELECT c.name, t.name, c.prec, c.scale FROM syscolumns c JOIN systypes t ON "
          L"c.xusertype = t.xusertype WHERE c.id = OBJECT_ID('EG') ORDER BY c.colid",
          {{L"Code", L"varchar", L"4", L"0"},
           {L"N", L"int", L"10", L"0"},
           {L"Total", L"decimal", L"38", L"2"}}},
         Fails(L"INSERT INTO EX (Tag) VALUES ('much too long')",
               L"String or binary data would be truncated."),
         // An expression of a column keeps the column's collation; others get the default.
         {L"CREATE TABLE CS (C varchar(5) COLLATE Latin1_General_CS_AS, N nvarchar(5))"},
         {L"INSERT INTO CS VALUES ('ab', N'x')"},
         {L"SELECT LOWER(C) AS LC, C + 'z' AS CZ, N + N'y' AS NY, 'k' AS K INTO CX FROM CS"},
         {L"SELECT COUNT(*) FROM CX WHERE LC = 'AB' OR CZ = 'ABZ'", {{L"0"}}},
         {L"SELECT COUNT(*) FROM CX WHERE LC = 'ab' AND NY = 'XY ' AND K = 'K'", {{L"1"}}}});
}
