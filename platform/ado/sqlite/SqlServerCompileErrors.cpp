// SQLite names what it could not compile in the translated statement, where names are
// quoted, schemas replaced and functions renamed; the host's own statement gives them back.
#include "platform/ado/sqlite/SqlServerCompileErrors.h"

#include "platform/ado/sqlite/SqlTokens.h"

namespace {

// The words SQL Server reserves, which its syntax errors call keywords.
const wchar_t* const kReserved[] = {
    L"ADD",          L"ALL",      L"ALTER",     L"AND",     L"ANY",       L"AS",
    L"ASC",          L"BEGIN",    L"BETWEEN",   L"BREAK",   L"BY",        L"CASCADE",
    L"CASE",         L"CHECK",    L"CLUSTERED", L"COLLATE", L"COLUMN",    L"COMMIT",
    L"CONSTRAINT",   L"CONTINUE", L"CREATE",    L"CROSS",   L"CURRENT",   L"DATABASE",
    L"DECLARE",      L"DEFAULT",  L"DELETE",    L"DESC",    L"DISTINCT",  L"DROP",
    L"ELSE",         L"END",      L"ESCAPE",    L"EXCEPT",  L"EXEC",      L"EXECUTE",
    L"EXISTS",       L"FETCH",    L"FOR",       L"FOREIGN", L"FROM",      L"FULL",
    L"FUNCTION",     L"GOTO",     L"GROUP",     L"HAVING",  L"IDENTITY",  L"IF",
    L"IN",           L"INDEX",    L"INNER",     L"INSERT",  L"INTERSECT", L"INTO",
    L"IS",           L"JOIN",     L"KEY",       L"LEFT",    L"LIKE",      L"NOCHECK",
    L"NONCLUSTERED", L"NOT",      L"NULL",      L"OF",      L"OFF",       L"ON",
    L"OPEN",         L"OR",       L"ORDER",     L"OUTER",   L"OVER",      L"PERCENT",
    L"PIVOT",        L"PRIMARY",  L"PRINT",     L"PROC",    L"PROCEDURE", L"REFERENCES",
    L"RETURN",       L"RIGHT",    L"ROLLBACK",  L"SAVE",    L"SCHEMA",    L"SELECT",
    L"SET",          L"TABLE",    L"THEN",      L"TO",      L"TOP",       L"TRAN",
    L"TRANSACTION",  L"TRIGGER",  L"TRUNCATE",  L"UNION",   L"UNIQUE",    L"UPDATE",
    L"USE",          L"USER",     L"VALUES",    L"VIEW",    L"WHEN",      L"WHERE",
    L"WHILE",        L"WITH",
};

bool StartsWith(const std::wstring& s, const wchar_t* pszHead, std::wstring* pstrRest) {
    std::wstring head(pszHead);
    if (s.compare(0, head.size(), head) != 0)
        return false;
    *pstrRest = s.substr(head.size());
    return true;
}

// SQLite's name without its quotes and without the schema it put before it.
std::wstring LastPart(std::wstring s) {
    if (s.size() >= 2 && s.front() == L'"' && s.back() == L'"')
        s = s.substr(1, s.size() - 2);
    size_t nDot = s.rfind(L'.');
    return nDot == std::wstring::npos ? s : s.substr(nDot + 1);
}

// The host's multi-part name (dbo.T, [db].[dbo].[T]) whose last part is strLast, written
// without its brackets as SQL Server's messages give it; empty when the source has none.
std::wstring WrittenName(const CSqlTokens& t, const std::wstring& strLast) {
    for (size_t i = 0; i < t.size(); ++i) {
        if (!SqlIsNamePart(t[i]) || (i > 0 && SqlIsPunct(t[i - 1], L".")))
            continue;
        std::wstring strName = SqlNameOf(t[i]), strPart = strName;
        size_t k = i + 1;
        while (k + 1 < t.size() && SqlIsPunct(t[k], L".") && SqlIsNamePart(t[k + 1])) {
            strPart = SqlNameOf(t[k + 1]);
            strName += L"." + strPart;
            k += 2;
        }
        if (SqlSameName(strPart, strLast))
            return strName;
    }
    return std::wstring();
}

// The host's token for SQLite's text of it, to give it as written.
const CSqlToken* WrittenToken(const CSqlTokens& t, const std::wstring& strText) {
    for (const CSqlToken& token : t)
        if (!SqlIsBlank(token) && SqlSameName(token.strText, strText))
            return &token;
    return nullptr;
}

void Syntax(const CSqlTokens& t, const std::wstring& strNear, CSqlViolation* pOut) {
    const CSqlToken* p = WrittenToken(t, strNear);
    std::wstring strText = p ? p->strText : strNear;
    if (p && SqlIsOneOf(*p, kReserved)) {
        pOut->nNumber = 156;
        pOut->strText = L"Incorrect syntax near the keyword '" + strText + L"'.";
    } else {
        pOut->nNumber = 102;
        pOut->strText = L"Incorrect syntax near '" + strText + L"'.";
    }
}

} // namespace

bool SqlServerCompileError(const std::wstring& strMessage, const std::wstring& strSource,
                           CSqlViolation* pOut) {
    CSqlTokens t;
    if (!SqlTokenize(strSource, &t))
        t.clear();
    std::wstring rest;
    if (StartsWith(strMessage, L"no such table: ", &rest) ||
        StartsWith(strMessage, L"no such view: ", &rest)) {
        std::wstring strName = WrittenName(t, LastPart(rest));
        if (strName.empty())
            strName = LastPart(rest);
        // DROP TABLE and DROP VIEW have their own words for it.
        CSqlCursor c(t, 0, t.size());
        if (c.Accept(L"DROP") && (c.IsWord(L"TABLE") || c.IsWord(L"VIEW"))) {
            pOut->nNumber = 3701;
            pOut->strText = std::wstring(L"Cannot drop the ") +
                            (c.IsWord(L"TABLE") ? L"table '" : L"view '") + strName +
                            L"', because it does not exist or you do not have permission.";
            return true;
        }
        pOut->nNumber = 208;
        pOut->strText = L"Invalid object name '" + strName + L"'.";
        return true;
    }
    for (const wchar_t* pszKind : {L"table ", L"view ", L"trigger "}) {
        if (StartsWith(strMessage, pszKind, &rest) && rest.size() > 15 &&
            rest.compare(rest.size() - 15, 15, L" already exists") == 0) {
            CSqlTokens name;
            std::wstring strName = rest.substr(0, rest.size() - 15);
            if (SqlTokenize(strName, &name) && name.size() == 1 && SqlIsNamePart(name[0]))
                strName = SqlNameOf(name[0]);
            pOut->nNumber = 2714;
            pOut->strText =
                L"There is already an object named '" + LastPart(strName) + L"' in the database.";
            return true;
        }
    }
    if (strMessage == L"all VALUES must have the same number of terms") {
        pOut->nNumber = 10709;
        pOut->strText = L"The number of columns for each row in a table value constructor must "
                        L"be the same.";
        return true;
    }
    // SQL Server names only the column, whatever the host put before it.
    if (StartsWith(strMessage, L"no such column: ", &rest)) {
        pOut->nNumber = 207;
        pOut->strText = L"Invalid column name '" + LastPart(rest) + L"'.";
        return true;
    }
    if (StartsWith(strMessage, L"ambiguous column name: ", &rest)) {
        pOut->nNumber = 209;
        pOut->strText = L"Ambiguous column name '" + LastPart(rest) + L"'.";
        return true;
    }
    if (StartsWith(strMessage, L"no such function: ", &rest)) {
        const CSqlToken* p = WrittenToken(t, rest);
        pOut->nNumber = 195;
        pOut->strText = L"'" + (p ? p->strText : rest) +
                        L"' is not a recognized built-in "
                        L"function name.";
        return true;
    }
    // SQLite names the token of the translated statement it stopped at, which the host's
    // statement usually has too; when it does not, SQLite's token is all there is to name.
    if (StartsWith(strMessage, L"near \"", &rest) && rest.size() > 15 &&
        rest.compare(rest.size() - 15, 15, L"\": syntax error") == 0) {
        Syntax(t, rest.substr(0, rest.size() - 15), pOut);
        return true;
    }
    if (StartsWith(strMessage, L"unrecognized token: \"", &rest) && !rest.empty()) {
        Syntax(t, rest.substr(0, rest.size() - 1), pOut);
        return true;
    }
    // A statement cut short: SQL Server stops at its last token.
    if (strMessage == L"incomplete input") {
        size_t n = t.size();
        while (n > 0 && SqlIsBlank(t[n - 1]))
            --n;
        Syntax(t, n > 0 ? t[n - 1].strText : std::wstring(), pOut);
        return true;
    }
    return false;
}
