// Computed columns of a result (aggregates, arithmetic, conversions) described and valued with
// the types SQL Server gives them, whatever storage class SQLite's values have; their text
// stays what it was.
#include "SqlServerScriptSupport.h"

namespace {

// What a field says of itself and of its value in the first row.
struct Described {
    DataTypeEnum nType;
    LONG nDefinedSize;
    BYTE nPrecision;
    BYTE nScale;
    VARTYPE vt;
    std::wstring strText;
    bool operator==(const Described& o) const {
        return nType == o.nType && nDefinedSize == o.nDefinedSize && nPrecision == o.nPrecision &&
               nScale == o.nScale && vt == o.vt && strText == o.strText;
    }
};

std::ostream& operator<<(std::ostream& os, const Described& d) {
    return os << "{type " << d.nType << ", size " << d.nDefinedSize << ", " << int(d.nPrecision)
              << "," << int(d.nScale) << ", vt " << d.vt << ", " << Narrow(d.strText) << "}";
}

std::vector<Described> Describe(_ConnectionPtr& pConn, const wchar_t* pszSql) {
    std::vector<Described> out;
    _RecordsetPtr pRs = pConn->Execute(pszSql, nullptr, adCmdText);
    FieldsPtr pFields = pRs->GetFields();
    for (LONG i = 0; i < pFields->GetCount(); ++i) {
        FieldPtr pField = pFields->GetItem(i);
        _variant_t v = pField->GetValue();
        out.push_back({pField->GetType(), pField->GetDefinedSize(), pField->GetPrecision(),
                       pField->GetNumericScale(), v.vt,
                       v.vt == VT_NULL ? L"NULL" : static_cast<const wchar_t*>(_bstr_t(v))});
    }
    return out;
}

class SqlServerResultTypes : public SqlServerScript {
protected:
    void SetUp() override {
        SqlServerScript::SetUp();
        Query(m_pConn, L"CREATE TABLE P (ID int IDENTITY(1,1) PRIMARY KEY, Price decimal(18,2), "
                       L"M money, Q int, B bigint, F float, Name nvarchar(20))");
        // Whole values are stored as integers, the others as doubles.
        Query(m_pConn, L"INSERT INTO P (Price, M, Q, B, F, Name) VALUES (12.50, 3.25, 3, 5, "
                       L"0.5, N'pen'), (7, 1, 4, 6, 2, N'ink')");
    }
};

} // namespace

TEST_F(SqlServerResultTypes, AggregatesTakeSqlServersTypes) {
    std::vector<Described> expected = {
        {adNumeric, 38, 38, 2, VT_DECIMAL, L"19.5"}, // SUM(decimal(18,2)): decimal(38,2)
        {adCurrency, 8, 19, 4, VT_CY, L"4.25"},      // SUM(money)
        {adCurrency, 8, 19, 4, VT_CY, L"2.125"},     // AVG(money)
        {adNumeric, 18, 18, 2, VT_DECIMAL, L"12.5"}, // MAX: the column's own type
        {adNumeric, 38, 38, 6, VT_DECIMAL, L"9.75"}, // AVG(decimal): scale at least 6
        {adInteger, 4, 0, 0, VT_I4, L"2"},           // COUNT
        {adInteger, 4, 0, 0, VT_I4, L"3"},           // AVG(int) divides as integers
        {adBigInt, 8, 0, 0, VT_I8, L"11"},           // SUM(bigint)
        {adInteger, 4, 0, 0, VT_I4, L"7"},           // SUM(int), aliased as SQL Server writes it
        {adDouble, 8, 0, 0, VT_R8, L"2.5"},          // SUM(float)
    };
    EXPECT_EQ(expected,
              Describe(m_pConn,
                       L"SELECT SUM(Price), SUM(M) AS s, AVG(M) a, MAX(Price), "
                       L"AVG(Price), COUNT(*), AVG(Q), SUM(B), t = SUM(Q), SUM(F) FROM P"));
    // A whole sum is stored as an integer, an empty one is NULL: neither changes the type.
    expected = {{adNumeric, 38, 38, 2, VT_DECIMAL, L"7"},
                {adCurrency, 8, 19, 4, VT_CY, L"1"},
                {adNumeric, 38, 38, 2, VT_NULL, L"NULL"}};
    EXPECT_EQ(expected, Describe(m_pConn, L"SELECT SUM(Price), SUM(M), (SELECT SUM(Price) FROM P "
                                          L"WHERE Q > 10) FROM P WHERE Q = 4"));
}

TEST_F(SqlServerResultTypes, ExpressionsTakeTheirArithmeticTypes) {
    std::vector<Described> expected = {
        {adNumeric, 29, 29, 2, VT_DECIMAL, L"37.5"},  // decimal(18,2) * int
        {adCurrency, 8, 19, 4, VT_CY, L"4.25"},       // money + int
        {adNumeric, 10, 10, 2, VT_DECIMAL, L"12.35"}, // CAST to decimal(10,2)
        {adInteger, 4, 0, 0, VT_I4, L"6"},            // int * int
        {adDouble, 8, 0, 0, VT_R8, L"1.5"},           // float + int
        {adNumeric, 22, 22, 6, VT_DECIMAL, L"6.25"},  // decimal(18,2) / 2
        {adVarWChar, 255, 0, 0, VT_BSTR, L"pen!"},    // unknown: as SQLite's value is
        {adNumeric, 18, 18, 2, VT_DECIMAL, L"12.5"},  // a plain column keeps its own type
        {adInteger, 4, 0, 0, VT_I4, L"3"},
    };
    EXPECT_EQ(expected,
              Describe(m_pConn, L"SELECT Price * Q, M + 1, CAST(12.345 AS decimal(10,2)), Q * 2, "
                                L"F + 1, Price / 2 AS half, Name + '!', Price, Q FROM P "
                                L"WHERE ID = 1"));
    // A * stands for columns of its own: the computed ones after it are typed by their values.
    std::vector<Described> star = Describe(m_pConn, L"SELECT *, SUM(Price) FROM P GROUP BY ID, "
                                                    L"Price, M, Q, B, F, Name ORDER BY ID");
    ASSERT_EQ(8u, star.size());
    EXPECT_EQ(adNumeric, star[1].nType);
    EXPECT_EQ(adDouble, star[7].nType);
}

TEST_F(SqlServerResultTypes, TextOfComputedColumnsIsUnchanged) {
    // As text the typed values read as the untyped ones did: no trailing zeros, no exponent.
    RunScript(m_pConn,
              {{L"SELECT SUM(Price), SUM(M), AVG(Price), MIN(M), Price * Q, Price / 3 FROM P "
                L"GROUP BY Price, Q ORDER BY Q",
                {{L"12.5", L"3.25", L"12.5", L"3.25", L"37.5", L"4.166666"},
                 {L"7", L"1", L"7", L"1", L"28", L"2.333333"}}}});
}

TEST_F(SqlServerResultTypes, ColumnsAreLookedUpInTheFromList) {
    Query(m_pConn, L"CREATE TABLE R (ID int, Price float); INSERT INTO R VALUES (1, 0.25)");
    Query(m_pConn, L"CREATE TABLE #T (A decimal(9,3)); INSERT INTO #T VALUES (1.5)");
    auto types = [&](const wchar_t* pszSql) {
        std::vector<DataTypeEnum> out;
        for (const Described& d : Describe(m_pConn, pszSql))
            out.push_back(d.nType);
        return out;
    };
    // By alias across a join, where the same name has another type in the other table.
    EXPECT_EQ(std::vector<DataTypeEnum>({adNumeric, adDouble, adInteger}),
              types(L"SELECT SUM(p.Price), SUM(r.Price), MAX(p.Q) + 1 FROM P AS p INNER JOIN R r "
                    L"ON r.ID = p.ID"));
    // Names with the catalogue and owner, temporary tables.
    EXPECT_EQ(std::vector<DataTypeEnum>({adNumeric, adCurrency}),
              types(L"SELECT SUM(Q * Price), MIN(M) FROM Shop.dbo.P"));
    EXPECT_EQ(std::vector<DataTypeEnum>({adNumeric}), types(L"SELECT MAX(A) FROM #T"));
    std::vector<Described> temp = Describe(m_pConn, L"SELECT MAX(A) * 2 FROM #T");
    ASSERT_EQ(1u, temp.size());
    EXPECT_EQ(11, temp[0].nPrecision); // decimal(9,3) times a one-digit integer
    EXPECT_EQ(3, temp[0].nScale);
    EXPECT_EQ(L"3", temp[0].strText);
    // A derived table's column is typed from the column it is taken from; a computed one of
    // its own by its values, as before.
    EXPECT_EQ(std::vector<DataTypeEnum>({adNumeric, adDouble}),
              types(L"SELECT SUM(Price), SUM(Half) FROM (SELECT Price, Price / 2e0 AS Half FROM "
                    L"P) AS d"));
}

TEST_F(SqlServerResultTypes, IntResultsOverflowAsSqlServers) {
    RunScript(m_pConn,
              {{L"CREATE TABLE S (V int, B bigint)"},
               {L"INSERT INTO S VALUES (2000000000, 2000000000), (2000000000, 2000000000)"},
               // bigint sums and a column's own values are wide enough.
               {L"SELECT SUM(B), MAX(V), COUNT(*) FROM S", {{L"4000000000", L"2000000000", L"2"}}},
               Fails(L"SELECT SUM(V) FROM S",
                     L"Arithmetic overflow error converting expression to data type int."),
               Fails(L"SELECT MAX(V) * 2 FROM S",
                     L"Arithmetic overflow error converting expression to data type int."),
               Fails(L"SELECT 2147483647 + 1",
                     L"Arithmetic overflow error converting expression to data type int."),
               {L"SELECT CAST(MAX(V) AS bigint) * 2 FROM S", {{L"4000000000"}}},
               // A literal beyond int is numeric: its arithmetic is no int's.
               {L"SELECT 2147483648, 9999999999 + 1, MAX(V) * 2147483648 FROM S",
                {{L"2147483648", L"10000000000", L"4294967296000000000"}}},
               // Products of ints fail wherever they are computed, not only in the result.
               {L"CREATE TABLE W (I int, J smallint, K tinyint, B bigint)"},
               {L"INSERT INTO W VALUES (50000, 300, 200, 50000)"},
               Fails(L"SELECT COUNT(*) FROM W WHERE I * 100000 > 5",
                     L"Arithmetic overflow error converting expression to data type int."),
               Fails(L"INSERT INTO S (B) SELECT I * I FROM W",
                     L"Arithmetic overflow error converting expression to data type int."),
               Fails(L"UPDATE W SET I = I * 100000",
                     L"Arithmetic overflow error converting expression to data type int."),
               Fails(L"SELECT SUM(I * 50000) FROM W",
                     L"Arithmetic overflow error converting expression to data type int."),
               // A bigint side or a cast widens the product; a smaller integer times an int is
               // an int.
               {L"SELECT COUNT(*) FROM W WHERE J * I = 15000000 AND B * I > 2147483647 AND "
                L"CAST(I AS bigint) * I > 0",
                {{L"1"}}},
               Fails(L"SELECT K * I * 1000 FROM W",
                     L"Arithmetic overflow error converting expression to data type int."),
               {L"UPDATE W SET B = B * I; SELECT B, I * 2 FROM W", {{L"2500000000", L"100000"}}},
               // So do sums and differences of ints; up to nine digits a side cannot overflow.
               Fails(L"SELECT COUNT(*) FROM W WHERE I + 2147483600 > 0",
                     L"Arithmetic overflow error converting expression to data type int."),
               Fails(L"UPDATE W SET I = -2147483600 - I - J",
                     L"Arithmetic overflow error converting expression to data type int."),
               Fails(L"DECLARE @n int = 2147483647; SELECT @n + K FROM W",
                     L"Arithmetic overflow error converting expression to data type int."),
               Fails(L"SELECT 999999999 + 999999999 + 999999999",
                     L"Arithmetic overflow error converting expression to data type int."),
               {L"SELECT COUNT(*) FROM W WHERE B + 2147483600 > 0 AND I - 1 + 1 = 50000 AND "
                L"CAST(I AS bigint) + 2147483600 > 0",
                {{L"1"}}},
               {L"SELECT 2147483647 - 1 + 1, 999999999 + 999999999, -2147483648 + 0",
                {{L"2147483647", L"1999999998", L"-2147483648"}}}});
}

TEST_F(SqlServerResultTypes, BitsAndDatesComputedReadAsColumnsOfTheirTypes) {
    Query(m_pConn, L"CREATE TABLE K (b bit, d datetime, dd date, t time)");
    Query(m_pConn, L"INSERT INTO K VALUES (1, '2024-01-02', '2024-01-04', '12:34:56')");
    // Each computed column reads exactly as the plain column of its type beside it: a bit as
    // VT_BOOL (text "-1"), a datetime at midnight as the date alone.
    std::vector<Described> columns = Describe(m_pConn, L"SELECT b, b, d, d, d, dd, t, d FROM K");
    std::vector<Described> computed = Describe(
        m_pConn, L"SELECT CAST(1 AS bit), ISNULL(b, 0), MAX(d), COALESCE(d, '2020-01-01'), "
                 L"CONVERT(datetime, '2024/1/2'), CAST('2024-01-04' AS date), "
                 L"CAST('12:34:56' AS time), DATEADD(day, 0, d) FROM K");
    EXPECT_EQ(columns, computed);
    ASSERT_EQ(8u, computed.size());
    EXPECT_EQ(adBoolean, computed[0].nType);
    EXPECT_EQ(L"-1", computed[0].strText);
    EXPECT_EQ(L"2024-01-02", computed[2].strText);

    // The clock's functions are dates; arithmetic on a bit is an int, and so is a function of
    // one that does not pick a value; CONVERT to bit is a bit; DATEADD of a date written as
    // text is a datetime.
    std::vector<Described> other =
        Describe(m_pConn, L"SELECT GETDATE(), SYSDATETIME(), b + 1, CONVERT(bit, 0), "
                          L"DATEADD(month, 1, '2024-01-31'), ABS(b) FROM K");
    ASSERT_EQ(6u, other.size());
    EXPECT_EQ(adDBTimeStamp, other[0].nType);
    EXPECT_EQ(VT_DATE, other[0].vt);
    EXPECT_EQ(adDBTimeStamp, other[1].nType);
    EXPECT_EQ((Described{adInteger, 4, 0, 0, VT_I4, L"2"}), other[2]);
    EXPECT_EQ(adBoolean, other[3].nType);
    EXPECT_EQ(L"0", other[3].strText);
    EXPECT_EQ(adDBTimeStamp, other[4].nType);
    EXPECT_EQ(L"2024-02-29", other[4].strText);
    EXPECT_EQ((Described{adInteger, 4, 0, 0, VT_I4, L"1"}), other[5]);
    // The TRY_ forms as their targets; a failed one is NULL of that type.
    std::vector<Described> tried =
        Describe(m_pConn, L"SELECT TRY_CAST(1 AS bit), TRY_CONVERT(datetime, '2024/1/2'), "
                          L"TRY_CAST('x' AS datetime) FROM K");
    ASSERT_EQ(3u, tried.size());
    EXPECT_EQ(columns[0], tried[0]);
    EXPECT_EQ(columns[2], tried[1]);
    EXPECT_EQ((Described{adDBTimeStamp, 16, 0, 0, VT_NULL, L"NULL"}), tried[2]);

    // Where another type may win, the bit or date type is not claimed: COALESCE with a number,
    // a UNION's other query, a sign, a subquery, DATEADD of a time; nor for a column's name
    // where the statement has a subquery (the name may be a derived table's or a view's).
    Query(m_pConn, L"CREATE TABLE Z (b bit, t time, n int)");
    Query(m_pConn, L"INSERT INTO Z VALUES (NULL, '10:00:00', 7)");
    Query(m_pConn, L"CREATE VIEW V5 AS SELECT 5 AS b");
    std::vector<Described> mixed =
        Describe(m_pConn, L"SELECT COALESCE(b, 2), -CAST(1 AS bit), CAST(0.5 AS bit), "
                          L"CAST(0x0100 AS bit), ISNULL(b, 5000000000) FROM Z");
    ASSERT_EQ(5u, mixed.size());
    EXPECT_EQ((Described{adInteger, 4, 0, 0, VT_I4, L"2"}), mixed[0]);
    EXPECT_EQ(VT_I4, mixed[1].vt);
    EXPECT_EQ(L"-1", mixed[1].strText);
    EXPECT_EQ(L"-1", mixed[2].strText); // any value but zero is a set bit
    EXPECT_EQ(L"-1", mixed[3].strText);
    EXPECT_EQ(columns[0].nType, mixed[4].nType); // ISNULL's type is its first argument's
    EXPECT_EQ(L"-1", mixed[4].strText);
    std::vector<Described> nested =
        Describe(m_pConn, L"SELECT (SELECT MAX(b) FROM V5), ISNULL(b, 0) FROM (SELECT n AS b FROM "
                          L"Z) q WHERE EXISTS (SELECT 1 FROM K)");
    ASSERT_EQ(2u, nested.size());
    EXPECT_EQ(L"5", nested[0].strText);
    EXPECT_EQ(L"7", nested[1].strText);
    std::vector<Described> unioned =
        Describe(m_pConn, L"SELECT CAST(1 AS bit) UNION ALL SELECT 5000000000");
    ASSERT_EQ(1u, unioned.size());
    EXPECT_NE(adBoolean, unioned[0].nType);
    EXPECT_NE(adDBTime, Describe(m_pConn, L"SELECT DATEADD(hour, 1, t) FROM Z")[0].nType);

    // SELECT INTO makes columns of those types.
    Query(m_pConn, L"SELECT CAST(1 AS bit) AS cb, GETDATE() AS g, CAST('2024-01-01' AS date) AS "
                   L"cd INTO K2 FROM K");
    EXPECT_EQ(Describe(m_pConn, L"SELECT CAST(1 AS bit), CAST('2024-01-01' AS date) FROM K"),
              Describe(m_pConn, L"SELECT cb, cd FROM K2"));
    EXPECT_EQ(adDBTimeStamp, Describe(m_pConn, L"SELECT g FROM K2")[0].nType);
    // ... but not for what ISNULL picks, nor from a UNION's first query.
    Query(m_pConn, L"SELECT ISNULL(b, 5) AS x INTO K3 FROM Z");
    EXPECT_EQ(adInteger, Describe(m_pConn, L"SELECT x FROM K3")[0].nType);
    Query(m_pConn, L"SELECT CAST(1 AS bit) AS y INTO K4 UNION ALL SELECT 5");
    EXPECT_EQ(adInteger, Describe(m_pConn, L"SELECT y FROM K4 ORDER BY y")[0].nType);
}

TEST_F(SqlServerResultTypes, DeeplyNestedExpressionsAreRefusedNotACrash) {
    // Typing the result stops at a depth; SQLite's parser then refuses the text.
    std::wstring sql = L"SELECT " + std::wstring(20000, L'(') + L"1" + std::wstring(20000, L')');
    EXPECT_FALSE(RunBatch(m_pConn, sql).bOk);
    std::wstring signs = L"SELECT ";
    for (int i = 0; i < 20000; ++i)
        signs += L"- "; // not "--", which would begin a comment
    signs += L"1";
    RunBatch(m_pConn, signs); // whatever SQLite answers, typing the signs takes no stack
    EXPECT_EQ(Rows{{L"2"}}, Query(m_pConn, L"SELECT ((((1)))) + ((1))"));
    // Conversions and calls inside each other are rewritten one within another: refused
    // past a depth, as SQLite refuses them, not a crash.
    for (const wchar_t* pszOpen : {L"CAST(", L"CONVERT(int, ", L"ISNULL(", L"LEFT("}) {
        const bool bCast = pszOpen[1] == L'A';
        std::wstring nested = L"SELECT ";
        for (int i = 0; i < 20000; ++i)
            nested += pszOpen;
        nested += L"1";
        for (int i = 0; i < 20000; ++i)
            nested += bCast ? L" AS int)" : pszOpen[0] == L'C' ? L")" : L", 1)";
        Outcome o = RunBatch(m_pConn, nested);
        EXPECT_FALSE(o.bOk) << Narrow(pszOpen);
        EXPECT_EQ(L"parser stack overflow", o.strError) << Narrow(pszOpen);
    }
    std::wstring nested = L"SELECT ";
    for (int i = 0; i < 10; ++i)
        nested += L"CAST(";
    nested += L"7";
    for (int i = 0; i < 10; ++i)
        nested += L" AS int)";
    EXPECT_EQ(Rows{{L"7"}}, Query(m_pConn, nested));
}
