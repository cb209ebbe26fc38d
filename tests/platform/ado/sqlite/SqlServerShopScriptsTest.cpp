// Scripts as SQL Server hosts and tools write them, run against a small shop: the schema as
// SSMS "Generate Scripts" writes it, seed data with explicit identities, and the queries,
// upserts and transactions of a line-of-business host, each with SQL Server's answer.
#include "SqlServerScriptSupport.h"

namespace {

const wchar_t kIndexOptions[] =
    L"WITH (PAD_INDEX = OFF, STATISTICS_NORECOMPUTE = OFF, IGNORE_DUP_KEY = OFF, "
    L"ALLOW_ROW_LOCKS = ON, ALLOW_PAGE_LOCKS = ON) ON [PRIMARY]";

// The schema as generated, one batch per object as the tool separates them with GO.
std::vector<Step> ShopSchema() {
    const std::wstring options = kIndexOptions;
    return {
        {L"SET ANSI_NULLS ON\nSET QUOTED_IDENTIFIER ON\nSET ANSI_PADDING ON"},
        {L"IF NOT EXISTS (SELECT * FROM sys.objects WHERE object_id = "
         L"OBJECT_ID(N'[dbo].[Customers]') AND type in (N'U'))\nBEGIN\n"
         L"CREATE TABLE [dbo].[Customers](\n\t[CustomerID] [int] IDENTITY(1,1) NOT NULL,\n"
         L"\t[Name] [nvarchar](50) NOT NULL,\n\t[Email] [varchar](100) NULL,\n"
         L"\t[City] [nvarchar](30) NULL,\n\t[CreatedAt] [datetime] NOT NULL,\n"
         L" CONSTRAINT [PK_Customers] PRIMARY KEY CLUSTERED \n(\n\t[CustomerID] ASC\n)" +
         options +
         L",\n CONSTRAINT [UQ_Customers_Email] UNIQUE NONCLUSTERED \n(\n\t[Email] ASC\n)" +
         options + L"\n) ON [PRIMARY]\nEND"},
        {L"IF NOT EXISTS (SELECT * FROM sys.objects WHERE object_id = "
         L"OBJECT_ID(N'[dbo].[DF_Customers_CreatedAt]') AND type = 'D')\nBEGIN\n"
         L"ALTER TABLE [dbo].[Customers] ADD  CONSTRAINT [DF_Customers_CreatedAt]  DEFAULT "
         L"(getdate()) FOR [CreatedAt]\nEND"},
        {L"CREATE TABLE [dbo].[Products](\n\t[ProductID] [int] IDENTITY(1,1) NOT NULL,\n"
         L"\t[Name] [nvarchar](40) NOT NULL,\n"
         L"\t[Price] [money] NOT NULL CONSTRAINT [DF_Products_Price] DEFAULT ((0)),\n"
         L"\t[Stock] [int] NOT NULL DEFAULT ((0)),\n\t[Discontinued] [bit] NOT NULL,\n"
         L"\tPRIMARY KEY CLUSTERED ([ProductID] ASC) ON [PRIMARY],\n"
         L"\tCONSTRAINT [CK_Products_Price] CHECK (([Price]>=(0)))\n) ON [PRIMARY]"},
        {L"CREATE TABLE [dbo].[Orders](\n\t[OrderID] [int] IDENTITY(1000,1) NOT NULL,\n"
         L"\t[CustomerID] [int] NOT NULL,\n\t[OrderDate] [datetime] NOT NULL,\n"
         L"\t[ShipDate] [smalldatetime] NULL,\n"
         L"\t[Status] [char](1) NOT NULL CHECK ([Status] IN ('N','S','C')),\n"
         L" CONSTRAINT [PK_Orders] PRIMARY KEY CLUSTERED ([OrderID] ASC)\n) ON [PRIMARY]"},
        // A computed column as people write it, without parentheses.
        {L"CREATE TABLE [dbo].[OrderLines](\n\t[OrderID] [int] NOT NULL,\n"
         L"\t[LineNo] [smallint] NOT NULL,\n\t[ProductID] [int] NOT NULL,\n"
         L"\t[Qty] [int] NOT NULL,\n\t[Price] [money] NOT NULL,\n\t[Total] AS Qty * Price,\n"
         L" CONSTRAINT [PK_OrderLines] PRIMARY KEY CLUSTERED ([OrderID] ASC, [LineNo] ASC)\n"
         L") ON [PRIMARY]"},
        {L"ALTER TABLE [dbo].[Orders]  WITH CHECK ADD  CONSTRAINT [FK_Orders_Customers] FOREIGN "
         L"KEY([CustomerID])\nREFERENCES [dbo].[Customers] ([CustomerID])"},
        {L"ALTER TABLE [dbo].[Orders] CHECK CONSTRAINT [FK_Orders_Customers]"},
        {L"ALTER TABLE [dbo].[OrderLines]  WITH CHECK ADD  CONSTRAINT [FK_OrderLines_Orders] "
         L"FOREIGN KEY([OrderID])\nREFERENCES [dbo].[Orders] ([OrderID])\nON DELETE CASCADE\n"
         L"ALTER TABLE [dbo].[OrderLines] CHECK CONSTRAINT [FK_OrderLines_Orders]\n"
         L"ALTER TABLE [dbo].[OrderLines]  WITH CHECK ADD  CONSTRAINT [FK_OrderLines_Products] "
         L"FOREIGN KEY([ProductID])\nREFERENCES [dbo].[Products] ([ProductID])"},
        {L"IF NOT EXISTS (SELECT * FROM sys.indexes WHERE object_id = "
         L"OBJECT_ID(N'[dbo].[Orders]') AND name = N'IX_Orders_OrderDate')\n"
         L"CREATE NONCLUSTERED INDEX [IX_Orders_OrderDate] ON [dbo].[Orders]\n(\n"
         L"\t[OrderDate] ASC\n)WITH (PAD_INDEX = OFF, STATISTICS_NORECOMPUTE = OFF, "
         L"SORT_IN_TEMPDB = OFF, DROP_EXISTING = OFF, ONLINE = OFF, ALLOW_ROW_LOCKS = ON, "
         L"ALLOW_PAGE_LOCKS = ON) ON [PRIMARY]"},
    };
}

// Seed data with the identities the host's other systems know.
std::vector<Step> ShopSeed() {
    return {
        {L"SET IDENTITY_INSERT [dbo].[Customers] ON\n"
         L"INSERT [dbo].[Customers] ([CustomerID], [Name], [Email], [City], [CreatedAt]) VALUES "
         L"(1, N'Ann Archer', 'ann@example.com', N'Oslo', CAST(N'2024-01-05T00:00:00.000' AS "
         L"DateTime))\n"
         L"INSERT [dbo].[Customers] ([CustomerID], [Name], [Email], [City], [CreatedAt]) VALUES "
         L"(2, N'bob builder', 'bob@example.com', N'Bergen', CAST(N'2024-01-20T00:00:00.000' AS "
         L"DateTime))\n"
         L"INSERT [dbo].[Customers] ([CustomerID], [Name], [Email], [City], [CreatedAt]) VALUES "
         L"(3, N'Cleo Carter', NULL, N'Oslo', CAST(N'2024-02-11T00:00:00.000' AS DateTime))\n"
         L"INSERT [dbo].[Customers] ([CustomerID], [Name], [Email], [City], [CreatedAt]) VALUES "
         L"(5, N'Dan Dunn', 'dan@example.com', NULL, CAST(N'2024-03-01T00:00:00.000' AS "
         L"DateTime))\n"
         L"SET IDENTITY_INSERT [dbo].[Customers] OFF"},
        {L"SET IDENTITY_INSERT [dbo].[Products] ON\n"
         L"INSERT [dbo].[Products] ([ProductID], [Name], [Price], [Stock], [Discontinued]) "
         L"VALUES (1, N'Pen', 2.5000, 100, 0)\n"
         L"INSERT [dbo].[Products] ([ProductID], [Name], [Price], [Stock], [Discontinued]) "
         L"VALUES (2, N'Ink', 7.2500, 20, 0)\n"
         L"INSERT [dbo].[Products] ([ProductID], [Name], [Price], [Stock], [Discontinued]) "
         L"VALUES (3, N'Pad', 4.0000, 0, 1)\n"
         L"SET IDENTITY_INSERT [dbo].[Products] OFF"},
        {L"SET IDENTITY_INSERT [dbo].[Orders] ON\n"
         L"INSERT [dbo].[Orders] ([OrderID], [CustomerID], [OrderDate], [ShipDate], [Status]) "
         L"VALUES (1000, 1, '20240301 09:30', '2024-03-02 14:10:31', 'S')\n"
         L"INSERT [dbo].[Orders] ([OrderID], [CustomerID], [OrderDate], [ShipDate], [Status]) "
         L"VALUES (1001, 2, '20240315', NULL, 'N')\n"
         L"INSERT [dbo].[Orders] ([OrderID], [CustomerID], [OrderDate], [ShipDate], [Status]) "
         L"VALUES (1002, 1, '20240402', NULL, 'C')\n"
         L"INSERT [dbo].[Orders] ([OrderID], [CustomerID], [OrderDate], [ShipDate], [Status]) "
         L"VALUES (1003, 3, '2024-04-30 23:59:59', NULL, 'N')\n"
         L"SET IDENTITY_INSERT [dbo].[Orders] OFF"},
        {L"INSERT INTO dbo.OrderLines (OrderID, [LineNo], ProductID, Qty, Price) VALUES "
         L"(1000, 1, 1, 10, 2.50), (1000, 2, 2, 1, 7.25), (1001, 1, 3, 2, 4.00), "
         L"(1002, 1, 1, 4, 2.50), (1003, 1, 2, 3, 7.00)"},
    };
}

// A shop database with its schema and seed data.
class ShopScript : public SqlServerScript {
protected:
    void SetUp() override {
        SqlServerScript::SetUp();
        RunScript(m_pConn, ShopSchema());
        RunScript(m_pConn, ShopSeed());
    }
};

} // namespace

TEST_F(ShopScript, GeneratedSchemaIsInTheCatalogue) {
    std::vector<Step> again = ShopSchema();
    RunScript(
        m_pConn,
        {
            // The guarded parts of the script run again without effect.
            again[1],
            again[2],
            again[9],
            {L"SELECT name, CASE WHEN index_id > 1 THEN 'secondary' ELSE 'key' END, type_desc, "
             L"is_unique, is_primary_key FROM sys.indexes WHERE object_id = "
             L"OBJECT_ID('dbo.Orders') ORDER BY index_id",
             {{L"PK_Orders", L"key", L"CLUSTERED", L"1", L"1"},
              {L"IX_Orders_OrderDate", L"secondary", L"NONCLUSTERED", L"0", L"0"}}},
            // Constraints are objects of their tables, as generated DROP scripts test them.
            {L"SELECT name, type, OBJECT_NAME(parent_object_id) FROM sys.objects WHERE type IN "
             L"('PK','UQ','F','D') AND name NOT LIKE '%\\_\\_%' ESCAPE '\\' ORDER BY name",
             {{L"DF_Customers_CreatedAt", L"D", L"Customers"},
              {L"DF_Products_Price", L"D", L"Products"},
              {L"FK_OrderLines_Orders", L"F", L"OrderLines"},
              {L"FK_OrderLines_Products", L"F", L"OrderLines"},
              {L"FK_Orders_Customers", L"F", L"Orders"},
              {L"PK_Customers", L"PK", L"Customers"},
              {L"PK_OrderLines", L"PK", L"OrderLines"},
              {L"PK_Orders", L"PK", L"Orders"},
              {L"UQ_Customers_Email", L"UQ", L"Customers"}}},
            // Those declared without a name are named as SQL Server names them.
            {L"SELECT CASE WHEN name LIKE 'DF[_][_]Products[_][_]Stock[_][_]________' THEN "
             L"'DF__Products__Stock__*' WHEN name LIKE "
             L"'PK[_][_]Products[_][_]________________' THEN 'PK__Products__*' ELSE name END, "
             L"xtype FROM sysobjects WHERE parent_obj = OBJECT_ID('dbo.Products') ORDER BY "
             L"xtype, name",
             {{L"CK_Products_Price", L"C"},
              {L"DF__Products__Stock__*", L"D"},
              {L"DF_Products_Price", L"D"},
              {L"PK__Products__*", L"PK"}}},
            {L"SELECT COUNT(*) FROM sys.check_constraints WHERE parent_object_id = "
             L"OBJECT_ID(N'[dbo].[Orders]')",
             {{L"1"}}},
            {L"IF EXISTS (SELECT * FROM sys.foreign_keys WHERE object_id = "
             L"OBJECT_ID(N'[dbo].[FK_Orders_Customers]') AND parent_object_id = "
             L"OBJECT_ID(N'[dbo].[Orders]'))\nSELECT 'drop' ELSE SELECT 'keep'",
             {{L"drop"}}},
            // OBJECT_ID and the catalogue agree on every object, with or without the type.
            {L"SELECT COUNT(*) FROM sysobjects WHERE id IN (OBJECT_ID('PK_Customers'), "
             L"OBJECT_ID('UQ_Customers_Email'), OBJECT_ID('FK_Orders_Customers'), "
             L"OBJECT_ID('DF_Customers_CreatedAt'), OBJECT_ID('CK_Products_Price'), "
             L"OBJECT_ID('Customers'))",
             {{L"6"}}},
            {L"SELECT CASE WHEN OBJECT_ID('PK_Orders', 'PK') = OBJECT_ID('[dbo].[PK_Orders]') "
             L"THEN 'same' END, OBJECT_ID('PK_Orders', 'F'), OBJECT_ID('Orders', 'PK')",
             {{L"same", L"NULL", L"NULL"}}},
            {L"SELECT name, is_computed FROM sys.columns WHERE object_id = "
             L"OBJECT_ID('dbo.OrderLines') AND name IN ('Qty', 'Total') ORDER BY name",
             {{L"Qty", L"0"}, {L"Total", L"1"}}},
            // Extended properties need SQL Server's procedures.
            Fails(L"EXEC sys.sp_addextendedproperty @name=N'MS_Description', @value=N'People "
                  L"who buy' , @level0type=N'SCHEMA',@level0name=N'dbo', "
                  L"@level1type=N'TABLE',@level1name=N'Customers'",
                  L"EXEC is not supported by the embedded database: loops, cursors, procedures, "
                  L"EXEC and dynamic SQL need SQL Server itself, which the ODBC provider "
                  L"reaches."),
            // Dropped as generated: the key first, then the table.
            {L"IF EXISTS (SELECT * FROM sys.foreign_keys WHERE object_id = "
             L"OBJECT_ID(N'[dbo].[FK_OrderLines_Products]'))\nALTER TABLE [dbo].[OrderLines] "
             L"DROP CONSTRAINT [FK_OrderLines_Products]"},
            {L"SELECT OBJECT_ID('FK_OrderLines_Products'), COUNT(*) FROM sys.foreign_keys",
             {{L"NULL", L"2"}}},
        });
}

TEST_F(ShopScript, SeedDataKeepsItsIdentities) {
    RunScript(
        m_pConn,
        {
            {L"SELECT CustomerID, Name FROM dbo.Customers ORDER BY CustomerID",
             {{L"1", L"Ann Archer"},
              {L"2", L"bob builder"},
              {L"3", L"Cleo Carter"},
              {L"5", L"Dan Dunn"}}},
            // The next identity follows the highest one inserted; the default fills the date.
            {L"INSERT INTO dbo.Customers (Name, Email, City) VALUES (N'Eve Evans', "
             L"'eve@example.com', N'Oslo')\nSELECT SCOPE_IDENTITY() AS NewID",
             {{L"6"}}},
            {L"SELECT COUNT(*) FROM dbo.Customers WHERE CustomerID = 6 AND CreatedAt > "
             L"'20240101'",
             {{L"1"}}},
            {L"INSERT INTO dbo.Orders (CustomerID, OrderDate, Status) VALUES (6, GETDATE(), "
             L"'N')\nSELECT SCOPE_IDENTITY(), @@IDENTITY",
             {{L"1004", L"1004"}}},
            // smalldatetime keeps minutes.
            {L"SELECT CONVERT(varchar(19), ShipDate, 120) FROM dbo.Orders WHERE OrderID = 1000",
             {{L"2024-03-02 14:11:00"}}},
            Fails(L"INSERT INTO dbo.Customers (CustomerID, Name) VALUES (9, N'Fay')",
                  L"Cannot insert explicit value for identity column in table 'Customers' when "
                  L"IDENTITY_INSERT is set to OFF."),
            Fails(L"INSERT INTO dbo.Customers (Name, Email) VALUES (N'Ann Again', "
                  L"'ann@example.com')",
                  L"Violation of UNIQUE KEY constraint 'UQ_Customers_Email'. Cannot insert "
                  L"duplicate key in object 'dbo.Customers'. The duplicate key value is "
                  L"(ann@example.com)."),
            Fails(L"UPDATE dbo.Products SET Price = -1 WHERE ProductID = 1",
                  L"The UPDATE statement conflicted with the CHECK constraint "
                  L"\"CK_Products_Price\". The conflict occurred in database \"Shop\", table "
                  L"\"dbo.Products\", column 'Price'."),
            Fails(L"INSERT INTO dbo.Orders (CustomerID, OrderDate, Status) VALUES (1, "
                  L"'2024-02-30', 'N')",
                  L"The conversion of a varchar data type to a datetime data type resulted in "
                  L"an out-of-range value."),
        });
}

TEST_F(ShopScript, ReportsJoinGroupAndFilter) {
    RunScript(
        m_pConn,
        {
            {L"SELECT c.Name, COUNT(DISTINCT o.OrderID) AS Orders, ISNULL(SUM(l.Total), 0) AS "
             L"Amount\nFROM dbo.Customers c\nLEFT JOIN dbo.Orders o ON o.CustomerID = "
             L"c.CustomerID\nLEFT JOIN dbo.OrderLines l ON l.OrderID = o.OrderID\nGROUP BY "
             L"c.Name\nORDER BY Amount DESC, c.Name",
             {{L"Ann Archer", L"2", L"42.25"},
              {L"Cleo Carter", L"1", L"21"},
              {L"bob builder", L"1", L"8"},
              {L"Dan Dunn", L"0", L"0"}}},
            {L"SELECT CustomerID, COUNT(*) AS Orders FROM dbo.Orders GROUP BY CustomerID HAVING "
             L"COUNT(*) > 1",
             {{L"1", L"2"}}},
            // The default collation ignores case, in searches and in order.
            {L"SELECT Name FROM dbo.Customers WHERE Name LIKE N'%B%' ORDER BY Name",
             {{L"bob builder"}}},
            {L"SELECT Name FROM dbo.Customers ORDER BY Name",
             {{L"Ann Archer"}, {L"bob builder"}, {L"Cleo Carter"}, {L"Dan Dunn"}}},
            {L"SELECT COUNT(*) FROM dbo.Customers WHERE City = 'OSLO'", {{L"2"}}},
            // Date ranges: BETWEEN ends at midnight of its last day.
            {L"SELECT OrderID FROM dbo.Orders WHERE OrderDate >= '20240301' AND OrderDate < "
             L"'20240401' ORDER BY OrderID",
             {{L"1000"}, {L"1001"}}},
            {L"SELECT OrderID FROM dbo.Orders o WHERE '20240301' <= o.OrderDate AND '20240401' > "
             L"OrderDate ORDER BY OrderID",
             {{L"1000"}, {L"1001"}}},
            {L"SELECT OrderID FROM dbo.Orders WHERE OrderDate BETWEEN '2024-04-01' AND "
             L"'2024-04-30'",
             {{L"1002"}}},
            {L"SELECT OrderID FROM dbo.Orders WHERE CAST(OrderDate AS date) = '20240402'",
             {{L"1002"}}},
            {L"SELECT OrderID FROM dbo.Orders WHERE CONVERT(date, OrderDate) BETWEEN '20240301' "
             L"AND '20240315' ORDER BY OrderID",
             {{L"1000"}, {L"1001"}}},
            {L"SELECT COUNT(*) FROM dbo.Orders WHERE DATEDIFF(day, OrderDate, '2024-04-30') < 30",
             {{L"2"}}},
            {L"SELECT OrderID, CASE Status WHEN 'N' THEN 'New' WHEN 'S' THEN 'Shipped' ELSE "
             L"'Cancelled' END AS State FROM dbo.Orders ORDER BY OrderID",
             {{L"1000", L"Shipped"},
              {L"1001", L"New"},
              {L"1002", L"Cancelled"},
              {L"1003", L"New"}}},
            // Strings built from columns: NULL makes + NULL, ISNULL and CONCAT do not.
            {L"SELECT Name + ' <' + ISNULL(Email, 'no mail') + '>', Name + Email, CONCAT(Name, "
             L"'/', City) FROM dbo.Customers WHERE CustomerID IN (1, 3, 5) ORDER BY CustomerID",
             {{L"Ann Archer <ann@example.com>", L"Ann Archerann@example.com", L"Ann Archer/Oslo"},
              {L"Cleo Carter <no mail>", L"NULL", L"Cleo Carter/Oslo"},
              {L"Dan Dunn <dan@example.com>", L"Dan Dunndan@example.com", L"Dan Dunn/"}}},
            {L"SELECT UPPER(LEFT(Name, 3)), LEN(Name + '  '), RTRIM(Status) + '|' FROM "
             L"dbo.Customers c JOIN dbo.Orders o ON o.CustomerID = c.CustomerID WHERE "
             L"o.OrderID = 1001",
             {{L"BOB", L"11", L"N|"}}},
            {L"SELECT TOP 2 Name, Price FROM dbo.Products ORDER BY Price DESC",
             {{L"Ink", L"7.25"}, {L"Pad", L"4"}}},
            Fails(L"SELECT TOP (1) WITH TIES CustomerID FROM dbo.Orders ORDER BY CustomerID",
                  L"TOP ... WITH TIES is not supported by the embedded database."),
        });
}

TEST_F(ShopScript, SubqueriesUnionsCtesAndPaging) {
    RunScript(
        m_pConn,
        {
            {L"SELECT Name FROM dbo.Customers c WHERE EXISTS (SELECT 1 FROM dbo.Orders o WHERE "
             L"o.CustomerID = c.CustomerID AND o.Status <> 'C') ORDER BY Name",
             {{L"Ann Archer"}, {L"bob builder"}, {L"Cleo Carter"}}},
            {L"SELECT Name FROM dbo.Customers c WHERE NOT EXISTS (SELECT * FROM dbo.Orders o "
             L"WHERE o.CustomerID = c.CustomerID)",
             {{L"Dan Dunn"}}},
            {L"SELECT Name FROM dbo.Products WHERE Price > (SELECT AVG(Price) FROM dbo.Products)",
             {{L"Ink"}}},
            {L"SELECT Name, (SELECT COUNT(*) FROM dbo.OrderLines l WHERE l.ProductID = "
             L"p.ProductID) AS Lines FROM dbo.Products p WHERE ProductID IN (SELECT ProductID "
             L"FROM dbo.OrderLines WHERE Qty >= 3) ORDER BY Name",
             {{L"Ink", L"2"}, {L"Pen", L"2"}}},
            {L"SELECT City FROM dbo.Customers WHERE City IS NOT NULL UNION SELECT N'Trondheim' "
             L"ORDER BY City",
             {{L"Bergen"}, {L"Oslo"}, {L"Trondheim"}}},
            {L"SELECT COUNT(*) FROM (SELECT City FROM dbo.Customers UNION ALL SELECT City FROM "
             L"dbo.Customers) AS Twice",
             {{L"8"}}},
            {L";WITH Totals AS (\n  SELECT OrderID, SUM(Total) AS Amount FROM dbo.OrderLines "
             L"GROUP BY OrderID\n)\nSELECT o.OrderID, t.Amount FROM dbo.Orders o JOIN Totals t "
             L"ON t.OrderID = o.OrderID WHERE t.Amount > 9 ORDER BY t.Amount DESC",
             {{L"1000", L"32.25"}, {L"1003", L"21"}, {L"1002", L"10"}}},
            // Paging as hosts did before OFFSET, and with it.
            {L"SELECT * FROM (SELECT ROW_NUMBER() OVER (ORDER BY Name) AS RowNum, Name FROM "
             L"dbo.Customers) AS Paged WHERE Paged.RowNum BETWEEN 2 AND 3 ORDER BY Paged.RowNum",
             {{L"2", L"bob builder"}, {L"3", L"Cleo Carter"}}},
            {L"DECLARE @page int = 2, @size int = 2\nSELECT Name FROM dbo.Customers ORDER BY "
             L"CustomerID OFFSET (@page - 1) * @size ROWS FETCH NEXT @size ROWS ONLY",
             {{L"Cleo Carter"}, {L"Dan Dunn"}}},
            {L"SELECT OrderID, [LineNo], ROW_NUMBER() OVER (PARTITION BY OrderID ORDER BY [LineNo] "
             L"DESC) FROM dbo.OrderLines WHERE OrderID = 1000 ORDER BY [LineNo]",
             {{L"1000", L"1", L"2"}, {L"1000", L"2", L"1"}}},
        });
}

TEST_F(ShopScript, UpsertsAndTransactionsCheckTheirErrors) {
    const std::wstring upsert =
        L"IF EXISTS (SELECT * FROM dbo.Customers WHERE CustomerID = @id)\n"
        L"  UPDATE dbo.Customers SET City = @city WHERE CustomerID = @id\nELSE\n"
        L"  INSERT INTO dbo.Customers (Name, Email, City) VALUES (@name, @mail, @city)\n"
        L"SELECT @@ROWCOUNT";
    RunScript(
        m_pConn,
        {
            {L"DECLARE @id int = 2, @name nvarchar(50) = N'Bob', @mail varchar(100) = NULL, @city "
             L"nvarchar(30) = "
             L"N'Stavanger'\n" +
                 upsert,
             {{L"1"}}},
            {L"DECLARE @id int = 42, @name nvarchar(50) = N'Gus', @mail varchar(100) = "
             L"'gus@example.com', @city nvarchar(30) = N'Bodø'\n" +
                 upsert,
             {{L"1"}}},
            // A UNIQUE constraint lets one row have NULL, as SQL Server's do.
            Fails(L"DECLARE @id int = 43, @name nvarchar(50) = N'Hal', @mail varchar(100), "
                  L"@city nvarchar(30) = NULL\n" +
                      upsert,
                  L"Violation of UNIQUE KEY constraint 'UQ_Customers_Email'. Cannot insert "
                  L"duplicate key in object 'dbo.Customers'. The duplicate key value is "
                  L"(<NULL>)."),
            {L"SELECT CustomerID, City FROM dbo.Customers WHERE CustomerID IN (2, 6) ORDER BY 1",
             {{L"2", L"Stavanger"}, {L"6", L"Bodø"}}},
        });
}

TEST_F(ShopScript, CommitsAndRollsBackOnAtAtError) {
    RunScript(
        m_pConn,
        {
            {L"BEGIN TRAN\nUPDATE dbo.Products SET Stock = Stock - 5 WHERE ProductID = 1\n"
             L"INSERT INTO dbo.OrderLines (OrderID, [LineNo], ProductID, Qty, Price) VALUES "
             L"(1001, 2, 1, 5, 2.50)\nIF @@ERROR <> 0 ROLLBACK TRAN ELSE COMMIT TRAN\n"
             L"SELECT Stock, @@TRANCOUNT FROM dbo.Products WHERE ProductID = 1",
             {{L"95", L"0"}}},
            // The failed insert ends only itself; the batch rolls back and reports it.
            Fails(L"BEGIN TRAN\nUPDATE dbo.Products SET Stock = Stock - 5 WHERE ProductID = 1\n"
                  L"INSERT INTO dbo.OrderLines (OrderID, [LineNo], ProductID, Qty, Price) VALUES "
                  L"(1001, 3, 99, 5, 2.50)\nIF @@ERROR <> 0 ROLLBACK TRAN ELSE COMMIT TRAN",
                  L"The INSERT statement conflicted with the FOREIGN KEY constraint "
                  L"\"FK_OrderLines_Products\". The conflict occurred in database \"Shop\", table "
                  L"\"dbo.Products\", column 'ProductID'."),
            {L"SELECT Stock, @@TRANCOUNT FROM dbo.Products WHERE ProductID = 1", {{L"95", L"0"}}},
            // @@ROWCOUNT outlives its batch: the rows a query returned, or a statement changed.
            {L"DELETE FROM dbo.Orders WHERE OrderID = 1002"},
            {L"SELECT @@ROWCOUNT, COUNT(*) FROM dbo.OrderLines WHERE OrderID = 1002",
             {{L"1", L"0"}}},
            {L"SELECT OrderID FROM dbo.Orders", {{L"1000"}, {L"1001"}, {L"1003"}}},
            {L"SELECT @@ROWCOUNT", {{L"3"}}},
        });
}

TEST_F(ShopScript, CompileErrorsAreSqlServers) {
    // Builtins given the wrong number of arguments, named as SQL Server prints them.
    RunScript(
        m_pConn,
        {Fails(L"SELECT IDENT_CURRENT('dbo.Orders', 1)",
               L"The ident_current function requires 1 argument(s)."),
         Fails(L"SELECT LEN(Name, 2) FROM dbo.Customers",
               L"The len function requires 1 argument(s)."),
         Fails(L"SELECT ISNULL(NULL) AS x", L"The isnull function requires 2 argument(s)."),
         {L"SELECT @@ERROR", {{L"174"}}},
         Fails(L"SELECT GetDate(1)", L"The getdate function requires 0 argument(s)."),
         Fails(L"SELECT DATEADD(day, 1)", L"The dateadd function requires 3 argument(s)."),
         Fails(L"SELECT SUBSTRING('abc', (1))", L"The substring function requires 3 argument(s)."),
         {L"SELECT LEN(LEFT('abc', 2)), SUBSTRING('abc', 2, (1)), ISNULL(NULL, 'x')",
          {{L"2", L"b", L"x"}}},
         // A name given columns is no call: DAY and YEAR are not reserved.
         {L"WITH Day (a, b) AS (SELECT 1, 2), Year(c) AS (SELECT 3) SELECT a, b, c FROM Day, "
          L"Year",
          {{L"1", L"2", L"3"}}}});
    RunScript(
        m_pConn,
        {
            Fails(L"SELECT * FROM dbo.Missing", L"Invalid object name 'dbo.Missing'."),
            {L"SELECT @@ERROR", {{L"208"}}},
            Fails(L"SELECT c.Name FROM [dbo].[Customers] c JOIN [Shop].[dbo].[Mislaid] m ON "
                  L"m.ID = c.CustomerID",
                  L"Invalid object name 'Shop.dbo.Mislaid'."),
            Fails(L"UPDATE dbo.Customers SET Nope = 1", L"Invalid column name 'Nope'."),
            Fails(L"SELECT c.Nope FROM dbo.Customers c", L"Invalid column name 'Nope'."),
            {L"SELECT @@ERROR", {{L"207"}}},
            Fails(L"SELECT CustomerID FROM dbo.Customers c JOIN dbo.Orders o ON o.CustomerID = "
                  L"c.CustomerID",
                  L"Ambiguous column name 'CustomerID'."),
            Fails(L"SELECT Name FROM dbo.Customers WHERE", L"Incorrect syntax near the keyword "
                                                           L"'WHERE'."),
            Fails(L"SELECT Name FROM dbo.Customers ORDER Name", L"Incorrect syntax near 'Name'."),
            {L"SELECT @@ERROR", {{L"102"}}},
            Fails(L"SELECT NoSuchFn(Name) FROM dbo.Customers",
                  L"'NoSuchFn' is not a recognized built-in function name."),
            {L"SELECT @@ERROR", {{L"195"}}},
            // A compile error ends the batch: nothing after it runs.
            Fails(L"INSERT INTO dbo.Products (Name, Discontinued) VALUES (N'Clip', 0)\n"
                  L"SELECT * FROM dbo.Nowhere\n"
                  L"INSERT INTO dbo.Products (Name, Discontinued) VALUES (N'Tape', 0)",
                  L"Invalid object name 'dbo.Nowhere'."),
            {L"SELECT Name FROM dbo.Products WHERE ProductID > 3", {{L"Clip"}}},
        });
}

TEST_F(ShopScript, NewerFunctionsRunAndWhatNeedsTheServerIsRefused) {
    RunScript(
        m_pConn,
        {
            {L"SELECT OrderID, IIF(Status = 'N', 'open', 'done'), CHOOSE(MONTH(OrderDate) - 2, "
             L"'Mar', 'Apr'), TRY_CONVERT(int, Status), TRY_CAST('7' AS int) * 2 FROM dbo.Orders "
             L"WHERE OrderID IN (1000, 1002) ORDER BY OrderID",
             {{L"1000", L"done", L"Mar", L"NULL", L"14"},
              {L"1002", L"done", L"Apr", L"NULL", L"14"}}},
            {L"SELECT TRY_CONVERT(datetime, '2024-02-30'), CHOOSE(3, 'a', 'b'), REVERSE(N'Bodø')",
             {{L"NULL", L"NULL", L"ødoB"}}},
            // Money and decimals become text with their decimals.
            {L"SELECT 'Line ' + CAST([LineNo] AS varchar(5)) + ': ' + CONVERT(varchar(20), Price) "
             L"+ ' x ' + CAST(Qty AS varchar(10)) + ' = ' + CAST(Total AS varchar(20)), "
             L"CAST(CAST(Qty AS decimal(6,3)) AS varchar(10)) FROM dbo.OrderLines WHERE OrderID = "
             L"1000 AND [LineNo] = 2",
             {{L"Line 2: 7.25 x 1 = 7.25", L"1.000"}}},
            {L"SELECT CAST(Price AS varchar(10)) FROM dbo.Products WHERE ProductID = 1",
             {{L"2.50"}}},
            {L"SELECT STRING_AGG(Name, ', ') FROM dbo.Products WHERE Discontinued = 0",
             {{L"Pen, Ink"}}},
            Fails(L"SELECT STRING_AGG(Name, ', ') WITHIN GROUP (ORDER BY Name) FROM dbo.Products",
                  L"STRING_AGG ... WITHIN GROUP is not supported by the embedded database."),
            Fails(L"SELECT STUFF((SELECT ', ' + Name FROM dbo.Products FOR XML PATH('')), 1, 2, "
                  L"'')",
                  L"FOR XML is not supported by the embedded database."),
            // Refused before any of the batch runs.
            Fails(L"UPDATE dbo.Products SET Stock = 0\nBEGIN TRY\n  DELETE FROM dbo.Products\n"
                  L"END TRY\nBEGIN CATCH\n  SELECT ERROR_MESSAGE()\nEND CATCH",
                  L"TRY...CATCH is not supported by the embedded database: loops, cursors, "
                  L"procedures, EXEC and dynamic SQL need SQL Server itself, which the ODBC "
                  L"provider reaches."),
            {L"SELECT SUM(Stock) FROM dbo.Products", {{L"120"}}},
            Fails(L"MERGE dbo.Products AS t USING (SELECT 1 AS ProductID) AS s ON t.ProductID = "
                  L"s.ProductID WHEN MATCHED THEN UPDATE SET Stock = 0;",
                  L"MERGE is not supported by the embedded database."),
        });
}

TEST_F(ShopScript, ChangesThroughJoinsOutputAndLaterColumns) {
    RunScript(
        m_pConn,
        {
            {L"UPDATE c SET c.City = N'Tromsø' FROM dbo.Customers c INNER JOIN dbo.Orders o ON "
             L"o.CustomerID = c.CustomerID WHERE o.Status = 'N'\nSELECT @@ROWCOUNT",
             {{L"2"}}},
            // The upsert that tries the UPDATE first.
            {L"UPDATE dbo.Products SET Stock = 50 WHERE Name = N'Clip'\nIF @@ROWCOUNT = 0\n"
             L"  INSERT INTO dbo.Products (Name, Price, Discontinued) OUTPUT INSERTED.ProductID, "
             L"INSERTED.Stock VALUES (N'Clip', 0.10, 0)",
             {{L"4", L"0"}}},
            {L"DELETE l FROM dbo.OrderLines l JOIN dbo.Products p ON p.ProductID = l.ProductID "
             L"WHERE p.Discontinued = 1\nSELECT @@ROWCOUNT",
             {{L"1"}}},
            {L"ALTER TABLE [dbo].[Customers] ADD [Phone] [varchar](20) NULL, [Tier] [char](1) NOT "
             L"NULL CONSTRAINT [DF_Customers_Tier] DEFAULT ('B')"},
            {L"SELECT Tier, COUNT(*), COUNT(Phone) FROM dbo.Customers GROUP BY Tier",
             {{L"B", L"4", L"0"}}},
            Fails(L"UPDATE dbo.Customers SET Phone = '0123456789012345678901' WHERE CustomerID = 1",
                  L"String or binary data would be truncated."),
        });
    // A column added with a CHECK of its length gives no rows, not an empty result.
    _RecordsetPtr pRs =
        m_pConn->Execute(L"ALTER TABLE dbo.Orders ADD Note varchar(30) NULL", nullptr, adCmdText);
    EXPECT_TRUE(pRs == nullptr || pRs->GetState() == adStateClosed);
}
