#include "platform/ado/sqlite/SqlServerTable.h"

#include <cstdlib>

#include "platform/ado/sqlite/SqlServerCollation.h"

const wchar_t kSqlRulePrefix[] = L"zqk_";
const wchar_t kSqlDefaultCollation[] = L"SQL_Latin1_General_CP1_CI_AS";

namespace {

// Words that end a column's type and start its constraints.
const wchar_t* const kColumnKeywords[] = {
    L"CONSTRAINT", L"NULL",      L"NOT",        L"PRIMARY",       L"UNIQUE",  L"DEFAULT",
    L"IDENTITY",   L"CHECK",     L"REFERENCES", L"FOREIGN",       L"COLLATE", L"ROWGUIDCOL",
    L"SPARSE",     L"GENERATED", L"AS",         L"AUTOINCREMENT", L"ON"};

bool IsColumnKeyword(const CSqlToken& t) {
    for (const wchar_t* w : kColumnKeywords)
        if (SqlIs(t, w))
            return true;
    return false;
}

CSqlBridgeError Error(long nNumber, const std::wstring& strText) {
    CSqlBridgeError e;
    e.nNumber = nNumber;
    e.strText = strText;
    return e;
}

std::wstring Rule(SqlRule nRule, const std::wstring& strDetail, const std::wstring& strCheck) {
    std::wstring name = std::wstring(kSqlRulePrefix) + SqlRuleName(nRule);
    if (!strDetail.empty())
        name += L":" + strDetail;
    return L"CONSTRAINT " + SqlQuoteName(name) + L" CHECK (" + strCheck + L")";
}

std::wstring Number(long long n) {
    return std::to_wstring(n);
}

const wchar_t* RangeOf(const std::string& type, long long* pnLo, long long* pnHi) {
    if (type == "tinyint")
        *pnLo = 0, *pnHi = 255;
    else if (type == "smallint")
        *pnLo = -32768, *pnHi = 32767;
    else if (type == "int")
        *pnLo = -2147483648LL, *pnHi = 2147483647LL;
    else
        return nullptr;
    return L"";
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

} // namespace

const wchar_t* SqlRuleName(SqlRule nRule) {
    switch (nRule) {
    case SqlRule::kTruncation:
        return L"truncation";
    case SqlRule::kType:
        return L"type";
    case SqlRule::kRange:
        return L"range";
    case SqlRule::kBinaryType:
        return L"binary";
    case SqlRule::kGuid:
        return L"guid";
    case SqlRule::kIdentity:
        return L"identity";
    }
    return L"";
}

CSqlColumnDef* CSqlTableDef::Find(const std::wstring& strColumn) {
    for (CSqlColumnDef& c : columns)
        if (wcscasecmp(c.strName.c_str(), strColumn.c_str()) == 0)
            return &c;
    return nullptr;
}

const CSqlColumnDef* CSqlTableDef::Identity() const {
    for (const CSqlColumnDef& c : columns)
        if (c.bIdentity)
            return &c;
    return nullptr;
}

std::wstring SqlMessageTableName(const CSqlObjectName& name) {
    return name.strName.find(L'.') == std::wstring::npos ? L"dbo." + name.strName : name.strName;
}

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
                *pError = Error(102, L"Incorrect syntax near '-'.");
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
            *pError = Error(1001, L"Length or precision specification 0 is invalid.");
            return false;
        }
        if (n > row.nPrec) {
            *pError =
                Error(131, L"The size (" + args + L") given to the column '" + pColumn->strName +
                               L"' exceeds the maximum allowed for any data type (" +
                               Number(row.nPrec) + L").");
            return false;
        }
    }
    if (row.nAdoType == adNumeric && !args.empty()) {
        if (pColumn->type.nPrec > 38 || pColumn->type.nPrec < 1) {
            *pError = Error(2750, L"Column or parameter: Specified column precision " +
                                      Number(pColumn->type.nPrec) +
                                      L" is greater than the maximum precision of 38.");
            return false;
        }
        if (pColumn->type.nScale > pColumn->type.nPrec) {
            *pError = Error(2751, L"Column or parameter: Specified column scale " +
                                      Number(pColumn->type.nScale) +
                                      L" is greater than the specified precision of " +
                                      Number(pColumn->type.nPrec) + L".");
            return false;
        }
    }
    return true;
}

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
        if (!Group(c, &expr, pError))
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
            pColumn->clauses.push_back(named + L"DEFAULT (" + expr + L")");
        } else if (c.Accept(L"IDENTITY")) {
            pColumn->bIdentity = true;
            if (c.AcceptPunct(L"(")) {
                auto number = [&](long long* pn) {
                    bool bMinus = c.AcceptPunct(L"-");
                    if (c.AtEnd() || c.Peek().nKind != SqlTok::kNumber)
                        return false;
                    *pn = std::wcstoll(c.Peek().strText.c_str(), nullptr, 10) * (bMinus ? -1 : 1);
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
                !SqlEqualNoCase(coll, L"BINARY") && !SqlEqualNoCase(coll, L"RTRIM")) {
                *pError = Error(448, L"Invalid collation '" + coll + L"'.");
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
            *pError = Error(8110, L"Cannot add multiple PRIMARY KEY constraints to table '" +
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

std::wstring SqlWriteColumn(const CSqlColumnDef& col) {
    std::wstring s = col.strNameSql;
    const CSqlDeclaredType& t = col.type;
    std::wstring q = SqlQuoteName(col.strName);
    if (col.bIdentity)
        s += L" INTEGER"; // only INTEGER makes the key SQLite's row id, which numbers new rows
    else if (col.bHasType && t.bMax && col.bServerType)
        s += L" " + SqlQuoteName(col.strTypeText); // "(max)": only quoted is it one type name
    else if (col.bHasType)
        s += L" " + col.strTypeText;
    if (col.nNull == CSqlColumnDef::kNotNull)
        s += L" NOT NULL";
    std::wstring collation = col.strCollation;
    if (collation.empty() && col.bServerType && !col.bIdentity) {
        if (t.pRow->nClass == SqlTypeClass::kChar || t.pRow->nClass == SqlTypeClass::kNChar)
            collation = kSqlDefaultCollation;
        else if (t.pRow->nClass == SqlTypeClass::kGuid)
            collation = L"NOCASE"; // hexadecimal digits in either case
    }
    if (!collation.empty())
        s += L" COLLATE " + collation;
    if (col.bPrimaryKey) {
        if (!col.strKeyName.empty())
            s += L" CONSTRAINT " + col.strKeyName;
        s += L" PRIMARY KEY";
        if (col.bIdentity || col.bAutoincrement)
            s += L" AUTOINCREMENT";
    }
    for (const std::wstring& clause : col.clauses)
        s += L" " + clause;
    if (!col.bServerType || col.bComputed)
        return s;
    // SQL Server's rules for the values of the type, checked as rows are written.
    const std::string name = t.pRow->pszName;
    const std::wstring wname(name.begin(), name.end());
    switch (t.pRow->nClass) {
    case SqlTypeClass::kChar:
    case SqlTypeClass::kNChar:
        if (!t.bMax && t.pRow->nLength == 0)
            s += L" " + Rule(SqlRule::kTruncation, L"",
                             L"length(rtrim(" + q + L", ' ')) <= " + Number(t.nLength));
        break;
    case SqlTypeClass::kBinary:
        if (t.pRow->nXtype == 189)
            break; // timestamp
        s += L" " + Rule(SqlRule::kBinaryType, wname, L"typeof(" + q + L") IN ('blob','null')");
        if (!t.bMax && t.pRow->nLength == 0)
            s += L" " +
                 Rule(SqlRule::kTruncation, L"", L"length(" + q + L") <= " + Number(t.nLength));
        break;
    case SqlTypeClass::kInteger: {
        s += L" " + Rule(SqlRule::kType, wname, L"typeof(" + q + L") IN ('integer','null')");
        long long lo = 0, hi = 0;
        if (RangeOf(name, &lo, &hi))
            s += L" " + Rule(SqlRule::kRange, wname,
                             q + L" BETWEEN " + Number(lo) + L" AND " + Number(hi));
        break;
    }
    case SqlTypeClass::kBit:
        s += L" " + Rule(SqlRule::kType, wname, q + L" IN (0,1)");
        break;
    case SqlTypeClass::kFloat:
        s += L" " + Rule(SqlRule::kType, wname, L"typeof(" + q + L") IN ('integer','real','null')");
        break;
    case SqlTypeClass::kExact: {
        s += L" " + Rule(SqlRule::kType, wname, L"typeof(" + q + L") IN ('integer','real','null')");
        std::wstring limit = name == "money"        ? L"922337203685477.5807"
                             : name == "smallmoney" ? L"214748.3647"
                                                    : L"1e" + Number(t.nPrec - t.nScale);
        s += L" " +
             Rule(SqlRule::kRange, wname,
                  L"abs(" + q + L") " + (t.pRow->nAdoType == adNumeric ? L"< " : L"<= ") + limit);
        break;
    }
    case SqlTypeClass::kGuid: {
        std::wstring hex = L"[0-9A-Fa-f]", pattern;
        for (int n : {8, 4, 4, 4, 12}) {
            if (!pattern.empty())
                pattern += L"-";
            for (int i = 0; i < n; ++i)
                pattern += hex;
        }
        s += L" " + Rule(SqlRule::kGuid, L"", q + L" GLOB '" + pattern + L"'");
        break;
    }
    default:
        break;
    }
    if (col.bIdentity)
        s += L" " + Rule(SqlRule::kIdentity,
                         col.strTypeText + L":" + Number(col.nSeed) + L":" + Number(col.nIncrement),
                         L"1");
    return s;
}

bool SqlWriteTable(CSqlTableDef& def, std::vector<std::wstring>* pStatements,
                   CSqlBridgeError* pError) {
    const std::wstring table = SqlMessageTableName(def.name);
    CSqlColumnDef* pIdentity = nullptr;
    int nKeys = def.primaryKey.empty() ? 0 : 1;
    for (CSqlColumnDef& col : def.columns) {
        nKeys += col.bPrimaryKey ? 1 : 0;
        if (!col.bIdentity)
            continue;
        if (pIdentity) {
            *pError =
                Error(2744, L"Multiple identity columns specified for table '" + def.name.strName +
                                L"'. Only one identity column per table is allowed.");
            return false;
        }
        pIdentity = &col;
        const CSqlDeclaredType& t = col.type;
        bool bInteger = col.bServerType && (t.pRow->nClass == SqlTypeClass::kInteger ||
                                            (t.pRow->nAdoType == adNumeric && t.nScale == 0));
        if (!bInteger) {
            *pError = Error(2749, L"Identity column '" + col.strName +
                                      L"' must be of data type int, bigint, smallint, tinyint, or "
                                      L"decimal or numeric with a scale of 0, and constrained to "
                                      L"be nonnullable.");
            return false;
        }
        if (col.nNull == CSqlColumnDef::kNull) {
            *pError = Error(8147, L"Could not create IDENTITY attribute on nullable column '" +
                                      col.strName + L"', table '" + table + L"'.");
            return false;
        }
        if (col.nIncrement != 1 || col.nSeed < 1) {
            *pError = SqlRefusal(L"IDENTITY(" + Number(col.nSeed) + L"," + Number(col.nIncrement) +
                                 L") on column '" + col.strName +
                                 L"': the embedded database numbers identities only upwards by "
                                 L"1 from a seed of 1 or more.");
            return false;
        }
    }
    if (nKeys > 1) {
        *pError =
            Error(8110, L"Cannot add multiple PRIMARY KEY constraints to table '" + table + L"'.");
        return false;
    }
    // Key columns never hold NULL.
    for (CSqlColumnDef& col : def.columns) {
        bool bKey = col.bPrimaryKey;
        for (const std::wstring& k : def.primaryKey)
            bKey = bKey || wcscasecmp(k.c_str(), col.strName.c_str()) == 0;
        if (!bKey)
            continue;
        if (col.nNull == CSqlColumnDef::kNull) {
            *pError = Error(8111, L"Cannot define PRIMARY KEY constraint on nullable column in "
                                  L"table '" +
                                      def.name.strName + L"'.");
            return false;
        }
        col.nNull = CSqlColumnDef::kNotNull;
    }
    // The identity becomes SQLite's row id, which only the table's one key column can be.
    if (pIdentity && !pIdentity->bPrimaryKey) {
        if (def.primaryKey.size() == 1 &&
            wcscasecmp(def.primaryKey[0].c_str(), pIdentity->strName.c_str()) == 0) {
            pIdentity->bPrimaryKey = true;
            pIdentity->strKeyName = def.strPrimaryName;
            def.constraints.erase(def.constraints.begin() +
                                  static_cast<std::ptrdiff_t>(def.nPrimaryConstraint));
            def.primaryKey.clear();
        } else if (def.primaryKey.empty() && nKeys == 0) {
            pIdentity->bPrimaryKey = true;
        } else {
            *pError = SqlRefusal(L"The identity column '" + pIdentity->strName +
                                 L"' is not the primary key of table '" + table +
                                 L"': the embedded database keeps identities only in the "
                                 L"table's one key column.");
            return false;
        }
    }
    if (pIdentity)
        pIdentity->nNull = CSqlColumnDef::kNotNull;
    std::wstring sql = L"CREATE TABLE " + def.name.strSql + L" (";
    bool bFirst = true;
    for (const CSqlColumnDef& col : def.columns) {
        sql += (bFirst ? L"" : L", ") + SqlWriteColumn(col);
        bFirst = false;
    }
    for (const std::wstring& c : def.constraints) {
        sql += (bFirst ? L"" : L", ") + c;
        bFirst = false;
    }
    sql += L")" + def.strOptions;
    pStatements->push_back(sql);
    if (pIdentity && pIdentity->nSeed != 1)
        pStatements->push_back(L"INSERT INTO " + SqlQuoteName(def.name.strSchema) +
                               L".sqlite_sequence (name, seq) VALUES (" +
                               SqlQuoteString(def.name.strName) + L", " +
                               Number(pIdentity->nSeed - 1) + L")");
    for (const std::wstring& index : def.indexes)
        pStatements->push_back(index);
    return true;
}

std::wstring SqlRuleMessage(const std::wstring& strMessage, long* pnNumber) {
    const std::wstring head = L"CHECK constraint failed: " + std::wstring(kSqlRulePrefix);
    if (strMessage.compare(0, head.size(), head) != 0)
        return std::wstring();
    std::wstring rule = strMessage.substr(head.size());
    size_t nColon = rule.find(L':');
    std::wstring type = nColon == std::wstring::npos ? L"" : rule.substr(nColon + 1);
    rule = rule.substr(0, nColon);
    if (rule == SqlRuleName(SqlRule::kTruncation)) {
        *pnNumber = 8152;
        return L"String or binary data would be truncated.";
    }
    if (rule == SqlRuleName(SqlRule::kType)) {
        *pnNumber = 8114;
        return L"Error converting data type varchar to " + type + L".";
    }
    if (rule == SqlRuleName(SqlRule::kRange)) {
        *pnNumber = 8115;
        bool bDecimal = type == L"decimal" || type == L"numeric";
        return bDecimal
                   ? L"Arithmetic overflow error converting numeric to data type numeric."
                   : L"Arithmetic overflow error converting expression to data type " + type + L".";
    }
    if (rule == SqlRuleName(SqlRule::kBinaryType)) {
        *pnNumber = 257;
        return L"Implicit conversion from data type varchar to " + type +
               L" is not allowed. Use the CONVERT function to run this query.";
    }
    if (rule == SqlRuleName(SqlRule::kGuid)) {
        *pnNumber = 8169;
        return L"Conversion failed when converting from a character string to uniqueidentifier.";
    }
    return std::wstring();
}
