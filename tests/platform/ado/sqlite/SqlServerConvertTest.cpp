// Values converted to SQL Server's types as SQL Server converts them (CAST, CONVERT, values
// written to columns, variables): what converts to what, and what fails with which message.
#include <gtest/gtest.h>

#include <string>

#include "platform/ado/sqlite/SqlServerConvert.h"
#include "platform/win/TextEncoding.h"

namespace {

CSqlValue Text(const std::wstring& s) {
    CSqlValue v;
    v.nClass = SQLITE_TEXT;
    v.s = WinWideToUtf8(s);
    return v;
}

CSqlValue Real(double d) {
    CSqlValue v;
    v.nClass = SQLITE_FLOAT;
    v.d = d;
    return v;
}

CSqlValue Integer(long long n) {
    CSqlValue v;
    v.nClass = SQLITE_INTEGER;
    v.n = n;
    return v;
}

// The converted value as text ("NULL", a number as %.15g, the text itself), or the error.
std::wstring Convert(CSqlValue v, const wchar_t* pszType, int nStyle = 0) {
    std::wstring error;
    if (!SqlConvert(SqlServerParseType(pszType), nStyle, &v, &error))
        return L"error: " + error;
    switch (v.nClass) {
    case SQLITE_INTEGER:
        return std::to_wstring(v.n);
    case SQLITE_FLOAT: {
        wchar_t sz[64];
        swprintf(sz, 64, L"%.15g", v.d);
        return sz;
    }
    case SQLITE_TEXT:
        return WinUtf8ToWide(v.s);
    default:
        return L"NULL";
    }
}

} // namespace

TEST(SqlServerConvert, NumbersConvertOrFailAsSqlServers) {
    EXPECT_EQ(L"42", Convert(Text(L" 42 "), L"int"));
    EXPECT_EQ(L"-7", Convert(Real(-7.9), L"int")); // numbers to integers truncate
    EXPECT_EQ(L"1", Convert(Integer(5), L"bit"));
    EXPECT_EQ(L"error: Conversion failed when converting the varchar value '4.5' to data type int.",
              Convert(Text(L"4.5"), L"int"));
    EXPECT_EQ(L"error: Conversion failed when converting the varchar value 'abc' to data type "
              L"smallint.",
              Convert(Text(L"abc"), L"smallint"));
    EXPECT_EQ(L"error: Error converting data type varchar to float.",
              Convert(Text(L"1e"), L"float"));
    EXPECT_EQ(L"error: Error converting data type varchar to numeric.",
              Convert(Text(L"0x10"), L"decimal(5,1)"));
    EXPECT_EQ(L"error: Error converting data type varchar to real.",
              Convert(Text(L"nan"), L"real"));
    EXPECT_EQ(L"NULL", Convert(CSqlValue(), L"int"));
    // Integers hold their type's range; beyond it, text and numbers fail differently.
    EXPECT_EQ(L"255", Convert(Integer(255), L"tinyint"));
    EXPECT_EQ(L"-2147483648", Convert(Text(L"-2147483648"), L"int"));
    EXPECT_EQ(L"error: Arithmetic overflow error for data type tinyint, value = 300.",
              Convert(Integer(300), L"tinyint"));
    EXPECT_EQ(L"error: Arithmetic overflow error for data type smallint, value = -40000.5.",
              Convert(Real(-40000.5), L"smallint"));
    EXPECT_EQ(L"error: Arithmetic overflow error converting expression to data type int.",
              Convert(Integer(2147483648LL), L"int"));
    EXPECT_EQ(L"error: The conversion of the varchar value '256' overflowed an INT1 column. Use "
              L"a larger integer column.",
              Convert(Text(L"256"), L"tinyint"));
    EXPECT_EQ(L"error: The conversion of the varchar value ' 3000000000' overflowed an int "
              L"column.",
              Convert(Text(L" 3000000000"), L"int"));
    EXPECT_EQ(L"error: Arithmetic overflow error converting expression to data type bigint.",
              Convert(Real(1e30), L"bigint"));
    EXPECT_EQ(L"error: The conversion of the varchar value '-99999999999999999999' overflowed an "
              L"int column.",
              Convert(Text(L"-99999999999999999999"), L"int"));
}

TEST(SqlServerConvert, DecimalsRoundHalfAwayFromZeroAsWritten) {
    struct Case {
        double d;
        const wchar_t* pszType;
        const wchar_t* pszExpected;
    };
    // The doubles nearest 2.345 and 1.005 lie below them; SQL Server rounds the written value.
    const Case cases[] = {
        {2.345, L"decimal(5,2)", L"2.35"}, {-2.345, L"decimal(5,2)", L"-2.35"},
        {1.005, L"numeric(9,2)", L"1.01"}, {0.004, L"decimal(4,2)", L"0"},
        {0.005, L"decimal(4,2)", L"0.01"}, {999.995, L"decimal(6,2)", L"1000"},
        {12.5, L"decimal(5,0)", L"13"},    {-0.5, L"numeric(3)", L"-1"},
        {1.23456, L"money", L"1.2346"},    {123456789.125, L"decimal(12,2)", L"123456789.13"},
        {1e-20, L"decimal(10,4)", L"0"},   {3.14159, L"float", L"3.14159"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.pszExpected, Convert(Real(c.d), c.pszType)) << c.d << " " << c.pszType;
    EXPECT_EQ(L"12.35", Convert(Text(L"12.345"), L"decimal(6,2)"));
    EXPECT_EQ(L"7", Convert(Integer(7), L"decimal(6,0)"));
}

TEST(SqlServerConvert, DatesReadAndWriteInSqlServersForms) {
    const wchar_t kNotADate[] =
        L"error: Conversion failed when converting date and/or time from character string.";
    const wchar_t kOutOfRange[] = L"error: The conversion of a varchar data type to a datetime "
                                  L"data type resulted in an out-of-range value.";
    struct Case {
        CSqlValue v;
        const wchar_t* pszType;
        int nStyle;
        const wchar_t* pszExpected;
    };
    const Case cases[] = {
        {Text(L"20240305"), L"datetime", 0, L"2024-03-05 00:00:00"},
        {Text(L"20240305 10:11:12"), L"datetime", 0, L"2024-03-05 10:11:12"},
        {Text(L"2024-3-5T10:11"), L"smalldatetime", 0, L"2024-03-05 10:11:00"},
        {Text(L"2024/03/05"), L"date", 0, L"2024-03-05"},
        {Text(L"10:11:12"), L"datetime", 0, L"1900-01-01 10:11:12"},
        {Text(L"2024-03-05 10:11:12"), L"time", 0, L"10:11:12"},
        {Integer(0), L"datetime", 0, L"1900-01-01 00:00:00"},
        {Real(1.5), L"datetime", 0, L"1900-01-02 12:00:00"},
        {Text(L"2024-03-05 10:11:12"), L"varchar(30)", 120, L"2024-03-05 10:11:12"},
        {Text(L"2024-03-05 10:11:12.250"), L"varchar(30)", 121, L"2024-03-05 10:11:12.250"},
        {Text(L"2024-03-05 10:11:12"), L"nvarchar(10)", 101, L"03/05/2024"},
        {Text(L"2024-03-05 10:11:12"), L"varchar(10)", 103, L"05/03/2024"},
        {Text(L"2024-03-05 10:11:12"), L"varchar(10)", 104, L"05.03.2024"},
        {Text(L"2024-03-05 10:11:12"), L"char(8)", 112, L"20240305"},
        {Text(L"2024-03-05 10:11:12"), L"varchar(8)", 108, L"10:11:12"},
        {Text(L"2024-02-30"), L"datetime", 0, kOutOfRange},
        {Text(L"2024/2/30 10:00"), L"smalldatetime", 0,
         L"error: The conversion of a varchar data type to a smalldatetime data type resulted in "
         L"an out-of-range value."},
        {Text(L"20241301"), L"datetime", 0, kOutOfRange},
        {Text(L"2024-02-30"), L"date", 0, kNotADate},
        {Text(L"2024-05-06 10:20:29.998"), L"smalldatetime", 0, L"2024-05-06 10:20:00"},
        {Text(L"2024-05-06 10:20:29.999"), L"smalldatetime", 0, L"2024-05-06 10:21:00"},
        {Text(L"2024-12-31 23:59:31"), L"smalldatetime", 0, L"2025-01-01 00:00:00"},
        {Text(L"5 March 2024"), L"datetime", 0, kNotADate},
        {Text(L""), L"date", 0, kNotADate},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.pszExpected, Convert(c.v, c.pszType, c.nStyle))
            << c.pszType << " " << WinUtf8ToWide(c.v.s).size();
}

TEST(SqlServerConvert, StringsAreCutToTheirLengthInCharacters) {
    EXPECT_EQ(L"中文名", Convert(Text(L"中文名字"), L"nvarchar(3)"));
    EXPECT_EQ(L"abc", Convert(Text(L"abcdef"), L"char(3)"));
    EXPECT_EQ(L"abcdef", Convert(Text(L"abcdef"), L"varchar(max)"));
    EXPECT_EQ(L"12.5", Convert(Real(12.5), L"varchar(10)"));
    EXPECT_EQ(L"-3   ", Convert(Integer(-3), L"nchar(5)")); // char and nchar pad
    EXPECT_EQ(L"ab  ", Convert(Text(L"ab"), L"char(4)"));
    EXPECT_EQ(L"ab", Convert(Text(L"ab"), L"varchar(4)"));
    EXPECT_EQ(L"2024-03-05", Convert(Text(L"2024-03-05 10:11:12"), L"varchar(10)"));
}
