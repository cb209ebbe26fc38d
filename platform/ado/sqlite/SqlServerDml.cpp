// INSERT with SQL Server's identity rules, UPDATE of identities, SELECT ... INTO.
#include <cwctype>

#include "platform/ado/sqlite/SqlServerStatements.h"

namespace {

bool IsIdentity(const CSqlTableDef& def, const std::wstring& strColumn) {
    const CSqlColumnDef* p = def.Identity();
    return p && wcscasecmp(p->strName.c_str(), strColumn.c_str()) == 0;
}

} // namespace

bool CSqlStatementTranslator::Insert(CSqlCursor& c, CSqlTranslation* pOut,
                                     CSqlBridgeError* pError) {
    c.Advance();
    if (c.IsWord(L"OR") || c.IsWord(L"TOP"))
        return Generic(pOut, pError); // SQLite's INSERT OR ...; TOP is refused there
    c.Accept(L"INTO");
    if (c.AtEnd() || !SqlIsNamePart(c.Peek()))
        return Generic(pOut, pError);
    CSqlObjectName name;
    size_t nNext = 0;
    if (!m_rewriter.ObjectName(c.Pos(), m_nEnd, &name, &nNext, pError))
        return false;
    c.Seek(nNext);
    if (c.IsWord(L"WITH") && c.PeekNext() && SqlIsPunct(*c.PeekNext(), L"(")) {
        c.Advance(); // table hints
        c.SkipGroup();
    }
    std::vector<std::wstring> columns;
    std::wstring list;
    bool bList = false;
    if (c.IsPunct(L"(")) {
        CSqlCursor probe = c;
        probe.Advance();
        if (probe.IsWord(L"SELECT"))
            return Generic(pOut, pError);
        bList = true;
        c.Advance();
        while (!c.AtEnd() && SqlIsNamePart(c.Peek())) {
            columns.push_back(SqlNameOf(c.Peek()));
            list += (list.empty() ? L"" : L", ") + c.Peek().strText;
            c.Advance();
            if (!c.AcceptPunct(L","))
                break;
        }
        if (!c.AcceptPunct(L")"))
            return Generic(pOut, pError);
    }
    size_t nRest = c.Pos();
    const CSqlTableDef* pDef = nullptr;
    const CSqlColumnDef* pIdentity = LoadTable(name, &pDef) ? pDef->Identity() : nullptr;
    if (pIdentity) {
        bool bInsertOn = m_schema.IdentityInsert(name.strSchema, pDef->name.strName);
        bool bExplicit = false;
        for (const std::wstring& col : columns)
            bExplicit = bExplicit || IsIdentity(*pDef, col);
        if (bExplicit && !bInsertOn) {
            pError->nNumber = 544;
            pError->strText = L"Cannot insert explicit value for identity column in table '" +
                              pDef->name.strName + L"' when IDENTITY_INSERT is set to OFF.";
            return false;
        }
        if (!bList && bInsertOn) {
            pError->nNumber = 8101;
            pError->strText = L"An explicit value for the identity column in table '" +
                              pDef->name.strName +
                              L"' can only be specified when a column list is used and "
                              L"IDENTITY_INSERT is ON.";
            return false;
        }
        // Without a list, the values go to the columns other than the identity.
        if (!bList && !c.IsWord(L"DEFAULT")) {
            for (const CSqlColumnDef& col : pDef->columns)
                if (!col.bIdentity && !col.bComputed)
                    list += (list.empty() ? L"" : L", ") + SqlQuoteName(col.strName);
            bList = true;
        }
        pOut->bIdentityTarget = true;
        pOut->strSchema = name.strSchema;
        pOut->strTable = pDef->name.strName;
    }
    // OUTPUT INSERTED.x, ... becomes SQLite's RETURNING at the end.
    std::wstring returning;
    if (c.IsWord(L"OUTPUT")) {
        c.Advance();
        size_t nOut = c.Pos();
        while (!c.AtEnd() && !c.IsWord(L"VALUES") && !c.IsWord(L"SELECT") && !c.IsWord(L"DEFAULT"))
            c.Step();
        CSqlTokens items;
        for (size_t i = nOut; i < c.Pos(); ++i) {
            const CSqlToken& t = m_t[i];
            bool bPrefix = SqlIs(t, L"INSERTED") && i + 1 < c.Pos() && SqlIsPunct(m_t[i + 1], L".");
            if (bPrefix) {
                ++i;
                continue;
            }
            items.push_back(t);
        }
        CSqlRewriter sub(m_schema, items);
        if (!sub.Rewrite(0, items.size(), SqlRewriteScope::kExpression, &returning, pError))
            return false;
        while (!returning.empty() && iswspace(returning.back()))
            returning.pop_back();
        returning = L" RETURNING " + returning;
        nRest = c.Pos();
    }
    std::wstring rest;
    if (!Rewrite(nRest, m_nEnd, &rest, pError))
        return false;
    pOut->statements.push_back(L"INSERT INTO " + name.strSql +
                               (bList ? L" (" + list + L") " : L" ") + rest + returning);
    return true;
}

bool CSqlStatementTranslator::Update(CSqlCursor& c, CSqlTranslation* pOut,
                                     CSqlBridgeError* pError) {
    c.Advance();
    if (c.AtEnd() || !SqlIsNamePart(c.Peek()) || c.IsWord(L"TOP") || c.IsWord(L"OR"))
        return Generic(pOut, pError);
    CSqlObjectName name;
    size_t nNext = 0;
    if (!m_rewriter.ObjectName(c.Pos(), m_nEnd, &name, &nNext, pError))
        return false;
    c.Seek(nNext);
    if (c.IsWord(L"WITH") && c.PeekNext() && SqlIsPunct(*c.PeekNext(), L"(")) {
        c.Advance();
        c.SkipGroup();
    }
    if (!c.Accept(L"SET"))
        return Generic(pOut, pError);
    // The columns assigned: names before "=" at the statement's level.
    const CSqlTableDef* pDef = nullptr;
    if (LoadTable(name, &pDef) && pDef->Identity()) {
        int nDepth = 0;
        const CSqlToken* pPrev = nullptr;
        for (size_t i = c.Pos(); i < m_nEnd; ++i) {
            const CSqlToken& t = m_t[i];
            if (SqlIsBlank(t))
                continue;
            if (SqlIsPunct(t, L"("))
                ++nDepth;
            else if (SqlIsPunct(t, L")"))
                --nDepth;
            else if (nDepth == 0 && (SqlIs(t, L"WHERE") || SqlIs(t, L"FROM")))
                break;
            else if (nDepth == 0 && SqlIsPunct(t, L"=") && pPrev && SqlIsNamePart(*pPrev) &&
                     IsIdentity(*pDef, SqlNameOf(*pPrev))) {
                pError->nNumber = 8102;
                pError->strText = L"Cannot update identity column '" + SqlNameOf(*pPrev) + L"'.";
                return false;
            }
            pPrev = &t;
        }
    }
    return Generic(pOut, pError);
}

bool CSqlStatementTranslator::SelectInto(size_t nInto, CSqlTranslation* pOut,
                                         CSqlBridgeError* pError) {
    CSqlCursor c(m_t, nInto, m_nEnd);
    c.Advance();
    CSqlObjectName name;
    size_t nNext = 0;
    if (c.AtEnd() || !m_rewriter.ObjectName(c.Pos(), m_nEnd, &name, &nNext, pError))
        return c.AtEnd() ? Generic(pOut, pError) : false;
    // The query without its INTO clause.
    CSqlTokens query(m_t.begin() + static_cast<std::ptrdiff_t>(m_nBegin),
                     m_t.begin() + static_cast<std::ptrdiff_t>(nInto));
    query.insert(query.end(), m_t.begin() + static_cast<std::ptrdiff_t>(nNext),
                 m_t.begin() + static_cast<std::ptrdiff_t>(m_nEnd));
    CSqlRewriter sub(m_schema, query);
    std::wstring select;
    if (!sub.Rewrite(0, query.size(), SqlRewriteScope::kStatement, &select, pError))
        return false;
    pOut->statements.push_back(L"CREATE TABLE " + name.strSql + L" AS " + select);
    return true;
}
