// SQL Server's string, date and formatting functions with the results its documentation
// gives, NULL arguments and values out of range included.
#include "SqlServerScriptSupport.h"

TEST_F(SqlServerScript, DateNameAndEndOfMonth) {
    RunScript(
        m_pConn,
        {
            {L"CREATE TABLE D (At datetime); INSERT INTO D VALUES ('2024-03-05 10:20:30')"},
            {L"SELECT DATENAME(month, At), DATENAME(weekday, At), DATENAME(dw, At), "
             L"DATENAME(year, At), DATENAME(qq, At), DATENAME(dy, At), DATENAME(day, At), "
             L"DATENAME(week, At), DATENAME(hour, At), DATENAME(mi, At), DATENAME(ss, At), "
             L"DATENAME(ms, At) FROM D",
             {{L"March", L"Tuesday", L"Tuesday", L"2024", L"1", L"65", L"5", L"10", L"10", L"20",
               L"30", L"0"}}},
            // A time alone is on 1900-01-01, a Monday.
            {L"SELECT DATENAME(year, '12:10:30'), DATENAME(month, '12:10:30'), "
             L"DATENAME(weekday, '12:10:30'), 'on ' + DATENAME(mm, '2024-12-01'), "
             L"DATENAME(month, NULL)",
             {{L"1900", L"January", L"Monday", L"on December", L"NULL"}}},
            Fails(L"SELECT DATENAME(fortnight, At) FROM D",
                  L"'fortnight' is not a recognized datepart option."),
            {L"SELECT EOMONTH('2024-12-01'), EOMONTH('2024-02-10'), EOMONTH('2023-02-10'), "
             L"EOMONTH(At, 1), EOMONTH('2024-03-15', -1), EOMONTH('2024-11-30', 14), "
             L"EOMONTH(NULL), EOMONTH(At, NULL) FROM D",
             {{L"2024-12-31", L"2024-02-29", L"2023-02-28", L"2024-04-30", L"2024-02-29",
               L"2026-01-31", L"NULL", L"NULL"}}},
            Fails(L"SELECT EOMONTH('2024-01-01', 1e300)",
                  L"Adding a value to a 'date' column caused an overflow."),
            Fails(L"SELECT EOMONTH('soon')",
                  L"Conversion failed when converting date and/or time from character string."),
        });
}

TEST_F(SqlServerScript, StuffStrAndPatIndex) {
    const std::wstring kSentence = L"'Please ensure the door is locked!'";
    RunScript(
        m_pConn,
        {
            {L"SELECT STUFF('abcdef', 2, 3, 'ijklmn'), STUFF('abc', 2, 10, 'x'), "
             L"STUFF('abc', 2, 1, NULL), STUFF(N'中文字', 3, 0, N'名'), STUFF('abc', 0, 1, 'x'), "
             L"STUFF('abc', 4, 1, 'x'), STUFF('abc', 2, -1, 'x'), STUFF(NULL, 1, 1, 'x')",
             {{L"aijklmnef", L"ax", L"ac", L"中文名字", L"NULL", L"NULL", L"NULL", L"NULL"}}},
            // Right-aligned in the length; fewer decimals when they do not fit, then asterisks.
            {L"SELECT STR(123.45, 6, 2), STR(123.45, 6, 1), STR(1234567.89, 7, 2), "
             L"STR(1234567.89, 6, 2), STR(2.5), STR(FLOOR(123.45), 8, 3), STR(-1.25, 5, 1), "
             L"STR(123.45, 5, 2), STR(NULL), STR(1, -1)",
             {{L"123.45", L" 123.5", L"1234568", L"******", L"         3", L" 123.000", L" -1.3",
               L"123.5", L"NULL", L"NULL"}}},
            {L"SELECT STR(-123.456, 8, 2), STR(1e10), STR(9999999999.5), STR(0.5, 3, 20), "
             L"STR(0.1, 20, 16)",
             {{L" -123.46", L"**********", L"**********", L"0.5", L"  0.1000000000000000"}}},
            Fails(L"SELECT STR('abc')", L"Error converting data type varchar to float."),
            {L"SELECT PATINDEX('%ter%', 'interesting data'), PATINDEX('%en_ure%', " + kSentence +
                 L"), PATINDEX('%ENSURE%', " + kSentence + L"), PATINDEX('%[^ a-z]%', " +
                 kSentence + L"), PATINDEX('Pl%', " + kSentence +
                 L"), PATINDEX('abc', 'xabc'), "
                 L"PATINDEX('%z%', 'abc'), PATINDEX(NULL, 'abc'), PATINDEX('%b%', NULL), "
                 L"PATINDEX(N'%字%', N'中文名字'), PATINDEX(N'名_', N'名字')",
             {{L"3", L"8", L"8", L"33", L"1", L"0", L"0", L"NULL", L"NULL", L"4", L"1"}}},
        });
}

TEST_F(SqlServerScript, DataLengthCountsStoredBytes) {
    RunScript(
        m_pConn,
        {
            {L"CREATE TABLE L (N nvarchar(10), V varchar(10), I int, B bigint, S smallint, "
             L"D decimal(10,2), M money, F float, Bin varbinary(10), Dt datetime)"},
            {L"INSERT INTO L VALUES (N'中文ab', 'abc  ', 1, 1, 1, 1.5, 2, 1.5, 0x0102, "
             L"'2024-01-01')"},
            {L"SELECT DATALENGTH(N), DATALENGTH(V), LEN(V), DATALENGTH(I), DATALENGTH(B), "
             L"DATALENGTH(S), DATALENGTH(L.D), DATALENGTH(M), DATALENGTH(F), DATALENGTH(Bin), "
             L"DATALENGTH(Dt) FROM L",
             {{L"8", L"5", L"3", L"4", L"8", L"2", L"9", L"8", L"8", L"2", L"8"}}},
            {L"SELECT DATALENGTH(N'abc'), DATALENGTH('abc'), DATALENGTH(CAST(1 AS smallint)), "
             L"DATALENGTH(CONVERT(varchar(10), N'ab')), DATALENGTH(NULL), DATALENGTH(N'𝄞')",
             {{L"6", L"3", L"2", L"2", L"NULL", L"4"}}},
            {L"DECLARE @v varchar(20) = 'four'; SELECT DATALENGTH(@v)", {{L"4"}}},
            // Fixed sizes by type; decimals by their precision.
            {L"CREATE TABLE S (D9 decimal(9,2), D19 decimal(19,2), D28 numeric(28,2), D38 "
             L"decimal(38,0), Sm smallmoney, R real, Bt bit, Ti tinyint, Sd smalldatetime, Dd "
             L"date, G uniqueidentifier)"},
            {L"INSERT INTO S VALUES (1, 1, 1, 1, 1, 1, 1, 1, '2024-01-01', '2024-01-01', "
             L"'6F9619FF-8B86-D011-B42D-00C04FC964FF')"},
            {L"SELECT DATALENGTH(D9), DATALENGTH(D19), DATALENGTH(D28), DATALENGTH(D38), "
             L"DATALENGTH(Sm), DATALENGTH(R), DATALENGTH(Bt), DATALENGTH(Ti), DATALENGTH(Sd), "
             L"DATALENGTH(Dd), DATALENGTH(G) FROM S",
             {{L"5", L"9", L"13", L"17", L"4", L"4", L"1", L"1", L"4", L"3", L"16"}}},
            // Of arithmetic: its result's type; of other expressions: numbers by their size,
            // text as nvarchar.
            {L"SELECT DATALENGTH(1 + 1), DATALENGTH(2.5 * 2), DATALENGTH(D19 / 2), "
             L"DATALENGTH(ABS(-7)), DATALENGTH(UPPER(N'ab')) FROM S",
             {{L"4", L"5", L"13", L"4", L"4"}}},
        });
}

TEST_F(SqlServerScript, FormatTakesItsSubsetOfFormatStrings) {
    const wchar_t kDay[] = L"CAST('2016-07-31' AS datetime)";
    const wchar_t kTime[] = L"CAST('2016-07-31 14:05:09' AS datetime)";
    RunScript(
        m_pConn,
        {
            {L"SELECT FORMAT(1234567.891, 'N'), FORMAT(1234.5, 'N0'), FORMAT(-1234.5678, 'N3'), "
             L"FORMAT(1234.5678, 'F3'), FORMAT(1234.5, 'F'), FORMAT(42, 'D5'), FORMAT(-42, 'd'), "
             L"FORMAT(0.1234, 'P'), FORMAT(0.5, 'P0'), FORMAT(1234.5, 'N', 'en-US')",
             {{L"1,234,567.89", L"1,235", L"-1,234.568", L"1234.568", L"1234.50", L"00042", L"-42",
               L"12.34 %", L"50 %", L"1,234.50"}}},
            {L"SELECT FORMAT(1234.5, '#,##0.00'), FORMAT(0.5, '0.00'), FORMAT(3.14159, '0.##'), "
             L"FORMAT(7, '000'), FORMAT(0.5, '#.##'), FORMAT(-0.001, '0.00'), "
             L"FORMAT(1234567, '#,#')",
             {{L"1,234.50", L"0.50", L"3.14", L"007", L".5", L"0.00", L"1,234,567"}}},
            {std::wstring(L"SELECT FORMAT(") + kDay + L", 'd'), FORMAT(" + kDay + L", 'D'), " +
                 L"FORMAT(" + kDay + L", 'dd/MM/yyyy'), FORMAT(" + kDay +
                 L", 'dddd, MMMM dd, yyyy hh:mm:ss tt'), FORMAT(" + kTime +
                 L", 'yyyy-MM-dd HH:mm:ss.fff'), FORMAT(" + kTime + L", 'h:mm tt, MMM yy')",
             {{L"7/31/2016", L"Sunday, July 31, 2016", L"31/07/2016",
               L"Sunday, July 31, 2016 12:00:00 AM", L"2016-07-31 14:05:09.000",
               L"2:05 PM, Jul 16"}}},
            // Negative numbers, rounding halves away from zero, money and decimal columns.
            {L"SELECT FORMAT(-0.125, 'P1'), FORMAT(-1234567.5, 'N0'), FORMAT(2.5, 'F0'), "
             L"FORMAT(-2.5, 'N0'), FORMAT(-1234.5, '#,##0.0'), FORMAT(CAST(1234.5 AS money), "
             L"'N2'), FORMAT(CAST(-7.25 AS decimal(5,2)), '0.0'), FORMAT(0, 'N')",
             {{L"-12.5 %", L"-1,234,568", L"3", L"-3", L"-1,234.5", L"1,234.50", L"-7.3",
               L"0.00"}}},
            // A float has 15 significant digits, whatever the decimals asked for.
            {L"SELECT FORMAT(CAST(0.1 AS float), 'N20'), FORMAT(1e20, 'N0'), "
             L"FORMAT(123456789.123456789, 'F6'), FORMAT(0.000001234, 'N8'), FORMAT(0.5, 'N0')",
             {{L"0.10000000000000000000", L"100,000,000,000,000,000,000", L"123456789.123457",
               L"0.00000123", L"1"}}},
            // .NET rejects D for a fraction: SQL Server gives NULL, as for a NULL value.
            {L"SELECT FORMAT(1.5, 'D'), FORMAT(NULL, 'N'), FORMAT(1, NULL)",
             {{L"NULL", L"NULL", L"NULL"}}},
            Fails(L"SELECT FORMAT(1, 'C')",
                  L"The format string 'C' is not supported by FORMAT on the embedded database."),
            Fails(L"SELECT FORMAT(1, '0.00E+0')", L"The format string '0.00E+0' is not "
                                                  L"supported by FORMAT on the embedded database."),
            Fails(std::wstring(L"SELECT FORMAT(") + kDay + L", 'yyyy zzz')",
                  L"The format string 'yyyy zzz' is not supported by FORMAT on the embedded "
                  L"database."),
            Fails(L"SELECT FORMAT(1, 'N', 'de-DE')",
                  L"FORMAT with the culture 'de-DE' is not supported by the embedded database; "
                  L"it formats en-US only."),
            Fails(L"SELECT FORMAT('abc', 'N')",
                  L"Argument data type nvarchar is invalid for argument 1 of format function."),
        });
}
