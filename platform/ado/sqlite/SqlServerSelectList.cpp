#include "platform/ado/sqlite/SqlServerSelectList.h"

#include <algorithm>
#include <cwchar>
#include <cwctype>
#include <string>
#include <vector>

#include "platform/ado/sqlite/SqlServerConvert.h"
#include "platform/win/TextEncoding.h"

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

// The significant tokens of an item, into *pOut.
void Significant(const CSqlTokens& t, size_t nBegin, size_t nEnd, std::vector<size_t>* pOut) {
    pOut->clear();
    for (size_t i = nBegin; i < nEnd; ++i)
        if (!SqlIsBlank(t[i]))
            pOut->push_back(i);
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
    size_t nLength = 0;
    for (size_t i = nBegin; i < nEnd; ++i)
        nLength += t[i].strText.size() + 1;
    s.reserve(nLength);
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

namespace {

// What an item of the outermost select list becomes.
struct CChange {
    size_t nItem;        // its place in the list
    size_t nBegin, nEnd; // the item's significant tokens span this
    size_t nEqual;       // the '=' of "alias = expression", or 0
    std::wstring strAlias;
};

// The changes the outermost select list of the SELECT at token nSelect needs; *pnItems is how
// many items it has. With pPlan, its expressions are noted there for typing.
std::vector<CChange> Analyse(const CSqlTokens& t, size_t nSelect, size_t nEnd, size_t* pnItems,
                             CSqlSelectNames* pPlan = nullptr) {
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
    items.reserve(16);
    size_t nItem = c.Pos(), nListEnd = nEnd;
    while (!c.AtEnd()) {
        const CSqlToken& tok = c.Peek();
        if ((tok.nKind == SqlTok::kWord && SqlIsOneOf(tok, kListEnd)) || c.IsPunct(L";")) {
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
    *pnItems = items.size();

    // Each list grows once, at its first entry: most select lists need neither.
    std::vector<CChange> changes;
    auto change = [&](CChange ch) {
        if (changes.empty())
            changes.reserve(items.size());
        changes.push_back(std::move(ch));
    };
    std::vector<size_t> s;
    s.reserve(32);
    auto expression = [&](size_t nItem, size_t nBegin, size_t nExprEnd) {
        if (pPlan && pPlan->expressions.empty())
            pPlan->expressions.reserve(items.size());
        if (pPlan)
            pPlan->expressions.push_back({nItem, nBegin, nExprEnd});
    };
    for (size_t k = 0; k < items.size(); ++k) {
        Significant(t, items[k].first, items[k].second, &s);
        if (s.empty() || IsPlainColumn(t, s)) {
            if (!s.empty() && SqlIsPunct(t[s.back()], L"*"))
                if (pPlan)
                    pPlan->bStar = true;
            continue;
        }
        const CSqlToken& first = t[s[0]];
        bool bEqualsForm = s.size() >= 3 && SqlIsPunct(t[s[1]], L"=") &&
                           (IsName(first) || first.nKind == SqlTok::kString);
        if (bEqualsForm) {
            expression(k, s[2], s.back() + 1);
            change({k, s[0], s.back() + 1, s[1],
                    first.nKind == SqlTok::kString ? SqlStringValue(first) : SqlNameOf(first)});
            continue;
        }
        if (first.nKind == SqlTok::kWord && first.strText[0] == L'@' && s.size() >= 2 &&
            SqlIsPunct(t[s[1]], L"="))
            continue; // @v = expression assigns; it names no column
        if (HasAlias(t, s)) {
            size_t nAliasParts = SqlIs(t[s[s.size() - 2]], L"AS") ? 2 : 1;
            if (s.size() > nAliasParts)
                expression(k, s[0], s[s.size() - nAliasParts - 1] + 1);
            continue;
        }
        expression(k, s[0], s.back() + 1);
        change({k, s[0], s.back() + 1, 0, SourceText(t, s[0], s.back() + 1)});
    }
    if (pPlan)
        pPlan->nItems = items.size();
    return changes;
}

// The translated text's outermost select list: where each item's last significant character
// ends. Empty when the text is not a SELECT this can read.
bool IsAsciiWordChar(wchar_t c) {
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') ||
           c == L'_' || c == L'@' || c == L'#' || c == L'$';
}

std::vector<size_t> TranslatedItemEnds(const std::wstring& s) {
    std::vector<size_t> ends;
    ends.reserve(16);
    size_t i = 0, n = s.size();
    // The word at i: its end, and whether it is one of the keywords (ASCII, any case).
    auto wordEnd = [&](size_t at) {
        size_t j = at;
        while (j < n && (s[j] >= 0x80 || IsAsciiWordChar(s[j])))
            ++j;
        return j;
    };
    auto is = [&](size_t at, size_t end, const wchar_t* pszKeyword) {
        // Keywords are ASCII letters: folding by one bit compares them in either case.
        size_t k = 0;
        for (; at + k < end; ++k)
            if (pszKeyword[k] == 0 || (s[at + k] | 0x20) != (pszKeyword[k] | 0x20))
                return false;
        return pszKeyword[k] == 0;
    };
    auto skipBlanks = [&]() {
        for (;;) {
            while (i < n && (s[i] == L' ' || (s[i] >= L'\t' && s[i] <= L'\r') ||
                             (s[i] >= 0x80 && iswspace(static_cast<wint_t>(s[i])))))
                ++i;
            if (i + 1 < n && s[i] == L'-' && s[i + 1] == L'-') {
                size_t j = s.find(L'\n', i);
                i = j == std::wstring::npos ? n : j;
            } else if (i + 1 < n && s[i] == L'/' && s[i + 1] == L'*') {
                size_t j = s.find(L"*/", i + 2);
                i = j == std::wstring::npos ? n : j + 2;
            } else {
                return;
            }
        }
    };
    skipBlanks();
    size_t nWordEnd = wordEnd(i);
    if (!is(i, nWordEnd, L"SELECT"))
        return {};
    i = nWordEnd;
    skipBlanks();
    nWordEnd = wordEnd(i);
    if (is(i, nWordEnd, L"DISTINCT") || is(i, nWordEnd, L"ALL"))
        i = nWordEnd;
    int nDepth = 0;
    size_t nLast = 0; // just after the current item's last significant character
    while (true) {
        skipBlanks();
        if (i >= n || (nDepth == 0 && s[i] == L';')) {
            ends.push_back(nLast);
            return ends;
        }
        wchar_t ch = s[i];
        if (ch == L'\'' || ch == L'"' || ch == L'`' || ch == L'[') {
            wchar_t close = ch == L'[' ? L']' : ch;
            size_t j = i + 1; // a doubled closing quote stands for one
            while (j < n && !(s[j] == close && !(j + 1 < n && s[j + 1] == close)))
                j += s[j] == close ? 2 : 1;
            if (j >= n)
                return {};
            i = nLast = j + 1;
        } else if (ch == L'(') {
            ++nDepth, nLast = ++i;
        } else if (ch == L')') {
            if (--nDepth < 0)
                return {};
            nLast = ++i;
        } else if (ch == L',' && nDepth == 0) {
            ends.push_back(nLast);
            ++i;
        } else if (iswalpha(static_cast<wint_t>(ch)) || ch == L'_' || ch == L'@' || ch == L'#' ||
                   ch >= 0x80) {
            nWordEnd = wordEnd(i);
            bool bEnd = false;
            const wchar_t chFirst = s[i] | 0x20;
            if (nDepth == 0 && nWordEnd - i >= 3 && nWordEnd - i <= 9)
                for (const wchar_t* k : kListEnd)
                    if ((k[0] | 0x20) == chFirst && is(i, nWordEnd, k)) {
                        bEnd = true;
                        break;
                    }
            if (nDepth == 0 && bEnd) {
                ends.push_back(nLast);
                return ends;
            }
            i = nLast = nWordEnd;
        } else {
            nLast = ++i;
        }
    }
}

} // namespace

bool SqlPlanSelectNames(const CSqlTokens& tokens, size_t nSelect, size_t nEnd,
                        CSqlSelectNames* pPlan) {
    int nLevel = 0;
    for (size_t i = nSelect + 1; i < nEnd && i < tokens.size(); ++i) {
        nLevel += SqlIsPunct(tokens[i], L"(") ? 1 : SqlIsPunct(tokens[i], L")") ? -1 : 0;
        pPlan->bCompound =
            pPlan->bCompound ||
            (nLevel == 0 && SqlIsOneOf(tokens[i], {L"UNION", L"EXCEPT", L"INTERSECT"}));
        pPlan->bNested = pPlan->bNested || SqlIs(tokens[i], L"SELECT");
    }
    size_t nItems = 0;
    std::vector<CChange> changes = Analyse(tokens, nSelect, nEnd, &nItems, pPlan);
    if (changes.empty())
        return false;
    pPlan->bRewriteTokens = false;
    pPlan->aliases.assign(nItems, std::wstring());
    for (CChange& ch : changes) {
        pPlan->bRewriteTokens = pPlan->bRewriteTokens || ch.nEqual != 0;
        pPlan->nUnnamed += ch.nEqual == 0;
        pPlan->aliases[ch.nItem] = std::move(ch.strAlias);
    }
    return true;
}

void SqlAddSelectAliases(const std::vector<std::wstring>& aliases, std::wstring* pSql) {
    std::vector<size_t> ends = TranslatedItemEnds(*pSql);
    if (ends.size() != aliases.size())
        return; // the translation's list does not match the host's one to one
    // Written into a new text in one pass: inserting into the old one moved its tail each time.
    size_t nExtra = 0;
    for (const std::wstring& a : aliases)
        nExtra += a.empty() ? 0 : a.size() + 8;
    std::wstring out;
    out.reserve(pSql->size() + nExtra);
    size_t nFrom = 0;
    for (size_t k = 0; k < aliases.size(); ++k) {
        if (aliases[k].empty())
            continue;
        out.append(*pSql, nFrom, ends[k] - nFrom);
        out += L" AS ";
        out += SqlQuote(aliases[k], L'"');
        nFrom = ends[k];
    }
    out.append(*pSql, nFrom, std::wstring::npos);
    pSql->swap(out);
}

bool SqlNameSelectItems(const CSqlTokens& t, size_t nSelect, size_t nEnd, CSqlTokens* pNamed,
                        size_t* pnNamedEnd) {
    size_t nItems = 0;
    std::vector<CChange> changes = Analyse(t, nSelect, nEnd, &nItems);
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

void SqlTypeSelectItems(const CSqlTokens& tokens, const CSqlSelectNames& plan,
                        const CSqlNameTypes& names, std::vector<CSqlNumericType>* pTypes) {
    pTypes->clear();
    // A UNION's (EXCEPT's, INTERSECT's) first query does not decide its result's types.
    if (plan.bStar || plan.bCompound)
        return;
    for (const CSqlSelectNames::CExpression& e : plan.expressions) {
        CSqlNumericType type = SqlExpressionType(tokens, e.nBegin, e.nEnd, names);
        // Names are looked up among every table the statement has met: with a subquery, a
        // column's name may be another table's. A number's type read so is harmless as it was;
        // a bit's or a date's would change the values (and a bit's brings the int check).
        if (type.bOwnByName && plan.bNested)
            type = CSqlNumericType();
        if (!type.Known())
            continue;
        pTypes->resize(plan.nItems);
        (*pTypes)[e.nItem] = type;
    }
}

namespace {

// The type of a joined string: string literals and columns or variables of the character
// types joined by '+' (or one alone), each perhaps in UPPER, LOWER, LTRIM or RTRIM, as SQL
// Server types the result: varchar, or nvarchar when a part is national (char or nchar when
// every part is of fixed length), of the parts' lengths added up to the type's largest; empty
// for anything else ((max) parts, other calls, numbers).
std::wstring JoinedStringType(const CSqlTokens& t, size_t nBegin, size_t nEnd,
                              const CSqlNameTypes& names) {
    const int kVarcharMax = 8000, kNVarcharMax = 4000;
    std::vector<size_t> s;
    Significant(t, nBegin, nEnd, &s);
    long long nLength = 0;
    bool bNational = false, bVarying = false;
    for (size_t k = 0; k < s.size();) {
        // UPPER and LOWER keep their argument's type; the trims make a char varying.
        const bool bCall = k + 1 < s.size() && SqlIsPunct(t[s[k + 1]], L"(") &&
                           SqlIsOneOf(t[s[k]], {L"UPPER", L"LOWER", L"LTRIM", L"RTRIM"});
        if (bCall) {
            bVarying = bVarying || SqlIs(t[s[k]], L"LTRIM") || SqlIs(t[s[k]], L"RTRIM");
            k += 2;
            if (k == s.size())
                return std::wstring();
        }
        const CSqlToken& first = t[s[k]];
        if (first.nKind == SqlTok::kString || first.nKind == SqlTok::kNString) {
            bNational = bNational || first.nKind == SqlTok::kNString;
            bVarying = true;
            nLength += std::max<size_t>(1, SqlStringValue(first).size());
            ++k;
        } else if (first.nKind == SqlTok::kWord || first.nKind == SqlTok::kQuoted) {
            std::wstring strQualifier, strName = SqlNameOf(first);
            ++k;
            if (k + 1 < s.size() && SqlIsPunct(t[s[k]], L".") && IsName(t[s[k + 1]])) {
                strQualifier.swap(strName);
                strName = SqlNameOf(t[s[k + 1]]);
                k += 2;
            }
            CSqlDeclaredType type;
            if (!names(strQualifier, strName, &type) || !type.pRow || type.bMax ||
                type.pRow->nLength != 0 ||
                (type.pRow->nClass != SqlTypeClass::kChar &&
                 type.pRow->nClass != SqlTypeClass::kNChar))
                return std::wstring();
            bNational = bNational || type.pRow->nClass == SqlTypeClass::kNChar;
            bVarying = bVarying || !SqlIsFixedChar(type);
            nLength += type.nLength;
        } else {
            return std::wstring();
        }
        if (bCall) {
            if (k == s.size() || !SqlIsPunct(t[s[k]], L")"))
                return std::wstring();
            ++k;
        }
        if (k == s.size())
            break;
        if (!SqlIsPunct(t[s[k]], L"+") || ++k == s.size())
            return std::wstring();
    }
    if (s.empty())
        return std::wstring();
    // Fixed-length parts only join into a fixed-length string of their lengths.
    const long long nMax = bNational ? kNVarcharMax : kVarcharMax;
    return std::wstring(bNational ? L"n" : L"") + (bVarying ? L"varchar(" : L"char(") +
           std::to_wstring(std::min(nLength, nMax)) + L")";
}

} // namespace

void SqlTypeSelectIntoItems(const CSqlTokens& tokens, const CSqlSelectNames& plan,
                            const CSqlNameTypes& names, std::vector<std::wstring>* pTypes) {
    pTypes->clear();
    if (plan.bStar)
        return;
    pTypes->resize(plan.nItems);
    for (const CSqlSelectNames::CExpression& e : plan.expressions) {
        std::wstring& type = (*pTypes)[e.nItem];
        CSqlNumericType t = SqlExpressionType(tokens, e.nBegin, e.nEnd, names);
        // A bit or date column only for values that are surely of that type: not those ISNULL
        // or COALESCE picks, nor a name a subquery's table may have, nor a UNION's first query.
        bool bOwn =
            t.pOwnRow && !t.bOwnPicked && !(t.bOwnByName && plan.bNested) && !plan.bCompound;
        type = bOwn ? WinUtf8ToWide(t.pOwnRow->pszName) : t.Text();
        if (type.empty())
            type = JoinedStringType(tokens, e.nBegin, e.nEnd, names);
    }
}
