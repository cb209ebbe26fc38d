// Arithmetic on exact numbers as SQL Server does it: the result types of its precision and
// scale rules, and quotients of decimals, money and integers through the embedded provider.
#include "SqlServerScriptSupport.h"

#include "platform/ado/sqlite/SqlServerArithmetic.h"

namespace {

std::wstring ResultOf(wchar_t chOp, const wchar_t* pszA, const wchar_t* pszB) {
    auto typeOf = [](const wchar_t* p) {
        return p[0] >= L'0' && p[0] <= L'9' ? CSqlNumericType::OfLiteral(p)
                                            : CSqlNumericType::Of(SqlServerParseType(p));
    };
    return SqlNumericResult(chOp, typeOf(pszA), typeOf(pszB)).Text();
}

} // namespace

TEST(SqlServerArithmetic, ResultTypesFollowPrecisionAndScaleRules) {
    // Literals: digits as written, leading zeros aside; an exponent makes a float.
    EXPECT_EQ(L"decimal(3,2)", CSqlNumericType::OfLiteral(L"2.50").Text());
    EXPECT_EQ(L"decimal(2,1)", CSqlNumericType::OfLiteral(L"01.0").Text());
    EXPECT_EQ(L"decimal(1,1)", CSqlNumericType::OfLiteral(L"0.5").Text());
    EXPECT_EQ(L"float", CSqlNumericType::OfLiteral(L"1e3").Text());
    EXPECT_EQ(CSqlNumericType::kInteger, CSqlNumericType::OfLiteral(L"42").nKind);
    EXPECT_EQ(2, CSqlNumericType::OfLiteral(L"42").nPrec);
    // Division: scale max(6, s1 + p2 + 1); an int column counts ten digits, a literal its own.
    EXPECT_EQ(L"decimal(21,13)", ResultOf(L'/', L"decimal(10,2)", L"int"));
    EXPECT_EQ(L"decimal(8,6)", ResultOf(L'/', L"1", L"3.0"));
    EXPECT_EQ(L"decimal(7,6)", ResultOf(L'/', L"1.0", L"3"));
    EXPECT_EQ(L"decimal(17,10)", ResultOf(L'/', L"1.0", L"decimal(8,6)"));
    // Beyond 38 digits a large integral part leaves six decimals, a small one keeps more.
    EXPECT_EQ(L"decimal(38,6)", ResultOf(L'/', L"decimal(38,10)", L"decimal(38,10)"));
    EXPECT_EQ(L"decimal(38,18)", ResultOf(L'/', L"decimal(20,2)", L"decimal(20,2)"));
    EXPECT_EQ(L"decimal(11,4)", ResultOf(L'*', L"decimal(5,2)", L"decimal(5,2)"));
    EXPECT_EQ(L"decimal(8,3)", ResultOf(L'+', L"decimal(5,2)", L"decimal(7,3)"));
    EXPECT_EQ(L"decimal(5,2)", ResultOf(L'%', L"decimal(5,2)", L"int"));
    // Precedence: float over decimal over money over the integers.
    EXPECT_EQ(L"money", ResultOf(L'/', L"money", L"int"));
    EXPECT_EQ(L"money", ResultOf(L'*', L"smallmoney", L"money"));
    EXPECT_EQ(L"decimal(27,10)", ResultOf(L'/', L"money", L"decimal(5,2)"));
    EXPECT_EQ(L"float", ResultOf(L'/', L"decimal(5,2)", L"real"));
    EXPECT_EQ(L"int", ResultOf(L'/', L"int", L"smallint"));
    EXPECT_EQ(L"bigint", ResultOf(L'*', L"bigint", L"tinyint"));
    EXPECT_EQ(L"", ResultOf(L'/', L"varchar(5)", L"int"));
}

TEST(SqlServerArithmetic, ExpressionsAreTypedFromTheirParts) {
    // Columns: Price decimal(10,2) in t, Qty int in t and u, Note varchar in u; Code is in both
    // tables with different types, so unqualified it has none.
    CSqlNameTypes names = [](const std::wstring& q, const std::wstring& n, CSqlDeclaredType* p) {
        std::wstring key = SqlLower(q) + L"." + SqlLower(n);
        const wchar_t* pszType =
            key == L".price" || key == L"t.price" ? L"decimal(10,2)"
            : key == L".qty" || key == L"t.qty" || key == L"u.qty" || key == L".@n" ? L"int"
            : key == L"t.code"                                                      ? L"money"
            : key == L"u.code"                                                      ? L"bigint"
            : key == L".note"                                                       ? L"varchar(10)"
                                                                                    : nullptr;
        if (pszType)
            *p = SqlServerParseType(pszType);
        return pszType != nullptr;
    };
    auto typeOf = [&](const wchar_t* pszExpression) {
        CSqlTokens tokens;
        EXPECT_TRUE(SqlTokenize(pszExpression, &tokens));
        return SqlExpressionType(tokens, 0, tokens.size(), names).Text();
    };
    EXPECT_EQ(L"decimal(10,2)", typeOf(L"Price"));
    EXPECT_EQ(L"decimal(10,2)", typeOf(L"-t.Price"));
    EXPECT_EQ(L"decimal(21,2)", typeOf(L"(Price * Qty)"));
    EXPECT_EQ(L"decimal(21,13)", typeOf(L"Price / u.Qty"));
    EXPECT_EQ(L"int", typeOf(L"Qty + @n * 2"));
    EXPECT_EQ(L"money", typeOf(L"[t].[Code] / 3"));
    EXPECT_EQ(L"bigint", typeOf(L"u.Code % 7"));
    EXPECT_EQ(L"", typeOf(L"Code"));
    EXPECT_EQ(L"", typeOf(L"Note / 2"));
    EXPECT_EQ(L"", typeOf(L"Unknown * 2"));
    EXPECT_EQ(L"", typeOf(L"CASE WHEN Qty > 0 THEN Price END"));
    EXPECT_EQ(L"", typeOf(L"Price > 2"));
    // Conversions name their type; some functions keep or widen their argument's.
    EXPECT_EQ(L"decimal(5,1)", typeOf(L"CAST(Qty AS decimal(5, 1))"));
    EXPECT_EQ(L"money", typeOf(L"CONVERT(money, Note)"));
    EXPECT_EQ(L"float", typeOf(L"CONVERT(float, Qty, 0)"));
    EXPECT_EQ(L"decimal(10,2)", typeOf(L"ABS(ISNULL(Price, 0))"));
    EXPECT_EQ(L"decimal(38,2)", typeOf(L"SUM(DISTINCT Price)"));
    EXPECT_EQ(L"decimal(38,6)", typeOf(L"AVG(Price)"));
    EXPECT_EQ(L"int", typeOf(L"MAX(Qty)"));
    EXPECT_EQ(L"float", typeOf(L"SQRT(Qty)"));
    EXPECT_EQ(L"", typeOf(L"LEN(Note)"));
}

TEST_F(SqlServerScript, QuotientsOfDecimalsAndMoneyAreNotIntegerDivisions) {
    RunScript(
        m_pConn,
        {
            {L"CREATE TABLE Acct (Id int, Price decimal(10,2), Qty int, Fee money, Rate float, "
             L"Whole numeric(8,0))"},
            {L"INSERT INTO Acct VALUES (1, 10, 4, 10, 2.5, 9), (2, 7.5, -2, 1, 0.5, -9)"},
            // Whole numbers in decimal and money columns are stored as integers by SQLite.
            {L"SELECT Price / Qty, Price / 3, Fee / 3, Whole / 2, Qty / 3, Rate / 2 FROM Acct "
             L"WHERE Id = 1",
             {{L"2.5", L"3.333333", L"3.3333", L"4.5", L"1", L"1.25"}}},
            // int / int truncates toward zero; the scale of a quotient cuts, it does not round.
            {L"SELECT 7 / 2, -7 / 2, 7 / -2, -7 % 2, 1.0 / 3, 2.0 / 3, 10 / 4.0",
             {{L"3", L"-3", L"-3", L"-1", L"0.333333", L"0.666666", L"2.5"}}},
            {L"SELECT CAST(10 AS decimal(10,2)) / 4, CONVERT(money, 10) / 4, "
             L"CAST(10 AS numeric(5)) / 4, CAST(10 AS int) / 4, (Price * 2) / 8 FROM Acct "
             L"WHERE Id = 1",
             {{L"2.5", L"2.5", L"2.5", L"2", L"2.5"}}},
            // Qualified by aliases or by the table; remainders of decimals keep their fraction.
            {L"SELECT a.Price / a.Qty, Acct.Whole / 4, a.Price % 4, -a.Whole % 4 FROM Acct a "
             L"JOIN Acct ON Acct.Id = a.Id WHERE a.Id = 2",
             {{L"-3.75", L"-2.25", L"3.5", L"1"}}},
            // Sums, minima and maxima keep their column's type.
            {L"SELECT SUM(Whole) / 4, MAX(Price) / COUNT(*), MIN(Qty) / 4 FROM Acct",
             {{L"0", L"5", L"0"}}},
            {L"SELECT SUM(Price) / 4, MAX(Whole) / 2 FROM Acct", {{L"4.375", L"4.5"}}},
            {L"DECLARE @d decimal(10,0) = 10, @m money = 5; SELECT @d / 4, @m / 2",
             {{L"2.5", L"2.5"}}},
            // Money times money keeps four decimals, rounded; money quotients are cut.
            {L"DECLARE @a money = 18.4172, @b money = 1.1562; SELECT @a * @b, @b / @a, "
             L"CONVERT(money, 100) / CONVERT(money, 339) * 10000, @a * 2, COUNT(*) * 2 FROM Acct",
             {{L"21.294", L"0.0627", L"2949", L"36.8344", L"4"}}},
            {L"SELECT Price / NULL, NULL / Price FROM Acct WHERE Id = 1", {{L"NULL", L"NULL"}}},
            // A float beside a decimal makes the quotient a float's, not cut to a scale.
            {L"SELECT Price / SQRT(16.0) / 3, Price / 3e0 FROM Acct WHERE Id = 1",
             {{L"0.833333333333333", L"3.33333333333333"}}},
            Fails(L"SELECT Price / 0 FROM Acct", L"Divide by zero error encountered."),
            Fails(L"SELECT Price % (Qty - 4) FROM Acct WHERE Id = 1",
                  L"Divide by zero error encountered."),
            // Quotients in conditions, orders, CASE and subqueries; text converts or fails.
            {L"SELECT Id FROM Acct WHERE Price / Qty > 2", {{L"1"}}},
            {L"SELECT Id, CASE WHEN Price / 4 = 2.5 THEN 'y' ELSE 'n' END FROM Acct ORDER BY "
             L"Price / Qty",
             {{L"2", L"n"}, {L"1", L"y"}}},
            {L"SELECT (SELECT MAX(Price) FROM Acct) / 4, '10' / Price FROM Acct WHERE Id = 1",
             {{L"2.5", L"1"}}},
            Fails(L"SELECT 'x' / Price FROM Acct",
                  L"Error converting data type varchar to numeric."),
            Fails(L"SELECT Rate % 2 FROM Acct",
                  L"The data types float and int are incompatible in the modulo operator."),
            Fails(L"SELECT Price % CAST(2 AS real) FROM Acct",
                  L"The data types numeric and float are incompatible in the modulo operator."),
            // A computed column has its expression's type.
            {L"CREATE TABLE Cc (P decimal(10,2), Q int, Total AS (P * Q), Twice AS (Q * 2), "
             L"Label AS ('n' + CAST(Q AS varchar(5)))); INSERT INTO Cc (P, Q) VALUES (10, 3)"},
            {L"SELECT Total / 4, Twice / 4, P / 4, DATALENGTH(Twice) FROM Cc",
             {{L"7.5", L"1", L"2.5", L"4"}}},
            // Written back to a column, the quotient rounds to the column's scale.
            {L"UPDATE Acct SET Price = Price / 3 WHERE Id = 1"},
            {L"SELECT Price FROM Acct WHERE Id = 1", {{L"3.33"}}},
        });
}

TEST_F(SqlServerScript, AveragesKeepTheirArgumentsType) {
    RunScript(m_pConn,
              {
                  {L"CREATE TABLE Av (N int, D decimal(5,2), M money, F float)"},
                  {L"INSERT INTO Av VALUES (1, 1, 1, 1), (2, 1, 1, 1), (2, 2, 2, 2), (-9, NULL, "
                   L"NULL, NULL)"},
                  // An average of integers divides as integers; of decimals it has 6 decimals.
                  {L"SELECT AVG(N), AVG(D), AVG(M), AVG(F), AVG(DISTINCT D), AVG(N) + 1 FROM Av "
                   L"WHERE N > 0",
                   {{L"1", L"1.333333", L"1.3333", L"1.33333333333333", L"1.5", L"2"}}},
                  {L"SELECT AVG(N), AVG(ALL N), AVG(CAST(N AS float)), AVG(D) / 2 FROM Av",
                   {{L"-1", L"-1", L"-1", L"0.666666"}}},
                  {L"SELECT AVG(N) FROM Av WHERE N > 100", {{L"NULL"}}},
              });
}

TEST_F(SqlServerScript, LongSumsAreCheckedOnlyWhereIntsRangeCanBeLeft) {
    // A sum of small numbers stays within int's range however long it is, so it is not
    // checked step by step (which nests one check in the next); one that can leave it is.
    std::wstring ones = L"SELECT 1";
    for (int i = 1; i < 300; ++i)
        ones += L" + 1";
    RunScript(m_pConn,
              {
                  {ones, {{L"300"}}},
                  {L"SELECT 999999999 + 999999999 + 9, 1000000000 + 1000000000 + 147483647",
                   {{L"2000000007", L"2147483647"}}},
                  Fails(L"SELECT 1000000000 + 1000000000 + 147483648",
                        L"Arithmetic overflow error converting expression to data type int."),
                  {L"CREATE TABLE Ls (A int, B int)"},
                  {L"INSERT INTO Ls VALUES (2000000000, -2000000000)"},
                  // Columns may hold any int: checked at each step, as SQL Server does.
                  Fails(L"SELECT A + A + B FROM Ls",
                        L"Arithmetic overflow error converting expression to data type int."),
                  {L"SELECT A + B + A FROM Ls", {{L"2000000000"}}},
              });
}
