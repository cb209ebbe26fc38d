#include "platform/ado/sqlite/SqlServerExpressionCollation.h"

#include <algorithm>
#include <cwchar>
#include <initializer_list>
#include <utility>
#include <vector>

namespace {

// Words that end an operand, scanning either way from its operator at the operand's depth.
const wchar_t* const kOperandEnds[] = {
    L"AND",    L"OR",     L"NOT",    L"WHERE",   L"ON",        L"WHEN",  L"THEN",   L"ELSE",
    L"END",    L"CASE",   L"HAVING", L"SELECT",  L"SET",       L"IF",    L"WHILE",  L"RETURN",
    L"FROM",   L"GROUP",  L"ORDER",  L"BY",      L"UNION",     L"ALL",   L"EXCEPT", L"INTERSECT",
    L"JOIN",   L"INNER",  L"LEFT",   L"RIGHT",   L"CROSS",     L"OUTER", L"FULL",   L"IN",
    L"LIKE",   L"IS",     L"ESCAPE", L"EXISTS",  L"ASC",       L"DESC",  L"LIMIT",  L"OFFSET",
    L"INTO",   L"VALUES", L"PRINT",  L"DECLARE", L"DISTINCT",  L"TOP",   L"AS",     L"BETWEEN",
    L"OPTION", L"FOR",    L"ROWS",   L"RANGE",   L"PARTITION", L"OVER",  L"WITH",   L"FETCH"};

// Words after which a comparison is a condition, not an assignment (SET a = b, SELECT @v = x).
const wchar_t* const kConditionStarts[] = {L"WHERE", L"ON",  L"HAVING", L"WHEN", L"AND",
                                           L"OR",    L"NOT", L"IF",     L"WHILE"};

// Words that end an ORDER BY or GROUP BY list.
const wchar_t* const kListEnds[] = {
    L"HAVING",    L"LIMIT", L"OFFSET", L"FETCH",  L"FOR",  L"OPTION", L"UNION", L"EXCEPT", L"ORDER",
    L"INTERSECT", L"ROWS",  L"RANGE",  L"WINDOW", L"INTO", L"SELECT", L"FROM",  L"WHERE",  L"GROUP",
    L"END",       L"ELSE",  L"WHEN",   L"THEN",   L"ON",   L"JOIN",   L"SET"};

// Where a collation goes: after the source token nAfter, for the expression of the significant
// tokens [nFirst, nEnd) (empty for an alias or a column's number, which name one elsewhere),
// compared with the expressions of others (the other side of a comparison, the other queries'
// columns of a compound).
struct CSpot {
    size_t nAfter, nFirst, nEnd;
    std::vector<std::pair<size_t, size_t>> others;
    bool operator<(const CSpot& o) const { return nAfter < o.nAfter; }
};

class CCollator {
public:
    CCollator(const CSqlTokens& tokens, size_t nBegin, size_t nEnd) : m_t(tokens) {
        m_sig.reserve(nEnd - nBegin);
        for (size_t i = nBegin; i < nEnd; ++i)
            if (!SqlIsBlank(tokens[i]))
                m_sig.push_back(i);
    }

    // Where the collation goes, in no particular order.
    std::vector<CSpot> Spots() {
        static const CSqlWordSet ends(kOperandEnds);
        std::vector<CSpot> spots;
        for (size_t p = 0; p < m_sig.size(); ++p) {
            const CSqlToken& t = At(p);
            if (t.nKind == SqlTok::kPunct) {
                if (SqlIsComparison(t))
                    Comparison(p, true, ends, &spots);
            } else if (t.nKind == SqlTok::kWord) {
                if (SqlIs(t, L"DISTINCT") && p > 0 && SqlIsPunct(At(p - 1), L"("))
                    Aggregate(p + 1, &spots); // COUNT(DISTINCT x) and the like
                else if ((SqlIs(t, L"IN") && p + 1 < m_sig.size() && SqlIsPunct(At(p + 1), L"(")) ||
                         SqlIs(t, L"BETWEEN"))
                    Comparison(p, false, ends, &spots);
                else if ((SqlIs(t, L"ORDER") || SqlIs(t, L"GROUP") || SqlIs(t, L"PARTITION")) &&
                         p + 1 < m_sig.size() && SqlIs(At(p + 1), L"BY"))
                    Ordering(p, &spots);
                else if (SqlIs(t, L"DISTINCT") && p > 0 && SqlIs(At(p - 1), L"SELECT"))
                    Distinct(p, &spots);
                else if (SqlIs(t, L"CASE"))
                    SimpleCase(p, &spots);
                else if ((SqlIs(t, L"UNION") || SqlIs(t, L"EXCEPT") || SqlIs(t, L"INTERSECT")) &&
                         !(p + 1 < m_sig.size() && SqlIs(At(p + 1), L"ALL")))
                    Compound(p, &spots);
                else if ((SqlIs(t, L"MIN") || SqlIs(t, L"MAX")) && p + 1 < m_sig.size() &&
                         SqlIsPunct(At(p + 1), L"("))
                    Aggregate(p + 2, &spots);
            }
        }
        return spots;
    }

    // The collation of the first column in a spot's expression that has one, else in what it
    // is compared with: SQL Server's expressions of a column keep its collation (LOWER(Code),
    // Code + 'x'), which wins over a literal's; empty for none.
    std::wstring ColumnCollation(const CSpot& spot, const CSqlNameCollations& collations) const {
        if (!collations)
            return std::wstring();
        std::wstring strCollation = RangeCollation(spot.nFirst, spot.nEnd, collations);
        for (size_t i = 0; i < spot.others.size() && strCollation.empty(); ++i)
            strCollation = RangeCollation(spot.others[i].first, spot.others[i].second, collations);
        return strCollation;
    }

private:
    // The collation of the first column in the significant tokens [nFirst, nEnd).
    std::wstring RangeCollation(size_t nFirst, size_t nEnd,
                                const CSqlNameCollations& collations) const {
        return nEnd > nFirst
                   ? SqlExpressionCollation(m_t, m_sig[nFirst], m_sig[nEnd - 1] + 1, collations)
                   : std::wstring();
    }

    const CSqlToken& At(size_t p) const { return m_t[m_sig[p]]; }

    // Whether the word at p ends an operand (LEFT and RIGHT before "(" are functions).
    bool Ends(size_t p, const CSqlWordSet& ends) const {
        const CSqlToken& t = At(p);
        if (t.nKind == SqlTok::kPunct)
            return SqlIsPunct(t, L",") || SqlIsPunct(t, L";") || SqlIsComparison(t);
        if (!ends.Has(t))
            return false;
        return !((SqlIs(t, L"LEFT") || SqlIs(t, L"RIGHT")) && p + 1 < m_sig.size() &&
                 SqlIsPunct(At(p + 1), L"("));
    }

    // A column: name parts joined by dots, not a variable.
    bool PlainColumn(size_t a, size_t b) const {
        if (b <= a || (b - a) % 2 == 0)
            return false;
        for (size_t p = a; p < b; ++p) {
            const CSqlToken& t = At(p);
            if ((p - a) % 2 == 1 ? !SqlIsPunct(t, L".") : !SqlIsNamePart(t))
                return false;
        }
        const CSqlToken& first = At(a);
        return !(first.nKind == SqlTok::kWord &&
                 (first.strText[0] == L'@' || SqlIs(first, L"NULL")));
    }
    // A number, which never compares as text, or NULL.
    bool NumberOrNull(size_t a, size_t b) const {
        if (b == a + 2 && SqlIsPunct(At(a), L"-"))
            ++a;
        return b == a + 1 && (At(a).nKind == SqlTok::kNumber || SqlIs(At(a), L"NULL"));
    }
    bool HasCollate(size_t a, size_t b) const {
        for (size_t p = a; p < b; ++p)
            if (SqlIs(At(p), L"COLLATE"))
                return true;
        return false;
    }
    bool Settled(size_t a, size_t b) const {
        return PlainColumn(a, b) || NumberOrNull(a, b) || HasCollate(a, b);
    }

    // The comparison (or IN, BETWEEN when !bBothSides) whose operator is at p.
    void Comparison(size_t p, bool bBothSides, const CSqlWordSet& ends,
                    std::vector<CSpot>* pSpots) const {
        size_t nOp = p;
        if (!bBothSides && nOp > 0 && SqlIs(At(nOp - 1), L"NOT"))
            --nOp;
        // The left side: back to what ends it at its depth.
        size_t q = nOp;
        int nDepth = 0; // groups and CASE ... END, one operand each
        while (q > 0) {
            const CSqlToken& t = At(q - 1);
            if (SqlIsPunct(t, L")") || SqlIs(t, L"END")) {
                ++nDepth;
            } else if (SqlIsPunct(t, L"(") || (nDepth > 0 && SqlIs(t, L"CASE"))) {
                if (nDepth-- == 0)
                    break; // the group the comparison stands in
            } else if (nDepth == 0 && Ends(q - 1, ends)) {
                break;
            }
            --q;
        }
        // What is rewritten from its start is a condition (IF's, a CHECK's): assignments to
        // variables are taken apart before.
        if (q == nOp ||
            (q > 0 && !(SqlIsPunct(At(q - 1), L"(") || SqlIsOneOf(At(q - 1), kConditionStarts))))
            return;
        if (Settled(q, nOp))
            return;
        size_t r = p + 1; // the right side's end
        if (!bBothSides && SqlIs(At(p), L"IN") && p + 1 < m_sig.size() &&
            SqlIsPunct(At(p + 1), L"(")) {
            r = LevelEnd(p + 2, std::initializer_list<const wchar_t*>{});
            while (r < m_sig.size() && SqlIsPunct(At(r), L","))
                r = LevelEnd(r + 1, std::initializer_list<const wchar_t*>{});
        }
        if (bBothSides) {
            nDepth = 0;
            for (; r < m_sig.size(); ++r) {
                const CSqlToken& t = At(r);
                if (SqlIsPunct(t, L"(") || SqlIs(t, L"CASE")) {
                    ++nDepth;
                } else if (SqlIsPunct(t, L")") || (nDepth > 0 && SqlIs(t, L"END"))) {
                    if (nDepth-- == 0)
                        break;
                } else if (nDepth == 0 && Ends(r, ends)) {
                    break;
                }
            }
            if (r == p + 1 || Settled(p + 1, r))
                return;
        }
        pSpots->push_back({m_sig[nOp - 1], q, nOp, {{p + 1, r}}});
    }

    // The end of the group, CASE ... END or select item starting at a: the first token at
    // a's level that is an ending word of words (or ",", ";" or the level's close).
    template <typename Words> size_t LevelEnd(size_t a, const Words& words) const {
        int nDepth = 0;
        for (size_t r = a; r < m_sig.size(); ++r) {
            const CSqlToken& t = At(r);
            if (SqlIsPunct(t, L"(") || SqlIs(t, L"CASE"))
                ++nDepth;
            else if ((SqlIsPunct(t, L")") || (nDepth > 0 && SqlIs(t, L"END"))) && nDepth-- == 0)
                return r;
            else if (nDepth == 0 &&
                     (SqlIsPunct(t, L",") || SqlIsPunct(t, L";") || SqlIsOneOfWords(t, words)))
                return r;
        }
        return m_sig.size();
    }

    // Where a select list's items start after the SELECT at s: past DISTINCT or ALL and TOP n,
    // TOP (n), PERCENT, WITH TIES.
    size_t ItemsStart(size_t s) const {
        size_t a = s + 1;
        while (a < m_sig.size() && (SqlIs(At(a), L"DISTINCT") || SqlIs(At(a), L"ALL")))
            ++a;
        if (a < m_sig.size() && SqlIs(At(a), L"TOP")) {
            ++a;
            if (a < m_sig.size() && SqlIsPunct(At(a), L"("))
                a = LevelEnd(a + 1, std::initializer_list<const wchar_t*>{});
            ++a;
            while (a < m_sig.size() &&
                   (SqlIs(At(a), L"PERCENT") || SqlIs(At(a), L"WITH") || SqlIs(At(a), L"TIES")))
                ++a;
        }
        return a;
    }

    // The expressions of the select list whose items start at a, each [first, end) without its
    // alias ("x AS a", "x a", "a = x"); an item "*" or "t.*" is an empty range.
    std::vector<std::pair<size_t, size_t>> Items(size_t a) const {
        static const wchar_t* const kItemEnds[] = {
            L"FROM",  L"INTO",   L"WHERE",     L"GROUP",  L"ORDER", L"HAVING",
            L"UNION", L"EXCEPT", L"INTERSECT", L"OPTION", L"FOR",   L"END",
            L"ELSE",  L"WHEN",   L"THEN",      L"LIMIT",  L"SELECT"};
        std::vector<std::pair<size_t, size_t>> items;
        while (a < m_sig.size()) {
            size_t b = LevelEnd(a, kItemEnds);
            size_t e = b;
            if (b >= a + 2 && SqlIsNamePart(At(a)) && SqlIsPunct(At(a + 1), L"="))
                a += 2;
            else if (b >= a + 3 && SqlIsNamePart(At(b - 1)) && SqlIs(At(b - 2), L"AS"))
                e = b - 2;
            else if (b >= a + 2 && SqlIsNamePart(At(b - 1)) && !SqlIs(At(b - 1), L"END") &&
                     (SqlIsPunct(At(b - 2), L")") || SqlIs(At(b - 2), L"END") ||
                      SqlIsNamePart(At(b - 2)) || At(b - 2).nKind == SqlTok::kString ||
                      At(b - 2).nKind == SqlTok::kNString || At(b - 2).nKind == SqlTok::kNumber))
                e = b - 1;
            if (e > a && SqlIsPunct(At(e - 1), L"*"))
                e = a;
            items.emplace_back(a, e);
            if (b >= m_sig.size() || !SqlIsPunct(At(b), L","))
                break;
            a = b + 1;
        }
        return items;
    }

    // SELECT DISTINCT: each item that is an expression compares with the default collation.
    void Distinct(size_t p, std::vector<CSpot>* pSpots) const {
        for (const auto& item : Items(ItemsStart(p - 1)))
            if (item.second > item.first && !Settled(item.first, item.second))
                pSpots->push_back({m_sig[item.second - 1], item.first, item.second, {}});
    }

    // The argument starting at a of MIN, MAX or an aggregate of DISTINCT values: an expression
    // orders and compares with the default collation.
    void Aggregate(size_t a, std::vector<CSpot>* pSpots) const {
        size_t e = LevelEnd(a, std::initializer_list<const wchar_t*>{});
        if (e < m_sig.size() && SqlIsPunct(At(e), L")") && e > a && !Settled(a, e) &&
            !SqlIsPunct(At(e - 1), L"*"))
            pSpots->push_back({m_sig[e - 1], a, e, {}});
    }

    // UNION, EXCEPT or INTERSECT at p, which compare whole rows: SQLite takes each column's
    // collation from the first query of the compound that has one, so a column that is an
    // expression in every query gets the default collation in the first.
    void Compound(size_t p, std::vector<CSpot>* pSpots) const {
        // The compound's level: back to the group it stands in, or the statement's start.
        size_t nBegin = p;
        for (int nDepth = 0; nBegin > 0; --nBegin) {
            const CSqlToken& t = At(nBegin - 1);
            if (SqlIsPunct(t, L")"))
                ++nDepth;
            else if (SqlIsPunct(t, L"(") && nDepth-- == 0)
                break;
        }
        // Its queries: the SELECTs at that level.
        std::vector<std::vector<std::pair<size_t, size_t>>> queries;
        int nDepth = 0;
        for (size_t r = nBegin; r < m_sig.size() && nDepth >= 0; ++r) {
            const CSqlToken& t = At(r);
            if (SqlIsPunct(t, L"("))
                ++nDepth;
            else if (SqlIsPunct(t, L")"))
                --nDepth;
            else if (nDepth == 0 && SqlIsPunct(t, L";"))
                break;
            else if (nDepth == 0 && SqlIs(t, L"SELECT"))
                queries.push_back(Items(ItemsStart(r)));
        }
        if (queries.size() < 2)
            return;
        for (const auto& items : queries)
            for (const auto& item : items)
                if (item.second == item.first)
                    return; // a star: the columns cannot be matched here
        for (size_t i = 0; i < queries[0].size(); ++i) {
            bool bSettled = false;
            for (const auto& items : queries)
                if (i < items.size() && (PlainColumn(items[i].first, items[i].second) ||
                                         HasCollate(items[i].first, items[i].second)))
                    bSettled = true;
            if (bSettled)
                continue;
            CSpot spot{
                m_sig[queries[0][i].second - 1], queries[0][i].first, queries[0][i].second, {}};
            for (size_t q = 1; q < queries.size(); ++q)
                if (i < queries[q].size())
                    spot.others.push_back(queries[q][i]);
            pSpots->push_back(std::move(spot));
        }
    }

    // CASE x WHEN 'a' ...: x compares with each WHEN's value as a comparison would, so an
    // expression x takes the default collation unless a WHEN's value brings a collation of its
    // own (a column, an explicit COLLATE).
    void SimpleCase(size_t p, std::vector<CSpot>* pSpots) const {
        static const wchar_t* const kWhen[] = {L"WHEN", L"THEN", L"ELSE", L"END"};
        if (p + 1 >= m_sig.size() || SqlIs(At(p + 1), L"WHEN"))
            return; // the searched form: its conditions are comparisons
        const size_t e = LevelEnd(p + 1, kWhen);
        if (e >= m_sig.size() || !SqlIs(At(e), L"WHEN") || Settled(p + 1, e))
            return;
        for (size_t w = e; w < m_sig.size() && SqlIs(At(w), L"WHEN");) {
            size_t t = LevelEnd(w + 1, kWhen);
            if (PlainColumn(w + 1, t) || HasCollate(w + 1, t))
                return;
            if (t >= m_sig.size() || !SqlIs(At(t), L"THEN"))
                break;
            w = LevelEnd(t + 1, kWhen);
        }
        pSpots->push_back({m_sig[e - 1], p + 1, e, {}});
    }

    // What ORDER BY may refer to in the select list: the aliases of expressions (lowered), and
    // for each item whether it is an expression (for ORDER BY 2).
    struct CSelectList {
        std::vector<std::wstring> aliases;            // of expressions, lowered
        std::vector<size_t> aliased;                  // the item each alias names
        std::vector<std::pair<size_t, size_t>> items; // each item's expression; empty: none
    };

    // The terms of the ORDER BY or GROUP BY at p that are expressions or their aliases, or the
    // numbers of expressions.
    void Ordering(size_t p, std::vector<CSpot>* pSpots) const {
        // A compound's result columns have the collations its queries give them together (see
        // Compound): the last query's alone do not decide an alias or number.
        bool bCompound = false;
        for (size_t k = p, nDepth = 0; k-- > 0 && !bCompound;) {
            if (SqlIsPunct(At(k), L")"))
                ++nDepth;
            else if (SqlIsPunct(At(k), L"(") && nDepth-- == 0)
                break;
            else if (nDepth == 0 && (SqlIs(At(k), L"UNION") || SqlIs(At(k), L"EXCEPT") ||
                                     SqlIs(At(k), L"INTERSECT")))
                bCompound = true;
        }
        const CSelectList list = bCompound ? CSelectList() : SelectList(p);
        size_t a = p + 2;
        int nDepth = 0;
        for (size_t r = a; r <= m_sig.size(); ++r) {
            bool bEnd = r == m_sig.size();
            if (!bEnd) {
                const CSqlToken& t = At(r);
                if (SqlIsPunct(t, L"(") || SqlIs(t, L"CASE")) { // a term's own level
                    ++nDepth;
                    continue;
                }
                if ((SqlIsPunct(t, L")") || (nDepth > 0 && SqlIs(t, L"END"))) && nDepth-- > 0)
                    continue;
                bEnd = nDepth < 0 ||
                       (nDepth == 0 && (SqlIsPunct(t, L";") || SqlIsOneOf(t, kListEnds)));
                if (!bEnd && !(nDepth == 0 && SqlIsPunct(t, L",")))
                    continue;
            }
            // The term [a, r) without its ASC, DESC or NULLS FIRST / LAST.
            size_t e = r;
            while (e > a && (SqlIs(At(e - 1), L"ASC") || SqlIs(At(e - 1), L"DESC") ||
                             SqlIs(At(e - 1), L"FIRST") || SqlIs(At(e - 1), L"LAST") ||
                             SqlIs(At(e - 1), L"NULLS")))
                --e;
            // An alias or number names an item's expression, whose columns decide.
            const std::pair<size_t, size_t>* pNamed = nullptr;
            if (e == a + 1 && SqlIsNamePart(At(a))) {
                const std::wstring strName = SqlLower(SqlNameOf(At(a)));
                for (size_t n = 0; n < list.aliases.size() && !pNamed; ++n)
                    if (list.aliases[n] == strName)
                        pNamed = &list.items[list.aliased[n]];
            }
            bool bNumber = e == a + 1 && At(a).nKind == SqlTok::kNumber;
            if (bNumber) {
                size_t n = std::wcstoul(At(a).strText.Str().c_str(), nullptr, 10);
                if (n >= 1 && n <= list.items.size() &&
                    list.items[n - 1].second > list.items[n - 1].first)
                    pNamed = &list.items[n - 1];
            }
            if (pNamed && !HasCollate(pNamed->first, pNamed->second))
                pSpots->push_back({m_sig[e - 1], pNamed->first, pNamed->second, {}});
            else if (e > a && !bNumber && !Settled(a, e))
                pSpots->push_back({m_sig[e - 1], a, e, {}});
            if (bEnd)
                return;
            a = r + 1;
        }
    }

    // The select list of the query that p ends.
    CSelectList SelectList(size_t p) const {
        CSelectList list;
        // The query's SELECT: back at the same depth.
        size_t s = p;
        int nDepth = 0;
        for (;;) {
            if (s == 0)
                return list;
            const CSqlToken& t = At(--s);
            if (SqlIsPunct(t, L")"))
                ++nDepth;
            else if (SqlIsPunct(t, L"(") && nDepth-- == 0)
                return list;
            else if (nDepth == 0 && SqlIs(t, L"SELECT"))
                break;
        }
        size_t a = std::min(ItemsStart(s), p);
        size_t nItem = a;
        nDepth = 0;
        for (size_t r = a; r <= p; ++r) {
            if (r < p) {
                const CSqlToken& t = At(r);
                if (SqlIsPunct(t, L"(")) {
                    ++nDepth;
                    continue;
                }
                if (SqlIsPunct(t, L")")) {
                    --nDepth;
                    continue;
                }
                if (nDepth == 0 && SqlIsPunct(t, L",")) {
                    Item(nItem, r, &list);
                    nItem = r + 1;
                    continue;
                }
                if (!(nDepth == 0 && (SqlIs(t, L"FROM") || SqlIs(t, L"INTO"))))
                    continue;
            }
            Item(nItem, r, &list);
            break;
        }
        return list;
    }

    // The select item [a, b): whether it is an expression, and its alias when it names one.
    void Item(size_t a, size_t b, CSelectList* pList) const {
        size_t nExprBegin = a, nExprEnd = b;
        std::wstring strAlias;
        if (b >= a + 2 && SqlIsNamePart(At(a)) && SqlIsPunct(At(a + 1), L"=")) {
            strAlias = SqlNameOf(At(a)); // alias = expression
            nExprBegin = a + 2;
        } else if (b >= a + 2 && SqlIsNamePart(At(b - 1))) {
            const CSqlToken& before = At(b - 2);
            if (SqlIs(before, L"AS"))
                nExprEnd = b - 2;
            else if (SqlIsPunct(before, L")") || before.nKind == SqlTok::kString ||
                     before.nKind == SqlTok::kNString || before.nKind == SqlTok::kNumber ||
                     SqlIs(before, L"END") || SqlIsNamePart(before))
                nExprEnd = b - 1;
            if (nExprEnd < b)
                strAlias = SqlNameOf(At(b - 1));
        }
        bool bStar = nExprEnd > nExprBegin && SqlIsPunct(At(nExprEnd - 1), L"*");
        bool bExpression = nExprEnd > nExprBegin && !bStar && !PlainColumn(nExprBegin, nExprEnd);
        if (bExpression && !strAlias.empty()) {
            pList->aliases.push_back(SqlLower(strAlias));
            pList->aliased.push_back(pList->items.size());
        }
        pList->items.emplace_back(nExprBegin, bExpression ? nExprEnd : nExprBegin);
    }

    const CSqlTokens& m_t;
    std::vector<size_t> m_sig; // the significant tokens
};

} // namespace

namespace {

// Whether the comparison at i has a lone column on its left ("WHERE id = 5", "AND t.a < b"):
// then the column's collation decides, and nothing is to be written.
bool ColumnOnTheLeft(const CSqlTokens& t, size_t nBegin, size_t i) {
    auto before = [&](size_t k) {
        while (k > nBegin && SqlIsBlank(t[k - 1]))
            --k;
        return k > nBegin ? k - 1 : std::wstring::npos;
    };
    size_t k = before(i);
    if (k == std::wstring::npos || !SqlIsNamePart(t[k]) ||
        (t[k].nKind == SqlTok::kWord && (t[k].strText[0] == L'@' || SqlIs(t[k], L"NULL"))))
        return false;
    for (;;) {
        size_t j = before(k);
        if (j == std::wstring::npos)
            return false;
        if (SqlIsPunct(t[j], L".")) {
            k = before(j);
            if (k == std::wstring::npos || !SqlIsNamePart(t[k]))
                return false;
            continue;
        }
        return SqlIsPunct(t[j], L"(") || SqlIsOneOf(t[j], kConditionStarts);
    }
}

} // namespace

bool SqlCollateExpressions(const CSqlTokens& tokens, size_t nBegin, size_t nEnd,
                           const wchar_t* pszCollation, const CSqlNameCollations& collations,
                           CSqlTokens* pOut) {
    // Most statements compare columns only: find that out without building anything.
    bool bCandidate = false;
    for (size_t i = nBegin; i < nEnd && !bCandidate; ++i) {
        const CSqlToken& t = tokens[i];
        bCandidate = t.nKind == SqlTok::kPunct
                         ? SqlIsComparison(t) && !ColumnOnTheLeft(tokens, nBegin, i)
                         : SqlIsOneOf(t, {L"IN", L"BETWEEN", L"BY", L"DISTINCT", L"CASE", L"UNION",
                                          L"EXCEPT", L"INTERSECT", L"MIN", L"MAX"});
    }
    if (!bCandidate)
        return false;
    CCollator collator(tokens, nBegin, nEnd);
    std::vector<CSpot> spots = collator.Spots();
    if (spots.empty())
        return false;
    std::stable_sort(spots.begin(), spots.end());
    pOut->clear();
    pOut->reserve(nEnd - nBegin + 4 * spots.size());
    size_t s = 0;
    for (size_t i = nBegin; i < nEnd; ++i) {
        pOut->push_back(tokens[i]);
        if (s == spots.size() || spots[s].nAfter != i)
            continue;
        std::wstring strCollation = collator.ColumnCollation(spots[s], collations);
        pOut->push_back({SqlTok::kSpace, L" ", std::wstring::npos});
        pOut->push_back({SqlTok::kWord, L"COLLATE", std::wstring::npos});
        pOut->push_back({SqlTok::kSpace, L" ", std::wstring::npos});
        pOut->push_back({SqlTok::kWord, strCollation.empty() ? pszCollation : strCollation,
                         std::wstring::npos});
        while (s < spots.size() && spots[s].nAfter == i)
            ++s;
    }
    return true;
}
