// Reading a table definition: SQL Server's CREATE TABLE, or the SQLite text this system stored.
#include <cstdlib>

#include "platform/ado/sqlite/SqlServerCatalog.h"
#include "platform/ado/sqlite/SqlServerCollation.h"
#include "platform/ado/sqlite/SqlServerConvert.h"
#include "platform/ado/sqlite/SqlServerTable.h"
#include "platform/win/TextEncoding.h"

namespace {

// Words that end a column's type and start its constraints.
const wchar_t* const kColumnKeywords[] = {
    L"CONSTRAINT", L"NULL",      L"NOT",        L"PRIMARY",       L"UNIQUE",  L"DEFAULT",
    L"IDENTITY",   L"CHECK",     L"REFERENCES", L"FOREIGN",       L"COLLATE", L"ROWGUIDCOL",
    L"SPARSE",     L"GENERATED", L"AS",         L"AUTOINCREMENT", L"ON"};

bool IsColumnKeyword(const CSqlToken& t) {
    return SqlIsOneOf(t, kColumnKeywords);
}

// The rule a constraint name ("zqk_...", quoted) stands for, without the prefix.
bool RuleOf(const std::wstring& strQuoted, std::wstring* pRule) {
    size_t n = wcslen(kSqlRulePrefix);
    if (strQuoted.size() < n + 2 || strQuoted.compare(1, n, kSqlRulePrefix) != 0)
        return false;
    *pRule = strQuoted.substr(1 + n, strQuoted.size() - n - 2);
    return true;
}

// "identity:int:1:1": the column's SQL Server type, seed and increment.
void ReadIdentityRule(const std::wstring& strRule, CSqlColumnDef* pColumn) {
    size_t a = strRule.find(L':'), b = strRule.find(L':', a + 1), c = strRule.find(L':', b + 1);
    if (c == std::wstring::npos)
        return;
    pColumn->bIdentity = true;
    pColumn->strTypeText = strRule.substr(a + 1, b - a - 1);
    pColumn->type = SqlServerParseType(pColumn->strTypeText);
    pColumn->bServerType = true;
    pColumn->nSeed = std::wcstoll(strRule.c_str() + b + 1, nullptr, 10);
    pColumn->nIncrement = std::wcstoll(strRule.c_str() + c + 1, nullptr, 10);
}

std::wstring Number(long long n) {
    return std::to_wstring(n);
}

} // namespace

std::wstring CSqlTableReader::Text(size_t nBegin, size_t nEnd) const {
    std::wstring s;
    for (size_t i = nBegin; i < nEnd; ++i)
        s += m_tokens[i].strText;
    return s;
}

bool CSqlTableReader::Group(CSqlCursor& c, std::wstring* pOut, CSqlBridgeError* pError) {
    size_t nStart = c.Pos();
    if (!c.IsPunct(L"(") || !c.SkipGroup()) {
        m_bUnknown = true;
        return true;
    }
    size_t nStop = c.Pos();
    while (nStop > nStart && SqlIsBlank(m_tokens[nStop - 1]))
        --nStop;
    return m_rewriter.Rewrite(nStart, nStop, SqlRewriteScope::kExpression, pOut, pError);
}

bool CSqlTableReader::Expression(CSqlCursor& c, std::wstring* pOut, CSqlBridgeError* pError) {
    size_t nStart = c.Pos(), nStop = nStart;
    bool bFirst = true;
    while (!c.AtEnd() && (bFirst || !IsColumnKeyword(c.Peek()))) {
        if (c.IsPunct(L"(")) {
            if (!c.SkipGroup()) {
                m_bUnknown = true;
                return true;
            }
        } else {
            c.Advance();
        }
        nStop = c.Pos();
        bFirst = false;
    }
    while (nStop > nStart && SqlIsBlank(m_tokens[nStop - 1]))
        --nStop;
    return m_rewriter.Rewrite(nStart, nStop, SqlRewriteScope::kExpression, pOut, pError);
}

bool CSqlTableReader::Computed(CSqlCursor& c, std::wstring* pOut, CSqlBridgeError* pError) {
    // SQL Server reads the expression up to the column's options; "IS NULL" stays in it.
    size_t nStart = c.Pos(), nStop = nStart;
    const CSqlToken* pLast = nullptr;
    while (!c.AtEnd() &&
           !SqlIsOneOf(c.Peek(), {L"PERSISTED", L"CONSTRAINT", L"PRIMARY", L"UNIQUE", L"CHECK",
                                  L"REFERENCES", L"FOREIGN"}) &&
           !(c.IsWord(L"NOT") && c.PeekNext() && SqlIs(*c.PeekNext(), L"NULL") &&
             !(pLast && SqlIs(*pLast, L"IS")))) {
        pLast = &c.Peek();
        if (c.IsPunct(L"(") ? !c.SkipGroup() : (c.Advance(), false)) {
            m_bUnknown = true;
            return true;
        }
        nStop = c.Pos();
    }
    while (nStop > nStart && SqlIsBlank(m_tokens[nStop - 1]))
        --nStop;
    if (nStop == nStart) {
        m_bUnknown = true;
        return true;
    }
    std::wstring expr;
    if (!m_rewriter.Rewrite(nStart, nStop, SqlRewriteScope::kExpression, &expr, pError))
        return false;
    *pOut = L"(" + expr + L")";
    return true;
}

void CSqlTableReader::SkipStorage(CSqlCursor& c) {
    for (;;) {
        if (c.Accept(L"CLUSTERED") || c.Accept(L"NONCLUSTERED"))
            continue;
        if (c.IsWord(L"WITH")) {
            c.Advance();
            if (c.IsPunct(L"("))
                c.SkipGroup();
            else if (c.Accept(L"FILLFACTOR") && c.AcceptPunct(L"="))
                c.Advance();
            continue;
        }
        if ((c.IsWord(L"ON") || c.IsWord(L"TEXTIMAGE_ON") || c.IsWord(L"FILESTREAM_ON")) &&
            c.PeekNext() && SqlIsNamePart(*c.PeekNext()) && !SqlIs(*c.PeekNext(), L"CONFLICT") &&
            !SqlIs(*c.PeekNext(), L"DELETE") && !SqlIs(*c.PeekNext(), L"UPDATE")) {
            c.Advance();
            c.Advance();
            if (c.IsPunct(L"(")) // a partition scheme's column
                c.SkipGroup();
            continue;
        }
        return;
    }
}

bool CSqlTableReader::ColumnList(CSqlCursor& c, std::wstring* pOut,
                                 std::vector<std::wstring>* pNames) {
    if (!c.AcceptPunct(L"(")) {
        m_bUnknown = true;
        return true;
    }
    *pOut = L"(";
    while (!c.AtEnd() && SqlIsNamePart(c.Peek())) {
        if (pNames)
            pNames->push_back(SqlNameOf(c.Peek()));
        *pOut += c.Peek().strText;
        c.Advance();
        if (c.IsWord(L"ASC") || c.IsWord(L"DESC")) {
            *pOut += L" " + c.Peek().strText;
            c.Advance();
        }
        if (!c.AcceptPunct(L","))
            break;
        *pOut += L", ";
    }
    if (!c.AcceptPunct(L")"))
        m_bUnknown = true;
    *pOut += L")";
    return true;
}

bool CSqlTableReader::ReadType(CSqlCursor& c, CSqlColumnDef* pColumn, CSqlBridgeError* pError) {
    std::wstring name;
    while (!c.AtEnd() && SqlIsNamePart(c.Peek()) && !IsColumnKeyword(c.Peek())) {
        name += (name.empty() ? L"" : L" ") + SqlNameOf(c.Peek());
        c.Advance();
    }
    if (name.empty())
        return true;
    std::wstring args;
    if (c.AcceptPunct(L"(")) {
        while (!c.AtEnd() && !c.IsPunct(L")")) {
            const CSqlToken& t = c.Peek();
            if (SqlIsPunct(t, L"-")) {
                *pError = SqlServerError(102, L"Incorrect syntax near '-'.");
                return false;
            }
            if (t.nKind != SqlTok::kNumber && !SqlIs(t, L"max") && !SqlIsPunct(t, L",")) {
                m_bUnknown = true;
                return true;
            }
            args += SqlIs(t, L"max") ? std::wstring(L"max") : t.strText;
            c.Advance();
        }
        if (!c.AcceptPunct(L")")) {
            m_bUnknown = true;
            return true;
        }
    }
    pColumn->bHasType = true;
    pColumn->strTypeText = args.empty() ? name : name + L"(" + args + L")";
    pColumn->type = SqlServerParseType(pColumn->strTypeText);
    pColumn->bServerType = pColumn->type.bKnownName && !pColumn->type.bAlias;
    if (!pColumn->bServerType)
        return true;
    const CSqlServerTypeRow& row = *pColumn->type.pRow;
    if (!args.empty() && row.nLength == 0 && args != L"max") {
        long n = std::wcstol(args.c_str(), nullptr, 10);
        if (n == 0) {
            *pError = SqlServerError(1001, L"Length or precision 0 is invalid.");
            return false;
        }
        if (n > row.nPrec) {
            *pError = SqlServerError(131, L"The size (" + args + L") given to the column '" +
                                              pColumn->strName +
                                              L"' exceeds the maximum allowed for any data type (" +
                                              Number(row.nPrec) + L").");
            return false;
        }
    }
    if (row.nAdoType == adNumeric && !args.empty()) {
        if (pColumn->type.nPrec > 38 || pColumn->type.nPrec < 1) {
            *pError = SqlServerError(2750, L"Column or parameter: Specified column precision " +
                                               Number(pColumn->type.nPrec) +
                                               L" is greater than the maximum precision of 38.");
            return false;
        }
        if (pColumn->type.nScale > pColumn->type.nPrec) {
            *pError = SqlServerError(2751, L"Column or parameter: Specified column scale " +
                                               Number(pColumn->type.nScale) +
                                               L" is greater than the specified precision of " +
                                               Number(pColumn->type.nPrec) + L".");
            return false;
        }
    }
    return true;
}

namespace {

// A literal default of a char(n) or nchar(n) column, padded with blanks to n as the values
// written to it are. Kept a literal, so that other SQLite tools can fill the default too.
void PadDefault(const CSqlColumnDef& column, std::wstring* pExpr) {
    CSqlTokens tokens;
    if (!column.bHasType || !SqlIsFixedChar(column.type) || !SqlTokenize(*pExpr, &tokens))
        return;
    const CSqlToken* pLiteral = nullptr;
    for (const CSqlToken& t : tokens) {
        if (SqlIsBlank(t) || SqlIsPunct(t, L"(") || SqlIsPunct(t, L")"))
            continue; // ('y') and (('y')) as SQL Server's scripts write them
        if (pLiteral || (t.nKind != SqlTok::kString && t.nKind != SqlTok::kNString))
            return;
        pLiteral = &t;
    }
    if (pLiteral == nullptr)
        return;
    std::wstring value = SqlStringValue(*pLiteral);
    if (value.size() < static_cast<size_t>(column.type.nLength))
        value.append(static_cast<size_t>(column.type.nLength) - value.size(), L' ');
    *pExpr = SqlQuoteString(value);
}

} // namespace

bool CSqlTableReader::ReadColumn(size_t nBegin, size_t nEnd, const CSqlTableDef& def,
                                 CSqlColumnDef* pColumn, CSqlBridgeError* pError) {
    CSqlCursor c(m_tokens, nBegin, nEnd);
    if (c.AtEnd() || !SqlIsNamePart(c.Peek())) {
        m_bUnknown = true;
        return true;
    }
    pColumn->strNameSql = c.Peek().strText;
    pColumn->strName = SqlNameOf(c.Peek());
    c.Advance();
    if (c.Accept(L"AS")) { // a computed column
        std::wstring expr;
        if (!(c.IsPunct(L"(") ? Group(c, &expr, pError) : Computed(c, &expr, pError)))
            return false;
        pColumn->bComputed = true;
        pColumn->clauses.push_back(L"AS " + expr + (c.Accept(L"PERSISTED") ? L" STORED" : L""));
    } else if (!ReadType(c, pColumn, pError)) {
        return false;
    }
    std::wstring strName; // a pending CONSTRAINT name
    while (!c.AtEnd() && !m_bUnknown) {
        std::wstring named = strName.empty() ? L"" : L"CONSTRAINT " + strName + L" ";
        if (c.Accept(L"CONSTRAINT")) {
            if (c.AtEnd() || !SqlIsNamePart(c.Peek()))
                break;
            strName = SqlQuoteName(SqlNameOf(c.Peek()));
            c.Advance();
            continue;
        }
        if (c.Accept(L"NULL")) {
            pColumn->nNull = CSqlColumnDef::kNull;
        } else if (c.Accept(L"NOT")) {
            if (!c.Accept(L"NULL"))
                break;
            pColumn->nNull = CSqlColumnDef::kNotNull;
        } else if (c.Accept(L"PRIMARY")) {
            if (!c.Accept(L"KEY"))
                break;
            pColumn->bPrimaryKey = true;
            pColumn->strKeyName = strName;
            c.Accept(L"ASC");
            SkipStorage(c);
            pColumn->bAutoincrement = c.Accept(L"AUTOINCREMENT");
        } else if (c.Accept(L"UNIQUE")) {
            SkipStorage(c);
            pColumn->clauses.push_back(named + L"UNIQUE");
        } else if (c.Accept(L"DEFAULT")) {
            std::wstring expr;
            if (!Expression(c, &expr, pError))
                return false;
            PadDefault(*pColumn, &expr);
            pColumn->clauses.push_back(named + L"DEFAULT (" + expr + L")");
        } else if (c.Accept(L"IDENTITY")) {
            pColumn->bIdentity = true;
            if (c.AcceptPunct(L"(")) {
                auto number = [&](long long* pn) {
                    bool bMinus = c.AcceptPunct(L"-");
                    if (c.AtEnd() || c.Peek().nKind != SqlTok::kNumber)
                        return false;
                    *pn = std::wcstoll(c.Peek().strText.Str().c_str(), nullptr, 10) *
                          (bMinus ? -1 : 1);
                    c.Advance();
                    return true;
                };
                if (!number(&pColumn->nSeed) || !c.AcceptPunct(L",") ||
                    !number(&pColumn->nIncrement) || !c.AcceptPunct(L")"))
                    break;
            }
            if (c.IsWord(L"NOT") && c.PeekNext() && SqlIs(*c.PeekNext(), L"FOR")) {
                c.Advance(), c.Advance();
                c.Accept(L"REPLICATION");
            }
        } else if (c.Accept(L"CHECK")) {
            if (c.Accept(L"NOT") && !(c.Accept(L"FOR") && c.Accept(L"REPLICATION")))
                break;
            std::wstring expr;
            if (!Group(c, &expr, pError))
                return false;
            // The rules this system wrote are written again from the type.
            std::wstring rule;
            if (!RuleOf(strName, &rule))
                pColumn->clauses.push_back(named + L"CHECK " + expr);
            else if (rule.compare(0, 9, L"identity:") == 0)
                ReadIdentityRule(rule, pColumn);
        } else if (c.IsWord(L"FOREIGN") || c.IsWord(L"REFERENCES")) {
            if (c.Accept(L"FOREIGN") && !c.Accept(L"KEY"))
                break;
            std::wstring ref;
            if (!References(c, &ref, pError))
                return false;
            pColumn->clauses.push_back(named + ref);
        } else if (c.Accept(L"COLLATE")) {
            if (c.AtEnd() || !SqlIsNamePart(c.Peek()))
                break;
            std::wstring coll = SqlNameOf(c.Peek());
            c.Advance();
            CSqlCollation parsed;
            if (!SqlParseCollation(coll, &parsed) && !SqlEqualNoCase(coll, L"NOCASE") &&
                !SqlEqualNoCase(coll, L"BINARY") && !SqlEqualNoCase(coll, L"RTRIM") &&
                WinWideToUtf8(SqlLower(coll)) != kSqlDateCollation) {
                *pError = SqlServerError(448, L"Invalid collation '" + coll + L"'.");
                return false;
            }
            pColumn->strCollation = coll;
        } else if (c.Accept(L"ROWGUIDCOL") || c.Accept(L"SPARSE")) {
            // markers without an effect on values
        } else if (c.Accept(L"GENERATED") || c.IsWord(L"AS")) {
            if (!c.IsWord(L"AS") && !(c.Accept(L"ALWAYS") && c.IsWord(L"AS")))
                break;
            c.Advance();
            std::wstring expr;
            if (!Group(c, &expr, pError))
                return false;
            std::wstring kind = c.Accept(L"STORED")    ? L" STORED"
                                : c.Accept(L"VIRTUAL") ? L" VIRTUAL"
                                                       : L"";
            pColumn->bComputed = true;
            pColumn->clauses.push_back(L"AS " + expr + kind);
        } else {
            break;
        }
        strName.clear();
    }
    if (!c.AtEnd())
        m_bUnknown = true;
    (void)def;
    return true;
}

bool CSqlTableReader::References(CSqlCursor& c, std::wstring* pOut, CSqlBridgeError* pError) {
    if (!c.Accept(L"REFERENCES") || c.AtEnd()) {
        m_bUnknown = true;
        return true;
    }
    CSqlObjectName target;
    size_t nNext = 0;
    if (!m_rewriter.ObjectName(c.Pos(), c.End(), &target, &nNext, pError))
        return false;
    c.Seek(nNext);
    // SQLite's references name a table of the same database, without a schema.
    *pOut = L"REFERENCES " + SqlQuoteName(target.strName);
    if (c.IsPunct(L"(")) {
        std::wstring cols;
        ColumnList(c, &cols, nullptr);
        *pOut += L" " + cols;
    }
    while (c.IsWord(L"ON") || c.IsWord(L"NOT")) {
        if (c.Accept(L"NOT")) {
            if (!(c.Accept(L"FOR") && c.Accept(L"REPLICATION")))
                m_bUnknown = true;
            continue;
        }
        c.Advance();
        if (c.AtEnd())
            break;
        *pOut += L" ON " + c.Peek().strText;
        c.Advance();
        if (c.IsWord(L"NO") || c.IsWord(L"SET")) {
            *pOut += L" " + c.Peek().strText;
            c.Advance();
        }
        if (!c.AtEnd()) {
            *pOut += L" " + c.Peek().strText;
            c.Advance();
        }
    }
    return true;
}

bool CSqlTableReader::ReadConstraint(size_t nBegin, size_t nEnd, CSqlTableDef* pDef,
                                     CSqlBridgeError* pError) {
    CSqlCursor c(m_tokens, nBegin, nEnd);
    std::wstring strName;
    if (c.Accept(L"CONSTRAINT")) {
        if (c.AtEnd() || !SqlIsNamePart(c.Peek())) {
            m_bUnknown = true;
            return true;
        }
        strName = SqlQuoteName(SqlNameOf(c.Peek()));
        c.Advance();
    }
    std::wstring named = strName.empty() ? L"" : L"CONSTRAINT " + strName + L" ";
    std::wstring text;
    if (c.Accept(L"PRIMARY")) {
        if (!c.Accept(L"KEY"))
            m_bUnknown = true;
        SkipStorage(c);
        std::wstring cols;
        std::vector<std::wstring> names;
        ColumnList(c, &cols, &names);
        SkipStorage(c);
        if (!pDef->primaryKey.empty()) {
            *pError =
                SqlServerError(8110, L"Cannot add multiple PRIMARY KEY constraints to table '" +
                                         SqlMessageTableName(pDef->name) + L"'.");
            return false;
        }
        pDef->primaryKey = names;
        pDef->strPrimaryName = strName;
        pDef->nPrimaryConstraint = pDef->constraints.size();
        text = named + L"PRIMARY KEY " + cols;
    } else if (c.Accept(L"UNIQUE")) {
        SkipStorage(c);
        std::wstring cols;
        ColumnList(c, &cols, nullptr);
        SkipStorage(c);
        text = named + L"UNIQUE " + cols;
    } else if (c.Accept(L"CHECK")) {
        if (c.Accept(L"NOT") && !(c.Accept(L"FOR") && c.Accept(L"REPLICATION")))
            m_bUnknown = true;
        std::wstring expr;
        if (!Group(c, &expr, pError))
            return false;
        std::wstring rule;
        if (RuleOf(strName, &rule))
            return true;
        text = named + L"CHECK " + expr;
    } else if (c.Accept(L"FOREIGN")) {
        if (!c.Accept(L"KEY"))
            m_bUnknown = true;
        std::wstring cols, ref;
        ColumnList(c, &cols, nullptr);
        if (!References(c, &ref, pError))
            return false;
        text = named + L"FOREIGN KEY " + cols + L" " + ref;
    } else if (strName.empty() && c.Accept(L"INDEX")) {
        // INDEX name [UNIQUE] [CLUSTERED] (columns), inside the table's definition.
        if (c.AtEnd() || !SqlIsNamePart(c.Peek())) {
            m_bUnknown = true;
            return true;
        }
        std::wstring index = SqlQuoteName(SqlNameOf(c.Peek()));
        c.Advance();
        bool bUnique = c.Accept(L"UNIQUE");
        SkipStorage(c);
        std::wstring cols;
        ColumnList(c, &cols, nullptr);
        SkipStorage(c);
        pDef->indexes.push_back(
            std::wstring(L"CREATE ") + (bUnique ? L"UNIQUE " : L"") + L"INDEX " +
            (pDef->name.strSchema == L"main" ? std::wstring()
                                             : SqlQuoteName(pDef->name.strSchema) + L".") +
            index + L" ON " + SqlQuoteName(pDef->name.strName) + L" " + cols);
        return true;
    } else {
        m_bUnknown = true;
        return true;
    }
    if (!c.AtEnd())
        m_bUnknown = true;
    pDef->constraints.push_back(text);
    return true;
}

bool CSqlTableReader::Read(size_t nNameAt, size_t nEnd, CSqlTableDef* pDef, bool* pbUnderstood,
                           CSqlBridgeError* pError) {
    *pbUnderstood = false;
    m_bUnknown = false;
    size_t nNext = 0;
    if (!m_rewriter.ObjectName(nNameAt, nEnd, &pDef->name, &nNext, pError))
        return false;
    CSqlCursor c(m_tokens, nNext, nEnd);
    for (size_t i = nNext; i < c.Pos(); ++i)
        if (m_tokens[i].nKind == SqlTok::kComment &&
            m_tokens[i].strText.compare(0, wcslen(kSqlCreatedMarker), kSqlCreatedMarker) == 0)
            pDef->strCreated = m_tokens[i].strText;
    if (!c.AcceptPunct(L"("))
        return true; // CREATE TABLE ... AS SELECT and the like: SQLite's to judge
    for (;;) {
        // One element: up to the "," or ")" at this depth.
        size_t nStart = c.Pos(), i = nStart;
        int nDepth = 0;
        for (; i < nEnd; ++i) {
            const CSqlToken& t = m_tokens[i];
            if (SqlIsPunct(t, L"("))
                ++nDepth;
            else if (SqlIsPunct(t, L")") && nDepth-- == 0)
                break;
            else if (SqlIsPunct(t, L",") && nDepth == 0)
                break;
        }
        if (i >= nEnd)
            return true;
        const CSqlToken& first = m_tokens[nStart];
        CSqlCursor ahead(m_tokens, nStart, i);
        ahead.Advance();
        ahead.Advance(); // INDEX name, then what an index has and a column does not
        bool bIndex =
            SqlIs(first, L"INDEX") && (ahead.IsPunct(L"(") || ahead.IsWord(L"UNIQUE") ||
                                       ahead.IsWord(L"CLUSTERED") || ahead.IsWord(L"NONCLUSTERED"));
        bool bConstraint = SqlIs(first, L"CONSTRAINT") || SqlIs(first, L"PRIMARY") ||
                           SqlIs(first, L"UNIQUE") || SqlIs(first, L"CHECK") ||
                           SqlIs(first, L"FOREIGN") || bIndex;
        if (bConstraint) {
            if (!ReadConstraint(nStart, i, pDef, pError))
                return false;
        } else {
            CSqlColumnDef column;
            if (!ReadColumn(nStart, i, *pDef, &column, pError))
                return false;
            pDef->columns.push_back(column);
        }
        if (m_bUnknown)
            return true;
        c.Seek(i + 1);
        if (SqlIsPunct(m_tokens[i], L")"))
            break;
    }
    // After the definition: storage that SQLite has no use for, or SQLite's own options.
    for (;;) {
        SkipStorage(c);
        if (c.Accept(L"WITHOUT")) {
            if (!c.Accept(L"ROWID"))
                return true;
            pDef->strOptions += pDef->strOptions.empty() ? L" WITHOUT ROWID" : L", WITHOUT ROWID";
        } else if (c.Accept(L"STRICT")) {
            pDef->strOptions += pDef->strOptions.empty() ? L" STRICT" : L", STRICT";
        } else if (!c.AcceptPunct(L",")) {
            break;
        }
    }
    *pbUnderstood = c.AtEnd();
    return true;
}
