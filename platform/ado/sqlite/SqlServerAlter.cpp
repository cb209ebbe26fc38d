// ALTER TABLE in SQL Server's forms. What SQLite's own ALTER TABLE cannot do with SQL Server's
// meaning (a changed column, added constraints and defaults, columns that existing rows must
// not see the default of) rebuilds the table: a new table of the changed definition, the rows
// copied, the old one dropped and the new one renamed, its indexes and triggers made again.
#include "platform/ado/sqlite/SqlServerConvert.h"
#include "platform/ado/sqlite/SqlServerStatements.h"

#include "platform/ado/sqlite/SqlServerConstraints.h"

namespace {

const wchar_t kRebuilt[] = L"zqk_rebuilt";

std::wstring NotEmptyText(const std::wstring& strColumn, const std::wstring& strTable) {
    return L"ALTER TABLE only allows columns to be added that can contain nulls, or have a "
           L"DEFAULT definition specified, or the column being added is an identity or "
           L"timestamp column, or alternatively if none of the previous conditions are "
           L"satisfied the table must be empty to allow addition of this column. Column '" +
           strColumn + L"' cannot be added to non-empty table '" + strTable +
           L"' because it does not satisfy these conditions.";
}

bool HasDefault(const CSqlColumnDef& col) {
    for (const std::wstring& c : col.clauses)
        if (c.find(L"DEFAULT (") != std::wstring::npos)
            return true;
    return false;
}

// Whether a clause belongs to a named constraint ("CONSTRAINT "name" ...").
bool Names(const std::wstring& strClause, const std::wstring& strName) {
    std::wstring head = L"CONSTRAINT " + SqlQuoteName(strName) + L" ";
    return strClause.size() >= head.size() &&
           wcsncasecmp(strClause.c_str(), head.c_str(), head.size()) == 0;
}

} // namespace

bool CSqlStatementTranslator::Rebuild(const CSqlTableDef& before, CSqlTableDef after,
                                      const std::vector<std::wstring>& copied,
                                      const std::vector<std::wstring>& sources,
                                      CSqlTranslation* pOut, CSqlBridgeError* pError) {
    const std::wstring& schema = before.name.strSchema;
    std::wstring qschema = SqlQuoteName(schema);
    after.name.strName = kRebuilt;
    after.name.strSql = qschema + L"." + SqlQuoteName(kRebuilt);
    std::vector<std::wstring> create;
    if (!SqlWriteTable(after, &create, pError))
        return false;
    std::wstring cols, values;
    for (size_t i = 0; i < copied.size(); ++i) {
        cols += (i ? L", " : L"") + SqlQuoteName(copied[i]);
        values += (i ? L", " : L"") + sources[i];
    }
    std::vector<std::wstring>& s = pOut->statements;
    s.push_back(L"DROP TABLE IF EXISTS " + after.name.strSql);
    s.push_back(create[0]); // the old table's indexes come back below, with its triggers
    s.push_back(L"INSERT INTO " + after.name.strSql + L" (" + cols + L") SELECT " + values +
                L" FROM " + before.name.strSql);
    // The identity goes on from where the old table was.
    std::wstring seq = qschema + L".sqlite_sequence";
    std::wstring oldName = SqlQuoteString(before.name.strName);
    if (after.Identity()) {
        s.push_back(L"INSERT INTO " + seq + L" (name, seq) SELECT '" + kRebuilt +
                    L"', 0 WHERE "
                    L"NOT EXISTS (SELECT 1 FROM " +
                    seq + L" WHERE name = '" + kRebuilt + L"')");
        s.push_back(L"UPDATE " + seq + L" SET seq = max(seq, ifnull((SELECT seq FROM " + seq +
                    L" WHERE name = " + oldName + L"), 0)) WHERE name = '" + kRebuilt + L"'");
    }
    std::vector<std::wstring> dependents = m_schema.TableDependents(schema, before.name.strName);
    s.push_back(L"DROP TABLE " + before.name.strSql);
    s.push_back(L"PRAGMA legacy_alter_table = ON");
    s.push_back(L"ALTER TABLE " + after.name.strSql + L" RENAME TO " +
                SqlQuoteName(before.name.strName));
    s.push_back(L"PRAGMA legacy_alter_table = OFF");
    // The NULL rules of the UNIQUE constraints are those of the new definition.
    const std::wstring rules = L"\"" + SqlUniqueNullName(before.name.strName, {});
    for (const std::wstring& d : dependents)
        if (d.find(rules) == std::wstring::npos)
            s.push_back(d);
    SqlUniqueNullIndexes(after, before.name.strName, create[0], &s);
    pOut->bAtomic = true;
    pOut->bForeignKeysOff = true;
    return true;
}

bool CSqlStatementTranslator::AlterTable(CSqlCursor& c, CSqlTranslation* pOut,
                                         CSqlBridgeError* pError) {
    CSqlObjectName name;
    if (c.AtEnd())
        return Generic(pOut, pError);
    if (!NameAt(c, &name, pError))
        return false;
    const CSqlTableDef* pBefore = nullptr;
    bool bKnown = LoadTable(name, &pBefore);
    std::wstring head = L"ALTER TABLE " + name.strSql + L" ";
    // WITH CHECK ADD CONSTRAINT checks the rows there are, as a rebuild does.
    if (c.IsWord(L"WITH") && c.PeekNext() && SqlIs(*c.PeekNext(), L"CHECK")) {
        c.Advance();
        c.Advance();
    } else if (c.IsWord(L"WITH") || c.IsWord(L"NOCHECK")) {
        *pError = SqlRefusal(L"Constraints that leave rows unchecked (NOCHECK) are not supported "
                             L"by the embedded database.");
        return false;
    }
    if (c.IsWord(L"CHECK") && c.PeekNext() && SqlIs(*c.PeekNext(), L"CONSTRAINT"))
        return true; // constraints are always checked here
    if (!bKnown)
        return Generic(pOut, pError); // SQLite's own tables go to SQLite's own ALTER TABLE
    CSqlTableDef after = *pBefore;
    std::vector<std::wstring> copied, sources;
    for (const CSqlColumnDef& col : pBefore->columns)
        if (!col.bComputed) {
            copied.push_back(col.strName);
            sources.push_back(SqlQuoteName(col.strName));
        }
    CSqlTableReader reader(m_schema, m_t);
    bool bRebuild = false;
    std::vector<std::wstring> added; // columns SQLite's own ADD COLUMN can add
    if (c.Accept(L"DROP")) {
        // DROP COLUMN a, b; DROP [CONSTRAINT] name, ...
        bool bColumn = c.Accept(L"COLUMN");
        if (!bColumn)
            c.Accept(L"CONSTRAINT");
        bool bIfExists = false;
        if (c.IsWord(L"IF") && c.PeekNext() && SqlIs(*c.PeekNext(), L"EXISTS")) {
            c.Advance(), c.Advance();
            bIfExists = true;
        }
        while (!c.AtEnd() && SqlIsNamePart(c.Peek())) {
            std::wstring target = SqlNameOf(c.Peek());
            if (bColumn) {
                if (after.Find(target) != nullptr) {
                    pOut->statements.push_back(head + L"DROP COLUMN " + SqlQuoteName(target));
                } else if (!bIfExists) {
                    *pError = SqlServerError(4924, L"ALTER TABLE DROP COLUMN failed because "
                                                   L"column '" +
                                                       target + L"' does not exist in table '" +
                                                       name.strName + L"'.");
                    return false;
                }
            } else {
                // A named constraint: of a column, of the table, or an index standing for one.
                bool bFound = false;
                for (CSqlColumnDef& col : after.columns)
                    for (size_t k = 0; k < col.clauses.size(); ++k)
                        if (Names(col.clauses[k], target)) {
                            col.clauses.erase(col.clauses.begin() +
                                              static_cast<std::ptrdiff_t>(k--));
                            bFound = true;
                        }
                for (size_t k = 0; k < after.constraints.size(); ++k)
                    if (Names(after.constraints[k], target)) {
                        if (k == after.nPrimaryConstraint) {
                            after.primaryKey.clear();
                            after.nPrimaryConstraint = std::wstring::npos;
                        }
                        after.constraints.erase(after.constraints.begin() +
                                                static_cast<std::ptrdiff_t>(k--));
                        bFound = true;
                    }
                if (!bFound && !bIfExists) {
                    *pError = SqlServerError(3728, L"'" + target + L"' is not a constraint.");
                    return false;
                }
                bRebuild = bRebuild || bFound;
            }
            c.Advance();
            if (!c.AcceptPunct(L","))
                break;
            c.Accept(bColumn ? L"COLUMN" : L"CONSTRAINT");
        }
    } else if (c.Accept(L"ALTER")) {
        if (!c.Accept(L"COLUMN"))
            return Generic(pOut, pError);
        CSqlColumnDef col;
        if (!reader.ReadColumn(c.Pos(), m_nEnd, after, &col, pError))
            return false;
        CSqlColumnDef* pOld = after.Find(col.strName);
        if (pOld == nullptr || col.strName.empty()) {
            *pError = SqlServerError(4924, L"ALTER TABLE ALTER COLUMN failed because column '" +
                                               col.strName + L"' does not exist in table '" +
                                               name.strName + L"'.");
            return false;
        }
        // The new type and nullability; keys, defaults and other constraints stay.
        col.bPrimaryKey = pOld->bPrimaryKey;
        col.strKeyName = pOld->strKeyName;
        col.bIdentity = pOld->bIdentity;
        col.nSeed = pOld->nSeed;
        col.nIncrement = pOld->nIncrement;
        col.strNameSql = pOld->strNameSql;
        if (col.nNull == CSqlColumnDef::kUnspecified && !col.bPrimaryKey)
            col.nNull = CSqlColumnDef::kNull;
        col.clauses.insert(col.clauses.begin(), pOld->clauses.begin(), pOld->clauses.end());
        *pOld = col;
        // Values of a column that becomes char(n) are padded, as SQL Server stores them.
        for (size_t k = 0; k < copied.size(); ++k)
            if (col.bServerType && SqlIsFixedChar(col.type) && SqlSameName(copied[k], col.strName))
                sources[k] =
                    L"zqk_pad(" + sources[k] + L", " + std::to_wstring(col.type.nLength) + L")";
        c.Seek(m_nEnd);
        bRebuild = true;
    } else if (c.Accept(L"ADD")) {
        // SQL Server's ADD takes no COLUMN keyword; read as a name it would add a column called
        // COLUMN, so it is refused as SQL Server refuses it.
        if (c.IsWord(L"COLUMN")) {
            pError->nNumber = 156;
            pError->strText = L"Incorrect syntax near the keyword '" + c.Peek().strText + L"'.";
            return false;
        }
        for (;;) {
            size_t nStart = c.Pos(), i = ItemEnd(nStart);
            CSqlCursor item(m_t, nStart, i);
            bool bConstraint = item.IsWord(L"CONSTRAINT") || item.IsWord(L"PRIMARY") ||
                               item.IsWord(L"UNIQUE") || item.IsWord(L"CHECK") ||
                               item.IsWord(L"FOREIGN");
            // [CONSTRAINT n] DEFAULT expr FOR column
            size_t nFor = std::wstring::npos;
            for (size_t k = nStart; k < i; ++k)
                if (SqlIs(m_t[k], L"FOR"))
                    nFor = k;
            if (bConstraint && nFor != std::wstring::npos) {
                CSqlCursor f(m_t, nFor, i);
                f.Advance();
                CSqlColumnDef* pCol = f.AtEnd() ? nullptr : after.Find(SqlNameOf(f.Peek()));
                if (pCol == nullptr)
                    return Generic(pOut, pError);
                // The constraint's text read as if it belonged to the column.
                CSqlTokens clause;
                clause.push_back({SqlTok::kWord, L"x", 0});
                clause.push_back({SqlTok::kSpace, L" ", 0});
                clause.insert(clause.end(), m_t.begin() + static_cast<std::ptrdiff_t>(nStart),
                              m_t.begin() + static_cast<std::ptrdiff_t>(nFor));
                CSqlTableReader sub(m_schema, clause);
                CSqlColumnDef parsed;
                if (!sub.ReadColumn(0, clause.size(), after, &parsed, pError))
                    return false;
                pCol->clauses.insert(pCol->clauses.end(), parsed.clauses.begin(),
                                     parsed.clauses.end());
                bRebuild = true;
            } else if (bConstraint) {
                size_t nBefore = after.constraints.size();
                if (!reader.ReadConstraint(nStart, i, &after, pError))
                    return false;
                if (after.constraints.size() == nBefore && after.indexes.empty())
                    return Generic(pOut, pError);
                bRebuild = true;
            } else {
                CSqlColumnDef col;
                if (!reader.ReadColumn(nStart, i, after, &col, pError))
                    return false;
                if (col.strName.empty())
                    return Generic(pOut, pError);
                bool bDefault = HasDefault(col);
                bool bNotNull = col.nNull == CSqlColumnDef::kNotNull || col.bPrimaryKey;
                if (bNotNull && !bDefault && !col.bIdentity) {
                    // Only an empty table takes a NOT NULL column without a default.
                    pOut->checks.push_back(
                        L"SELECT zqk_raise(" +
                        SqlQuoteString(NotEmptyText(col.strName, pBefore->name.strName)) +
                        L") WHERE EXISTS (SELECT 1 FROM " + name.strSql + L")");
                }
                bool bNative = !col.bPrimaryKey && !col.bIdentity && !(bNotNull && !bDefault) &&
                               !(bDefault && !bNotNull);
                for (const std::wstring& cl : col.clauses)
                    bNative = bNative && cl.find(L"UNIQUE") == std::wstring::npos &&
                              cl.find(L"datetime(") == std::wstring::npos &&
                              cl.find(L"random") == std::wstring::npos;
                // Rows there are get NULL, or the default where the column takes no NULL.
                after.columns.push_back(col);
                if (!(bNotNull && bDefault)) {
                    copied.push_back(col.strName);
                    sources.push_back(L"NULL");
                }
                added.push_back(head + L"ADD COLUMN " + SqlWriteColumn(col));
                bRebuild = bRebuild || !bNative;
            }
            if (i >= m_nEnd)
                break;
            c.Seek(i + 1);
        }
        c.Seek(m_nEnd);
    } else {
        return Generic(pOut, pError);
    }
    if (!c.AtEnd()) {
        pOut->statements.clear();
        return Generic(pOut, pError);
    }
    if (bRebuild) {
        pOut->statements.clear(); // the rebuilt table has every change
        if (!Rebuild(*pBefore, after, copied, sources, pOut, pError))
            return false;
    } else {
        pOut->statements.insert(pOut->statements.end(), added.begin(), added.end());
    }
    pOut->bAtomic = true;
    return true;
}
