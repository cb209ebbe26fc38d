// The declared types of the columns and variables a statement names, read from the tables its
// batch refers to and from the batch's DECLAREs.
#include <algorithm>
#include <cwctype>
#include <deque>
#include <map>
#include <memory>
#include <vector>

#include <strings.h>

#include "platform/ado/sqlite/SqlServerRewriter.h"
#include "platform/ado/sqlite/SqlServerStatements.h"
#include "platform/win/TextEncoding.h"

namespace {

const wchar_t* const kNotAlias[] = {L"WHERE",  L"JOIN",   L"INNER",  L"LEFT",   L"RIGHT", L"FULL",
                                    L"CROSS",  L"OUTER",  L"ON",     L"SET",    L"GROUP", L"ORDER",
                                    L"HAVING", L"UNION",  L"WITH",   L"VALUES", L"AS",    L"LIMIT",
                                    L"FROM",   L"SELECT", L"OUTPUT", L"EXCEPT", L"OPTION"};

bool Same(const CSqlDeclaredType& a, const CSqlDeclaredType& b) {
    return a.pRow == b.pRow && a.nPrec == b.nPrec && a.nScale == b.nScale &&
           a.nLength == b.nLength && a.bMax == b.bMax;
}

// The type of a computed column: of its expression over the table's other columns.
bool ComputedType(const CSqlColumnDef& column, const std::vector<CSqlColumnDef>& columns,
                  CSqlDeclaredType* pType) {
    CSqlTokens tokens;
    if (column.clauses.empty() || column.clauses[0].compare(0, 3, L"AS ") != 0 ||
        !SqlTokenize(column.clauses[0].substr(3), &tokens))
        return false;
    CSqlNameTypes own = [&](const std::wstring&, const std::wstring& strName, CSqlDeclaredType* p) {
        for (const CSqlColumnDef& c : columns)
            if (c.type.pRow && SqlSameName(c.strName, strName)) {
                *p = c.type;
                return true;
            }
        return false;
    };
    CSqlNumericType n = SqlExpressionType(tokens, 0, tokens.size(), own);
    if (n.nKind == CSqlNumericType::kUnknown)
        return false;
    *pType = SqlServerParseType(n.Text());
    return true;
}

} // namespace

struct CSqlNameScope {
    std::vector<CSqlObjectName> named; // the tables the batch names, in order
    // Their columns, parallel to named (null for a table that cannot be read), once
    // bDefinitions: a statement that only compares literals with columns needs none of them.
    std::vector<const std::vector<CSqlColumnDef>*> tables;
    bool bDefinitions = false;
    std::deque<CSqlTableDef> read;                 // definitions read without a cache
    std::map<std::wstring, size_t> byName;         // table names and aliases, lower case
    std::map<std::wstring, CSqlDeclaredType> vars; // variables, lower case with their @
};

CSqlNameScope& CSqlRewriter::NameScope() {
    std::shared_ptr<CSqlNameScope>& pScope = *m_ppNameScope;
    if (!pScope) {
        pScope = std::make_shared<CSqlNameScope>();
        ReadNameScope(pScope.get());
    }
    return *pScope;
}

bool CSqlRewriter::ScopeTables(const std::wstring& strQualifier, std::vector<size_t>* pTables) {
    CSqlNameScope& scope = NameScope();
    if (!strQualifier.empty()) {
        auto it = scope.byName.find(SqlLower(strQualifier));
        if (it == scope.byName.end())
            return false;
        pTables->push_back(it->second);
        return true;
    }
    for (size_t n = 0; n < scope.named.size(); ++n)
        pTables->push_back(n);
    return true;
}

bool CSqlRewriter::ScopeColumns(const std::wstring& strQualifier, const std::wstring& strName,
                                std::vector<CScopeColumn>* pColumns) {
    CSqlNameScope& scope = NameScope();
    if (!scope.bDefinitions) {
        scope.bDefinitions = true;
        for (const CSqlObjectName& name : scope.named) {
            const CSqlTableDef* pDef = ReadTable(name, &scope);
            scope.tables.push_back(pDef ? &pDef->columns : nullptr);
        }
    }
    std::vector<size_t> candidates;
    if (!ScopeTables(strQualifier, &candidates))
        return false;
    for (size_t n : candidates)
        if (scope.tables[n])
            for (const CSqlColumnDef& col : *scope.tables[n])
                if (SqlSameName(col.strName, strName))
                    pColumns->push_back({&col, scope.tables[n]});
    return true;
}

CSqlNameCollations CSqlRewriter::NameCollations() {
    return [this](const std::wstring& strQualifier, const std::wstring& strName) {
        // A column name the tables disagree about has no collation here.
        std::vector<CScopeColumn> columns;
        std::wstring strCollation;
        if (strName[0] == L'@' || !ScopeColumns(strQualifier, strName, &columns))
            return strCollation;
        // Only text columns have a collation of SQL Server's (dates and ids keep the
        // comparisons of their own, which an expression of them does not).
        for (const CScopeColumn& c : columns) {
            const CSqlServerTypeRow* pRow = c.pColumn->type.pRow;
            if (!pRow ||
                (pRow->nClass != SqlTypeClass::kChar && pRow->nClass != SqlTypeClass::kNChar))
                return std::wstring();
            if (!strCollation.empty() && !SqlSameName(strCollation, c.pColumn->strCollation))
                return std::wstring();
            strCollation = c.pColumn->strCollation;
        }
        return strCollation;
    };
}

CSqlNameTypes CSqlRewriter::NameTypes() {
    // Only this is captured: most statements never ask, and then nothing is allocated.
    return [this](const std::wstring& strQualifier, const std::wstring& strName,
                  CSqlDeclaredType* pType) -> bool {
        CSqlNameScope& scope = NameScope();
        if (strName[0] == L'@') {
            auto it = scope.vars.find(SqlLower(strName));
            if (it == scope.vars.end())
                return false;
            *pType = it->second;
            return true;
        }
        std::vector<CScopeColumn> columns;
        if (!ScopeColumns(strQualifier, strName, &columns))
            return false;
        // A column name the tables disagree about has no type here.
        bool bFound = false;
        for (const CScopeColumn& c : columns) {
            CSqlDeclaredType type = c.pColumn->type;
            if (type.pRow == nullptr && !ComputedType(*c.pColumn, *c.pTable, &type))
                return false;
            if (bFound && !Same(*pType, type))
                return false;
            *pType = type;
            bFound = true;
        }
        return bFound;
    };
}

CSqlDeclaredType CSqlRewriter::ParsedType(const std::string& strDeclared) {
    if (m_pTableCache == nullptr)
        return SqlServerParseType(strDeclared.c_str());
    auto it = m_pTableCache->m_declared.find(strDeclared);
    if (it == m_pTableCache->m_declared.end())
        it = m_pTableCache->m_declared.emplace(strDeclared, SqlServerParseType(strDeclared.c_str()))
                 .first;
    return it->second;
}

void CSqlRewriter::NoteTable(CSqlObjectName name, size_t nAfter, size_t nEnd) {
    CSqlCursor c(m_tokens, nAfter, nEnd);
    bool bAs = c.Accept(L"AS");
    std::wstring strAlias;
    if (!c.AtEnd() && SqlIsNamePart(c.Peek()) && (bAs || !SqlIsOneOf(c.Peek(), kNotAlias)))
        strAlias = SqlNameOf(c.Peek());
    m_pSeen->push_back({std::move(name), std::move(strAlias)});
}

bool CSqlRewriter::ColumnType(const std::wstring& strQualifier, const std::wstring& strName,
                              CSqlDeclaredType* pType) {
    if (strName[0] == L'@' || (*m_ppNameScope && (*m_ppNameScope)->bDefinitions))
        return NameTypes()(strQualifier, strName, pType);
    bool bFound = false, bTried = false;
    std::string declared;
    for (const CSqlSeenTable& seen : *m_pSeen) {
        if (!strQualifier.empty() && !SqlSameName(strQualifier, seen.strAlias) &&
            !(seen.strAlias.empty() && SqlSameName(strQualifier, seen.name.strName)))
            continue;
        bTried = true;
        if (!m_schema.ColumnType(seen.name.strSchema, seen.name.strName, strName, &declared))
            continue;
        // An identity column is declared INTEGER whatever its type: only its definition
        // tells int from bigint.
        if (strcasecmp(declared.c_str(), "INTEGER") == 0)
            return NameTypes()(strQualifier, strName, pType);
        CSqlDeclaredType type = ParsedType(declared);
        if (bFound && !Same(*pType, type))
            return false;
        *pType = type;
        bFound = true;
    }
    // A column of a table named later in the statement (CASE ... END in a select list) the
    // batch's definitions may know. A view's column (the catalogue's) has no declared type.
    return bFound || (!bTried && NameTypes()(strQualifier, strName, pType));
}

const CSqlTableDef* CSqlRewriter::ReadTable(const CSqlObjectName& name, CSqlNameScope* pScope) {
    const CSqlTableDef* pDef = nullptr;
    if (m_pTableCache)
        return SqlLoadTable(m_schema, *m_pTableCache, name, &pDef) ? pDef : nullptr;
    std::wstring strStored, strSql;
    CSqlTokens tokens;
    if (!m_schema.TableSql(name.strSchema, name.strName, &strStored, &strSql) ||
        !SqlTokenize(strSql, &tokens))
        return nullptr;
    CSqlCursor c(tokens, 0, tokens.size());
    c.Accept(L"CREATE");
    c.Accept(L"TEMP") || c.Accept(L"TEMPORARY");
    CSqlTableDef def;
    bool bUnderstood = false;
    CSqlBridgeError ignored;
    CSqlTableReader reader(m_schema, tokens);
    if (!c.Accept(L"TABLE") || !reader.Read(c.Pos(), tokens.size(), &def, &bUnderstood, &ignored) ||
        !bUnderstood)
        return nullptr;
    def.name.strName = strStored;
    pScope->read.push_back(std::move(def));
    return &pScope->read.back();
}

void CSqlRewriter::ReadNameScope(CSqlNameScope* pScope) {
    auto* pByName = &pScope->byName;
    auto* pVars = &pScope->vars;
    const CSqlTokens& T = *m_pScope;
    CSqlRewriter names(m_schema, T);
    size_t nEnd = T.size();
    CSqlCursor c(T, 0, nEnd);
    bool bList = false; // in a FROM list, where "," brings another table
    while (!c.AtEnd()) {
        const CSqlToken& t = c.Peek();
        if (SqlIs(t, L"DECLARE")) {
            // DECLARE @a [AS] type [= value], ...
            c.Advance();
            while (!c.AtEnd() && c.Peek().nKind == SqlTok::kWord && c.Peek().strText[0] == L'@') {
                std::wstring var = SqlLower(c.Peek().strText);
                c.Advance();
                c.Accept(L"AS");
                if (c.AtEnd() || !SqlIsNamePart(c.Peek()))
                    break;
                std::wstring type = SqlNameOf(c.Peek());
                c.Advance();
                if (c.IsPunct(L"(")) {
                    size_t nOpen = c.Pos();
                    c.SkipGroup();
                    for (size_t k = nOpen; k < c.Pos(); ++k)
                        if (!SqlIsBlank(T[k]))
                            type += T[k].strText;
                }
                (*pVars)[var] = SqlServerParseType(type);
                while (!c.AtEnd() && !c.IsPunct(L",") && !c.IsPunct(L";") &&
                       !(c.Peek().nKind == SqlTok::kWord && !SqlIs(c.Peek(), L"NULL") &&
                         c.Peek().strText[0] != L'@' && SqlIsOneOf(c.Peek(), kNotAlias)))
                    c.Step();
                if (!c.AcceptPunct(L","))
                    break;
            }
            continue;
        }
        bool bTable;
        if (t.nKind == SqlTok::kWord) {
            bTable = SqlIsOneOf(t, {L"FROM", L"JOIN", L"UPDATE", L"INTO"});
            if (SqlIs(t, L"FROM"))
                bList = true;
            else if (SqlIsOneOf(t, kNotAlias))
                bList = false;
        } else {
            bTable = bList && SqlIsPunct(t, L",");
            if (SqlIsPunct(t, L"(") || SqlIsPunct(t, L")"))
                bList = false;
        }
        c.Advance();
        if (!bTable || c.AtEnd() || !SqlIsNamePart(c.Peek()))
            continue;
        CSqlObjectName name;
        size_t nNext = 0;
        CSqlBridgeError ignored;
        if (!names.ObjectName(c.Pos(), nEnd, &name, &nNext, &ignored))
            continue;
        c.Seek(nNext);
        size_t nTable = pScope->named.size();
        (*pByName)[SqlLower(name.strName)] = nTable;
        pScope->named.push_back(std::move(name));
        // [AS] alias
        bool bAs = c.Accept(L"AS");
        if (!c.AtEnd() && SqlIsNamePart(c.Peek()) && (bAs || !SqlIsOneOf(c.Peek(), kNotAlias))) {
            (*pByName)[SqlLower(SqlNameOf(c.Peek()))] = nTable;
            c.Advance();
        }
    }
}

std::wstring CSqlRewriter::ArgumentType(size_t nOpen, size_t nEnd) {
    const CSqlTokens& T = m_tokens;
    CSqlCursor c(T, nOpen, nEnd);
    if (!c.SkipGroup())
        return std::wstring();
    size_t nClose = c.Pos() - 1;
    while (nClose > nOpen && !SqlIsPunct(T[nClose], L")"))
        --nClose;
    return ValueType(nOpen + 1, nClose);
}

std::wstring CSqlRewriter::ValueType(size_t nBegin, size_t nEnd) {
    const CSqlTokens& T = m_tokens;
    std::vector<size_t> sig;
    for (size_t k = nBegin; k < nEnd; ++k)
        if (!SqlIsBlank(T[k]))
            sig.push_back(k);
    if (sig.size() == 1 && T[sig[0]].nKind == SqlTok::kNString)
        return L"nvarchar";
    if (sig.size() == 1 && T[sig[0]].nKind == SqlTok::kString)
        return L"varchar";
    if (sig.size() >= 2 && (SqlIs(T[sig[0]], L"CAST") || SqlIs(T[sig[0]], L"CONVERT"))) {
        // CAST(x AS type) or CONVERT(type, x ...): the type's tokens at the group's level
        bool bCast = SqlIs(T[sig[0]], L"CAST"), bType = !bCast;
        std::wstring type;
        int nDepth = 0;
        for (size_t k = sig[1]; k < nEnd; ++k) {
            nDepth += SqlIsPunct(T[k], L"(") ? 1 : SqlIsPunct(T[k], L")") ? -1 : 0;
            if (nDepth == 0)
                break; // the group's own ")"
            if (k == sig[1] || SqlIsBlank(T[k]))
                continue;
            if (nDepth == 1 && (bCast ? SqlIs(T[k], L"AS") : SqlIsPunct(T[k], L","))) {
                if (!bCast)
                    break;
                bType = true;
                continue;
            }
            if (bType)
                type += T[k].nKind == SqlTok::kQuoted ? SqlNameOf(T[k]) : T[k].strText;
        }
        return type;
    }
    // name, qualifier.name or @variable
    bool bName = !sig.empty() && (sig.size() == 1 || sig.size() == 3) && SqlIsNamePart(T[sig[0]]);
    if (bName && sig.size() == 3)
        bName = SqlIsPunct(T[sig[1]], L".") && SqlIsNamePart(T[sig[2]]);
    CSqlDeclaredType type;
    if (!bName || !NameTypes()(sig.size() == 3 ? SqlNameOf(T[sig[0]]) : std::wstring(),
                               SqlNameOf(T[sig.back()]), &type)) {
        // Arithmetic: the type of its result, integers as int or bigint by their digits.
        return SqlExpressionType(T, nBegin, nEnd, NameTypes()).Text();
    }
    std::wstring name = WinUtf8ToWide(type.pRow->pszName);
    if (type.pRow->nAdoType == adNumeric)
        name += L"(" + std::to_wstring(type.nPrec) + L"," + std::to_wstring(type.nScale) + L")";
    return name;
}

bool CSqlRewriter::TypedCall(const CSqlToken& function, size_t nOpen, size_t nEnd,
                             std::wstring* pstrCall, std::wstring* pstrClose) {
    if (SqlIs(function, L"DATALENGTH")) {
        *pstrCall = L"zqk_datalength";
        *pstrClose = L", " + SqlQuoteString(ArgumentType(nOpen, nEnd));
        return true;
    }
    CSqlCursor c(m_tokens, nOpen, nEnd);
    if (!c.SkipGroup() || c.IsWord(L"OVER"))
        return false; // a window's average is left to SQLite
    size_t nClose = c.Pos() - 1;
    while (nClose > nOpen && !SqlIsPunct(m_tokens[nClose], L")"))
        --nClose;
    CSqlCursor a(m_tokens, nOpen + 1, nClose);
    size_t nArgument = a.Accept(L"DISTINCT") || a.Accept(L"ALL") ? a.Pos() : nOpen + 1;
    CSqlNumericType type = SqlExpressionType(m_tokens, nArgument, nClose, NameTypes());
    if (type.nKind == CSqlNumericType::kDecimal)
        type.nScale = std::max(type.nScale, 6); // SQL Server's average of decimals: (38, s >= 6)
    else if (type.nKind != CSqlNumericType::kInteger && type.nKind != CSqlNumericType::kMoney)
        return false;
    *pstrCall = L"zqk_average(avg";
    *pstrClose = L"), " + SqlQuoteString(type.Text());
    return true;
}

namespace {

// Text SQLite reads as the number SQL Server would convert it to: blanks, a sign, digits
// with at most one point, and an exponent.
bool IsPlainNumber(const std::wstring& s) {
    size_t i = 0, n = s.size();
    while (i < n && s[i] == L' ')
        ++i;
    while (n > i && s[n - 1] == L' ')
        --n;
    if (i < n && (s[i] == L'+' || s[i] == L'-'))
        ++i;
    size_t nDigits = 0, nPoints = 0;
    for (; i < n && (iswdigit(static_cast<wint_t>(s[i])) || s[i] == L'.'); ++i)
        s[i] == L'.' ? ++nPoints : ++nDigits;
    if (nDigits == 0 || nPoints > 1)
        return false;
    if (i < n && (s[i] == L'e' || s[i] == L'E')) {
        ++i;
        if (i < n && (s[i] == L'+' || s[i] == L'-'))
            ++i;
        size_t nExp = 0;
        for (; i < n && iswdigit(static_cast<wint_t>(s[i])); ++i)
            ++nExp;
        if (nExp == 0)
            return false;
    }
    return i == n;
}

const size_t kNoList = static_cast<size_t>(-1);

// What stands between the constants of an IN list: blanks, commas, literals, signed numbers.
bool IsListConstant(const CSqlToken& t) {
    return SqlIsBlank(t) || SqlIsPunct(t, L",") || SqlIsPunct(t, L"-") ||
           t.nKind == SqlTok::kString || t.nKind == SqlTok::kNString || t.nKind == SqlTok::kNumber;
}

// The "(" of the IN list the literal at nLiteral belongs to, scanning back over the list's
// other constants; kNoList when it stands in no such list.
size_t InListOpen(const CSqlTokens& T, size_t nBegin, size_t nLiteral) {
    for (size_t k = nLiteral; k > nBegin;) {
        const CSqlToken& t = T[--k];
        if (SqlIsPunct(t, L"("))
            return k;
        if (!IsListConstant(t))
            return kNoList;
    }
    return kNoList;
}

} // namespace

std::wstring CSqlRewriter::ComparedLiteral(size_t nBegin, size_t nLiteral, size_t nEnd) {
    const CSqlTokens& T = m_tokens;
    const std::wstring value = SqlStringValue(T[nLiteral]);
    const bool bCompact =
        value.size() == 8 && value.find_first_not_of(L"0123456789") == std::wstring::npos;
    if (!bCompact && IsPlainNumber(value))
        return std::wstring(); // SQLite compares it with a number column as SQL Server does
    // What the literal becomes beside a column of the type: the ISO text of a yyyymmdd date;
    // for a column of numbers, SQL Server's conversion of the text, which fails as SQL
    // Server's does ('abc' against an int column is error 245, not "no rows").
    auto operand = [&](const CSqlDeclaredType& type) -> std::wstring {
        if (!type.pRow)
            return std::wstring();
        if (type.pRow->nClass == SqlTypeClass::kDate)
            return bCompact ? L"'" + value.substr(0, 4) + L"-" + value.substr(4, 2) + L"-" +
                                  value.substr(6, 2) + L"'"
                            : std::wstring();
        if (type.pRow->nClass == SqlTypeClass::kInteger ||
            type.pRow->nClass == SqlTypeClass::kBit || type.pRow->nClass == SqlTypeClass::kExact ||
            type.pRow->nClass == SqlTypeClass::kFloat)
            return L"zqk_convert(" + SqlQuoteString(value) + L", " +
                   SqlQuoteString(WinUtf8ToWide(type.pRow->pszName)) + L")";
        return std::wstring();
    };
    // The significant tokens before the literal (or before the list it stands in), nearest
    // first, without the COLLATE the default collation put after an expression compared with it.
    size_t before[8], nBefore = 0;
    auto collect = [&](size_t nFrom) {
        nBefore = 0;
        for (size_t k = nFrom; k > nBegin && nBefore < 8;)
            if (!SqlIsBlank(T[--k])) {
                if (nBefore > 0 && SqlIs(T[k], L"COLLATE")) {
                    --nBefore; // the collation's name
                    continue;
                }
                before[nBefore++] = k;
            }
    };
    auto at = [&](size_t n) -> const CSqlToken* { return n < nBefore ? &T[before[n]] : nullptr; };
    size_t nColumn = 1; // where the column stands among them
    // A long list is read once: the literals after the last one met in it are its own.
    bool bSameList = m_nListOpen != kNoList && m_nListLiteral < nLiteral;
    for (size_t k = m_nListLiteral + 1; bSameList && k < nLiteral; ++k)
        bSameList = IsListConstant(T[k]);
    if (bSameList) {
        m_nListLiteral = nLiteral;
        return operand(m_listType);
    }
    size_t nList = InListOpen(T, nBegin, nLiteral), nIn = nList;
    while (nIn != kNoList && nIn > nBegin && SqlIsBlank(T[nIn - 1]))
        --nIn;
    bool bInList = false;
    if (nIn != kNoList && nIn > nBegin && SqlIs(T[nIn - 1], L"IN")) {
        collect(nList); // VALUES (...) and calls' arguments are no lists of this kind
        bInList = true;
    }
    if (!bInList)
        collect(nLiteral);
    if (bInList) {
        // [NOT] IN ('20240301', ...): every literal of the list as the column takes it.
        nColumn = at(1) && SqlIs(*at(1), L"NOT") ? 2 : 1;
    } else if (at(0) && SqlIs(*at(0), L"AND") && at(2) && SqlIs(*at(2), L"BETWEEN")) {
        nColumn = 3;
    } else if (!at(0) || !(SqlIsOneOf(*at(0), {L"BETWEEN"}) || SqlIsComparison(*at(0)))) {
        // '20240301' <= [t.]column, '20240301' [NOT] IN ([t.]column, ...): the column after.
        size_t after[6], nAfter = 0;
        for (size_t k = nLiteral + 1; k < nEnd && nAfter < 6; ++k)
            if (!SqlIsBlank(T[k]))
                after[nAfter++] = k;
        if (nAfter >= 2 && SqlIs(T[after[0]], L"COLLATE")) {
            // The default collation the literal got before IN: the list follows it.
            nAfter = 0;
            for (size_t k = after[1] + 1; k < nEnd && nAfter < 6; ++k)
                if (!SqlIsBlank(T[k]))
                    after[nAfter++] = k;
        }
        size_t nSkip = nAfter > 0 && SqlIs(T[after[0]], L"NOT") ? 1 : 0;
        const bool bIn = nAfter >= nSkip + 3 && SqlIs(T[after[nSkip]], L"IN") &&
                         SqlIsPunct(T[after[nSkip + 1]], L"(");
        if (bIn) {
            nSkip += 1; // the list's "(" stands where the comparison would
            std::copy(after + nSkip, after + nAfter, after);
            nAfter -= nSkip;
        }
        if (nAfter < 2 || !(bIn || (nSkip == 0 && SqlIsComparison(T[after[0]]))) ||
            !SqlIsNamePart(T[after[1]]))
            return std::wstring();
        size_t nName = after[1];
        std::wstring strQualifier;
        if (nAfter >= 4 && SqlIsPunct(T[after[2]], L".") && SqlIsNamePart(T[after[3]])) {
            strQualifier = SqlNameOf(T[nName]);
            nName = after[3];
        }
        CSqlDeclaredType type;
        if (!ColumnType(strQualifier, SqlNameOf(T[nName]), &type))
            return std::wstring();
        return operand(type);
    }
    if (!bInList && at(nColumn) && SqlIs(*at(nColumn), L"NOT") && at(nColumn - 1) &&
        SqlIs(*at(nColumn - 1), L"BETWEEN"))
        ++nColumn; // NOT BETWEEN
    const CSqlDeclaredType type = TypeBefore(nBegin, before, nBefore, nColumn);
    if (bInList) {
        m_nListOpen = nList;
        m_nListLiteral = nLiteral;
        m_listType = type;
    }
    return operand(type);
}

CSqlDeclaredType CSqlRewriter::TypeBefore(size_t nBegin, const size_t* before, size_t nBefore,
                                          size_t nColumn) {
    const CSqlTokens& T = m_tokens;
    auto at = [&](size_t n) -> const CSqlToken* { return n < nBefore ? &T[before[n]] : nullptr; };
    const CSqlToken* pName = at(nColumn);
    CSqlDeclaredType type;
    if (pName && SqlIsPunct(*pName, L")")) {
        // CAST(x AS date) = '20240301', CONVERT(date, x) = ...: the type the call names.
        size_t nOpen = before[nColumn];
        for (int nDepth = 0; nOpen > nBegin; --nOpen)
            if (SqlIsPunct(T[nOpen], L")"))
                ++nDepth;
            else if (SqlIsPunct(T[nOpen], L"(") && --nDepth == 0)
                break;
        size_t nCall = nOpen, nType = nOpen + 1;
        while (nCall > nBegin && SqlIsBlank(T[nCall - 1]))
            --nCall;
        if (nCall == nBegin ||
            !SqlIsOneOf(T[nCall - 1], {L"CAST", L"TRY_CAST", L"CONVERT", L"TRY_CONVERT"}))
            return CSqlDeclaredType();
        if (SqlIs(T[nCall - 1], L"CAST") || SqlIs(T[nCall - 1], L"TRY_CAST"))
            for (size_t k = before[nColumn]; k > nOpen; --k)
                if (SqlIs(T[k], L"AS")) {
                    nType = k + 1;
                    break;
                }
        while (nType < before[nColumn] && SqlIsBlank(T[nType]))
            ++nType;
        type = SqlServerParseType(SqlNameOf(T[nType]));
    } else if (!pName || !SqlIsNamePart(*pName)) {
        return CSqlDeclaredType();
    } else {
        std::wstring strQualifier;
        if (at(nColumn + 1) && SqlIsPunct(*at(nColumn + 1), L".") && at(nColumn + 2))
            strQualifier = SqlNameOf(*at(nColumn + 2));
        if (!ColumnType(strQualifier, SqlNameOf(*pName), &type))
            return CSqlDeclaredType();
    }
    return type;
}
