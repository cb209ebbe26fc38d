// UPDATE and DELETE whose FROM list names their target: SQL Server joins the target's rows to
// the list's other tables, where SQLite's own UPDATE ... FROM would take the list's table as
// another one. The target's rows are found by rowid in a query over the whole list.
#include "platform/ado/sqlite/SqlServerStatements.h"

bool CSqlStatementTranslator::FromTables(size_t nBegin, size_t nEnd,
                                         std::vector<CFromTable>* pTables,
                                         CSqlBridgeError* pError) {
    static const wchar_t* const kNoAlias[] = {L"ON",    L"JOIN",  L"INNER",  L"LEFT",  L"RIGHT",
                                              L"FULL",  L"CROSS", L"OUTER",  L"WHERE", L"WITH",
                                              L"GROUP", L"ORDER", L"OPTION", L"UNION", L"HAVING"};
    CSqlCursor c(m_t, nBegin, nEnd);
    bool bTable = true; // a table comes next: after FROM, JOIN and ","
    while (!c.AtEnd()) {
        if (!bTable) {
            bTable = c.IsWord(L"JOIN") || c.IsPunct(L",");
            c.Step();
            continue;
        }
        bTable = false;
        CFromTable table;
        if (c.IsPunct(L"(")) {
            c.SkipGroup(); // a derived table: only its alias counts
        } else if (SqlIsNamePart(c.Peek())) {
            size_t nNext = 0;
            if (!m_rewriter.ObjectName(c.Pos(), nEnd, &table.name, &nNext, pError))
                return false;
            for (size_t k = c.Pos(); k < nNext; ++k)
                if (SqlIsNamePart(m_t[k]))
                    table.strWritten = SqlNameOf(m_t[k]);
            c.Seek(nNext);
            if (c.IsWord(L"WITH") && c.PeekNext() && SqlIsPunct(*c.PeekNext(), L"(")) {
                c.Advance(); // table hints
                c.SkipGroup();
            }
        } else {
            continue;
        }
        bool bAs = c.Accept(L"AS");
        if (!c.AtEnd() && SqlIsNamePart(c.Peek()) && (bAs || !SqlIsOneOf(c.Peek(), kNoAlias))) {
            table.strAlias = SqlNameOf(c.Peek());
            c.Advance();
        }
        pTables->push_back(table);
    }
    return true;
}

bool CSqlStatementTranslator::Delete(CSqlCursor& c, CSqlTranslation* pOut,
                                     CSqlBridgeError* pError) {
    c.Advance();
    c.Accept(L"FROM");
    if (c.AtEnd() || !SqlIsNamePart(c.Peek()) || c.IsWord(L"TOP"))
        return Generic(pOut, pError);
    CSqlObjectName target;
    std::wstring written;
    if (!TargetAt(c, &target, &written, pError))
        return false;
    if (!c.IsWord(L"FROM"))
        return Generic(pOut, pError); // DELETE [FROM] T [WHERE ...]: SQLite's own
    size_t nFrom = c.Pos();
    // The target is one of the list's tables, or it joins the list.
    std::vector<CFromTable> tables;
    const CFromTable* pMatch = nullptr;
    if (!FromTarget(nFrom, written, &tables, &pMatch, pError))
        return false;
    const CSqlObjectName& table = pMatch ? pMatch->name : target;
    const CSqlTableDef* pDef = nullptr;
    if (LoadTable(table, &pDef) && !RowidTable(*pDef, L"DELETE", pError))
        return false;
    std::wstring rest; // "FROM list [WHERE ...]", names and hints as a query's
    if (!Rewrite(nFrom, m_nEnd, &rest, pError))
        return false;
    std::wstring ref = SqlQuoteName(pMatch && !pMatch->strAlias.empty() ? pMatch->strAlias
                                    : pMatch                            ? pMatch->strWritten
                                                                        : written);
    if (!pMatch)
        rest.insert(4, L" " + table.strSql + L","); // after FROM
    pOut->statements.push_back(L"DELETE FROM " + table.strSql + L" WHERE rowid IN (SELECT " + ref +
                               L".rowid " + rest + L")");
    return true;
}

bool CSqlStatementTranslator::TargetAt(CSqlCursor& c, CSqlObjectName* pName,
                                       std::wstring* pstrWritten, CSqlBridgeError* pError) {
    size_t nBegin = c.Pos();
    if (!NameAt(c, pName, pError))
        return false;
    pstrWritten->clear();
    for (size_t k = nBegin; k < c.Pos() && !SqlIs(m_t[k], L"WITH"); ++k)
        if (SqlIsNamePart(m_t[k]))
            *pstrWritten = SqlNameOf(m_t[k]);
    return true;
}

bool CSqlStatementTranslator::FromTarget(size_t nFrom, const std::wstring& strWritten,
                                         std::vector<CFromTable>* pTables,
                                         const CFromTable** ppMatch, CSqlBridgeError* pError) {
    *ppMatch = nullptr;
    CSqlCursor c(m_t, nFrom, m_nEnd);
    if (!c.IsWord(L"FROM"))
        return true;
    // The list ends where the statement's own WHERE (or OPTION) begins.
    size_t nListEnd = m_nEnd;
    int nDepth = 0;
    for (size_t k = c.Pos() + 1; k < m_nEnd && nListEnd == m_nEnd; ++k) {
        nDepth += SqlIsPunct(m_t[k], L"(") ? 1 : SqlIsPunct(m_t[k], L")") ? -1 : 0;
        if (nDepth == 0 && (SqlIs(m_t[k], L"WHERE") || SqlIs(m_t[k], L"OPTION")))
            nListEnd = k;
    }
    if (!FromTables(c.Pos() + 1, nListEnd, pTables, pError))
        return false;
    // The table of that alias, else one of that name written without an alias.
    for (const CFromTable& t : *pTables)
        if (!*ppMatch && SqlSameName(t.strAlias, strWritten))
            *ppMatch = &t;
    for (const CFromTable& t : *pTables)
        if (!*ppMatch && t.strAlias.empty() && SqlSameName(t.strWritten, strWritten))
            *ppMatch = &t;
    return true;
}

std::wstring CSqlStatementTranslator::FromReference(const CFromTable& table) {
    return SqlQuoteName(table.strAlias.empty() ? table.strWritten : table.strAlias);
}

bool CSqlStatementTranslator::RowidTable(const CSqlTableDef& def, const wchar_t* pszStatement,
                                         CSqlBridgeError* pError) {
    if (SqlLower(def.strOptions).find(L"without rowid") == std::wstring::npos)
        return true;
    *pError = SqlRefusal(std::wstring(pszStatement) +
                         L" with a FROM list on a table WITHOUT ROWID is not supported by the "
                         L"embedded database.");
    return false;
}
