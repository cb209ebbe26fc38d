// ALTER TABLE in SQL Server's forms.
#include "platform/ado/sqlite/SqlServerStatements.h"

bool CSqlStatementTranslator::AlterTable(CSqlCursor& c, CSqlTranslation* pOut,
                                         CSqlBridgeError* pError) {
    CSqlObjectName name;
    size_t nNext = 0;
    if (c.AtEnd() || !m_rewriter.ObjectName(c.Pos(), m_nEnd, &name, &nNext, pError))
        return c.AtEnd() ? Generic(pOut, pError) : false;
    c.Seek(nNext);
    std::wstring head = L"ALTER TABLE " + name.strSql + L" ";
    if (c.Accept(L"DROP")) {
        if (!c.Accept(L"COLUMN"))
            return Generic(pOut, pError);
        while (!c.AtEnd() && SqlIsNamePart(c.Peek())) {
            pOut->statements.push_back(head + L"DROP COLUMN " + c.Peek().strText);
            c.Advance();
            if (!c.AcceptPunct(L","))
                break;
        }
        pOut->bAtomic = true;
        return c.AtEnd() ? true : (pOut->statements.clear(), Generic(pOut, pError));
    }
    if (c.Accept(L"ADD")) {
        CSqlTableReader reader(m_schema, m_t);
        CSqlTableDef def;
        def.name = name;
        for (;;) {
            size_t nStart = c.Pos(), i = nStart;
            int nDepth = 0;
            for (; i < m_nEnd; ++i) {
                if (SqlIsPunct(m_t[i], L"("))
                    ++nDepth;
                else if (SqlIsPunct(m_t[i], L")"))
                    --nDepth;
                else if (nDepth == 0 && SqlIsPunct(m_t[i], L","))
                    break;
            }
            CSqlColumnDef col;
            if (!reader.ReadColumn(nStart, i, def, &col, pError))
                return false;
            if (col.strName.empty())
                return Generic(pOut, pError);
            pOut->statements.push_back(head + L"ADD COLUMN " + SqlWriteColumn(col));
            if (i >= m_nEnd)
                break;
            c.Seek(i + 1);
        }
        pOut->bAtomic = true;
        return true;
    }
    return Generic(pOut, pError);
}
