// Decimal and money values on the embedded database: every value it keeps reads back exactly,
// and one it could only keep rounded is refused, whichever way it comes: a literal written into
// a column, a conversion, text, or a recordset's new row.
#include "SqlServerScriptSupport.h"

namespace {

const wchar_t kTable[] = L"CREATE TABLE P (ID int IDENTITY(1,1) PRIMARY KEY, Price decimal(18,2), "
                         L"M money, Q int, Big decimal(19,0), F float, S smallmoney)";

std::wstring TooLong(const std::wstring& strValue, int nDigits, const std::wstring& strType) {
    return L"The value " + strValue + L" needs " + std::to_wstring(nDigits) +
           L" significant digits as " + strType +
           L"; the embedded database keeps decimal and money values exact to 15" +
           (strType == L"money" ? L", not money's full range." : L".");
}

} // namespace

TEST_F(SqlServerScript, DecimalAndMoneyLiteralsKeepEveryDigitOrFail) {
    RunScript(
        m_pConn,
        {
            {kTable},
            // Fifteen significant digits, once rounded to the column's scale, are kept exactly.
            {L"INSERT INTO P (Price, M, Q) VALUES (1234567890123.45, 92233720368.5477, 1)"},
            {L"INSERT INTO P (Price, M, Q) VALUES (-1.234567890123456789, -0.00005, 2)"},
            {L"INSERT INTO P (Price, Q, Big) VALUES (1234567890123.4000000, 3, "
             L"1234567890123456789)"},
            {L"SELECT Price, M, Big FROM P ORDER BY Q",
             {{L"1234567890123.45", L"92233720368.5477", L"NULL"},
              {L"-1.23", L"-0.0001", L"NULL"},
              {L"1234567890123.4", L"NULL", L"1234567890123456789"}}},
            Fails(L"INSERT INTO P (Price) VALUES (12345678901234.56)",
                  TooLong(L"12345678901234.56", 16, L"decimal(18,2)")),
            Fails(L"INSERT INTO P VALUES (-12345678901234.5678, 1, 1, 1, 1, 1)",
                  TooLong(L"-12345678901234.5678", 16, L"decimal(18,2)")),
            Fails(L"INSERT INTO P (M) VALUES (922337203685477.5807)",
                  TooLong(L"922337203685477.5807", 19, L"money")),
            Fails(L"INSERT INTO P (Price) VALUES (1234567890123456.5)",
                  TooLong(L"1234567890123456.5", 17, L"decimal(18,2)")),
            Fails(L"INSERT INTO P (M) VALUES (-922337203685477.5808)",
                  TooLong(L"-922337203685477.5808", 19, L"money")),
            // Beyond the type's range it is SQL Server's overflow, whatever the digits.
            Fails(L"INSERT INTO P (Price) VALUES (12345678901234567.89)",
                  L"Arithmetic overflow error converting numeric to data type numeric."),
            Fails(L"INSERT INTO P (M) VALUES (1000000000000000.5)",
                  L"Arithmetic overflow error converting expression to data type money."),
            Fails(L"UPDATE P SET M = 922337203685477.5807 WHERE Q = 1",
                  TooLong(L"922337203685477.5807", 19, L"money")),
            Fails(L"UPDATE P SET Q = 4, Price = 99999999999999.99 WHERE Q = 1",
                  TooLong(L"99999999999999.99", 16, L"decimal(18,2)")),
            // Rounded to the scale first: 9999999999999.995 is 10000000000000.00.
            {L"UPDATE P SET Price = 9999999999999.995 WHERE Q = 3"},
            Fails(L"INSERT INTO P (Price) VALUES ('12345678901234.56')",
                  TooLong(L"12345678901234.56", 16, L"decimal(18,2)")),
            {L"SELECT COUNT(*) FROM P", {{L"3"}}},
            // Floats round as SQL Server's do.
            {L"UPDATE P SET F = 12345678901234.5678 WHERE Q = 1"},
            {L"SELECT COUNT(*) FROM P WHERE F > 12345678901234", {{L"1"}}},
            {L"SELECT Price FROM P WHERE Q = 3", {{L"10000000000000"}}},
            {L"SELECT CAST(1234567890123456789 AS decimal(19,0)), "
             L"CAST('-1234567890123456789' AS numeric(19,0))",
             {{L"1234567890123456789", L"-1234567890123456789"}}},
            Fails(L"SELECT CAST(12345678901234.5678 AS decimal(38,4))",
                  TooLong(L"12345678901234.5678", 18, L"decimal(38,4)")),
            Fails(L"SELECT CONVERT(money, '922337203685477.5807')",
                  TooLong(L"922337203685477.5807", 19, L"money")),
            Fails(L"SELECT TRY_CONVERT(decimal(30,10), '12345678901234.5678')",
                  TooLong(L"12345678901234.5678", 18, L"decimal(30,10)")),
            Fails(L"SELECT CAST('1234567890123456789' AS decimal(20,1))",
                  TooLong(L"1234567890123456789", 19, L"decimal(20,1)")),
            Fails(L"DECLARE @p decimal(38,4) = 12345678901234.5678; SELECT @p",
                  TooLong(L"12345678901234.5678", 18, L"decimal(38,4)")),
            {L"DECLARE @p decimal(38,2) = 1234567890123.455, @m money = -1.00005; SELECT @p, @m",
             {{L"1234567890123.46", L"-1.0001"}}},
        });
}

TEST_F(SqlServerScript, ConversionsBeyondADecimalsPrecisionOverflow) {
    const wchar_t kNumeric[] =
        L"Arithmetic overflow error converting numeric to data type numeric.";
    RunScript(m_pConn,
              {// decimal(3,2) keeps one whole digit; rounding to the scale comes first.
               {L"SELECT CAST(9.99 AS decimal(3,2)), CAST(-9.994 AS decimal(3,2)), CAST(10.555 AS "
                L"decimal(5,2)), CONVERT(decimal(2,2), 0.5), CAST(99 AS decimal(2,0))",
                {{L"9.99", L"-9.99", L"10.56", L"0.5", L"99"}}},
               Fails(L"SELECT CAST(10.5 AS decimal(3,2))", kNumeric),
               Fails(L"SELECT CONVERT(numeric(3,2), -10.5)", kNumeric),
               Fails(L"SELECT CAST(9.995 AS decimal(3,2))", kNumeric),
               // The message names what the value was: an int, text, a numeric.
               Fails(L"SELECT CAST(100 AS decimal(3,2))",
                     L"Arithmetic overflow error converting int to data type numeric."),
               Fails(L"SELECT CONVERT(decimal(4,1), '1000')",
                     L"Arithmetic overflow error converting varchar to data type numeric."),
               // Variables take their values as conversions do.
               Fails(L"DECLARE @d decimal(3,2) = 10.5; SELECT @d", kNumeric),
               Fails(L"DECLARE @d decimal(3,2); SET @d = 10.5; SELECT @d", kNumeric),
               {L"DECLARE @d decimal(3,2); SET @d = 1.005; SELECT @d", {{L"1.01"}}},
               // The TRY_ forms give NULL instead.
               {L"SELECT TRY_CAST(10.5 AS decimal(3,2)), TRY_CONVERT(decimal(3,2), 100), "
                L"TRY_CAST('9.5' AS decimal(2,1))",
                {{L"NULL", L"NULL", L"9.5"}}}});
}

TEST_F(SqlServerScript, RecordsetRowsKeepDecimalAndMoneyDigitsOrFail) {
    Query(m_pConn, kTable);
    _RecordsetPtr pRs;
    ASSERT_EQ(S_OK, pRs.CreateInstance(L"ADODB.Recordset"));
    pRs->Open(L"P", _variant_t(static_cast<IDispatch*>(m_pConn.GetInterfacePtr())), adOpenKeyset,
              adLockOptimistic, adCmdTable);
    auto of = [](const wchar_t* pszText, VARTYPE vt) {
        _variant_t text(pszText), v;
        EXPECT_EQ(S_OK, VariantChangeType(&v, &text, 0, vt)) << Narrow(pszText);
        return v;
    };
    // A new row with one field set: empty, or the error's text.
    auto add = [&](const wchar_t* pszField, const _variant_t& v) -> std::wstring {
        try {
            pRs->AddNew();
            pRs->GetFields()->GetItem(pszField)->PutValue(v);
            pRs->Update();
            return std::wstring();
        } catch (const _com_error& e) {
            return e.Description().length() ? static_cast<const wchar_t*>(e.Description())
                                            : L"no description";
        }
    };
    EXPECT_EQ(TooLong(L"12345678901234.56", 16, L"decimal(18,2)"),
              add(L"Price", of(L"12345678901234.56", VT_DECIMAL)));
    EXPECT_EQ(TooLong(L"12345678901234.56", 16, L"decimal(18,2)"),
              add(L"Price", _variant_t(L"12345678901234.56")));
    EXPECT_EQ(TooLong(L"922337203685477.5807", 19, L"money"),
              add(L"M", of(L"922337203685477.5807", VT_CY)));
    EXPECT_EQ(TooLong(L"-922337203685477.58", 17, L"money"),
              add(L"M", of(L"-922337203685477.58", VT_DECIMAL)));
    EXPECT_EQ(Rows({{L"0"}}), Query(m_pConn, L"SELECT COUNT(*) FROM P"));

    EXPECT_EQ(L"", add(L"Price", of(L"1234567890123.45", VT_DECIMAL)));
    EXPECT_EQ(L"", add(L"M", of(L"92233720368.5477", VT_CY)));
    EXPECT_EQ(L"", add(L"Big", of(L"1234567890123456789", VT_DECIMAL)));
    EXPECT_EQ(L"", add(L"F", _variant_t(L"12345678901234.5678"))); // floats round
    EXPECT_EQ(Rows({{L"1234567890123.45", L"NULL", L"NULL"},
                    {L"NULL", L"92233720368.5477", L"NULL"},
                    {L"NULL", L"NULL", L"1234567890123456789"},
                    {L"NULL", L"NULL", L"NULL"}}),
              Query(m_pConn, L"SELECT Price, M, Big FROM P ORDER BY ID"));
    _RecordsetPtr pBack = m_pConn->Execute(L"SELECT Price FROM P WHERE ID = 1", nullptr, adCmdText);
    _variant_t price = pBack->GetFields()->GetItem(0L)->GetValue();
    ASSERT_EQ(VT_DECIMAL, price.vt);
    EXPECT_EQ(_bstr_t(L"1234567890123.45"), _bstr_t(price));
}
