// Batches as hosts send them, with SQL Server's results: statements without semicolons,
// variables, @@ROWCOUNT, IF ... ELSE with BEGIN ... END, and transactions inside a batch.
#include "SqlServerScriptSupport.h"

TEST_F(SqlServerScript, VariablesHoldValuesOfTheirTypes) {
    RunScript(
        m_pConn,
        {
            {L"CREATE TABLE Stock (Item nvarchar(10), Qty int)\n"
             L"INSERT INTO Stock VALUES (N'pen', 5) INSERT INTO Stock VALUES (N'ink', 7)"},
            {L"DECLARE @n int, @name nvarchar(3) = N'abcdef', @total decimal(6,2) = 10.005\n"
             L"SET @n = '41'\nSET @n += 1\nSELECT @n, @name, @total",
             {{L"42", L"abc", L"10.01"}}},
            // SELECT @v = ... keeps the last row; no row leaves the value as it was.
            {L"DECLARE @q int = -1\nSELECT @q = Qty FROM Stock WHERE Item = 'INK'\n"
             L"SELECT @q AS q, @@ROWCOUNT AS n",
             {{L"7", L"1"}}},
            {L"DECLARE @q int = -1 SELECT @q = Qty FROM Stock WHERE Item = 'none' SELECT @q",
             {{L"-1"}}},
            {L"DECLARE @add int = 3; UPDATE Stock SET Qty = Qty + @add WHERE Qty > 4; SELECT "
             L"@@ROWCOUNT",
             {{L"2"}}},
            {L"DECLARE @x int IF @x IS NULL SELECT 'null' ELSE SELECT 'set'", {{L"null"}}},
            {L"DECLARE @i int = 0\nIF (SELECT COUNT(*) FROM Stock) > 1\nBEGIN\n  SET @i = 1\n  "
             L"SET @i = @i * 10\nEND\nELSE\n  SET @i = -1\nSELECT @i",
             {{L"10"}}},
            Fails(L"SELECT @undeclared", L"Must declare the scalar variable \"@undeclared\"."),
            Fails(L"DECLARE @n int SET @n = 'x'",
                  L"Conversion failed when converting the varchar value 'x' to data type int."),
            // Variables belong to their batch.
            Fails(L"SELECT @n", L"Must declare the scalar variable \"@n\"."),
            Fails(L"DECLARE @t TABLE (a int)",
                  L"Table variables are not supported by the embedded database; #temporary "
                  L"tables are."),
        });
}

TEST_F(SqlServerScript, TransactionsNestAsSqlServers) {
    RunScript(
        m_pConn,
        {
            {L"CREATE TABLE L (V int)"},
            {L"SELECT @@TRANCOUNT", {{L"0"}}},
            {L"BEGIN TRAN\nINSERT INTO L VALUES (1)\nBEGIN TRANSACTION inner\nINSERT INTO L "
             L"VALUES (2)\nSELECT @@TRANCOUNT",
             {{L"2"}}},
            // The inner COMMIT only counts down; the outer ROLLBACK undoes both.
            {L"COMMIT TRAN inner SELECT @@TRANCOUNT", {{L"1"}}},
            {L"ROLLBACK; SELECT COUNT(*), @@TRANCOUNT FROM L", {{L"0", L"0"}}},
            {L"BEGIN TRAN INSERT INTO L VALUES (3) SAVE TRAN s1 INSERT INTO L VALUES (4) "
             L"ROLLBACK TRAN s1 COMMIT SELECT V FROM L",
             {{L"3"}}},
            Fails(L"COMMIT",
                  L"The COMMIT TRANSACTION request has no corresponding BEGIN TRANSACTION."),
            Fails(L"ROLLBACK TRANSACTION",
                  L"The ROLLBACK TRANSACTION request has no corresponding BEGIN TRANSACTION."),
            Fails(L"SAVE TRAN x",
                  L"Cannot issue SAVE TRANSACTION when there is no active transaction."),
        });
}
