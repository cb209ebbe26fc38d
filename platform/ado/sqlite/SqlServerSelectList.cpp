#include "platform/ado/sqlite/SqlServerSelectList.h"

#include <cwchar>
#include <cwctype>
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

// Words that end a FROM list, and words that are no table's alias.
const wchar_t* const kFromEnd[] = {L"WHERE", L"GROUP",  L"ORDER",     L"HAVING",
                                   L"UNION", L"EXCEPT", L"INTERSECT", L"OPTION",
                                   L"FOR",   L"WINDOW", L"LIMIT",     L"OFFSET"};
const wchar_t* const kNotTableAlias[] = {L"WHERE", L"JOIN",  L"INNER",  L"LEFT",   L"RIGHT",
                                         L"FULL",  L"CROSS", L"OUTER",  L"ON",     L"GROUP",
                                         L"ORDER", L"WITH",  L"AS",     L"HAVING", L"UNION",
                                         L"APPLY", L"FOR",   L"OPTION", L"EXCEPT", L"INTERSECT"};

// A declared type read once per thread: the same few come back with every statement.
const CSqlDeclaredType& ParsedType(const std::string& strDeclared) {
    thread_local std::vector<std::pair<std::string, CSqlDeclaredType>> parsed;
    for (const auto& entry : parsed)
        if (entry.first == strDeclared)
            return entry.second;
    const size_t kKept = 32;
    if (parsed.size() == kKept)
        parsed.erase(parsed.begin());
    parsed.emplace_back(strDeclared, SqlServerParseType(strDeclared.c_str()));
    return parsed.back().second;
}

// The types of the list's expression items, when asked for: each item's expression (without
// its alias) typed as SQL Server types it, the columns it names looked up in the tables of the
// FROM list, which is read at the first such column. It serves one statement's translation,
// on the thread translating it.
class CItemTypes {
public:
    CItemTypes(const CSqlTokens& t, size_t nEnd, CSqlSelectTyping* pTyping,
               std::vector<CSqlNumericType>* pOut)
        : m_t(t), m_nEnd(nEnd), m_pTyping(pTyping), m_pOut(pOut),
          m_names(
              [this](const std::wstring& strQualifier, const std::wstring& strName,
                     CSqlDeclaredType* pType) { return Lookup(strQualifier, strName, pType); }) {}

    // The list ends at nListEnd: its FROM, if it has one.
    void ListEnd(size_t nListEnd) {
        m_nFrom = nListEnd < m_nEnd && SqlIs(m_t[nListEnd], L"FROM") ? nListEnd : 0;
    }
    void Add(size_t nItem, size_t nBegin, size_t nEnd) {
        if (m_pTyping == nullptr || m_bStar)
            return;
        CSqlNumericType type = SqlExpressionType(m_t, nBegin, nEnd, m_names);
        if (type.nKind == CSqlNumericType::kUnknown)
            return;
        m_pOut->resize(nItem + 1);
        (*m_pOut)[nItem] = type;
    }
    // A * item stands for columns of its own: items are no longer columns one to one.
    void Star() {
        m_bStar = true;
        if (m_pOut)
            m_pOut->clear();
    }
    void Finish(size_t nItems) {
        if (m_pOut && !m_pOut->empty())
            m_pOut->resize(nItems);
    }

private:
    struct CTable {
        CSqlObjectName name;
        std::wstring strAlias;
        bool bDerived = false; // a subquery or a function: its columns are unknown here
    };

    size_t Next(size_t i) const {
        while (i < m_nEnd && SqlIsBlank(m_t[i]))
            ++i;
        return i;
    }
    // The token after the group that opens at i.
    size_t AfterGroup(size_t i) const {
        for (int nDepth = 0; i < m_nEnd; ++i) {
            if (SqlIsPunct(m_t[i], L"("))
                ++nDepth;
            else if (SqlIsPunct(m_t[i], L")") && --nDepth == 0)
                return i + 1;
        }
        return m_nEnd;
    }
    // A table's name as hosts mostly write it: T, dbo.T or Catalog.dbo.T (Catalog..T), which
    // SQLite finds by the last part alone (temporary tables first, as SQL Server's start with
    // #); false for other names, which the rewriter resolves.
    bool PlainName(size_t i, CTable* pTable, size_t* pnNext) {
        size_t parts[3];
        size_t nParts = 0;
        for (;;) {
            bool bPart = i < m_nEnd && SqlIsNamePart(m_t[i]);
            if (nParts == 3 || (!bPart && nParts == 0))
                return false;
            parts[nParts++] = bPart ? i : std::wstring::npos;
            i = Next(bPart ? i + 1 : i);
            if (i >= m_nEnd || !SqlIsPunct(m_t[i], L"."))
                break;
            i = Next(i + 1);
        }
        auto is = [&](size_t n, const std::wstring& strName) {
            return parts[n] != std::wstring::npos &&
                   wcscasecmp(SqlNameOf(m_t[parts[n]]).c_str(), strName.c_str()) == 0;
        };
        bool bOwner =
            nParts == 1 || (nParts == 3 && parts[1] == std::wstring::npos) ||
            (parts[nParts - 2] != std::wstring::npos && SqlIs(m_t[parts[nParts - 2]], L"dbo"));
        if (parts[nParts - 1] == std::wstring::npos || !bOwner ||
            (nParts == 3 && !is(0, m_pTyping->schema.CatalogName())))
            return false;
        pTable->name.strName = SqlNameOf(m_t[parts[nParts - 1]]);
        *pnNext = i;
        return true;
    }
    // One table of the list at i, with its hints and alias; where it ends.
    size_t ReadTable(size_t i) {
        CTable table;
        size_t nNext = i + 1;
        CSqlBridgeError ignored;
        if (SqlIsPunct(m_t[i], L"("))
            table.bDerived = true, nNext = AfterGroup(i);
        else if (!SqlIsNamePart(m_t[i]) ||
                 (!PlainName(i, &table, &nNext) &&
                  !m_pTyping->rewriter.ObjectName(i, m_nEnd, &table.name, &nNext, &ignored)))
            table.bDerived = true;
        i = Next(nNext);
        if (i < m_nEnd && SqlIsPunct(m_t[i], L"(")) // a function's rows
            table.bDerived = true, i = Next(AfterGroup(i));
        if (i < m_nEnd && SqlIs(m_t[i], L"WITH") && Next(i + 1) < m_nEnd &&
            SqlIsPunct(m_t[Next(i + 1)], L"("))
            i = Next(AfterGroup(Next(i + 1)));
        bool bAs = i < m_nEnd && SqlIs(m_t[i], L"AS");
        if (bAs)
            i = Next(i + 1);
        if (i < m_nEnd && SqlIsNamePart(m_t[i]) &&
            (bAs || !(m_t[i].nKind == SqlTok::kWord && SqlIsOneOf(m_t[i], kNotTableAlias))))
            table.strAlias = SqlNameOf(m_t[i++]);
        m_bDerived = m_bDerived || table.bDerived;
        m_tables.push_back(std::move(table));
        return i;
    }
    void ReadFrom() {
        bool bTable = true; // a table comes next: after FROM, a comma, JOIN or APPLY
        for (size_t i = Next(m_nFrom + 1); i < m_nEnd; i = Next(i)) {
            const CSqlToken& t = m_t[i];
            if (SqlIsPunct(t, L";") || SqlIsPunct(t, L")") ||
                (t.nKind == SqlTok::kWord && SqlIsOneOf(t, kFromEnd)))
                return;
            if (bTable) {
                bTable = false;
                i = ReadTable(i);
                continue;
            }
            bTable = SqlIsPunct(t, L",") || SqlIs(t, L"JOIN") || SqlIs(t, L"APPLY");
            i = SqlIsPunct(t, L"(") ? AfterGroup(i) : i + 1;
        }
    }
    bool Lookup(const std::wstring& strQualifier, const std::wstring& strName,
                CSqlDeclaredType* pType) {
        if (m_nFrom == 0 || strName[0] == L'@')
            return false;
        if (!m_bRead) {
            m_bRead = true;
            ReadFrom();
        }
        if (strQualifier.empty() && m_bDerived)
            return false; // the column may be a derived table's
        // A column the tables disagree about has no type here.
        bool bFound = false;
        std::string declared;
        for (const CTable& table : m_tables) {
            bool bNamed =
                strQualifier.empty() || SqlLower(strQualifier) == SqlLower(table.strAlias) ||
                (table.strAlias.empty() && SqlLower(strQualifier) == SqlLower(table.name.strName));
            if (!bNamed)
                continue;
            std::string type;
            if (table.bDerived ||
                !m_pTyping->schema.ColumnType(table.name.strSchema, table.name.strName, strName,
                                              &type) ||
                (bFound && type != declared))
                return false;
            declared = type;
            bFound = true;
        }
        if (bFound)
            *pType = ParsedType(declared);
        return bFound;
    }

    const CSqlTokens& m_t;
    size_t m_nEnd;
    CSqlSelectTyping* m_pTyping;
    std::vector<CSqlNumericType>* m_pOut;
    CSqlNameTypes m_names;
    size_t m_nFrom = 0;
    bool m_bStar = false;
    bool m_bRead = false;
    bool m_bDerived = false;
    std::vector<CTable> m_tables;
};

// The changes the outermost select list of the SELECT at token nSelect needs; *pnItems is how
// many items it has. Types the items into types when given one.
std::vector<CChange> Analyse(const CSqlTokens& t, size_t nSelect, size_t nEnd, size_t* pnItems,
                             CItemTypes* pTypes = nullptr) {
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

    std::vector<CChange> changes;
    std::vector<size_t> s;
    s.reserve(32);
    CItemTypes noTypes(t, nEnd, nullptr, nullptr);
    CItemTypes& types = pTypes ? *pTypes : noTypes;
    types.ListEnd(nListEnd);
    for (size_t k = 0; k < items.size(); ++k) {
        Significant(t, items[k].first, items[k].second, &s);
        if (s.empty() || IsPlainColumn(t, s)) {
            if (!s.empty() && SqlIsPunct(t[s.back()], L"*"))
                types.Star();
            continue;
        }
        const CSqlToken& first = t[s[0]];
        bool bEqualsForm = s.size() >= 3 && SqlIsPunct(t[s[1]], L"=") &&
                           (IsName(first) || first.nKind == SqlTok::kString);
        if (bEqualsForm) {
            types.Add(k, s[2], s.back() + 1);
            changes.push_back(
                {k, s[0], s.back() + 1, s[1],
                 first.nKind == SqlTok::kString ? SqlStringValue(first) : SqlNameOf(first)});
            continue;
        }
        if (first.nKind == SqlTok::kWord && first.strText[0] == L'@' && s.size() >= 2 &&
            SqlIsPunct(t[s[1]], L"="))
            continue; // @v = expression assigns; it names no column
        if (HasAlias(t, s)) {
            size_t nAliasParts = SqlIs(t[s[s.size() - 2]], L"AS") ? 2 : 1;
            if (s.size() > nAliasParts)
                types.Add(k, s[0], s[s.size() - nAliasParts - 1] + 1);
            continue;
        }
        types.Add(k, s[0], s.back() + 1);
        changes.push_back({k, s[0], s.back() + 1, 0, SourceText(t, s[0], s.back() + 1)});
    }
    types.Finish(items.size());
    return changes;
}

// The translated text's outermost select list: where each item's last significant character
// ends. Empty when the text is not a SELECT this can read.
std::vector<size_t> TranslatedItemEnds(const std::wstring& s) {
    std::vector<size_t> ends;
    size_t i = 0, n = s.size();
    // The word at i: its end, and whether it is one of the keywords (ASCII, any case).
    auto wordEnd = [&](size_t at) {
        size_t j = at;
        while (j < n && (iswalnum(static_cast<wint_t>(s[j])) || s[j] == L'_' || s[j] == L'@' ||
                         s[j] == L'#' || s[j] == L'$' || s[j] >= 0x80))
            ++j;
        return j;
    };
    auto is = [&](size_t at, size_t end, const wchar_t* pszKeyword) {
        size_t len = std::wcslen(pszKeyword);
        return end - at == len && wcsncasecmp(s.c_str() + at, pszKeyword, len) == 0;
    };
    auto skipBlanks = [&]() {
        for (;;) {
            while (i < n && iswspace(static_cast<wint_t>(s[i])))
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
            if (nDepth == 0)
                for (const wchar_t* k : kListEnd)
                    bEnd = bEnd || is(i, nWordEnd, k);
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
                        CSqlSelectNames* pPlan, CSqlSelectTyping* pTyping) {
    size_t nItems = 0;
    CItemTypes types(tokens, nEnd, pTyping, &pPlan->types);
    std::vector<CChange> changes = Analyse(tokens, nSelect, nEnd, &nItems, &types);
    if (changes.empty())
        return false;
    pPlan->bRewriteTokens = false;
    pPlan->aliases.assign(nItems, std::wstring());
    for (CChange& ch : changes) {
        pPlan->bRewriteTokens = pPlan->bRewriteTokens || ch.nEqual != 0;
        pPlan->aliases[ch.nItem] = std::move(ch.strAlias);
    }
    return true;
}

void SqlAddSelectAliases(const std::vector<std::wstring>& aliases, std::wstring* pSql) {
    std::vector<size_t> ends = TranslatedItemEnds(*pSql);
    if (ends.size() != aliases.size())
        return; // the translation's list does not match the host's one to one
    for (size_t k = aliases.size(); k-- > 0;)
        if (!aliases[k].empty())
            pSql->insert(ends[k], L" AS " + SqlQuote(aliases[k], L'"'));
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
