// Explicit conversions to binary types: the bytes SQL Server makes of varchar, nvarchar,
// integers and bytes, cut and padded as it does, and what binary columns then take.
#include <gtest/gtest.h>

#include <string>

#include "SqlServerScriptSupport.h"
#include "platform/ado/sqlite/SqlServerBinary.h"
#include "platform/win/TextEncoding.h"

namespace {

CSqlValue Of(int nClass, const std::string& s, long long n = 0) {
    CSqlValue v;
    v.nClass = nClass;
    v.s = s;
    v.n = n;
    return v;
}

CSqlValue Text(const std::wstring& s) {
    return Of(SQLITE_TEXT, WinWideToUtf8(s));
}

CSqlValue Integer(long long n) {
    return Of(SQLITE_INTEGER, std::string(), n);
}

// The bytes in hexadecimal ("0x0041"), "kept" for a value left as it was, or the error.
std::string ToBinary(CSqlValue v, const char* pszTo, const char* pszFrom, int nStyle = 0) {
    std::wstring error;
    switch (SqlConvertToBinary(SqlServerParseType(pszTo), SqlServerParseType(pszFrom), nStyle, &v,
                               &error)) {
    case SqlBinaryResult::kKept:
        return "kept";
    case SqlBinaryResult::kFailed:
        return "error: " + WinWideToUtf8(error);
    case SqlBinaryResult::kConverted:
        break;
    }
    if (v.nClass == SQLITE_NULL)
        return "NULL";
    EXPECT_EQ(SQLITE_BLOB, v.nClass);
    std::string hex = "0x";
    for (unsigned char c : v.s) {
        const char kDigits[] = "0123456789ABCDEF";
        hex += kDigits[c >> 4];
        hex += kDigits[c & 15];
    }
    return hex;
}

class SqlServerBinary : public SqlServerScript {
protected:
    const wchar_t* Catalog() const override { return L"db"; }
};

} // namespace

TEST(SqlServerBinaryBytes, TextGivesItsTypesBytesCutOnTheRight) {
    // varchar: one byte per character in code page 1252, '?' where it has none.
    EXPECT_EQ("0x68656C6C6F", ToBinary(Text(L"hello"), "varbinary(max)", "varchar"));
    EXPECT_EQ("0xE980819F3F", ToBinary(Text(L"é€\x81Ÿ中"), "varbinary(10)", "varchar(5)"));
    // nvarchar: UTF-16LE, a character beyond U+FFFF as its two surrogates.
    EXPECT_EQ("0x68006900", ToBinary(Text(L"hi"), "varbinary(max)", "nvarchar"));
    EXPECT_EQ("0x2D4E3DD800DE", ToBinary(Text(L"中\U0001F600"), "varbinary(8)", "sysname"));
    // binary(n) pads with zero bytes; both cut what does not fit, keeping the start.
    EXPECT_EQ("0x6869000000", ToBinary(Text(L"hi"), "binary(5)", "varchar"));
    EXPECT_EQ("0x680065", ToBinary(Text(L"hello"), "varbinary(3)", "nvarchar"));
    // Bytes stay bytes, fitted the same way; NULL stays NULL.
    EXPECT_EQ("0x0102", ToBinary(Of(SQLITE_BLOB, "\x01\x02\x03"), "varbinary(2)", "image"));
    EXPECT_EQ("0x010000", ToBinary(Of(SQLITE_BLOB, "\x01"), "binary(3)", ""));
    EXPECT_EQ("NULL", ToBinary(CSqlValue(), "binary(3)", "varchar"));
}

TEST(SqlServerBinaryBytes, IntegersGiveTheirWidthMostSignificantFirstCutOnTheLeft) {
    EXPECT_EQ("0x00000001", ToBinary(Integer(1), "varbinary(4)", "int"));
    EXPECT_EQ("0xE240", ToBinary(Integer(123456), "binary(2)", "int"));
    EXPECT_EQ("0x000000000001E240", ToBinary(Integer(123456), "binary(8)", "int"));
    EXPECT_EQ("0x0001E240", ToBinary(Integer(123456), "varbinary(8)", "int")); // no padding
    EXPECT_EQ("0xFFFF", ToBinary(Integer(-1), "varbinary(max)", "smallint"));
    EXPECT_EQ("0xFF", ToBinary(Integer(255), "varbinary(30)", "tinyint"));
    EXPECT_EQ("0x8000000000000000",
              ToBinary(Integer(-9223372036854775807LL - 1), "varbinary(30)", "bigint"));
    // A value its type cannot hold, and types whose bytes are not these, stay as they are.
    EXPECT_EQ("kept", ToBinary(Integer(3000000000LL), "varbinary(30)", "int"));
    EXPECT_EQ("kept", ToBinary(Integer(1), "varbinary(30)", "bit"));
    EXPECT_EQ("kept", ToBinary(Text(L"hello"), "varbinary(30)", ""));
    EXPECT_EQ("kept", ToBinary(Integer(1), "varchar(30)", "int"));
    EXPECT_EQ("kept", ToBinary(Integer(1), "image", "int")); // text and bytes only
}

TEST(SqlServerBinaryBytes, HexadecimalStylesReadVarcharDigits) {
    EXPECT_EQ("0x53514C", ToBinary(Text(L"0x53514c"), "varbinary(3)", "varchar", 1));
    EXPECT_EQ("0x53514C", ToBinary(Text(L"53514C"), "varbinary(max)", "varchar", 2));
    EXPECT_EQ("0x0003F80000", ToBinary(Text(L"0003f8"), "binary(5)", "varchar", 2));
    const std::string kError = "error: Error converting data type varchar to varbinary.";
    EXPECT_EQ(kError, ToBinary(Text(L"53514C"), "varbinary(3)", "varchar", 1)); // no 0x
    EXPECT_EQ(kError, ToBinary(Text(L"0x00"), "varbinary(3)", "varchar", 2));   // an x
    EXPECT_EQ(kError, ToBinary(Text(L"0x535"), "varbinary(3)", "varchar", 1));  // odd
    EXPECT_EQ("error: Error converting data type varchar to binary.",
              ToBinary(Text(L"zz"), "binary(3)", "varchar", 2));
    // Style 0 takes the characters themselves.
    EXPECT_EQ("0x30783030", ToBinary(Text(L"0x00"), "varbinary(max)", "varchar", 0));
}

TEST_F(SqlServerBinary, ExplicitConversionsFillBinaryColumns) {
    RunScript(
        m_pConn,
        {{L"CREATE TABLE docs(id int, v varbinary(max), i image, b binary(4), s varchar(10), "
          L"n nvarchar(10), k smallint)"},
         {L"INSERT INTO docs(id,v) VALUES (1, CONVERT(varbinary(max), 'hello'))"},
         {L"INSERT INTO docs(id,v) VALUES (2, CAST('hello' AS varbinary(10)))"},
         {L"INSERT INTO docs(id,i) VALUES (3, CAST('hello' AS varbinary(max)))"},
         {L"INSERT INTO docs(id,v,b) VALUES (4, CAST(N'hi' AS varbinary), CAST(1 AS binary(4)))"},
         {L"INSERT INTO docs(id,s,n,k) VALUES (5, 'abc', N'xy', 258)"},
         {L"UPDATE docs SET v = CAST(s AS varbinary(2)), i = CONVERT(image, n), b = CAST(k AS "
          L"binary(4)) WHERE id = 5"},
         {L"SELECT id FROM docs WHERE v = 0x68656C6C6F ORDER BY id", {{L"1"}, {L"2"}}},
         {L"SELECT id FROM docs WHERE i = 0x68656C6C6F", {{L"3"}}},
         {L"SELECT id FROM docs WHERE v = 0x68006900 AND b = 0x00000001", {{L"4"}}},
         {L"SELECT id FROM docs WHERE v = 0x6162 AND i = 0x78007900 AND b = 0x00000102", {{L"5"}}},
         // Without a length the type is 30 long, and binary pads to it.
         {L"DECLARE @s varchar(50) = REPLICATE('x', 40); SELECT DATALENGTH(CAST('x' AS "
          L"binary)), DATALENGTH(CAST(@s AS varbinary)), DATALENGTH(CONVERT(varbinary(max), "
          L"N'ab'))",
          {{L"30", L"30", L"4"}}},
         {L"SELECT CASE WHEN CONVERT(varbinary(4), '0x0A0B', 1) = 0x0A0B AND "
          L"CONVERT(binary(3), '0A0B', 2) = 0x0A0B00 THEN 1 ELSE 0 END",
          {{L"1"}}},
         {L"SELECT CASE WHEN TRY_CONVERT(varbinary(4), 'zz', 2) IS NULL AND "
          L"TRY_CAST('ok' AS varbinary(4)) = 0x6F6B THEN 1 ELSE 0 END",
          {{L"1"}}},
         Fails(L"SELECT CONVERT(varbinary(4), '0A0', 2)",
               L"Error converting data type varchar to varbinary."),
         // Text written without a conversion is still refused, as SQL Server refuses it.
         Fails(L"INSERT INTO docs(id,v) VALUES (6, 'hello')",
               L"Implicit conversion from data type varchar to varbinary is not allowed. Use the "
               L"CONVERT function to run this query."),
         Fails(L"INSERT INTO docs(id,i) VALUES (6, CAST('hello' AS varchar(10)))",
               L"Implicit conversion from data type varchar to image is not allowed. Use the "
               L"CONVERT function to run this query.")});
}
