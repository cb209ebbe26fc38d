#include "platform/ado/sqlite/SqlServerStatements.h"

#include "platform/ado/sqlite/SqlServerCatalog.h"
#include "platform/ado/sqlite/SqlServerConstraints.h"
#include "platform/ado/sqlite/SqlServerSelectList.h"
#include "platform/win/TextEncoding.h"

namespace {

const wchar_t kNeedsServer[] =
    L" is not supported by the embedded database: loops, cursors, procedures, EXEC and dynamic "
    L"SQL need SQL Server itself, which the ODBC provider reaches.";
const wchar_t kNotSupported[] = L" is not supported by the embedded database.";

CSqlBridgeError Refuse(const std::wstring& strWhat, const wchar_t* pszWhy = kNotSupported) {
    return SqlRefusal(strWhat + pszWhy);
}

// SQLite's IF NOT EXISTS after CREATE TABLE or INDEX; false for an IF without NOT EXISTS.
bool AcceptIfNotExists(CSqlCursor& c, bool* pbPresent) {
    *pbPresent = false;
    if (!c.Accept(L"IF"))
        return true;
    *pbPresent = c.Accept(L"NOT") && c.Accept(L"EXISTS");
    return *pbPresent;
}

} // namespace

bool SqlCheckStatement(const CSqlTokens& t, size_t nBegin, size_t nEnd, CSqlBridgeError* pError) {
    CSqlCursor c(t, nBegin, nEnd);
    if (c.AtEnd())
        return true;
    const CSqlToken& first = c.Peek();
    for (const wchar_t* w : {L"WHILE", L"EXEC", L"EXECUTE", L"GOTO", L"WAITFOR", L"BREAK",
                             L"CONTINUE", L"RETURN", L"OPEN", L"FETCH", L"CLOSE", L"DEALLOCATE"})
        if (SqlIs(first, w)) {
            *pError = Refuse(SqlLower(first.strText) == L"execute" ? L"EXEC" : w, kNeedsServer);
            return false;
        }
    // "sp_" in any case, letter by letter as SqlLower reads it, without a lowered copy.
    auto lower = [&](size_t i) { return SqlLowerLetter(static_cast<unsigned>(first.strText[i])); };
    if (first.nKind == SqlTok::kWord && first.strText.size() > 3 && lower(0) == L's' &&
        lower(1) == L'p' && lower(2) == L'_') {
        *pError = Refuse(L"Calling the procedure " + first.strText, kNeedsServer);
        return false;
    }
    for (const wchar_t* w : {L"MERGE", L"DBCC", L"BACKUP", L"RESTORE", L"KILL", L"GRANT", L"REVOKE",
                             L"DENY", L"RAISERROR", L"THROW", L"CHECKPOINT"})
        if (SqlIs(first, w)) {
            *pError = Refuse(w);
            return false;
        }
    if (SqlIs(first, L"GO")) {
        pError->nNumber = 102;
        pError->strText = L"Incorrect syntax near 'GO'.";
        return false;
    }
    c.Advance();
    if (SqlIs(first, L"BEGIN") && (c.IsWord(L"TRY") || c.IsWord(L"CATCH"))) {
        *pError = Refuse(L"TRY...CATCH", kNeedsServer);
        return false;
    }
    if (SqlIs(first, L"DECLARE") && !c.AtEnd()) {
        c.Advance();
        if (c.IsWord(L"CURSOR") || c.IsWord(L"INSENSITIVE") || c.IsWord(L"SCROLL")) {
            *pError = Refuse(L"Cursors", kNeedsServer);
            return false;
        }
    }
    if ((SqlIs(first, L"CREATE") || SqlIs(first, L"ALTER")) && !c.AtEnd()) {
        if (c.IsWord(L"OR")) // CREATE OR ALTER
            c.Advance(), c.Advance();
        for (const wchar_t* w : {L"PROCEDURE", L"PROC", L"FUNCTION", L"TYPE", L"DATABASE", L"LOGIN",
                                 L"USER", L"ROLE", L"SYNONYM", L"ASSEMBLY", L"SEQUENCE"})
            if (c.IsWord(w)) {
                *pError = Refuse(SqlLower(first.strText) == L"create" ? L"CREATE " + std::wstring(w)
                                                                      : L"ALTER " + std::wstring(w),
                                 SqlIs(c.Peek(), L"PROCEDURE") || SqlIs(c.Peek(), L"PROC") ||
                                         SqlIs(c.Peek(), L"FUNCTION")
                                     ? kNeedsServer
                                     : kNotSupported);
                return false;
            }
        if (c.IsWord(L"TRIGGER")) {
            // SQL Server's triggers name their table right after their own name.
            c.Advance();
            while (!c.AtEnd() && (SqlIsNamePart(c.Peek()) || c.IsPunct(L".")))
                if (c.IsWord(L"ON"))
                    break;
                else
                    c.Advance();
            if (c.Accept(L"ON")) {
                while (!c.AtEnd() && (SqlIsNamePart(c.Peek()) || c.IsPunct(L".")) &&
                       !c.IsWord(L"AFTER") && !c.IsWord(L"FOR") && !c.IsWord(L"INSTEAD") &&
                       !c.IsWord(L"BEGIN"))
                    c.Advance();
                if (c.IsWord(L"AFTER") || c.IsWord(L"FOR") || c.IsWord(L"INSTEAD") ||
                    c.IsWord(L"WITH")) {
                    *pError = Refuse(L"CREATE TRIGGER with a Transact-SQL body", kNeedsServer);
                    return false;
                }
            }
        }
    }
    return true;
}

bool CSqlStatementTranslator::NameAt(CSqlCursor& c, CSqlObjectName* pName,
                                     CSqlBridgeError* pError) {
    size_t nNext = 0;
    if (!m_rewriter.ObjectName(c.Pos(), m_nEnd, pName, &nNext, pError))
        return false;
    c.Seek(nNext);
    if (c.IsWord(L"WITH") && c.PeekNext() && SqlIsPunct(*c.PeekNext(), L"(")) {
        c.Advance(); // table hints: locking means nothing here
        c.SkipGroup();
    }
    return true;
}

bool CSqlStatementTranslator::Rewrite(size_t nBegin, size_t nEnd, std::wstring* pOut,
                                      CSqlBridgeError* pError) {
    return m_rewriter.Rewrite(nBegin, nEnd, SqlRewriteScope::kStatement, pOut, pError);
}

bool CSqlStatementTranslator::Generic(CSqlTranslation* pOut, CSqlBridgeError* pError) {
    std::wstring s;
    if (!Rewrite(m_nBegin, m_nEnd, &s, pError))
        return false;
    pOut->statements.push_back(std::move(s));
    return true;
}

bool SqlLoadTable(CSqlServerSchema& schema, CSqlTableCache& cache, const CSqlObjectName& name,
                  const CSqlTableDef** ppDef) {
    std::wstring key = name.strSchema + L"." + SqlLower(name.strName);
    std::shared_ptr<CSqlTableCache::Entry>& pEntry = cache.m_entries[key];
    if (pEntry && pEntry->nCheckedIn == cache.m_nTranslation) {
        if (!pEntry->bRead)
            return false;
        *ppDef = &pEntry->def;
        return true;
    }
    std::string strStoredUtf8, strSqlUtf8;
    if (!schema.TableSqlUtf8(name.strSchema, name.strName, &strStoredUtf8, &strSqlUtf8)) {
        pEntry.reset();
        return false;
    }
    if (!pEntry || pEntry->strSqlUtf8 != strSqlUtf8 || pEntry->strNameUtf8 != strStoredUtf8) {
        const std::wstring strStored = WinUtf8ToWide(strStoredUtf8);
        pEntry = std::make_shared<CSqlTableCache::Entry>();
        pEntry->strNameUtf8 = std::move(strStoredUtf8);
        pEntry->strSqlUtf8 = std::move(strSqlUtf8);
        if (SqlTokenize(WinUtf8ToWide(pEntry->strSqlUtf8), &pEntry->tokens)) {
            CSqlCursor c(pEntry->tokens, 0, pEntry->tokens.size());
            c.Accept(L"CREATE");
            c.Accept(L"TEMP") || c.Accept(L"TEMPORARY");
            if (c.Accept(L"TABLE")) {
                // The stored text names the table without its schema.
                CSqlTableReader reader(schema, pEntry->tokens);
                CSqlBridgeError e;
                bool bUnderstood = false;
                pEntry->bRead =
                    reader.Read(c.Pos(), pEntry->tokens.size(), &pEntry->def, &bUnderstood, &e) &&
                    bUnderstood;
            }
        }
        pEntry->def.name.strSchema = name.strSchema;
        pEntry->def.name.strName = strStored;
        pEntry->def.name.strSql =
            (name.strSchema == L"main" ? L"" : SqlQuoteName(name.strSchema) + L".") +
            SqlQuoteName(strStored);
    }
    pEntry->nCheckedIn = cache.m_nTranslation;
    if (!pEntry->bRead)
        return false;
    *ppDef = &pEntry->def;
    return true;
}

bool CSqlStatementTranslator::LoadTable(const CSqlObjectName& name, const CSqlTableDef** ppDef) {
    return SqlLoadTable(m_schema, m_cache, name, ppDef);
}

bool CSqlStatementTranslator::Translate(CSqlTranslation* pOut, CSqlBridgeError* pError) {
    CSqlCursor c(m_t, m_nBegin, m_nEnd);
    if (c.AtEnd())
        return true;
    if (c.Accept(L"CREATE")) {
        bool bTemp = c.Accept(L"TEMP") || c.Accept(L"TEMPORARY");
        if (c.Accept(L"TABLE"))
            return CreateTable(c, bTemp, pOut, pError);
        if (c.IsWord(L"INDEX") || c.IsWord(L"UNIQUE") || c.IsWord(L"CLUSTERED") ||
            c.IsWord(L"NONCLUSTERED"))
            return CreateIndex(c, pOut, pError);
        if (c.Accept(L"SCHEMA"))
            return true; // an owner's objects need no schema of their own here
        if (c.Accept(L"VIEW"))
            return CreateView(c, pOut, pError);
        return Generic(pOut, pError);
    }
    if (c.Accept(L"ALTER")) {
        if (c.Accept(L"TABLE"))
            return AlterTable(c, pOut, pError);
        return Generic(pOut, pError);
    }
    if (c.Accept(L"DROP"))
        return Drop(c, pOut, pError);
    if (c.Accept(L"TRUNCATE"))
        return Truncate(c, pOut, pError);
    if (c.IsWord(L"INSERT"))
        return Insert(c, pOut, pError);
    if (c.IsWord(L"UPDATE"))
        return Update(c, pOut, pError);
    if (c.IsWord(L"DELETE"))
        return Delete(c, pOut, pError);
    if (c.Accept(L"SET")) {
        if (!c.AtEnd() && c.Peek().nKind == SqlTok::kWord && c.Peek().strText[0] == L'@' &&
            c.Peek().strText.compare(0, 2, L"@@") != 0)
            return AssignSet(c, pOut, pError);
        return Set(c, pOut, pError);
    }
    if (c.Accept(L"DECLARE"))
        return Declare(c, pOut, pError);
    if (c.IsWord(L"BEGIN") || c.IsWord(L"COMMIT") || c.IsWord(L"ROLLBACK") || c.IsWord(L"SAVE"))
        return Transaction(c, pOut, pError);
    if (c.Accept(L"PRINT"))
        return true; // messages have nowhere to go through the data-access objects
    if (c.Accept(L"USE")) {
        CSqlDatabaseRef ref;
        if (c.AtEnd() || !SqlIsNamePart(c.Peek()))
            return Generic(pOut, pError);
        if (!SqlResolveDatabase(m_schema, SqlNameOf(c.Peek()), &ref, pError))
            return false;
        if (ref.nKind != CSqlDatabaseRef::kMain) {
            *pError = Refuse(L"USE of a database other than the connection's own");
            return false;
        }
        return true;
    }
    if (c.IsWord(L"SELECT")) {
        CSqlCursor list = c;
        list.Advance();
        if (!list.AtEnd() && list.Peek().nKind == SqlTok::kWord && list.Peek().strText[0] == L'@' &&
            list.PeekNext() && SqlIsPunct(*list.PeekNext(), L"="))
            return AssignSelect(list, pOut, pError);
        // SELECT ... INTO table FROM ...: INTO at the statement's own level.
        int nDepth = 0;
        for (size_t i = c.Pos(); i < m_nEnd; ++i) {
            if (SqlIsPunct(m_t[i], L"("))
                ++nDepth;
            else if (SqlIsPunct(m_t[i], L")"))
                --nDepth;
            else if (nDepth == 0 && (SqlIs(m_t[i], L"FROM") || SqlIs(m_t[i], L"UNION")))
                break;
            else if (nDepth == 0 && SqlIs(m_t[i], L"INTO"))
                return SelectInto(i, pOut, pError);
        }
        CSqlSelectNames names;
        bool bNames = SqlPlanSelectNames(m_t, c.Pos(), m_nEnd, &names);
        // The result's expressions typed once rewritten: the rewrite has met the tables, whose
        // columns the schema in memory then types.
        auto typed = [&](CSqlRewriter& rewriter) {
            if (!names.expressions.empty())
                SqlTypeSelectItems(
                    m_t, names,
                    [&](const std::wstring& strQualifier, const std::wstring& strName,
                        CSqlDeclaredType* pType) {
                        return rewriter.ColumnType(strQualifier, strName, pType);
                    },
                    &pOut->resultTypes);
            return true;
        };
        if (!bNames || !names.bRewriteTokens) {
            if (!Generic(pOut, pError))
                return false;
            if (bNames)
                SqlAddSelectAliases(names.aliases, &pOut->statements.back());
            return typed(m_rewriter);
        }
        // SQLite cannot read "alias = expression": the tokens change, the whole batch copied
        // so that its tables and variables stay in view.
        CSqlTokens named;
        size_t nNamedEnd = 0;
        SqlNameSelectItems(m_t, c.Pos(), m_nEnd, &named, &nNamedEnd);
        CSqlRewriter sub(m_schema, named);
        sub.UseTableCache(&m_cache);
        std::wstring s;
        if (!sub.Rewrite(m_nBegin, nNamedEnd, SqlRewriteScope::kStatement, &s, pError))
            return false;
        pOut->statements.push_back(std::move(s));
        return typed(sub);
    }
    return Generic(pOut, pError);
}

bool CSqlStatementTranslator::CreateTable(CSqlCursor& c, bool bTemp, CSqlTranslation* pOut,
                                          CSqlBridgeError* pError) {
    bool bIfNotExists = false;
    if (!AcceptIfNotExists(c, &bIfNotExists))
        return Generic(pOut, pError);
    CSqlTableReader reader(m_schema, m_t);
    CSqlTableDef def;
    bool bUnderstood = false;
    if (!reader.Read(c.Pos(), m_nEnd, &def, &bUnderstood, pError))
        return false;
    if (!bUnderstood)
        return Generic(pOut, pError);
    def.bTemp = bTemp;
    if (!SqlWriteTable(def, &pOut->statements, pError))
        return false;
    std::wstring& create = pOut->statements[0];
    if (bTemp)
        create.replace(0, 12, L"CREATE TEMP TABLE");
    if (bIfNotExists)
        create.insert(bTemp ? 17 : 12, L" IF NOT EXISTS");
    pOut->bAtomic = pOut->statements.size() > 1;
    return true;
}

namespace {

// The columns of an index's key "a ASC, b"; empty when the key has expressions.
std::vector<std::wstring> KeyColumns(const CSqlTokens& tokens, size_t nBegin, size_t nEnd) {
    std::vector<std::wstring> names;
    CSqlCursor c(tokens, nBegin, nEnd);
    while (!c.AtEnd()) {
        if (!SqlIsNamePart(c.Peek()))
            return {};
        names.push_back(SqlNameOf(c.Peek()));
        c.Advance();
        c.Accept(L"ASC") || c.Accept(L"DESC");
        if (!c.AtEnd() && !c.AcceptPunct(L","))
            return {};
    }
    return names;
}

} // namespace

bool CSqlStatementTranslator::CreateIndex(CSqlCursor& c, CSqlTranslation* pOut,
                                          CSqlBridgeError* pError) {
    bool bUnique = c.Accept(L"UNIQUE");
    c.Accept(L"CLUSTERED") || c.Accept(L"NONCLUSTERED");
    if (!c.Accept(L"INDEX"))
        return Generic(pOut, pError);
    bool bIfNotExists = false;
    if (!AcceptIfNotExists(c, &bIfNotExists))
        return Generic(pOut, pError);
    // SQLite's own spelling "schema.index" goes to SQLite as written.
    if (c.AtEnd() || !SqlIsNamePart(c.Peek()) || (c.PeekNext() && SqlIsPunct(*c.PeekNext(), L".")))
        return Generic(pOut, pError);
    size_t nIndex = c.Pos();
    std::wstring index = c.Peek().strText;
    c.Advance();
    if (!c.Accept(L"ON") || c.AtEnd())
        return Generic(pOut, pError);
    CSqlObjectName table;
    if (!NameAt(c, &table, pError))
        return false;
    if (!c.IsPunct(L"("))
        return Generic(pOut, pError);
    size_t nCols = c.Pos();
    c.SkipGroup();
    size_t nClose = c.Pos(); // the cursor is past the blanks after ")"
    while (nClose > nCols && !SqlIsPunct(m_t[nClose - 1], L")"))
        --nClose;
    std::vector<std::wstring> keys = KeyColumns(m_t, nCols + 1, nClose - 1);
    std::wstring cols;
    if (!Rewrite(nCols, c.Pos(), &cols, pError))
        return false;
    std::wstring where, filter;
    for (;;) {
        if (c.Accept(L"INCLUDE")) { // covering columns only speed reads up
            c.SkipGroup();
        } else if (c.IsWord(L"WHERE")) {
            size_t nWhere = c.Pos();
            while (!c.AtEnd() && !c.IsWord(L"WITH") && !c.IsWord(L"ON"))
                c.Step();
            if (!Rewrite(nWhere, c.Pos(), &where, pError) ||
                !Rewrite(nWhere + 1, c.Pos(), &filter, pError))
                return false;
            where = L" " + where;
        } else if (c.Accept(L"WITH")) {
            c.SkipGroup();
        } else if (c.Accept(L"ON")) {
            c.Advance();
            if (c.IsPunct(L"("))
                c.SkipGroup();
        } else {
            break;
        }
    }
    if (!c.AtEnd())
        return Generic(pOut, pError);
    std::wstring schema = table.strSchema == L"main" ? L"" : SqlQuoteName(table.strSchema) + L".";
    pOut->statements.push_back(std::wstring(L"CREATE ") + (bUnique ? L"UNIQUE " : L"") + L"INDEX " +
                               (bIfNotExists ? L"IF NOT EXISTS " : L"") + schema + index + L" ON " +
                               SqlQuoteName(table.strName) + L" " + cols + where);
    // The key's NULLs equal each other, as on SQL Server, among the rows a filter takes.
    if (bUnique && !keys.empty()) {
        const CSqlTableDef* pDef = nullptr;
        bool bKnown = LoadTable(table, &pDef);
        std::vector<CSqlKeyColumn> columns;
        for (const std::wstring& k : keys) {
            const CSqlColumnDef* pColumn = bKnown ? pDef->Find(k) : nullptr;
            columns.push_back({k, pColumn ? SqlColumnCollation(*pColumn) : std::wstring()});
        }
        pOut->statements.push_back(
            SqlUniqueNullIndex(table.strSchema, SqlUniqueNullNameOfIndex(SqlNameOf(m_t[nIndex])),
                               table.strName, columns, filter));
        pOut->bAtomic = true;
    }
    return true;
}

bool CSqlStatementTranslator::Drop(CSqlCursor& c, CSqlTranslation* pOut, CSqlBridgeError* pError) {
    bool bTable = c.IsWord(L"TABLE"), bView = c.IsWord(L"VIEW"), bIndex = c.IsWord(L"INDEX");
    if (!bTable && !bView && !bIndex)
        return Generic(pOut, pError);
    std::wstring kind = SqlLower(c.Peek().strText);
    c.Advance();
    bool bIfExists = false;
    if (c.IsWord(L"IF") && c.PeekNext() && SqlIs(*c.PeekNext(), L"EXISTS")) {
        c.Advance(), c.Advance();
        bIfExists = true;
    }
    std::wstring head = L"DROP " +
                        std::wstring(bTable  ? L"TABLE "
                                     : bView ? L"VIEW "
                                             : L"INDEX ") +
                        (bIfExists ? L"IF EXISTS " : L"");
    // DROP TABLE a, b drops each; DROP INDEX T.ix or ix ON T names the index's table too.
    while (!c.AtEnd()) {
        if (bIndex) {
            std::vector<const CSqlToken*> parts;
            while (!c.AtEnd() && SqlIsNamePart(c.Peek())) {
                parts.push_back(&c.Peek());
                c.Advance();
                if (!c.AcceptPunct(L"."))
                    break;
            }
            if (parts.empty())
                return Generic(pOut, pError);
            std::wstring schema;
            if (c.Accept(L"ON")) { // ix ON [db.][owner.]T
                CSqlObjectName table;
                if (!NameAt(c, &table, pError))
                    return false;
                if (table.strSchema != L"main")
                    schema = SqlQuoteName(table.strSchema) + L".";
            } else if (parts.size() == 2 && SqlEqualNoCase(SqlNameOf(*parts[0]), L"main")) {
                schema = L"main.";
            } else if (parts.size() == 2 && SqlEqualNoCase(SqlNameOf(*parts[0]), L"temp")) {
                schema = L"temp.";
            }
            pOut->statements.push_back(head + schema + SqlQuoteName(SqlNameOf(*parts.back())));
            // ... and the NULL rule of a unique index with it.
            pOut->statements.push_back(
                L"DROP INDEX IF EXISTS " + schema +
                SqlQuoteName(SqlUniqueNullNameOfIndex(SqlNameOf(*parts.back()))));
            pOut->bAtomic = true;
        } else {
            CSqlObjectName name;
            if (!NameAt(c, &name, pError))
                return false;
            pOut->statements.push_back(head + name.strSql);
        }
        if (!c.AcceptPunct(L","))
            break;
    }
    if (!c.AtEnd() || pOut->statements.empty()) {
        pOut->statements.clear();
        return Generic(pOut, pError);
    }
    (void)kind;
    return true;
}

bool CSqlStatementTranslator::Truncate(CSqlCursor& c, CSqlTranslation* pOut,
                                       CSqlBridgeError* pError) {
    if (!c.Accept(L"TABLE"))
        return Generic(pOut, pError);
    CSqlObjectName name;
    if (!NameAt(c, &name, pError))
        return false;
    if (!c.AtEnd())
        return Generic(pOut, pError);
    pOut->statements.push_back(L"DELETE FROM " + name.strSql);
    // Emptying the table starts its identity again at its seed.
    const CSqlTableDef* pDef = nullptr;
    if (LoadTable(name, &pDef) && pDef->Identity()) {
        std::wstring seq = SqlQuoteName(name.strSchema) + L".sqlite_sequence";
        pOut->statements.push_back(L"DELETE FROM " + seq + L" WHERE name = " +
                                   SqlQuoteString(pDef->name.strName));
        if (pDef->Identity()->nSeed != 1)
            pOut->statements.push_back(L"INSERT INTO " + seq + L" (name, seq) VALUES (" +
                                       SqlQuoteString(pDef->name.strName) + L", " +
                                       std::to_wstring(pDef->Identity()->nSeed - 1) + L")");
        pOut->bAtomic = true;
    }
    return true;
}

bool CSqlStatementTranslator::CreateView(CSqlCursor& c, CSqlTranslation* pOut,
                                         CSqlBridgeError* pError) {
    if (c.AtEnd() || !SqlIsNamePart(c.Peek()))
        return Generic(pOut, pError);
    CSqlObjectName name;
    if (!NameAt(c, &name, pError))
        return false;
    std::wstring rest;
    if (!Rewrite(c.Pos(), m_nEnd, &rest, pError))
        return false;
    // The view carries its creation time, as tables do, for the catalogue.
    pOut->statements.push_back(L"CREATE VIEW " + name.strSql + L" " + SqlCreatedComment() + L" " +
                               rest);
    return true;
}
