// SQL Server's collations as SQLite collating sequences of the same names. Comparisons ignore
// trailing blanks (as SQL Server pads the shorter text), follow the name's case and accent
// sensitivity for all of Unicode's letters, ignore width unless the name asks for it, and
// order accented Latin letters after their base letter. The Chinese collations order Han
// characters by pinyin, strokes or bopomofo, as their names say.
#pragma once

#include <sqlite3.h>

#include <string>

#include "platform/ado/sqlite/SqlServerHanOrder.h"

struct CSqlCollation {
    bool bCaseSensitive = false;
    bool bAccentSensitive = true;
    bool bWidthSensitive = false;
    bool bBinary = false; // _BIN, _BIN2: code point order
    SqlHanOrder eHanOrder = SqlHanOrder::CodePoint;
};

// Reads a collation name such as Latin1_General_CI_AS, SQL_Latin1_General_CP1_CS_AS or
// Chinese_PRC_BIN2; false when it is none.
bool SqlParseCollation(const std::wstring& strName, CSqlCollation* pCollation);

// Compares two UTF-8 texts under a collation.
int SqlCollationCompare(const CSqlCollation& collation, const unsigned char* a, int na,
                        const unsigned char* b, int nb);

// Whether two texts match a LIKE pattern of SQL Server's (%, _, [set], [^set]), under the
// case-insensitive, accent-sensitive default; chEscape 0 for none.
bool SqlLikeMatch(const unsigned char* pText, int nText, const unsigned char* pPattern,
                  int nPattern, unsigned chEscape);

// Upper and lower case of a UTF-8 text for all of Unicode's letters.
std::string SqlChangeCase(const unsigned char* p, int n, bool bUpper);

// The collation of date and time columns: they compare as times, not as texts.
extern const char kSqlDateCollation[];

// SQLite's collation-needed callback for these collations. pCreate is the program's
// sqlite3_create_collation_v2 (a loadable extension passes the loading SQLite's own), as a
// SqlCreateCollation*.
typedef int SqlCreateCollation(sqlite3*, const char*, int, void*,
                               int (*)(void*, int, const void*, int, const void*), void (*)(void*));
void SqlCollationNeeded(void* pCreate, sqlite3* pDb, int nEncoding, const char* pszName);

// Makes every SQL Server collation that statements and the schema name available on demand,
// and turns off SQLite's join filters, which can tell apart texts these collations equate.
void SqlRegisterCollations(sqlite3* pDb);
