// SQLite's reports of statements that do not compile, in SQL Server's words and numbers, the
// names as the host wrote them.
#include <gtest/gtest.h>

#include "platform/ado/sqlite/SqlServerCompileErrors.h"

namespace {

std::wstring Text(const std::wstring& strMessage, const std::wstring& strSource,
                  long* pnNumber = nullptr) {
    CSqlViolation v;
    if (!SqlServerCompileError(strMessage, strSource, &v))
        return L"(none)";
    if (pnNumber)
        *pnNumber = v.nNumber;
    return v.strText;
}

} // namespace

TEST(SqlServerCompileErrors, NamesAreTheHostsAndNumbersSqlServers) {
    long n = 0;
    EXPECT_EQ(L"Invalid object name 'Shop.dbo.Gone'.",
              Text(L"no such table: main.Gone", L"SELECT * FROM [Shop].[dbo].[Gone] g", &n));
    EXPECT_EQ(208, n);
    // A name the host's text does not have (a view's own reference) is SQLite's.
    EXPECT_EQ(L"Invalid object name 'Inner'.", Text(L"no such view: Inner", L"SELECT * FROM V"));
    EXPECT_EQ(L"Invalid column name 'Qty'.", Text(L"no such column: l.Qty", L"", &n));
    EXPECT_EQ(207, n);
    EXPECT_EQ(L"Ambiguous column name 'ID'.", Text(L"ambiguous column name: \"ID\"", L"", &n));
    EXPECT_EQ(209, n);
    EXPECT_EQ(L"'Foo' is not a recognized built-in function name.",
              Text(L"no such function: FOO", L"SELECT Foo(1)", &n));
    EXPECT_EQ(195, n);
    // Keywords as the host wrote them; other tokens plainly.
    EXPECT_EQ(L"Incorrect syntax near the keyword 'from'.",
              Text(L"near \"FROM\": syntax error", L"select a, from t", &n));
    EXPECT_EQ(156, n);
    EXPECT_EQ(L"Incorrect syntax near ')'.", Text(L"near \")\": syntax error", L"f(1,)", &n));
    EXPECT_EQ(102, n);
    EXPECT_EQ(L"Incorrect syntax near '#'.", Text(L"unrecognized token: \"#\"", L"SELECT #"));
    // A statement cut short stops at its last token.
    EXPECT_EQ(L"Incorrect syntax near 'Price'.",
              Text(L"incomplete input", L"SELECT * FROM T ORDER BY Price  "));
    EXPECT_EQ(L"Cannot drop the table 'dbo.Gone', because it does not exist or you do not have "
              L"permission.",
              Text(L"no such table: main.Gone", L"DROP TABLE [dbo].[Gone]", &n));
    EXPECT_EQ(3701, n);
    EXPECT_EQ(L"Cannot drop the view 'V', because it does not exist or you do not have "
              L"permission.",
              Text(L"no such view: V", L" drop view V"));
    EXPECT_EQ(L"There is already an object named 'O' in the database.",
              Text(L"table [O] already exists", L"CREATE TABLE dbo.O (a int)", &n));
    EXPECT_EQ(2714, n);
    EXPECT_EQ(L"The number of columns for each row in a table value constructor must be the "
              L"same.",
              Text(L"all VALUES must have the same number of terms", L"", &n));
    EXPECT_EQ(10709, n);
    EXPECT_EQ(L"(none)", Text(L"database is locked", L"SELECT 1"));
}
