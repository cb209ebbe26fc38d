// A query's shape: its text with the literals that only give a column comparison its value
// replaced by parameters, so that lookups which differ only in a key share one prepared
// statement. Only literals whose bound value SQLite treats exactly as the literal are taken:
// decimal integers of up to 18 digits (with a unary minus) and quoted strings, one side of
// =, ==, <>, !=, <, <=, >, >= whose other side is a plain column, or the items of a plain
// column's [NOT] IN list of literals only, the comparison a whole term of a WHERE, ON or
// HAVING condition of a query that is not inside a select list, a function's arguments,
// another IN list or a FROM clause. Literals and parameters both have no affinity and no
// collating sequence, so comparisons behave alike; the column names, ordinals and limits that
// SQLite reads from the text keep their literals. Where a partial index's condition names a
// bound value, SQLite plans the statement again with the values bound, so a shape is served by
// the indexes its texts are, and its rows come in their order.
#pragma once

#include <sqlite3.h>

#include <string>
#include <vector>

// One literal taken out of a query's text.
struct CSqliteLiteral {
    enum Kind { kInteger, kText } nKind = kInteger;
    sqlite3_int64 nValue = 0;
    std::string strText; // a string's characters, its doubled quotes made single
};

struct CSqliteQueryShape {
    std::string strSql;                   // the text, a "?" where each literal stood
    std::vector<CSqliteLiteral> literals; // in the order of their parameters
};

// Reads texts into their shapes, keeping its buffers from one text to the next. Belongs to the
// thread of its connection.
class CSqliteQueryShaper {
public:
    // The shape of strSql, valid until the next call; null when it has no literal to take out
    // or is not a text this reads whole (comments, parameters, unclosed quotes or brackets, a
    // NUL byte, more than the statement cache keeps, no SELECT or WITH first): run it as it is.
    const CSqliteQueryShape* Shape(const std::string& strSql);

    // The parts of a reading.
    enum class TokenKind : unsigned char {
        kWord,     // a bare name, or a keyword the shape does not know
        kKeyword,  // one the shape knows
        kName,     // a quoted name: "a", [a], `a`
        kString,   // 'a'
        kInteger,  // decimal digits only
        kNumber,   // any other number: 1.5, 1e3, 0x10
        kCompare,  // = == <> != < <= > >=
        kMinus,    // -
        kOperator, // any other operator
        kOpen,
        kClose,
        kDot,
        kComma,
        kSemicolon,
        kOther, // a blob literal
    };
    // Where in a query a token stands.
    enum class Clause : unsigned char {
        kNone,       // a query's start, before its SELECT
        kSelectList, // result columns: their text names them
        kCondition,  // WHERE, ON, HAVING
        kOther,      // FROM, GROUP BY, ORDER BY, LIMIT, WITH, VALUES and the like
    };
    struct CToken {
        TokenKind nKind;
        unsigned char nKeyword; // the keyword's index when nKind is kKeyword
        size_t nBegin, nEnd;
    };
    struct CLevel { // a query or parenthesis
        Clause nClause;
        bool bTakes; // literals of its conditions may become parameters
    };

private:
    std::vector<CToken> m_tokens;
    std::vector<CLevel> m_levels;
    CSqliteQueryShape m_shape;
};

// Binds the literals to a statement prepared from their shape's text.
int SqliteBindLiterals(sqlite3_stmt* pStmt, const std::vector<CSqliteLiteral>& literals);
