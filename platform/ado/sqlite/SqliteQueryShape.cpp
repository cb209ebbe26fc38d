#include "platform/ado/sqlite/SqliteQueryShape.h"

#include "platform/ado/sqlite/SqliteStatementCache.h"

#include <cstring>

namespace {

using TokenKind = CSqliteQueryShaper::TokenKind;
using Clause = CSqliteQueryShaper::Clause;
using CToken = CSqliteQueryShaper::CToken;
using CLevel = CSqliteQueryShaper::CLevel;

// What a keyword tells the shape.
enum KeywordRole : unsigned {
    kTermStart = 1,   // precedes a comparison that is a whole term of a condition
    kTermEnd = 2,     // follows one
    kQueryStart = 4,  // after a parenthesis: a query, not an expression
    kGroupBefore = 8, // before a parenthesis: a grouping of the condition
    kSetsClause = 16, // starts the clause in nClause
    kListBefore = 32, // IN
    kNegates = 64,    // NOT
};

struct CKeyword {
    const char* pszUpper;
    unsigned char nLength;
    unsigned nRoles;
    Clause nClause;
};

// Every keyword here is also no column's name as far as the shape goes: a column named like one
// only keeps its comparisons' literals.
constexpr CKeyword kKeywords[] = {
    {"ALL", 3, 0, Clause::kNone},
    {"AND", 3, kTermStart | kTermEnd | kGroupBefore, Clause::kNone},
    {"BETWEEN", 7, 0, Clause::kNone},
    {"CASE", 4, 0, Clause::kNone},
    {"CAST", 4, 0, Clause::kNone},
    {"COLLATE", 7, 0, Clause::kNone},
    {"CROSS", 5, kTermEnd | kSetsClause, Clause::kOther},
    {"CURRENT_DATE", 12, 0, Clause::kNone},
    {"CURRENT_TIME", 12, 0, Clause::kNone},
    {"CURRENT_TIMESTAMP", 17, 0, Clause::kNone},
    {"DISTINCT", 8, 0, Clause::kNone},
    {"ELSE", 4, 0, Clause::kNone},
    {"END", 3, 0, Clause::kNone},
    {"ESCAPE", 6, 0, Clause::kNone},
    {"EXCEPT", 6, kTermEnd | kSetsClause, Clause::kOther},
    {"EXISTS", 6, 0, Clause::kNone},
    {"FALSE", 5, 0, Clause::kNone},
    {"FROM", 4, kSetsClause, Clause::kOther},
    {"FULL", 4, kTermEnd | kSetsClause, Clause::kOther},
    {"GLOB", 4, 0, Clause::kNone},
    {"GROUP", 5, kTermEnd | kSetsClause, Clause::kOther},
    {"HAVING", 6, kTermStart | kGroupBefore | kSetsClause, Clause::kCondition},
    {"IN", 2, kListBefore, Clause::kNone},
    {"INNER", 5, kTermEnd | kSetsClause, Clause::kOther},
    {"INTERSECT", 9, kTermEnd | kSetsClause, Clause::kOther},
    {"IS", 2, 0, Clause::kNone},
    {"JOIN", 4, kTermEnd | kSetsClause, Clause::kOther},
    {"LEFT", 4, kTermEnd | kSetsClause, Clause::kOther},
    {"LIKE", 4, 0, Clause::kNone},
    {"LIMIT", 5, kTermEnd | kSetsClause, Clause::kOther},
    {"MATCH", 5, 0, Clause::kNone},
    {"NATURAL", 7, kTermEnd | kSetsClause, Clause::kOther},
    {"NOT", 3, kGroupBefore | kNegates, Clause::kNone},
    {"NULL", 4, 0, Clause::kNone},
    {"OFFSET", 6, kSetsClause, Clause::kOther},
    {"ON", 2, kTermStart | kGroupBefore | kSetsClause, Clause::kCondition},
    {"OR", 2, kTermStart | kTermEnd | kGroupBefore, Clause::kNone},
    {"ORDER", 5, kTermEnd | kSetsClause, Clause::kOther},
    {"REGEXP", 6, 0, Clause::kNone},
    {"RETURNING", 9, kSetsClause, Clause::kOther},
    {"RIGHT", 5, kTermEnd | kSetsClause, Clause::kOther},
    {"SELECT", 6, kQueryStart | kSetsClause, Clause::kSelectList},
    {"THEN", 4, 0, Clause::kNone},
    {"TRUE", 4, 0, Clause::kNone},
    {"UNION", 5, kTermEnd | kSetsClause, Clause::kOther},
    {"USING", 5, kSetsClause, Clause::kOther},
    {"VALUES", 6, kQueryStart | kSetsClause, Clause::kOther},
    {"WHEN", 4, 0, Clause::kNone},
    {"WHERE", 5, kTermStart | kTermEnd | kGroupBefore | kSetsClause, Clause::kCondition},
    {"WINDOW", 6, kTermEnd | kSetsClause, Clause::kOther},
    {"WITH", 4, kQueryStart | kSetsClause, Clause::kOther},
};

// Where each first letter's keywords begin in kKeywords (sorted), and where they end.
struct CLetterIndex {
    unsigned char nBegin[27] = {};
    constexpr CLetterIndex() {
        size_t k = 0;
        for (int c = 0; c < 26; ++c) {
            nBegin[c] = static_cast<unsigned char>(k);
            while (k < sizeof(kKeywords) / sizeof(kKeywords[0]) &&
                   kKeywords[k].pszUpper[0] == 'A' + c)
                ++k;
        }
        nBegin[26] = static_cast<unsigned char>(k);
    }
};
constexpr CLetterIndex kLetters;

// Character classes, one table read a character.
enum CharClass : unsigned char { kSpace = 1, kDigit = 2, kWordStart = 4, kWordPart = 8 };

struct CCharClasses {
    unsigned char n[256] = {};
    constexpr CCharClasses() {
        for (int c = 0; c < 256; ++c) {
            bool bLetter =
                (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c >= 0x80;
            bool bDigit = c >= '0' && c <= '9';
            n[c] = static_cast<unsigned char>(
                (c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r' ? kSpace : 0) |
                (bDigit ? kDigit : 0) | (bLetter ? kWordStart : 0) |
                (bLetter || bDigit || c == '$' ? kWordPart : 0));
        }
    }
};
constexpr CCharClasses kClasses;

bool IsSpace(unsigned char c) {
    return kClasses.n[c] & kSpace;
}
bool IsDigit(unsigned char c) {
    return kClasses.n[c] & kDigit;
}
bool IsWordStart(unsigned char c) {
    return kClasses.n[c] & kWordStart;
}
bool IsWordPart(unsigned char c) {
    return kClasses.n[c] & kWordPart;
}
unsigned char Upper(unsigned char c) {
    return c >= 'a' && c <= 'z' ? static_cast<unsigned char>(c - 'a' + 'A') : c;
}

// The keyword a word is, or -1.
int KeywordOf(const char* p, size_t n) {
    unsigned char cFirst = Upper(static_cast<unsigned char>(*p));
    if (cFirst < 'A' || cFirst > 'Z')
        return -1;
    for (size_t k = kLetters.nBegin[cFirst - 'A']; k < kLetters.nBegin[cFirst - 'A' + 1]; ++k) {
        const CKeyword& w = kKeywords[k];
        if (w.nLength != n)
            continue;
        size_t i = 1;
        while (i < n && Upper(static_cast<unsigned char>(p[i])) == w.pszUpper[i])
            ++i;
        if (i == n)
            return static_cast<int>(k);
    }
    return -1;
}

// The end of a quoted run from s[i] (the opening quote) to its closing quote, a doubled one
// standing for itself; 0 when it does not close.
size_t QuotedEnd(const std::string& s, size_t i, char cClose) {
    for (size_t k = i + 1; k < s.size(); ++k) {
        if (s[k] != cClose)
            continue;
        if (cClose != ']' && k + 1 < s.size() && s[k + 1] == cClose) {
            ++k;
            continue;
        }
        return k + 1;
    }
    return 0;
}

size_t NumberEnd(const std::string& s, size_t i) {
    bool bHex = s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X');
    size_t k = i;
    for (; k < s.size(); ++k) {
        unsigned char c = s[k];
        bool bSign =
            (c == '+' || c == '-') && !bHex && k > i && (s[k - 1] == 'e' || s[k - 1] == 'E');
        if (!IsWordPart(c) && c != '.' && !bSign)
            break;
    }
    return k;
}

TokenKind OperatorAt(const std::string& s, size_t i, size_t* pnEnd) {
    char c = s[i], d = s[i + 1];
    bool bTwo = (c == '<' && (d == '=' || d == '>' || d == '<')) ||
                (c == '>' && (d == '=' || d == '>')) || (c == '!' && d == '=') ||
                (c == '=' && d == '=') || (c == '|' && d == '|') || (c == '-' && d == '>');
    *pnEnd = i + (bTwo ? (c == '-' && s[i + 2] == '>' ? 3 : 2) : 1);
    if (c == '=' || (c == '<' && d != '<') || (c == '>' && d != '>') || (c == '!' && d == '='))
        return TokenKind::kCompare;
    return c == '-' && !bTwo ? TokenKind::kMinus : TokenKind::kOperator;
}

// SQLite's tokens, as far as the shape needs them; false for a text it does not take apart.
bool Tokenize(const std::string& s, std::vector<CToken>* pTokens) {
    size_t i = 0;
    while (i < s.size()) {
        unsigned char c = s[i];
        if (IsSpace(c)) {
            ++i;
            continue;
        }
        size_t nBegin = i;
        TokenKind nKind = TokenKind::kOther;
        int nKeyword = -1;
        if (c == 0 || (c == '-' && s[i + 1] == '-') || (c == '/' && s[i + 1] == '*') || c == '?' ||
            c == ':' || c == '@' || c == '$' || c == '#')
            return false; // NULs, comments and parameters: run as written
        if (c == '\'' || c == '"' || c == '`' || c == '[') {
            i = QuotedEnd(s, i, c == '[' ? ']' : static_cast<char>(c));
            if (i == 0)
                return false;
            nKind = c == '\'' ? TokenKind::kString : TokenKind::kName;
        } else if ((c == 'x' || c == 'X') && s[i + 1] == '\'') {
            i = QuotedEnd(s, i + 1, '\'');
            if (i == 0)
                return false;
        } else if (IsDigit(c) || (c == '.' && IsDigit(s[i + 1]))) {
            i = NumberEnd(s, i);
            nKind = TokenKind::kInteger;
            for (size_t k = nBegin; k < i; ++k)
                if (!IsDigit(s[k]))
                    nKind = TokenKind::kNumber;
        } else if (IsWordStart(c)) {
            while (i < s.size() && IsWordPart(s[i]))
                ++i;
            nKeyword = KeywordOf(s.c_str() + nBegin, i - nBegin);
            nKind = nKeyword < 0 ? TokenKind::kWord : TokenKind::kKeyword;
        } else if (c == '(' || c == ')' || c == '.' || c == ';' || c == ',') {
            ++i;
            nKind = c == '('   ? TokenKind::kOpen
                    : c == ')' ? TokenKind::kClose
                    : c == '.' ? TokenKind::kDot
                    : c == ';' ? TokenKind::kSemicolon
                               : TokenKind::kComma;
        } else if (std::strchr("=<>!|-+*/%&~", c)) {
            nKind = OperatorAt(s, i, &i);
        } else {
            return false;
        }
        pTokens->push_back(
            {nKind, static_cast<unsigned char>(nKeyword < 0 ? 0 : nKeyword), nBegin, i});
    }
    return true;
}

// SELECT or WITH, with which a query's text starts.
bool StartsQuery(const CToken& t) {
    if (t.nKind != TokenKind::kKeyword)
        return false;
    const char* psz = kKeywords[t.nKeyword].pszUpper;
    return std::strcmp(psz, "SELECT") == 0 || std::strcmp(psz, "WITH") == 0;
}

class CShaper {
public:
    CShaper(const std::string& s, const std::vector<CToken>& tokens, std::vector<CLevel>& levels)
        : m_s(s), m_t(tokens), m_levels(levels) {}

    // Takes the literals out into pShape; false when there is none.
    bool Run(CSqliteQueryShape* pShape) {
        std::vector<CLevel>& levels = m_levels;
        levels.assign(1, {Clause::kNone, true});
        size_t nCopied = 0;
        for (size_t i = 0; i < m_t.size(); ++i) {
            CLevel& level = levels.back();
            const CToken& t = m_t[i];
            if (t.nKind == TokenKind::kOpen) {
                size_t nListEnd =
                    level.bTakes && level.nClause == Clause::kCondition ? ListAfter(i) : 0;
                if (nListEnd == 0) {
                    levels.push_back(Opened(i, level));
                    continue;
                }
                for (size_t k = i + 1; k + 1 < nListEnd; ++k) {
                    size_t nAfter = LiteralAfter(k);
                    if (nAfter != 0) {
                        Take(k, nAfter, &nCopied, pShape);
                        k = nAfter - 1;
                    }
                }
                i = nListEnd - 1;
                continue;
            }
            if (t.nKind == TokenKind::kClose) {
                if (levels.size() == 1)
                    return false;
                levels.pop_back();
                continue;
            }
            if (Has(i, kSetsClause)) {
                level.nClause = kKeywords[t.nKeyword].nClause;
                continue;
            }
            if (!level.bTakes || level.nClause != Clause::kCondition)
                continue;
            size_t nAfter = LiteralAfter(i);
            if (nAfter == 0 || !ComparedWithColumn(i, nAfter))
                continue;
            Take(i, nAfter, &nCopied, pShape);
            i = nAfter - 1;
        }
        if (levels.size() != 1 || pShape->literals.empty())
            return false;
        pShape->strSql.append(m_s, nCopied, std::string::npos);
        return true;
    }

private:
    TokenKind Kind(size_t i) const { return i < m_t.size() ? m_t[i].nKind : TokenKind::kOther; }
    bool Has(size_t i, unsigned nRole) const {
        return Kind(i) == TokenKind::kKeyword && (kKeywords[m_t[i].nKeyword].nRoles & nRole);
    }
    bool IsTermStart(size_t i) const {
        return Kind(i) == TokenKind::kOpen || (Has(i, kTermStart) && !BetweensAnd(i));
    }
    bool IsTermEnd(size_t i) const {
        return i >= m_t.size() || Kind(i) == TokenKind::kClose ||
               Kind(i) == TokenKind::kSemicolon || (Has(i, kTermEnd) && !BetweensAnd(i));
    }
    // Whether the AND at i is a BETWEEN's, which joins its bounds, not two terms.
    bool BetweensAnd(size_t i) const {
        if (!IsKeyword(i, "AND"))
            return false;
        int nDepth = 0;
        for (size_t k = i; k-- > 0;) {
            if (Kind(k) == TokenKind::kClose) {
                ++nDepth;
            } else if (Kind(k) == TokenKind::kOpen) {
                if (nDepth-- == 0)
                    return false;
            } else if (nDepth == 0 && IsKeyword(k, "BETWEEN")) {
                return true;
            } else if (nDepth == 0 && (Has(k, kTermStart) || Has(k, kSetsClause))) {
                return false;
            }
        }
        return false;
    }
    bool IsKeyword(size_t i, const char* pszUpper) const {
        return Kind(i) == TokenKind::kKeyword &&
               std::strcmp(kKeywords[m_t[i].nKeyword].pszUpper, pszUpper) == 0;
    }
    // The parenthesis that closes the one opened at i, or the end.
    size_t CloseOf(size_t i) const {
        int nDepth = 0;
        for (size_t k = i; k < m_t.size(); ++k)
            if (Kind(k) == TokenKind::kOpen)
                ++nDepth;
            else if (Kind(k) == TokenKind::kClose && --nDepth == 0)
                return k;
        return m_t.size();
    }
    bool IsNamePart(size_t i) const {
        return Kind(i) == TokenKind::kWord || Kind(i) == TokenKind::kName;
    }
    // A column (a, t.a, s.t.a) from i on: the token after it, or 0 when there is none.
    size_t ColumnAfter(size_t i) const {
        if (!IsNamePart(i))
            return 0;
        while (Kind(i + 1) == TokenKind::kDot && IsNamePart(i + 2))
            i += 2;
        return i + 1;
    }
    // A column ending at i: its first token, or npos.
    size_t ColumnBefore(size_t i) const {
        if (!IsNamePart(i))
            return std::string::npos;
        while (i >= 2 && Kind(i - 1) == TokenKind::kDot && IsNamePart(i - 2))
            i -= 2;
        return i;
    }

    // The literal from i on (a string, digits, or a minus and digits): the token after it,
    // or 0 when there is none.
    size_t LiteralAfter(size_t i) const {
        if (Kind(i) == TokenKind::kString)
            return i + 1;
        if (Kind(i) == TokenKind::kMinus)
            ++i;
        if (Kind(i) == TokenKind::kInteger && m_t[i].nEnd - m_t[i].nBegin <= 18)
            return i + 1;
        return 0;
    }

    // Whether the literal i..nAfter is one side of a comparison with a column, the comparison
    // a whole term of its condition.
    bool ComparedWithColumn(size_t i, size_t nAfter) const {
        if (i >= 2 && Kind(i - 1) == TokenKind::kCompare) {
            size_t nColumn = ColumnBefore(i - 2);
            if (nColumn != std::string::npos && nColumn > 0 && IsTermStart(nColumn - 1) &&
                IsTermEnd(nAfter))
                return true;
        }
        if (i >= 1 && IsTermStart(i - 1) && Kind(nAfter) == TokenKind::kCompare) {
            size_t nEnd = ColumnAfter(nAfter + 1);
            if (nEnd != 0 && IsTermEnd(nEnd))
                return true;
        }
        return false;
    }

    // Copies the text up to the literal i..nAfter and a parameter for it.
    void Take(size_t i, size_t nAfter, size_t* pnCopied, CSqliteQueryShape* pShape) const {
        pShape->strSql.append(m_s, *pnCopied, m_t[i].nBegin - *pnCopied);
        pShape->strSql += '?';
        *pnCopied = m_t[nAfter - 1].nEnd;
        pShape->literals.push_back(Value(i, nAfter));
    }

    // The IN list opened at i when it holds literals only and a column's [NOT] IN is a whole
    // term of its condition: the token after its closing parenthesis, or 0.
    size_t ListAfter(size_t i) const {
        if (i < 3 || !Has(i - 1, kListBefore))
            return 0;
        size_t nIn = Has(i - 2, kNegates) ? i - 2 : i - 1;
        size_t nColumn = ColumnBefore(nIn - 1);
        if (nColumn == std::string::npos || nColumn == 0 || !IsTermStart(nColumn - 1))
            return 0;
        for (size_t k = i + 1;; ++k) {
            k = LiteralAfter(k);
            if (k == 0 || (Kind(k) != TokenKind::kComma && Kind(k) != TokenKind::kClose))
                return 0;
            if (Kind(k) == TokenKind::kClose)
                return IsTermEnd(k + 1) ? k + 1 : 0;
        }
    }

    // The level a parenthesis opens: a query, a grouping of its parent's condition, or
    // anything else (a function's arguments, an IN list, a CAST, an operand such as the
    // (a = 5) of "(a = 5) = 1"), where nothing is taken.
    CLevel Opened(size_t i, const CLevel& parent) const {
        bool bTakes = parent.bTakes && parent.nClause == Clause::kCondition;
        if (Has(i + 1, kQueryStart))
            return {Clause::kNone, bTakes};
        bool bGrouping = (i == 0 || Kind(i - 1) == TokenKind::kOpen ||
                          (Has(i - 1, kGroupBefore) && !BetweensAnd(i - 1))) &&
                         IsTermEnd(CloseOf(i) + 1);
        return {parent.nClause, bTakes && bGrouping};
    }

    CSqliteLiteral Value(size_t i, size_t nAfter) const {
        CSqliteLiteral v;
        const CToken& t = m_t[nAfter - 1];
        if (t.nKind == TokenKind::kString) {
            v.nKind = CSqliteLiteral::kText;
            v.strText.reserve(t.nEnd - t.nBegin - 2);
            for (size_t k = t.nBegin + 1; k + 1 < t.nEnd; ++k) {
                v.strText += m_s[k];
                if (m_s[k] == '\'')
                    ++k; // the doubled quote
            }
            return v;
        }
        for (size_t k = t.nBegin; k < t.nEnd; ++k)
            v.nValue = v.nValue * 10 + (m_s[k] - '0');
        if (nAfter - i == 2)
            v.nValue = -v.nValue;
        return v;
    }

    const std::string& m_s;
    const std::vector<CToken>& m_t;
    std::vector<CLevel>& m_levels;
};

} // namespace

const CSqliteQueryShape* CSqliteQueryShaper::Shape(const std::string& strSql) {
    m_shape.strSql.clear();
    m_shape.literals.clear();
    m_tokens.clear();
    // Only queries are kept (a statement that writes is prepared once, as written); a NUL
    // byte ends SQLite's text where the bound value would not.
    if (strSql.size() > CSqliteStatementCache::kMaxText || strSql.find('\0') != std::string::npos ||
        !Tokenize(strSql, &m_tokens) || m_tokens.empty() || !StartsQuery(m_tokens[0]))
        return nullptr;
    m_shape.strSql.reserve(strSql.size());
    return CShaper(strSql, m_tokens, m_levels).Run(&m_shape) ? &m_shape : nullptr;
}

int SqliteBindLiterals(sqlite3_stmt* pStmt, const std::vector<CSqliteLiteral>& literals) {
    int nParam = 1;
    for (const CSqliteLiteral& v : literals) {
        int rc = v.nKind == CSqliteLiteral::kInteger
                     ? sqlite3_bind_int64(pStmt, nParam, v.nValue)
                     : sqlite3_bind_text(pStmt, nParam, v.strText.data(),
                                         static_cast<int>(v.strText.size()), SQLITE_TRANSIENT);
        if (rc != SQLITE_OK)
            return rc;
        ++nParam;
    }
    return SQLITE_OK;
}
