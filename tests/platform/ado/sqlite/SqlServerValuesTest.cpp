// Scripts as SQL Server hosts send them, with SQL Server's results: keys, identities, the
// default collation, lengths and types, operators. Where SQLite's own text reports a
// violation SQL Server also refuses (NOT NULL, duplicate keys), the refusal is what counts.
#include "SqlServerScriptSupport.h"

TEST_F(SqlServerScript, KeysRefuseNullAndDuplicates) {
    RunScript(
        m_pConn,
        {
            {L"CREATE TABLE [dbo].[Customer] ([ID] int PRIMARY KEY, [Name] nvarchar(20))"},
            {L"CREATE TABLE [dbo].[Region] ([Code] varchar(10) PRIMARY KEY)"},
            {L"CREATE TABLE Pair (A int NOT NULL, B char(2) NOT NULL, CONSTRAINT "
             L"[PK_Pair] PRIMARY KEY CLUSTERED ([A] ASC, [B] DESC))"},
            Fails(L"INSERT INTO Customer (ID, Name) VALUES (NULL, 'x')",
                  L"Cannot insert the value NULL into column 'ID', table 'Shop.dbo.Customer'; "
                  L"column does not allow nulls. INSERT fails."),
            Fails(L"INSERT INTO Region VALUES (NULL)",
                  L"Cannot insert the value NULL into column 'Code', table 'Shop.dbo.Region'; "
                  L"column does not allow nulls. INSERT fails."),
            {L"INSERT INTO Region VALUES ('north')"},
            // The default collation makes 'NORTH ' the same key.
            Fails(L"INSERT INTO Region VALUES ('NORTH ')",
                  L"Violation of PRIMARY KEY constraint 'PK__Region__7F636CE04B995C6E'. Cannot "
                  L"insert duplicate key in object 'dbo.Region'. The duplicate key value is "
                  L"(NORTH )."),
            {L"INSERT INTO Pair VALUES (1, 'a'); INSERT INTO Pair VALUES (1, 'b')"},
            // UNIQUE takes one NULL at most, and compares as the collation does.
            {L"CREATE TABLE Mail (Box int UNIQUE, Addr varchar(20), CONSTRAINT [UQ_Addr] "
             L"UNIQUE NONCLUSTERED ([Addr]))"},
            {L"INSERT INTO Mail VALUES (NULL, 'a@x'); INSERT INTO Mail VALUES (1, NULL)"},
            Fails(L"INSERT INTO Mail VALUES (NULL, 'b@x')",
                  L"Violation of UNIQUE KEY constraint 'UQ__Mail__CFA15A21B0E42E14'. Cannot "
                  L"insert duplicate key in object 'dbo.Mail'. The duplicate key value is "
                  L"(<NULL>)."),
            Fails(L"INSERT INTO Mail VALUES (2, NULL)",
                  L"Violation of UNIQUE KEY constraint 'UQ_Addr'. Cannot insert duplicate key in "
                  L"object 'dbo.Mail'. The duplicate key value is (<NULL>)."),
            Fails(L"INSERT INTO Mail VALUES (3, 'A@X')",
                  L"Violation of UNIQUE KEY constraint 'UQ_Addr'. Cannot insert duplicate key in "
                  L"object 'dbo.Mail'. The duplicate key value is (A@X)."),
            {L"SELECT name, isnullable FROM syscolumns WHERE id = OBJECT_ID('Region') UNION "
             L"ALL SELECT name, isnullable FROM syscolumns WHERE id = OBJECT_ID('Pair')",
             {{L"Code", L"0"}, {L"A", L"0"}, {L"B", L"0"}}},
            Fails(L"CREATE TABLE Bad (ID int NULL PRIMARY KEY)",
                  L"Cannot define PRIMARY KEY constraint on nullable column in table 'Bad'."),
            Fails(L"CREATE TABLE Bad (A int PRIMARY KEY, B int, PRIMARY KEY (B))",
                  L"Cannot add multiple PRIMARY KEY constraints to table 'dbo.Bad'."),
        });
}

TEST_F(SqlServerScript, IdentitiesNumberRowsAsSqlServerDoes) {
    RunScript(
        m_pConn,
        {
            // As SQL Server's script generator writes it.
            {L"CREATE TABLE [dbo].[Orders](\n\t[ID] [int] IDENTITY(1,1) NOT NULL,\n\t[Item] "
             L"[nvarchar](50) NULL,\n CONSTRAINT [PK_Orders] PRIMARY KEY CLUSTERED \n(\n\t[ID] "
             L"ASC\n)WITH (PAD_INDEX = OFF, STATISTICS_NORECOMPUTE = OFF, IGNORE_DUP_KEY = OFF, "
             L"ALLOW_ROW_LOCKS = ON, ALLOW_PAGE_LOCKS = ON) ON [PRIMARY]\n) ON [PRIMARY]"},
            {L"SELECT @@IDENTITY, SCOPE_IDENTITY()", {{L"NULL", L"NULL"}}},
            {L"INSERT INTO Orders (Item) VALUES (N'pen')"},
            {L"SELECT SCOPE_IDENTITY()", {{L"1"}}},
            // Without a column list the values fill the columns other than the identity.
            {L"INSERT INTO Orders VALUES (N'ink')"},
            {L"INSERT Orders SELECT N'pad'"},
            {L"SELECT @@IDENTITY", {{L"3"}}},
            Fails(L"INSERT INTO Orders (ID, Item) VALUES (10, 'x')",
                  L"Cannot insert explicit value for identity column in table 'Orders' when "
                  L"IDENTITY_INSERT is set to OFF."),
            {L"SET IDENTITY_INSERT dbo.Orders ON"},
            Fails(L"INSERT INTO Orders VALUES (11, 'x')",
                  L"An explicit value for the identity column in table 'Orders' can only be "
                  L"specified when a column list is used and IDENTITY_INSERT is ON."),
            {L"INSERT INTO Orders (ID, Item) VALUES (10, 'x')"},
            {L"SET IDENTITY_INSERT dbo.Orders OFF"},
            {L"INSERT INTO Orders (Item) VALUES ('y')"},
            {L"SELECT ID, Item FROM Orders ORDER BY ID",
             {{L"1", L"pen"}, {L"2", L"ink"}, {L"3", L"pad"}, {L"10", L"x"}, {L"11", L"y"}}},
            Fails(L"UPDATE Orders SET ID = 5 WHERE ID = 1", L"Cannot update identity column 'ID'."),
            // Numbers are not used again, until TRUNCATE starts from the seed.
            {L"DELETE FROM Orders WHERE ID = 11; INSERT INTO Orders (Item) VALUES ('z')"},
            {L"SELECT MAX(ID) FROM Orders", {{L"12"}}},
            {L"TRUNCATE TABLE Orders; INSERT INTO Orders (Item) VALUES ('again')"},
            {L"SELECT ID FROM Orders", {{L"1"}}},
            // A seed, and an identity without a key of its own.
            {L"CREATE TABLE Log (N bigint IDENTITY(100, 1), Msg varchar(20))"},
            // IDENT_CURRENT gives the seed until a row takes a number, then the last number.
            {L"SELECT IDENT_CURRENT('Log'), IDENT_SEED('dbo.Log'), IDENT_INCR('Log'), "
             L"IDENT_CURRENT('Plain'), IDENT_CURRENT('Orders')",
             {{L"100", L"100", L"1", L"NULL", L"1"}}},
            {L"INSERT INTO Log (Msg) VALUES ('a'); INSERT INTO Log (Msg) VALUES ('b')"},
            {L"SELECT N, Msg FROM Log", {{L"100", L"a"}, {L"101", L"b"}}},
            {L"SELECT IDENT_CURRENT('Log')", {{L"101"}}},
            Fails(L"SELECT IDENT_CURRENT(Msg) FROM Log",
                  L"IDENT_CURRENT is supported by the embedded database only with a literal name."),
            {L"SELECT c.name, t.name, c.length FROM syscolumns c JOIN systypes t ON c.xusertype = "
             L"t.xusertype WHERE c.id = OBJECT_ID('Log') AND c.status & 128 = 128",
             {{L"N", L"bigint", L"8"}}},
            {L"TRUNCATE TABLE Log; INSERT INTO Log (Msg) VALUES ('c'); SELECT N FROM Log",
             {{L"100"}}},
            // @@IDENTITY stays with the last identity; inserting elsewhere does not change it.
            {L"CREATE TABLE Plain (V int); INSERT INTO Plain VALUES (7)"},
            {L"SELECT @@IDENTITY", {{L"100"}}},
            Fails(L"CREATE TABLE E1 (ID float IDENTITY)",
                  L"Identity column 'ID' must be of data type int, bigint, smallint, tinyint, or "
                  L"decimal or numeric with a scale of 0, and constrained to be nonnullable."),
            Fails(L"CREATE TABLE E2 (A int IDENTITY, B int IDENTITY)",
                  L"Multiple identity columns specified for table 'E2'. Only one identity column "
                  L"per table is allowed."),
            Fails(L"CREATE TABLE E3 (A int IDENTITY NULL)",
                  L"Could not create IDENTITY attribute on nullable column 'A', table 'dbo.E3'."),
            Fails(L"SET IDENTITY_INSERT Plain ON",
                  L"Table 'Plain' does not have the identity property. Cannot perform SET "
                  L"operation."),
        });
}

TEST_F(SqlServerScript, DefaultCollationIgnoresCaseAndTrailingBlanks) {
    RunScript(
        m_pConn,
        {
            {L"CREATE TABLE Users (Login nvarchar(20) NOT NULL PRIMARY KEY, Name nvarchar(40), "
             L"Code varchar(10) COLLATE Latin1_General_CS_AS)"},
            {L"INSERT INTO Users VALUES ('admin', N'Ärger', 'Ab'); INSERT INTO Users VALUES "
             L"('bob', N'Öl', 'ab'); INSERT INTO Users VALUES ('Carl', N'éclair', 'AB')"},
            {L"SELECT Login FROM Users WHERE Login = 'ADMIN'", {{L"admin"}}},
            {L"SELECT Login FROM Users WHERE Login = 'admin   '", {{L"admin"}}},
            {L"SELECT Login FROM Users WHERE Name = N'ärger'", {{L"admin"}}},
            // Accents count.
            {L"SELECT Login FROM Users WHERE Name = N'Arger'", {}},
            {L"SELECT Login FROM Users ORDER BY Login", {{L"admin"}, {L"bob"}, {L"Carl"}}},
            {L"SELECT Login FROM Users WHERE Login IN ('BOB', 'carl') ORDER BY Login",
             {{L"bob"}, {L"Carl"}}},
            {L"SELECT COUNT(DISTINCT Login) FROM (SELECT Login FROM Users UNION ALL SELECT "
             L"UPPER(Login) FROM Users) x",
             {{L"3"}}},
            // A case-sensitive column keeps its case apart.
            {L"SELECT Login FROM Users WHERE Code = 'ab'", {{L"bob"}}},
            // LIKE with SQL Server's character sets, without regard to case.
            {L"SELECT Login FROM Users WHERE Login LIKE '[a-b]%' ORDER BY Login",
             {{L"admin"}, {L"bob"}}},
            {L"SELECT Login FROM Users WHERE Login LIKE '[^ab]%'", {{L"Carl"}}},
            {L"SELECT Login FROM Users WHERE Name LIKE N'ä%'", {{L"admin"}}},
            {L"SELECT Login FROM Users WHERE Login LIKE 'c_rl'", {{L"Carl"}}},
            {L"SELECT UPPER(Name), LOWER(N'ÄÖÜ') FROM Users WHERE Login = 'bob'",
             {{L"ÖL", L"äöü"}}},
            Fails(L"CREATE TABLE Bad (A varchar(5) COLLATE Nonsense)",
                  L"Invalid collation 'Nonsense'."),
        });
}

TEST_F(SqlServerScript, LengthsAndTypesAreEnforced) {
    RunScript(
        m_pConn,
        {
            {L"CREATE TABLE [dbo].[Item]([Code] [varchar](5) NOT NULL, [Name] [nvarchar](4) NULL, "
             L"[Price] [decimal](6, 2) NULL, [Qty] [int] NULL, [Weight] [float] NULL, [Small] "
             L"[tinyint] NULL, [Pic] [varbinary](2) NULL, [Guid] [uniqueidentifier] NULL)"},
            Fails(L"INSERT INTO Item (Code) VALUES ('ABCDEF')",
                  L"String or binary data would be truncated."),
            Fails(L"INSERT INTO Item (Code, Name) VALUES ('A', N'中文名字呀')",
                  L"String or binary data would be truncated."),
            {L"INSERT INTO Item (Code, Name, Qty) VALUES ('A', N'中文名字', '12')"},
            Fails(L"UPDATE Item SET Code = 'ABCDEFG'",
                  L"String or binary data would be truncated."),
            Fails(L"INSERT INTO Item (Code, Weight) VALUES ('B', 'abc')",
                  L"Error converting data type varchar to float."),
            Fails(L"INSERT INTO Item (Code, Qty) VALUES ('C', 'x')",
                  L"Conversion failed when converting the varchar value 'x' to data type int."),
            // Written otherwise than with VALUES, the column's own rule still refuses.
            Fails(L"INSERT INTO Item (Code, Qty) SELECT 'C', 'x'",
                  L"Error converting data type varchar to int."),
            Fails(L"INSERT INTO Item (Code, Small) VALUES ('E', 300)",
                  L"Arithmetic overflow error for data type tinyint, value = 300."),
            Fails(L"INSERT INTO Item (Code, Price) VALUES ('F', 10000)",
                  L"Arithmetic overflow error converting int to data type numeric."),
            Fails(L"INSERT INTO Item (Code, Price) VALUES ('F', 9999.995)",
                  L"Arithmetic overflow error converting numeric to data type numeric."),
            Fails(L"INSERT INTO Item (Code, Pic) VALUES ('G', 0x010203)",
                  L"String or binary data would be truncated."),
            Fails(L"INSERT INTO Item (Code, Pic) VALUES ('G', 'ab')",
                  L"Implicit conversion from data type varchar to varbinary is not allowed. Use "
                  L"the CONVERT function to run this query."),
            Fails(L"INSERT INTO Item (Code, Guid) VALUES ('H', 'not-a-guid')",
                  L"Conversion failed when converting from a character string to "
                  L"uniqueidentifier."),
            {L"INSERT INTO Item (Code, Price, Pic, Guid) VALUES ('I', 9999.99, 0x0102, "
             L"'6F9619FF-8B86-D011-B42D-00C04FC964FF')"},
            {L"SELECT Code FROM Item WHERE Guid = '6f9619ff-8b86-d011-b42d-00c04fc964ff'",
             {{L"I"}}},
            {L"SELECT Code, Qty, Name FROM Item ORDER BY Code",
             {{L"A", L"12", L"中文名字"}, {L"I", L"NULL", L"NULL"}}},
            // Sizes SQL Server does not have.
            Fails(L"CREATE TABLE Bad (A nvarchar(0))", L"Length or precision 0 is invalid."),
            Fails(L"CREATE TABLE Bad (A nvarchar(-1))", L"Incorrect syntax near '-'."),
            Fails(L"CREATE TABLE Bad (A nvarchar(4001))",
                  L"The size (4001) given to the column 'A' exceeds the maximum allowed for any "
                  L"data type (4000)."),
            Fails(L"CREATE TABLE Bad (A decimal(40, 2))",
                  L"Column or parameter: Specified column precision 40 is greater than the "
                  L"maximum precision of 38."),
        });
}

TEST_F(SqlServerScript, OperatorsFollowSqlServer) {
    RunScript(
        m_pConn,
        {
            {L"CREATE TABLE P (First nvarchar(10), Last nvarchar(10), N int, D decimal(5,1))"},
            {L"INSERT INTO P VALUES (N'Ann', N'Lee', 7, 2.5)"},
            {L"SELECT First + ' ' + Last, N'x' + 'y', 'n=' + CAST(N AS varchar(5)) FROM P",
             {{L"Ann Lee", L"xy", L"n=7"}}},
            {L"SELECT N + 1, N + '3', '2' + 3, N / 2, 7 / 2.0 FROM P",
             {{L"8", L"10", L"5", L"3", L"3.5"}}},
            {L"SELECT First + NULL FROM P", {{L"NULL"}}},
            Fails(L"SELECT 'x' + N FROM P",
                  L"Conversion failed when converting the varchar value 'x' to data type int."),
            Fails(L"SELECT N / 0 FROM P", L"Divide by zero error encountered."),
            Fails(L"SELECT N % (N - 7) FROM P", L"Divide by zero error encountered."),
            {L"SELECT CASE WHEN 5 !> 4 THEN 1 ELSE 0 END", {{L"0"}}},
            // String functions find text as the default collation compares it.
            {L"SELECT LEFT(First, 2), RIGHT(N'中文名字', 2), CHARINDEX('LEE', Last), "
             L"CHARINDEX('e', 'eee', 2), REPLACE(N'Ärger ärger', N'ÄR', 'x'), "
             L"'[' + SPACE(2) + REPLICATE('ab', 2) + ']' FROM P",
             {{L"An", L"名字", L"1", L"2", L"xger xger", L"[  abab]"}}},
            Fails(L"SELECT LEFT(First, -1) FROM P",
                  L"Invalid length parameter passed to the left function."),
            // ~ of a bit is the other bit, of an integer its complement; NULL stays.
            {L"CREATE TABLE F (B bit, I int); INSERT INTO F VALUES (0, 0), (1, 5), (NULL, NULL)"},
            {L"DECLARE @b bit = 1; SELECT ~B, ~f.B, ~I, ~CAST(I AS bit), ~CONVERT(bit, 0), ~@b, "
             L"~B + 1 FROM F f ORDER BY I",
             {{L"NULL", L"NULL", L"NULL", L"NULL", L"1", L"0", L"NULL"},
              {L"1", L"1", L"-1", L"1", L"1", L"0", L"2"},
              {L"0", L"0", L"-6", L"0", L"1", L"0", L"1"}}},
            {L"SELECT COUNT(*) FROM F WHERE ~B = 1", {{L"1"}}},
            // So is ~ of a bit in parentheses, of ISNULL of a bit and of ~ of a bit; a bit in
            // arithmetic is an int.
            {L"SELECT ~(B) , ~ISNULL( B , 0 ), ~~B, ~ ( ~B ), ~ISNULL(I, 0), ~(B + 1) FROM F "
             L"ORDER BY I",
             {{L"NULL", L"1", L"NULL", L"NULL", L"-1", L"NULL"},
              {L"1", L"1", L"0", L"0", L"-1", L"-2"},
              {L"0", L"0", L"1", L"1", L"-6", L"-3"}}},
        });
}

TEST_F(SqlServerScript, ConversionsAndDatesFollowSqlServer) {
    const wchar_t kNotADate[] =
        L"Conversion failed when converting date and/or time from character string.";
    RunScript(
        m_pConn,
        {
            {L"SELECT CAST('12' AS int) + 1, CAST(1.9 AS int), CAST(N'abc' AS nvarchar(2)), "
             L"CAST(2.345 AS decimal(5,2)), CONVERT(money, '-1.00005')",
             {{L"13", L"1", L"ab", L"2.35", L"-1.0001"}}},
            {L"SELECT CONVERT(varchar(10), '2024-03-05 10:20:30', 120), CONVERT(varchar, "
             L"'20240305 07:08', 112), CONVERT(datetime, '2024/3/05'), CAST(45000 AS datetime), "
             L"CONVERT(varchar(10), CONVERT(date, '2024-03-05T10:20:30'), 103)",
             {{L"2024-03-05", L"20240305", L"2024-03-05", L"2023-03-17", L"05/03/2024"}}},
            Fails(L"SELECT CAST('abc' AS int)",
                  L"Conversion failed when converting the varchar value 'abc' to data type int."),
            Fails(L"SELECT CAST('2024-13-45' AS datetime)",
                  L"The conversion of a varchar data type to a datetime data type resulted in an "
                  L"out-of-range value."),
            Fails(L"SELECT CAST('2024-13-45' AS date)", kNotADate),
            Fails(L"SELECT CONVERT(datetime, 'yesterday')", kNotADate),
            // A date and time moves by days; the difference of two is a time from 1900-01-01.
            {L"CREATE TABLE D (At datetime); INSERT INTO D VALUES ('2024-03-05 10:00:00')"},
            {L"SELECT At + 1, At - 1.5, CONVERT(varchar(10), At - 31, 23), At - '2024-03-04' "
             L"FROM D",
             {{L"2024-03-06 10:00:00", L"2024-03-03 22:00:00", L"2024-02-03",
               L"1900-01-02 10:00:00"}}},
            {L"SELECT COUNT(*) FROM D WHERE At > GETDATE() - 100000 AND At < GETDATE() + 1",
             {{L"1"}}},
            // Values written become the column's type: dates in one form, decimals rounded.
            {L"CREATE TABLE W (At datetime, Price decimal(6,2), N int); INSERT INTO W VALUES "
             L"('20240105', '12.345', 7.9), ('2024-1-6 8:05', 1, '3')"},
            {L"UPDATE W SET Price = Price / 3.0, N = N + 0.5 WHERE At = '2024-01-06 08:05:00'"},
            {L"SELECT At, Price, N FROM W ORDER BY At",
             {{L"2024-01-05", L"12.35", L"7"}, {L"2024-01-06 08:05:00", L"0.33", L"3"}}},
            // Dates compare as times, whatever form either side is written in.
            {L"SELECT COUNT(*), MAX(At) FROM W WHERE At = '2024-01-05' OR At = '20240106 08:05'",
             {{L"2", L"2024-01-06 08:05:00"}}},
            Fails(L"INSERT INTO W (At) VALUES ('soon')", kNotADate),
            Fails(L"UPDATE W SET Price = 'cheap'",
                  L"Error converting data type varchar to numeric."),
            Fails(L"SELECT 'x' - 1", L"Conversion failed when converting the varchar value 'x' "
                                     L"to data type int."),
            // Date functions: parts by name and abbreviation, boundaries crossed, month ends.
            {L"SELECT DATEADD(day, 1, At), DATEADD(mm, 1, CONVERT(date, '2024-01-31')), "
             L"DATEADD(hour, -12, At), "
             L"DATEADD(year, 1, CONVERT(datetime, '20240229')) FROM D",
             {{L"2024-03-06 10:00:00", L"2024-02-29", L"2024-03-04 22:00:00", L"2025-02-28"}}},
            {L"SELECT DATEDIFF(day, '2024-03-01 23:59', At), DATEDIFF(month, '2023-12-31', At), "
             L"DATEDIFF(year, '2023-12-31', '2024-01-01'), DATEDIFF(hh, At, '2024-03-05 12:59'), "
             L"DATEDIFF(week, '2024-03-02', '2024-03-03') FROM D",
             {{L"4", L"3", L"1", L"2", L"1"}}},
            {L"SELECT YEAR(At), MONTH(At), DAY(At), DATEPART(weekday, At), DATEPART(dy, At), "
             L"DATEPART(qq, At), DATEPART(mi, '2024-03-05 10:20:30'), ISDATE('2024-02-30'), "
             L"ISDATE('20240229') FROM D",
             {{L"2024", L"3", L"5", L"3", L"65", L"1", L"20", L"0", L"1"}}},
            Fails(L"SELECT DATEADD(fortnight, 1, At) FROM D",
                  L"'fortnight' is not a recognized datepart option."),
            Fails(L"SELECT DATEDIFF(day, 'soon', At) FROM D", kNotADate),
        });
}

TEST_F(SqlServerScript, CharColumnsArePaddedWithBlanks) {
    RunScript(
        m_pConn,
        {
            {L"CREATE TABLE C (Code char(5) PRIMARY KEY, Name nchar(4), V varchar(5))"},
            {L"INSERT INTO C VALUES ('ab', N'中', 'ab')"},
            {L"SELECT Code, Name, V FROM C", {{L"ab   ", L"中   ", L"ab"}}},
            // LEN leaves trailing blanks out, DATALENGTH counts them; comparisons ignore them.
            {L"SELECT LEN(Code), DATALENGTH(Code), LEN(Name), DATALENGTH(Name), DATALENGTH(V), "
             L"'[' + Code + ']' FROM C WHERE Code = 'AB'",
             {{L"2", L"5", L"1", L"8", L"2", L"[ab   ]"}}},
            Fails(L"INSERT INTO C (Code) VALUES ('ab ')",
                  L"Violation of PRIMARY KEY constraint 'PK__C__45CA1A83A9704431'. Cannot insert "
                  L"duplicate key in object 'dbo.C'."),
            Fails(L"INSERT INTO C (Code) VALUES ('toolong')",
                  L"String or binary data would be truncated."),
            {L"UPDATE C SET Code = 'x', Name = NULL WHERE V = 'ab'"},
            {L"INSERT INTO C (Code, Name, V) SELECT 'cd', N'名字', 'cd' UNION ALL SELECT 'e', "
             L"N'f', NULL"},
            {L"INSERT INTO C (Code) VALUES (7)"},
            {L"SELECT Code, Name FROM C ORDER BY Code",
             {{L"7    ", L"NULL"},
              {L"cd   ", L"名字  "},
              {L"e    ", L"f   "},
              {L"x    ", L"NULL"}}},
            {L"SELECT '[' + CAST('ab' AS char(4)) + ']', '[' + CAST(N'a' AS nchar(3)) + ']', "
             L"'[' + CAST('ab' AS varchar(4)) + ']', '[' + CONVERT(char(2), 'abc') + ']'",
             {{L"[ab  ]", L"[a  ]", L"[ab]", L"[ab]"}}},
            {L"DECLARE @c char(3) = 'a'; SELECT '[' + @c + ']', DATALENGTH(@c)",
             {{L"[a  ]", L"3"}}},
            // Literal defaults are padded too.
            {L"CREATE TABLE C2 (Id int, Flag char(3) DEFAULT 'y', N nchar(2) DEFAULT ((N'z')), "
             L"V varchar(3) DEFAULT 'v'); INSERT INTO C2 (Id) VALUES (1)"},
            {L"SELECT Flag, N, V FROM C2", {{L"y  ", L"z ", L"v"}}},
            // A column that becomes char(n) pads the values it has.
            {L"ALTER TABLE C2 ALTER COLUMN V char(4)"},
            {L"SELECT V, DATALENGTH(V) FROM C2", {{L"v   ", L"4"}}},
        });
}

TEST_F(SqlServerScript, DateLiteralsInListsAndRangesReadAsTheirColumnsType) {
    RunScript(
        m_pConn,
        {{L"CREATE TABLE O (ID int, D date, At datetime, S smalldatetime, N int)"},
         {L"INSERT INTO O VALUES (1, '20240301', '20240301', '20240301', 1), (2, '2024-03-02', "
          L"'2024-03-02 10:00', '2024-03-02', 2), (3, '20240401', '20240401', '20240401', 3)"},
         // Every literal of the list, compact or with dashes, as = would take it.
         {L"SELECT ID FROM O WHERE D IN ('20240301', '2024-03-02') ORDER BY ID", {{L"1"}, {L"2"}}},
         {L"SELECT ID FROM O o WHERE o.At IN ('20240401', '20240301') ORDER BY ID",
          {{L"1"}, {L"3"}}},
         {L"SELECT ID FROM O WHERE S NOT IN ('20240301', '20240401')", {{L"2"}}},
         {L"SELECT ID FROM O WHERE CONVERT(date, At) IN ('20240302')", {{L"2"}}},
         // The literal on the left of a list of columns.
         {L"SELECT ID FROM O WHERE '20240301' IN (D, S)", {{L"1"}}},
         {L"SELECT ID FROM O o WHERE '20240301' NOT IN (o.D) ORDER BY ID", {{L"2"}, {L"3"}}},
         // Ranges end at midnight of their last day.
         {L"SELECT ID FROM O WHERE At BETWEEN '20240301' AND '20240302' ORDER BY ID", {{L"1"}}},
         {L"SELECT ID FROM O WHERE D NOT BETWEEN '20240301' AND '20240331'", {{L"3"}}},
         // Number columns convert each literal, and fail on text that is no number.
         {L"SELECT ID FROM O WHERE N IN ('1', ' 3') ORDER BY ID", {{L"1"}, {L"3"}}},
         Fails(L"SELECT ID FROM O WHERE N IN (1, 'x')",
               L"Conversion failed when converting the varchar value 'x' to data type int."),
         Fails(L"SELECT ID FROM O WHERE D IN ('20240401', '20240301') AND N IN ('1', 'x2024')",
               L"Conversion failed when converting the varchar value 'x2024' to data type int."),
         // A literal in a call's arguments is no list's.
         {L"SELECT ID FROM O WHERE D = '20240301' AND LEFT('20240301', 4) = '2024'", {{L"1"}}}});
}

TEST_F(SqlServerScript, TextComparedWithNumberColumnsConvertsAsSqlServers) {
    RunScript(
        m_pConn,
        {
            {L"CREATE TABLE N (I int, D decimal(10, 2), B bit, C varchar(9))"},
            {L"INSERT INTO N VALUES (5, 1.5, 1, 'x')"},
            // Numbers in text and the words bit takes compare as their values.
            {L"SELECT I FROM N WHERE I = '5' AND D = ' 1.50 ' AND B = 'TRUE' AND '5' = I",
             {{L"5"}}},
            {L"SELECT I FROM N WHERE B = 'false'", {}},
            // ... and a bit read as a bit column reads.
            {L"SELECT CAST('true' AS bit), CAST('False' AS bit)", {{L"-1", L"0"}}},
            // Empty text (or blanks) is 0 to the integers and bit, also where it is compared.
            {L"SELECT CAST('' AS int), CAST(' ' AS bit), CAST('' AS bigint), TRY_CAST('' AS "
             L"smallint)",
             {{L"0", L"0", L"0", L"0"}}},
            {L"SELECT COUNT(*) FROM N WHERE I = '' OR B = ''", {{L"0"}}},
            // Text that is no number fails as SQL Server's conversion does, on either side.
            Fails(L"SELECT I FROM N WHERE I = 'abc'",
                  L"Conversion failed when converting the varchar value 'abc' to data type int."),
            Fails(L"SELECT I FROM N WHERE 'x1' < I",
                  L"Conversion failed when converting the varchar value 'x1' to data type int."),
            Fails(L"SELECT I FROM N WHERE D >= '1,5'",
                  L"Error converting data type varchar to numeric."),
            // Text columns keep comparing text.
            {L"SELECT C FROM N WHERE C = 'X'", {{L"x"}}},
            // The column is found through aliases and joins, and in a table named later.
            {L"CREATE TABLE M (K varchar(9), J int)"},
            {L"INSERT INTO M VALUES ('x', 5)"},
            {L"SELECT n.I FROM N AS n JOIN M m ON m.K = n.C WHERE m.K = 'x' AND n.I = '5'",
             {{L"5"}}},
            Fails(L"SELECT n.I FROM N n JOIN M ON M.K = n.C WHERE M.J = 'k'",
                  L"Conversion failed when converting the varchar value 'k' to data type int."),
            Fails(L"SELECT CASE WHEN J = 'k' THEN 1 END FROM M",
                  L"Conversion failed when converting the varchar value 'k' to data type int."),
            // A changed column is compared as it now is, temporary tables' too.
            {L"ALTER TABLE M ALTER COLUMN J varchar(9)"},
            {L"SELECT K FROM M WHERE J = 'k'", {}},
            {L"CREATE TABLE #W (V int); INSERT INTO #W VALUES (1)"},
            Fails(L"SELECT V FROM #W WHERE V = 'v'",
                  L"Conversion failed when converting the varchar value 'v' to data type int."),
            {L"DROP TABLE #W; CREATE TABLE #W (V varchar(3)); INSERT INTO #W VALUES ('v')"},
            {L"SELECT V FROM #W WHERE V = 'V'", {{L"v"}}},
        });
}
