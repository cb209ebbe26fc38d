// Batches as hosts send them, with SQL Server's results: statements without semicolons,
// variables, @@ROWCOUNT, IF ... ELSE with BEGIN ... END, transactions inside a batch, and
// errors that end a statement, the batch, or the transaction.
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

namespace {

std::wstring DuplicateK(const wchar_t* pszKey) {
    return std::wstring(L"Violation of PRIMARY KEY constraint 'PK_K'. Cannot insert duplicate key "
                        L"in object 'dbo.K'. The duplicate key value is (") +
           pszKey + L").";
}

} // namespace

TEST_F(SqlServerScript, ErrorsEndTheirStatementOrTheBatchAsSqlServers) {
    RunScript(
        m_pConn,
        {
            {L"CREATE TABLE K (ID int CONSTRAINT PK_K PRIMARY KEY, Name varchar(3))"},
            {L"CREATE TABLE Log (Step int, Err int)"},
            // A duplicate key ends its statement only: the batch goes on, @@ERROR holds the
            // number right after it and 0 after the next statement, and the batch fails with it.
            Fails(L"INSERT INTO K VALUES (1, 'a')\nINSERT INTO K VALUES (1, 'b')\n"
                  L"INSERT INTO Log VALUES (1, @@ERROR)\nINSERT INTO Log VALUES (2, @@ERROR)\n"
                  L"INSERT INTO K VALUES (2, 'c')",
                  DuplicateK(L"1")),
            {L"SELECT Step, Err FROM Log ORDER BY Step", {{L"1", L"2627"}, {L"2", L"0"}}},
            {L"SELECT ID, Name FROM K ORDER BY ID", {{L"1", L"a"}, {L"2", L"c"}}},
            // Truncation too; the first error is the batch's, even when rows follow.
            Fails(L"INSERT INTO K VALUES (3, 'long') INSERT INTO K VALUES (1, 'x') SELECT 1",
                  L"String or binary data would be truncated."),
            // A conversion failure stops the batch where it happens.
            Fails(L"DELETE FROM Log DECLARE @n int SET @n = 'x' INSERT INTO Log VALUES (3, 0)",
                  L"Conversion failed when converting the varchar value 'x' to data type int."),
            {L"SELECT @@ERROR, COUNT(*) FROM Log", {{L"245", L"0"}}},
            // ... and so does a missing table, with what ran before it kept.
            Fails(L"INSERT INTO Log VALUES (4, 0) SELECT * FROM Missing INSERT INTO Log VALUES "
                  L"(5, 0)",
                  L"Invalid object name 'Missing'."),
            {L"SELECT Step FROM Log", {{L"4"}}},
            // A conversion failure also rolls back the transaction it happens in.
            Fails(L"BEGIN TRAN INSERT INTO Log VALUES (9, 0) DECLARE @n int SET @n = 'x'",
                  L"Conversion failed when converting the varchar value 'x' to data type int."),
            {L"SELECT COUNT(*), @@TRANCOUNT FROM Log WHERE Step = 9", {{L"0", L"0"}}},
            // The usual check after a statement rolls back; the transaction stayed open for it.
            Fails(L"BEGIN TRAN INSERT INTO K VALUES (7, 'g') INSERT INTO K VALUES (1, 'h') IF "
                  L"@@ERROR <> 0 ROLLBACK ELSE COMMIT",
                  DuplicateK(L"1")),
            {L"SELECT COUNT(*), @@TRANCOUNT FROM K WHERE ID = 7", {{L"0", L"0"}}},
            Fails(L"BEGIN TRAN INSERT INTO K VALUES (8, 'i') INSERT INTO K VALUES (1, 'j')",
                  DuplicateK(L"1")),
            {L"SELECT @@TRANCOUNT", {{L"1"}}},
            {L"COMMIT SELECT COUNT(*) FROM K WHERE ID = 8", {{L"1"}}},
            // A COMMIT without a transaction ends its statement only.
            Fails(L"COMMIT INSERT INTO Log VALUES (6, @@ERROR)",
                  L"The COMMIT TRANSACTION request has no corresponding BEGIN TRANSACTION."),
            {L"SELECT Err FROM Log WHERE Step = 6", {{L"3902"}}},
        });
}

TEST_F(SqlServerScript, XactAbortEndsBatchAndTransaction) {
    RunScript(m_pConn,
              {
                  {L"CREATE TABLE K (ID int CONSTRAINT PK_K PRIMARY KEY)"},
                  {L"SET XACT_ABORT ON"},
                  Fails(L"BEGIN TRAN INSERT INTO K VALUES (1) INSERT INTO K VALUES (1) INSERT "
                        L"INTO K VALUES (2) COMMIT",
                        DuplicateK(L"1")),
                  {L"SELECT COUNT(*), @@TRANCOUNT FROM K", {{L"0", L"0"}}},
                  // Outside a transaction the batch still stops.
                  Fails(L"INSERT INTO K VALUES (3) INSERT INTO K VALUES (3) INSERT INTO K "
                        L"VALUES (4)",
                        DuplicateK(L"3")),
                  {L"SELECT ID FROM K", {{L"3"}}},
                  // A value too long for its column is a run-time error too.
                  {L"CREATE TABLE N (V varchar(2))"},
                  Fails(L"BEGIN TRAN INSERT INTO N VALUES ('a') INSERT INTO N VALUES ('abc') "
                        L"INSERT INTO N VALUES ('b')",
                        L"String or binary data would be truncated."),
                  {L"SELECT COUNT(*), @@TRANCOUNT FROM N", {{L"0", L"0"}}},
                  // The setting lasts until it is turned off.
                  {L"SET XACT_ABORT OFF"},
                  Fails(L"BEGIN TRAN INSERT INTO K VALUES (3) INSERT INTO K VALUES (5) COMMIT",
                        DuplicateK(L"3")),
                  {L"SELECT COUNT(*), @@TRANCOUNT FROM K", {{L"2", L"0"}}},
              });
}
