// The orders SQL Server's Chinese collations give Han characters (pinyin, stroke count,
// bopomofo), as one rank per character taken from ICU's Chinese collation rules.
#pragma once

#include <string>

enum class SqlHanOrder {
    CodePoint, // every collation that is not Chinese, and the binary ones
    Pinyin,    // Chinese_PRC, Chinese_Simplified_Pinyin, Chinese_Traditional_Pinyin
    Stroke,    // Chinese_PRC_Stroke, Chinese_Taiwan_Stroke, Chinese_Hong_Kong_Stroke, ...
    Bopomofo,  // Chinese_Taiwan_Bopomofo, Chinese_Traditional_Bopomofo
};

// The Han order a collation name asks for (the name's sensitivity suffixes do not matter).
SqlHanOrder SqlHanOrderOfCollation(const std::wstring& strName);

// The first key every ranked Han character's key lies above: they sort after every other
// character, as SQL Server's Chinese collations put Latin text before Chinese.
constexpr unsigned kSqlHanKeyBase = 0x200000;

// A character's comparison key under an order: kSqlHanKeyBase plus its rank for the Han
// characters of the Basic Multilingual Plane (unified ideographs, extension A and the
// compatibility ideographs), c itself for every other character and under CodePoint.
// Thread-safe; the first call for an order builds its table (about 28,000 ranks).
unsigned SqlHanKey(SqlHanOrder order, unsigned c);
