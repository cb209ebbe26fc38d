// INSERT with SQL Server's identity rules, UPDATE of identities and of joined rows, SELECT ...
// INTO.
#include <cwctype>

#include "platform/ado/sqlite/SqlServerConvert.h"
#include "platform/ado/sqlite/SqlServerSelectList.h"
#include "platform/ado/sqlite/SqlServerStatements.h"

namespace {

bool IsIdentity(const CSqlTableDef& def, const std::wstring& strColumn) {
    const CSqlColumnDef* p = def.Identity();
    return p && wcscasecmp(p->strName.c_str(), strColumn.c_str()) == 0;
}

// A value written to a column, converted to the column's type as SQL Server converts it:
// text to numbers and dates (or SQL Server's conversion error), numbers rounded to a decimal's
// scale or cut to an integer. Strings are left for the column's length rule to refuse; those
// for char(n) and nchar(n) are padded with blanks to n, as SQL Server stores them.
std::wstring Converted(const CSqlColumnDef* pColumn, const std::wstring& strValue) {
    if (pColumn == nullptr || !pColumn->bServerType || pColumn->bComputed)
        return strValue;
    if (SqlIsFixedChar(pColumn->type))
        return L"zqk_pad(" + strValue + L", " + std::to_wstring(pColumn->type.nLength) + L")";
    SqlTypeClass n = pColumn->type.pRow->nClass;
    if (n != SqlTypeClass::kInteger && n != SqlTypeClass::kBit && n != SqlTypeClass::kExact &&
        n != SqlTypeClass::kFloat && n != SqlTypeClass::kDate)
        return strValue;
    return L"zqk_convert(" + strValue + L", " + SqlQuoteString(pColumn->strTypeText) + L")";
}

// A number written straight into a decimal or money column keeps all its digits or is refused;
// one with more decimals than the column keeps is written rounded.
bool ExactValue(const CSqlColumnDef* pColumn, std::wstring* pstrValue, CSqlBridgeError* pError) {
    if (pColumn == nullptr || !pColumn->bServerType || pColumn->bComputed)
        return true;
    std::wstring rounded, problem;
    if (!SqlExactLiteral(pColumn->type, *pstrValue, &rounded, &problem)) {
        *pError = CSqlBridgeError{problem};
        return false;
    }
    if (!rounded.empty())
        *pstrValue = rounded;
    return true;
}

// INSERT ... SELECT into char(n) columns: the query's rows become a WITH table, so that the
// values for those columns can be padded. *pstrPrefix gets the WITH; the query is returned.
std::wstring PaddedRows(const std::vector<const CSqlColumnDef*>& targets,
                        const std::wstring& strQuery, std::wstring* pstrPrefix) {
    bool bAny = false;
    for (const CSqlColumnDef* p : targets)
        bAny = bAny || (p && p->bServerType && SqlIsFixedChar(p->type));
    if (!bAny)
        return strQuery;
    std::wstring names, select;
    for (size_t n = 0; n < targets.size(); ++n) {
        std::wstring c = L"zqk_c" + std::to_wstring(n);
        names += (n ? L", " : L"") + c;
        bool bPad = targets[n] && targets[n]->bServerType && SqlIsFixedChar(targets[n]->type);
        select += (n ? L", " : L"") + (bPad ? Converted(targets[n], c) : c);
    }
    *pstrPrefix = L"WITH zqk_rows(" + names + L") AS (" + strQuery + L") ";
    return L"SELECT " + select + L" FROM zqk_rows";
}

} // namespace

bool CSqlStatementTranslator::Values(CSqlCursor& c,
                                     const std::vector<const CSqlColumnDef*>& targets,
                                     std::wstring* pOut, CSqlBridgeError* pError) {
    // VALUES (a, b), (c, d): each row's values by position.
    *pOut = L"VALUES ";
    c.Advance();
    for (bool bFirstRow = true; c.IsPunct(L"("); bFirstRow = false) {
        *pOut += bFirstRow ? L"(" : L", (";
        size_t i = c.Pos() + 1;
        CSqlCursor group = c;
        if (!group.SkipGroup())
            return false;
        size_t nClose = group.Pos();
        while (nClose > i && !SqlIsPunct(m_t[nClose - 1], L")"))
            --nClose;
        --nClose; // the group's ")"
        for (size_t nColumn = 0; i < nClose; ++nColumn) {
            size_t nStop = i;
            int nDepth = 0;
            for (; nStop < nClose; ++nStop) {
                if (SqlIsPunct(m_t[nStop], L"("))
                    ++nDepth;
                else if (SqlIsPunct(m_t[nStop], L")"))
                    --nDepth;
                else if (nDepth == 0 && SqlIsPunct(m_t[nStop], L","))
                    break;
            }
            std::wstring value;
            if (!m_rewriter.Rewrite(i, nStop, SqlRewriteScope::kExpression, &value, pError))
                return false;
            value.erase(0, value.find_first_not_of(L" \t\r\n"));
            const CSqlColumnDef* pTarget = nColumn < targets.size() ? targets[nColumn] : nullptr;
            if (!ExactValue(pTarget, &value, pError))
                return false;
            *pOut += (nColumn ? L", " : L"") + Converted(pTarget, value);
            i = nStop + 1;
        }
        *pOut += L")";
        c.Seek(group.Pos());
        c.AcceptPunct(L",");
    }
    return c.AtEnd();
}

bool CSqlStatementTranslator::Insert(CSqlCursor& c, CSqlTranslation* pOut,
                                     CSqlBridgeError* pError) {
    c.Advance();
    if (c.IsWord(L"OR") || c.IsWord(L"TOP"))
        return Generic(pOut, pError); // SQLite's INSERT OR ...; TOP is refused there
    c.Accept(L"INTO");
    if (c.AtEnd() || !SqlIsNamePart(c.Peek()))
        return Generic(pOut, pError);
    CSqlObjectName name;
    if (!NameAt(c, &name, pError))
        return false;
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
    // The columns the values go to, so that each value is converted to its column's type.
    std::vector<const CSqlColumnDef*> targets;
    if (pDef) {
        for (const std::wstring& col : columns)
            targets.push_back(pDef->Find(col));
        if (columns.empty())
            for (const CSqlColumnDef& col : pDef->columns)
                if (!col.bComputed && !(col.bIdentity && !list.empty()))
                    targets.push_back(&col);
    }
    std::wstring prefix; // a WITH the rows come from
    CSqlCursor values(m_t, nRest, m_nEnd);
    CSqlBridgeError valuesError;
    if (!(pDef && values.IsWord(L"VALUES") && Values(values, targets, &rest, &valuesError))) {
        if (!valuesError.strText.empty()) {
            *pError = valuesError;
            return false;
        }
        if (!Rewrite(nRest, m_nEnd, &rest, pError))
            return false;
        if (pDef && values.IsWord(L"SELECT"))
            rest = PaddedRows(targets, rest, &prefix);
    }
    pOut->statements.push_back(prefix + L"INSERT INTO " + name.strSql +
                               (bList ? L" (" + list + L") " : L" ") + rest + returning);
    return true;
}

bool CSqlStatementTranslator::Update(CSqlCursor& c, CSqlTranslation* pOut,
                                     CSqlBridgeError* pError) {
    c.Advance();
    if (c.AtEnd() || !SqlIsNamePart(c.Peek()) || c.IsWord(L"TOP") || c.IsWord(L"OR"))
        return Generic(pOut, pError);
    CSqlObjectName name;
    std::wstring written;
    if (!TargetAt(c, &name, &written, pError))
        return false;
    if (!c.Accept(L"SET"))
        return Generic(pOut, pError);
    // SET [target.]column = value, ...: the column's token and where its value lies.
    struct CItem {
        size_t nColumn, nValue, nStop;
    };
    std::vector<CItem> items;
    size_t i = c.Pos();
    for (;;) {
        CSqlCursor item(m_t, i, m_nEnd);
        if (item.AtEnd() || !SqlIsNamePart(item.Peek()))
            return Generic(pOut, pError);
        size_t nColumn = item.Pos();
        item.Advance();
        if (item.IsPunct(L".") && item.PeekNext() && SqlIsNamePart(*item.PeekNext())) {
            // The target's alias or name: SQLite's SET takes the column alone.
            if (SqlLower(SqlNameOf(m_t[nColumn])) != SqlLower(written)) {
                *pError = SqlServerError(
                    4104, L"The multi-part identifier \"" + SqlNameOf(m_t[nColumn]) + L"." +
                              SqlNameOf(*item.PeekNext()) + L"\" could not be bound.");
                return false;
            }
            item.Advance();
            nColumn = item.Pos();
            item.Advance();
        }
        if (!item.IsPunct(L"="))
            return Generic(pOut, pError); // @v = column = ..., compound operators
        item.Advance();
        size_t nStop = ItemEnd(item.Pos());
        items.push_back({nColumn, item.Pos(), nStop});
        if (nStop >= m_nEnd || !SqlIsPunct(m_t[nStop], L",")) {
            i = nStop;
            break;
        }
        i = nStop + 1;
    }
    // A FROM list that names the target joins the target's rows to its other tables.
    std::vector<CFromTable> tables;
    const CFromTable* pMatch = nullptr;
    const CSqlTableDef* pDef = nullptr;
    if (!FromTarget(i, written, &tables, &pMatch, pError))
        return false;
    if (!LoadTable(pMatch ? pMatch->name : name, &pDef))
        return Generic(pOut, pError);
    if (pMatch && !RowidTable(*pDef, L"UPDATE", pError))
        return false;
    // Each value converted to its column's type; an identity refused. With a joined target the
    // values come from the join's rows.
    std::wstring sets, joinedValues;
    for (size_t n = 0; n < items.size(); ++n) {
        const CSqlToken& column = m_t[items[n].nColumn];
        if (IsIdentity(*pDef, SqlNameOf(column))) {
            *pError = SqlServerError(8102, L"Cannot update identity column '" + SqlNameOf(column) +
                                               L"'.");
            return false;
        }
        std::wstring text;
        if (!m_rewriter.Rewrite(items[n].nValue, items[n].nStop, SqlRewriteScope::kExpression,
                                &text, pError))
            return false;
        const CSqlColumnDef* pTarget = pDef->Find(SqlNameOf(column));
        if (!ExactValue(pTarget, &text, pError))
            return false;
        if (pMatch) {
            std::wstring alias = L"zqk_v" + std::to_wstring(n);
            joinedValues += L", " + text + L" AS " + alias;
            text = L"zqk_from." + alias;
        }
        sets += (sets.empty() ? L"" : L", ") + column.strText + L" = " + Converted(pTarget, text);
    }
    std::wstring rest;
    if (!Rewrite(i, m_nEnd, &rest, pError))
        return false;
    if (pMatch) {
        pOut->statements.push_back(L"UPDATE " + pDef->name.strSql + L" SET " + sets +
                                   L" FROM (SELECT " + FromReference(*pMatch) +
                                   L".rowid AS zqk_rowid" + joinedValues + L" " + rest +
                                   L") AS zqk_from WHERE " + SqlQuoteName(pDef->name.strName) +
                                   L".rowid = zqk_from.zqk_rowid");
        return true;
    }
    pOut->statements.push_back(L"UPDATE " + name.strSql + L" SET " + sets +
                               (rest.empty() ? L"" : L" " + rest));
    return true;
}

bool CSqlStatementTranslator::TypedExpressionColumn(const std::wstring& strName,
                                                    const std::wstring& strType,
                                                    CSqlColumnDef* pColumn) {
    // Read as the definition "name type" would be, so the type's rules come with it.
    CSqlTokens tokens;
    if (!SqlTokenize(SqlQuoteName(strName) + L" " + strType, &tokens))
        return false;
    CSqlTableReader reader(m_schema, tokens);
    CSqlTableDef def;
    CSqlColumnDef col;
    CSqlBridgeError ignored;
    if (!reader.ReadColumn(0, tokens.size(), def, &col, &ignored) || !col.bHasType)
        return false;
    *pColumn = std::move(col);
    return true;
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
    // Every column of the new table needs a name of its own.
    CSqlSelectNames plan;
    if (SqlPlanSelectNames(query, 0, query.size(), &plan) && plan.nUnnamed > 0) {
        *pError = SqlRefusal(
            L"An object or column name is missing or empty. For SELECT INTO statements, verify "
            L"each column has a name. For other statements, look for empty alias names. Aliases "
            L"defined as \"\" or [] are not allowed. Change the alias to a valid name.");
        pError->nNumber = 1038;
        return false;
    }
    CSqlTokens planned;        // the tokens the plan's places refer to, once query is renamed
    if (plan.bRewriteTokens) { // alias = expression, which SQLite cannot read
        CSqlTokens named;
        size_t nNamedEnd = 0;
        SqlNameSelectItems(query, 0, query.size(), &named, &nNamedEnd);
        named.resize(nNamedEnd);
        planned.swap(query);
        query.swap(named);
    }
    CSqlRewriter sub(m_schema, query);
    std::wstring select;
    if (!sub.Rewrite(0, query.size(), SqlRewriteScope::kStatement, &select, pError))
        return false;
    // The expressions' types, from the columns of the tables the rewrite has met.
    std::vector<std::wstring> types;
    SqlTypeSelectIntoItems(
        plan.bRewriteTokens ? planned : query, plan,
        [&](const std::wstring& strQualifier, const std::wstring& strName,
            CSqlDeclaredType* pType) { return sub.ColumnType(strQualifier, strName, pType); },
        &types);
    // ... and their collations: an expression of a column keeps the column's.
    std::vector<std::wstring> collations(plan.nItems);
    const CSqlTokens& planTokens = plan.bRewriteTokens ? planned : query;
    const CSqlNameCollations named = sub.NameCollations();
    for (const CSqlSelectNames::CExpression& e : plan.expressions)
        if (e.nItem < collations.size())
            collations[e.nItem] = SqlExpressionCollation(planTokens, e.nBegin, e.nEnd, named);
    // The new table's columns as SQL Server makes them: a column's type, length, nullability,
    // collation and identity come from the column it is taken from; an expression's column
    // compares text with the collation of the column in it, or the default collation. SQLite's
    // CREATE TABLE ... AS would keep only affinities (a TEXT column comparing case-sensitively,
    // without length).
    std::vector<CSqlResultColumn> result;
    if (!m_schema.ResultColumns(select, &result)) {
        pOut->statements.push_back(L"CREATE TABLE " + name.strSql + L" AS " + select);
        return true; // SQLite reports what is wrong with the query
    }
    for (size_t i = 0; i < result.size(); ++i)
        for (size_t k = 0; k < i; ++k)
            if (SqlSameName(result[i].strName, result[k].strName)) {
                *pError = SqlRefusal(L"Column names in each table must be unique. Column name '" +
                                     result[i].strName + L"' in table '" + name.strName +
                                     L"' is specified more than once.");
                pError->nNumber = 2705;
                return false;
            }
    CSqlTableDef def;
    def.name = name;
    std::wstring strIdentityTable;
    size_t nIdentities = 0;
    if (types.size() != result.size())
        types.clear();
    for (size_t i = 0; i < result.size(); ++i) {
        const CSqlResultColumn& r = result[i];
        CSqlColumnDef col;
        const CSqlTableDef* pSource = nullptr;
        const CSqlColumnDef* pFrom = nullptr;
        if (!r.strColumn.empty() &&
            SqlLoadTable(m_schema, m_cache, CSqlObjectName{r.strSchema, r.strTable, L"", true},
                         &pSource))
            pFrom = pSource->Find(r.strColumn);
        if (pFrom && !pFrom->bComputed) {
            col = *pFrom;
            col.bPrimaryKey = false;
            col.strKeyName.clear();
            col.bAutoincrement = false;
            col.clauses.clear(); // defaults, checks and keys stay with their table
            if (col.bIdentity) {
                ++nIdentities;
                strIdentityTable = r.strSchema + L"." + r.strTable;
            }
        } else {
            const bool bTyped = !types.empty() && !types[i].empty() &&
                                TypedExpressionColumn(r.strName, types[i], &col);
            const std::wstring* pCollation =
                types.empty() || plan.bStar || i >= collations.size() ? nullptr : &collations[i];
            const bool bText = bTyped && col.type.pRow &&
                               (col.type.pRow->nClass == SqlTypeClass::kChar ||
                                col.type.pRow->nClass == SqlTypeClass::kNChar);
            if (pCollation && !pCollation->empty() && (!bTyped || bText))
                col.strCollation = *pCollation;
            else if (!bTyped)
                col.strCollation = kSqlDefaultCollation;
        }
        col.strName = r.strName;
        col.strNameSql = SqlQuoteName(r.strName);
        def.columns.push_back(std::move(col));
    }
    // SQL Server keeps an identity only for one column taken as it is from a query of one table
    // without grouping or set operators.
    bool bOneTable = nIdentities == 1;
    int nDepth = 0;
    bool bFrom = false;
    for (size_t k = m_nBegin; k < m_nEnd && bOneTable; ++k) {
        const CSqlToken& t = m_t[k];
        if (SqlIsPunct(t, L"("))
            ++nDepth;
        else if (SqlIsPunct(t, L")"))
            --nDepth;
        else if (nDepth == 0 && SqlIs(t, L"FROM"))
            bFrom = true;
        else if (nDepth == 0 && (SqlIsOneOf(t, {L"JOIN", L"APPLY", L"GROUP", L"UNION", L"EXCEPT",
                                                L"INTERSECT", L"DISTINCT"}) ||
                                 (bFrom && SqlIsPunct(t, L","))))
            bOneTable = false;
    }
    for (const CSqlResultColumn& r : result)
        if (!r.strTable.empty() && r.strSchema + L"." + r.strTable != strIdentityTable)
            bOneTable = false;
    for (CSqlColumnDef& col : def.columns)
        if (col.bIdentity && !bOneTable)
            col.bIdentity = false; // a plain column, NOT NULL as the identity was
    if (!SqlWriteTable(def, &pOut->statements, pError))
        return false;
    pOut->nCountedStatement = pOut->statements.size();
    pOut->statements.push_back(L"INSERT INTO " + name.strSql + L" " + select);
    pOut->bAtomic = true;
    return true;
}
