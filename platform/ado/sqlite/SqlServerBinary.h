// Values converted to SQL Server's binary types (binary(n), varbinary(n|max), image) by an
// explicit CAST or CONVERT. The type the value had decides its bytes, and SQLite's values no
// longer tell it (varchar and nvarchar are both UTF-8 text here, every integer 64 bits), so the
// rewriter hands it over with the value.
// Thread safety: pure functions of their arguments.
#pragma once

#include <string>

#include "platform/ado/sqlite/SqlServerConvert.h"

// What SqlConvertToBinary did with a value.
enum class SqlBinaryResult {
    kConverted, // the value is the bytes now (or NULL, which stays)
    kKept,      // a source type whose bytes this does not know: the value is unchanged
    kFailed,    // the value does not convert; *pstrError has SQL Server's message
};

// Converts *pValue, of type from, to the binary type to: varchar's characters as bytes of the
// default collation's code page (1252, one byte each), nvarchar's as UTF-16LE, tinyint, smallint,
// int and bigint as their own width's bytes, most significant first (not to image), and bytes
// as they are.
// Strings and bytes are cut, or zero-padded for binary(n), on the right; integers on the left,
// where varbinary(n) only cuts. CONVERT's styles 1 (digits after "0x") and 2 (digits alone) read
// varchar as hexadecimal digits instead.
SqlBinaryResult SqlConvertToBinary(const CSqlDeclaredType& to, const CSqlDeclaredType& from,
                                   int nStyle, CSqlValue* pValue, std::wstring* pstrError);
