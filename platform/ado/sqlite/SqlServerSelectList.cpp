#include "platform/ado/sqlite/SqlServerSelectList.h"

#include <string>
#include <vector>

namespace {

// Words after which a trailing name is part of the expression, not its alias.
const wchar_t* const kNotBeforeAlias[] = {
    L"AND",  L"OR",   L"NOT", L"IS",      L"COLLATE", L"CASE", L"WHEN",   L"THEN",
    L"ELSE", L"LIKE", L"IN",  L"BETWEEN", L"ESCAPE",  L"AS",   L"SELECT", L"DISTINCT"};
// Words that end an expression but are no alias.
const wchar_t* const kNotAnAlias[] = {L"END", L"NULL"};
// Words that end the select list at its own level.
const wchar_t* const kListEnd[] = {L"FROM",   L"INTO",  L"WHERE",     L"GROUP", L"ORDER",
                                   L"HAVING", L"UNION", L"EXCEPT",    L"FOR",   L"OPTION",
                                   L"WINDOW", L"LIMIT", L"INTERSECT", L"OFFSET"};

bool IsName(const CSqlToken& t) {
    return t.nKind == SqlTok::kQuoted || (t.nKind == SqlTok::kWord && t.strText[0] != L'@');
}

// The significant tokens of an item.
std::vector<size_t> Significant(const CSqlTokens& t, size_t nBegin, size_t nEnd) {
    std::vector<size_t> v;
    for (size_t i = nBegin; i < nEnd; ++i)
        if (!SqlIsBlank(t[i]))
            v.push_back(i);
    return v;
}

// a, a.b, [a].[b].c, *, a.*: SQLite names these as SQL Server does; a lone number or string
// the bridge leaves as it is, SQLite names by its text.
bool IsPlainColumn(const CSqlTokens& t, const std::vector<size_t>& s) {
    if (s.size() == 1 &&
        (t[s[0]].nKind == SqlTok::kString ||
         (t[s[0]].nKind == SqlTok::kNumber && t[s[0]].strText.compare(0, 2, L"0x") != 0 &&
          t[s[0]].strText.compare(0, 2, L"0X") != 0)))
        return true;
    for (size_t k = 0; k < s.size(); ++k) {
        const CSqlToken& tok = t[s[k]];
        bool bPart = k % 2 == 0 ? IsName(tok) || (k + 1 == s.size() && SqlIsPunct(tok, L"*"))
                                : SqlIsPunct(tok, L".");
        if (!bPart)
            return false;
    }
    return s.size() % 2 == 1;
}

bool HasAlias(const CSqlTokens& t, const std::vector<size_t>& s) {
    if (s.size() < 2)
        return false;
    const CSqlToken& last = t[s.back()];
    const CSqlToken& before = t[s[s.size() - 2]];
    if (!(IsName(last) || last.nKind == SqlTok::kString || last.nKind == SqlTok::kNString) ||
        SqlIsOneOf(last, kNotAnAlias))
        return false;
    if (SqlIs(before, L"AS"))
        return true;
    // Juxtaposed: "COUNT(*) n", "2 c", "a b"; not "x.y", "1 + a", "CASE ... ELSE b".
    if (SqlIsPunct(before, L")") || before.nKind == SqlTok::kNumber ||
        before.nKind == SqlTok::kString || before.nKind == SqlTok::kNString)
        return true;
    return IsName(before) && !SqlIsOneOf(before, kNotBeforeAlias);
}

std::wstring SourceText(const CSqlTokens& t, size_t nBegin, size_t nEnd) {
    std::wstring s;
    for (size_t i = nBegin; i < nEnd; ++i) {
        if (t[i].nKind == SqlTok::kNString)
            s += L'N';
        s += t[i].strText;
    }
    return s;
}

void Append(CSqlTokens* pOut, SqlTok nKind, std::wstring strText, size_t nOffset) {
    pOut->push_back({nKind, std::move(strText), nOffset});
}

} // namespace

bool SqlNameSelectItems(const CSqlTokens& t, size_t nSelect, size_t nEnd, CSqlTokens* pNamed,
                        size_t* pnNamedEnd) {
    CSqlCursor c(t, nSelect, nEnd);
    c.Advance(); // SELECT
    c.Accept(L"DISTINCT") || c.Accept(L"ALL");
    if (c.Accept(L"TOP")) {
        c.Step();
        c.Accept(L"PERCENT");
        if (c.IsWord(L"WITH") && c.PeekNext() && SqlIs(*c.PeekNext(), L"TIES"))
            c.Advance(), c.Advance();
    }
    // The items: [begin, end) of each, split at commas of the list's own level.
    std::vector<std::pair<size_t, size_t>> items;
    size_t nItem = c.Pos(), nListEnd = nEnd;
    while (!c.AtEnd()) {
        if (SqlIsOneOf(c.Peek(), kListEnd) || c.IsPunct(L";")) {
            nListEnd = c.Pos();
            break;
        }
        if (c.IsPunct(L",")) {
            items.push_back({nItem, c.Pos()});
            c.Advance();
            nItem = c.Pos();
            continue;
        }
        c.Step();
    }
    if (c.AtEnd())
        nListEnd = nEnd;
    items.push_back({nItem, nListEnd});

    // What each item becomes: kept, aliased with its text, or turned from alias = expression.
    struct CChange {
        size_t nBegin, nEnd; // the item's significant tokens span this
        size_t nEqual;       // the '=' of "alias = expression", or 0
        std::wstring strAlias;
    };
    std::vector<CChange> changes;
    for (const auto& [nFrom, nTo] : items) {
        std::vector<size_t> s = Significant(t, nFrom, nTo);
        if (s.empty() || IsPlainColumn(t, s))
            continue;
        const CSqlToken& first = t[s[0]];
        bool bEqualsForm = s.size() >= 3 && SqlIsPunct(t[s[1]], L"=") &&
                           (IsName(first) || first.nKind == SqlTok::kString);
        if (bEqualsForm) {
            changes.push_back({s[0], s.back() + 1, s[1], SqlNameOf(first)});
            if (first.nKind == SqlTok::kString)
                changes.back().strAlias = SqlStringValue(first);
            continue;
        }
        if (first.nKind == SqlTok::kWord && first.strText[0] == L'@' && s.size() >= 2 &&
            SqlIsPunct(t[s[1]], L"="))
            continue; // @v = expression assigns; it names no column
        if (HasAlias(t, s))
            continue;
        changes.push_back({s[0], s.back() + 1, 0, SourceText(t, s[0], s.back() + 1)});
    }
    if (changes.empty())
        return false;

    CSqlTokens out;
    out.reserve(t.size() + 4 * changes.size());
    size_t nNext = 0;
    for (const CChange& ch : changes) {
        out.insert(out.end(), t.begin() + static_cast<std::ptrdiff_t>(nNext),
                   t.begin() + static_cast<std::ptrdiff_t>(ch.nBegin));
        size_t nExpr = ch.nBegin;
        if (ch.nEqual) {
            nExpr = ch.nEqual + 1;
            while (nExpr < ch.nEnd && SqlIsBlank(t[nExpr]))
                ++nExpr;
        }
        out.insert(out.end(), t.begin() + static_cast<std::ptrdiff_t>(nExpr),
                   t.begin() + static_cast<std::ptrdiff_t>(ch.nEnd));
        size_t nAt = t[ch.nEnd - 1].nOffset + t[ch.nEnd - 1].strText.size();
        Append(&out, SqlTok::kSpace, L" ", nAt);
        Append(&out, SqlTok::kWord, L"AS", nAt);
        Append(&out, SqlTok::kSpace, L" ", nAt);
        Append(&out, SqlTok::kQuoted, SqlQuote(ch.strAlias, L'"'), nAt);
        nNext = ch.nEnd;
    }
    *pnNamedEnd = out.size() + (nEnd - nNext);
    out.insert(out.end(), t.begin() + static_cast<std::ptrdiff_t>(nNext), t.end());
    *pNamed = std::move(out);
    return true;
}
