#include "platform/ado/sqlite/SqlServerExpressionCollation.h"

#include <algorithm>
#include <cwchar>
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

class CCollator {
public:
    CCollator(const CSqlTokens& tokens, size_t nBegin, size_t nEnd) : m_t(tokens) {
        m_sig.reserve(nEnd - nBegin);
        for (size_t i = nBegin; i < nEnd; ++i)
            if (!SqlIsBlank(tokens[i]))
                m_sig.push_back(i);
    }

    // The source tokens after which the collation goes, in order.
    std::vector<size_t> Spots() {
        static const CSqlWordSet ends(kOperandEnds);
        std::vector<size_t> spots;
        for (size_t p = 0; p < m_sig.size(); ++p) {
            const CSqlToken& t = At(p);
            if (t.nKind == SqlTok::kPunct) {
                if (SqlIsComparison(t))
                    Comparison(p, true, ends, &spots);
            } else if (t.nKind == SqlTok::kWord) {
                if ((SqlIs(t, L"IN") && p + 1 < m_sig.size() && SqlIsPunct(At(p + 1), L"(")) ||
                    SqlIs(t, L"BETWEEN"))
                    Comparison(p, false, ends, &spots);
                else if ((SqlIs(t, L"ORDER") || SqlIs(t, L"GROUP") || SqlIs(t, L"PARTITION")) &&
                         p + 1 < m_sig.size() && SqlIs(At(p + 1), L"BY"))
                    Ordering(p, &spots);
            }
        }
        return spots;
    }

private:
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
                    std::vector<size_t>* pSpots) const {
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
        if (bBothSides) {
            size_t r = p + 1;
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
        pSpots->push_back(m_sig[nOp - 1]);
    }

    // What ORDER BY may refer to in the select list: the aliases of expressions (lowered), and
    // for each item whether it is an expression (for ORDER BY 2).
    struct CSelectList {
        std::vector<std::wstring> aliases;
        std::vector<bool> expressions;
    };

    // The terms of the ORDER BY or GROUP BY at p that are expressions or their aliases, or the
    // numbers of expressions.
    void Ordering(size_t p, std::vector<size_t>* pSpots) const {
        const CSelectList list = SelectList(p);
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
            bool bAlias = e == a + 1 && SqlIsNamePart(At(a)) &&
                          Contains(list.aliases, SqlLower(SqlNameOf(At(a))));
            bool bNumber = e == a + 1 && At(a).nKind == SqlTok::kNumber;
            if (bNumber) {
                size_t n = std::wcstoul(At(a).strText.Str().c_str(), nullptr, 10);
                bAlias = n >= 1 && n <= list.expressions.size() && list.expressions[n - 1];
            }
            if (e > a && (bAlias || (!bNumber && !Settled(a, e))))
                pSpots->push_back(m_sig[e - 1]);
            if (bEnd)
                return;
            a = r + 1;
        }
    }

    static bool Contains(const std::vector<std::wstring>& v, const std::wstring& s) {
        for (const std::wstring& x : v)
            if (x == s)
                return true;
        return false;
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
        size_t a = s + 1;
        while (a < p && (SqlIs(At(a), L"DISTINCT") || SqlIs(At(a), L"ALL")))
            ++a;
        if (a < p && SqlIs(At(a), L"TOP")) { // TOP n | TOP (n) [PERCENT] [WITH TIES]
            ++a;
            if (a < p && SqlIsPunct(At(a), L"(")) {
                for (int n = 0; a < p; ++a)
                    if (SqlIsPunct(At(a), L"("))
                        ++n;
                    else if (SqlIsPunct(At(a), L")") && --n == 0)
                        break;
            }
            ++a;
            while (a < p &&
                   (SqlIs(At(a), L"PERCENT") || SqlIs(At(a), L"WITH") || SqlIs(At(a), L"TIES")))
                ++a;
        }
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
        pList->expressions.push_back(bExpression);
        if (bExpression && !strAlias.empty())
            pList->aliases.push_back(SqlLower(strAlias));
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
                           const wchar_t* pszCollation, CSqlTokens* pOut) {
    // Most statements compare columns only: find that out without building anything.
    bool bCandidate = false;
    for (size_t i = nBegin; i < nEnd && !bCandidate; ++i) {
        const CSqlToken& t = tokens[i];
        bCandidate = t.nKind == SqlTok::kPunct
                         ? SqlIsComparison(t) && !ColumnOnTheLeft(tokens, nBegin, i)
                         : SqlIs(t, L"IN") || SqlIs(t, L"BETWEEN") || SqlIs(t, L"BY");
    }
    if (!bCandidate)
        return false;
    std::vector<size_t> spots = CCollator(tokens, nBegin, nEnd).Spots();
    if (spots.empty())
        return false;
    std::sort(spots.begin(), spots.end());
    spots.erase(std::unique(spots.begin(), spots.end()), spots.end());
    pOut->clear();
    pOut->reserve(nEnd - nBegin + 4 * spots.size());
    size_t s = 0;
    for (size_t i = nBegin; i < nEnd; ++i) {
        pOut->push_back(tokens[i]);
        for (; s < spots.size() && spots[s] == i; ++s) {
            pOut->push_back({SqlTok::kSpace, L" ", std::wstring::npos});
            pOut->push_back({SqlTok::kWord, L"COLLATE", std::wstring::npos});
            pOut->push_back({SqlTok::kSpace, L" ", std::wstring::npos});
            pOut->push_back({SqlTok::kWord, pszCollation, std::wstring::npos});
        }
    }
    return true;
}
