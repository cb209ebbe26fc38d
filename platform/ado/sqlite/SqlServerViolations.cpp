#include "platform/ado/sqlite/SqlServerViolations.h"

#include <cwchar>

#include "platform/ado/sqlite/SqlServerTable.h"
#include "platform/ado/sqlite/SqlTokens.h"
#include "platform/win/TextEncoding.h"

namespace {

bool Same(const std::wstring& a, const std::wstring& b) {
    return wcscasecmp(a.c_str(), b.c_str()) == 0;
}

std::wstring Text(sqlite3_stmt* p, int n) {
    const unsigned char* psz = sqlite3_column_text(p, n);
    return psz ? WinUtf8ToWide(reinterpret_cast<const char*>(psz)) : std::wstring();
}

// The table's stored definition, in the main database or the temporary one.
bool StoredTable(sqlite3* pDb, const std::wstring& strTable, std::wstring* pstrName,
                 std::wstring* pstrSql) {
    for (const char* pszSchema : {"main", "temp"}) {
        sqlite3_stmt* p = nullptr;
        std::string sql = std::string("SELECT name, sql FROM ") + pszSchema +
                          ".sqlite_schema WHERE type = 'table' AND name = ?1 COLLATE NOCASE";
        bool bFound = false;
        if (sqlite3_prepare_v2(pDb, sql.c_str(), -1, &p, nullptr) == SQLITE_OK) {
            std::string name = WinWideToUtf8(strTable);
            sqlite3_bind_text(p, 1, name.c_str(), -1, SQLITE_TRANSIENT);
            if (sqlite3_step(p) == SQLITE_ROW) {
                *pstrName = Text(p, 0);
                *pstrSql = Text(p, 1);
                bFound = true;
            }
        }
        sqlite3_finalize(p);
        if (bFound)
            return true;
    }
    return false;
}

std::vector<CSqlConstraint> Constraints(sqlite3* pDb, const std::wstring& strTable,
                                        std::wstring* pstrStored) {
    std::wstring sql;
    *pstrStored = strTable;
    if (!StoredTable(pDb, strTable, pstrStored, &sql))
        return {};
    return SqlTableConstraints(*pstrStored, sql);
}

// Runs a query of text results, one vector of cells a row.
std::vector<std::vector<std::wstring>> Rows(sqlite3* pDb, const std::string& strSql,
                                            const std::wstring& strParam) {
    std::vector<std::vector<std::wstring>> rows;
    sqlite3_stmt* p = nullptr;
    if (sqlite3_prepare_v2(pDb, strSql.c_str(), -1, &p, nullptr) == SQLITE_OK) {
        std::string param = WinWideToUtf8(strParam);
        sqlite3_bind_text(p, 1, param.c_str(), -1, SQLITE_TRANSIENT);
        while (sqlite3_step(p) == SQLITE_ROW) {
            rows.emplace_back();
            for (int i = 0; i < sqlite3_column_count(p); ++i)
                rows.back().push_back(Text(p, i));
        }
    }
    sqlite3_finalize(p);
    return rows;
}

// The unique index SQLite made or was given for a table's columns: its name and origin
// ("pk", "u" for a UNIQUE constraint, "c" for CREATE INDEX).
bool UniqueIndex(sqlite3* pDb, const std::wstring& strTable,
                 const std::vector<std::wstring>& columns, std::wstring* pstrName,
                 std::wstring* pstrOrigin) {
    for (const auto& index : Rows(pDb,
                                  "SELECT name, origin FROM pragma_index_list(?1) WHERE "
                                  "\"unique\" ORDER BY partial", // a filtered one if no other
                                  strTable)) {
        std::vector<std::wstring> names;
        for (const auto& col :
             Rows(pDb, "SELECT name FROM pragma_index_info(?1) ORDER BY seqno", index[0]))
            names.push_back(col[0]);
        if (SqlSameNames(names, columns)) {
            *pstrName = index[0];
            *pstrOrigin = index[1];
            return true;
        }
    }
    return false;
}

const wchar_t* VerbWord(SqlVerb nVerb) {
    return nVerb == SqlVerb::kUpdate   ? L"UPDATE"
           : nVerb == SqlVerb::kDelete ? L"DELETE"
                                       : L"INSERT";
}

std::wstring Object(const std::wstring& strTable) {
    return SqlMessageTableName(CSqlObjectName{L"main", strTable, std::wstring()});
}

// A literal value of an integer or variable-length text column, or NULL, as SQL Server shows
// it in a duplicate key; false for anything else, whose shown form this system cannot vouch for.
bool ShownValue(const CSqlTokens& t, std::pair<size_t, size_t> item, const std::wstring& strType,
                std::wstring* pOut) {
    std::wstring type = SqlLower(strType.substr(0, strType.find(L'(')));
    CSqlCursor c(t, item.first, item.second);
    if (c.AtEnd())
        return false;
    // The bridge's conversion to the column's own type leaves a plain ASCII value as it is.
    if (c.IsWord(L"zqk_convert") && c.PeekNext() && SqlIsPunct(*c.PeekNext(), L"(")) {
        c.Advance();
        std::vector<std::pair<size_t, size_t>> args = SqlListItems(c);
        if (!c.AtEnd() || args.size() != 2 || !ShownValue(t, args[0], strType, pOut))
            return false;
        for (wchar_t ch : *pOut)
            if (ch < 0x20 || ch > 0x7E)
                return false;
        return true;
    }
    if (c.IsWord(L"NULL") && !c.PeekNext()) {
        *pOut = L"<NULL>";
        return true;
    }
    std::wstring sign = c.AcceptPunct(L"-") ? L"-" : L"";
    if (c.AtEnd())
        return false;
    const CSqlToken& v = c.Peek();
    c.Advance();
    if (!c.AtEnd())
        return false;
    bool bInteger = type == L"int" || type == L"bigint" || type == L"smallint" ||
                    type == L"tinyint" || type == L"integer";
    if (bInteger && v.nKind == SqlTok::kNumber &&
        v.strText.find_first_not_of(L"0123456789") == std::wstring::npos) {
        size_t nFirst = v.strText.find_first_not_of(L'0');
        *pOut = sign + (nFirst == std::wstring::npos ? L"0" : v.strText.substr(nFirst));
        if (*pOut == L"-0")
            *pOut = L"0";
        return true;
    }
    if ((type == L"varchar" || type == L"nvarchar") && sign.empty() &&
        (v.nKind == SqlTok::kString || v.nKind == SqlTok::kNString)) {
        *pOut = SqlStringValue(v);
        return true;
    }
    return false;
}

// The key of the one row an INSERT ... VALUES of literals writes, as SQL Server shows it in
// "The duplicate key value is (...)"; false when the statement is none such.
bool InsertedKey(sqlite3* pDb, const std::wstring& strStatement, const std::wstring& strTable,
                 const std::vector<std::wstring>& key, std::wstring* pOut) {
    CSqlTokens t;
    if (!SqlTokenize(strStatement, &t))
        return false;
    CSqlCursor c(t, 0, t.size());
    if (!c.Accept(L"INSERT") || !c.Accept(L"INTO"))
        return false;
    while (!c.AtEnd() && SqlIsNamePart(c.Peek())) {
        c.Advance();
        if (!c.AcceptPunct(L"."))
            break;
    }
    std::vector<std::wstring> names;
    for (const auto& item : SqlListItems(c)) {
        CSqlCursor n(t, item.first, item.second);
        if (n.AtEnd() || !SqlIsNamePart(n.Peek()))
            return false;
        names.push_back(SqlNameOf(n.Peek()));
    }
    if (!c.Accept(L"VALUES"))
        return false;
    std::vector<std::pair<size_t, size_t>> values = SqlListItems(c);
    c.AcceptPunct(L";");
    if (!c.AtEnd())
        return false; // several rows: which one failed is not known
    auto columns = Rows(pDb, "SELECT name, type FROM pragma_table_info(?1)", strTable);
    if (names.empty())
        for (const auto& col : columns)
            names.push_back(col[0]);
    if (names.size() != values.size())
        return false;
    pOut->clear();
    for (const std::wstring& k : key) {
        size_t i = 0, j = 0;
        while (i < names.size() && !Same(names[i], k))
            ++i;
        while (j < columns.size() && !Same(columns[j][0], k))
            ++j;
        std::wstring shown;
        if (i == names.size() || j == columns.size() ||
            !ShownValue(t, values[i], columns[j][1], &shown))
            return false;
        *pOut += (pOut->empty() ? L"" : L", ") + shown;
    }
    return true;
}

// 2627 or 2601 for a duplicate in a table's columns, with the duplicate key when the statement
// shows it.
bool Duplicate(sqlite3* pDb, const std::wstring& strTable, const std::vector<std::wstring>& columns,
               bool bPrimary, const std::wstring& strStatement, CSqlViolation* pOut) {
    std::wstring stored;
    std::vector<CSqlConstraint> constraints = Constraints(pDb, strTable, &stored);
    for (const CSqlConstraint& c : constraints) {
        bool bKey = c.nKind == CSqlConstraint::kPrimaryKey;
        if ((bKey || (!bPrimary && c.nKind == CSqlConstraint::kUnique)) &&
            SqlSameNames(c.columns, columns)) {
            pOut->nNumber = 2627;
            pOut->strText = std::wstring(L"Violation of ") +
                            (bKey ? L"PRIMARY KEY" : L"UNIQUE KEY") + L" constraint '" + c.strName +
                            L"'. Cannot insert duplicate key in object '" + Object(stored) + L"'.";
            break;
        }
    }
    if (pOut->nNumber == 0) {
        std::wstring index, origin;
        if (!UniqueIndex(pDb, stored, columns, &index, &origin) || origin != L"c")
            return false;
        pOut->nNumber = 2601;
        pOut->strText = L"Cannot insert duplicate key row in object '" + Object(stored) +
                        L"' with unique index '" + index + L"'.";
    }
    std::wstring value;
    if (InsertedKey(pDb, strStatement, stored, columns, &value))
        pOut->strText += L" The duplicate key value is (" + value + L").";
    return true;
}

// "T.a, T.b" as a table and its columns; an owner's table keeps its dot ("sa.T.a").
bool TableColumns(const std::wstring& strList, std::wstring* pstrTable,
                  std::vector<std::wstring>* pColumns) {
    std::wstring first = strList.substr(0, strList.find(L", "));
    size_t nDot = first.rfind(L'.');
    if (nDot == std::wstring::npos)
        return false;
    *pstrTable = first.substr(0, nDot);
    const std::wstring prefix = *pstrTable + L".";
    for (size_t i = 0; i < strList.size();) {
        size_t nComma = strList.find(L", ", i);
        std::wstring part =
            strList.substr(i, nComma == std::wstring::npos ? std::wstring::npos : nComma - i);
        if (part.compare(0, prefix.size(), prefix) != 0)
            return false;
        pColumns->push_back(part.substr(prefix.size()));
        i = nComma == std::wstring::npos ? strList.size() : nComma + 2;
    }
    return true;
}

bool Unique(sqlite3* pDb, int rc, const std::wstring& strWhat, const std::wstring& strStatement,
            CSqlViolation* pOut) {
    std::wstring table;
    std::vector<std::wstring> columns;
    const std::wstring indexHead = L"index '";
    if (strWhat.compare(0, indexHead.size(), indexHead) == 0) {
        std::wstring index = strWhat.substr(indexHead.size());
        if (!index.empty() && index.back() == L'\'')
            index.pop_back();
        auto owner = Rows(pDb,
                          "SELECT tbl_name FROM sqlite_schema WHERE type = 'index' AND name = ?1 "
                          "UNION ALL SELECT tbl_name FROM sqlite_temp_schema WHERE type = "
                          "'index' AND name = ?1",
                          index);
        if (owner.empty())
            return false;
        table = owner[0][0];
        const std::wstring nullHead = SqlUniqueNullNameOfIndex(std::wstring());
        const std::wstring keyHead = nullHead + table + L".";
        std::string indexColumns = "SELECT name FROM pragma_index_info(?1) ORDER BY seqno";
        if (index.compare(0, keyHead.size(), keyHead) == 0) {
            // The NULL rule of a UNIQUE constraint, which its name lists the columns of.
            std::wstring list = index.substr(keyHead.size());
            for (size_t i = 0; i <= list.size();) {
                size_t nComma = list.find(L',', i);
                if (nComma == std::wstring::npos)
                    nComma = list.size();
                columns.push_back(list.substr(i, nComma - i));
                i = nComma + 1;
            }
        } else if (index.compare(0, nullHead.size(), nullHead) == 0) {
            // The NULL rule of a unique index speaks for that index.
            for (const auto& col : Rows(pDb, indexColumns, index.substr(nullHead.size())))
                columns.push_back(col[0]);
        }
        if (columns.empty()) { // an index on expressions
            pOut->nNumber = 2601;
            pOut->strText = L"Cannot insert duplicate key row in object '" + Object(table) +
                            L"' with unique index '" + index + L"'.";
            return true;
        }
    } else if (!TableColumns(strWhat, &table, &columns)) {
        return false;
    }
    return Duplicate(pDb, table, columns, rc == SQLITE_CONSTRAINT_PRIMARYKEY, strStatement, pOut);
}

bool Check(sqlite3* pDb, const std::wstring& strWhat, SqlVerb nVerb, const std::wstring& strCatalog,
           CSqlViolation* pOut) {
    // Constraint names are the schema's, so the name (or an unnamed one's text) finds its table.
    for (const char* pszSchema : {"sqlite_schema", "sqlite_temp_schema"}) {
        for (const auto& row :
             Rows(pDb, std::string("SELECT name, sql FROM ") + pszSchema + " WHERE type = 'table'",
                  std::wstring())) {
            for (const CSqlConstraint& c : SqlTableConstraints(row[0], row[1])) {
                if (c.nKind != CSqlConstraint::kCheck ||
                    !(Same(c.strName, strWhat) || c.strCheck == strWhat))
                    continue;
                pOut->nNumber = 547;
                pOut->strText = std::wstring(L"The ") + VerbWord(nVerb) +
                                L" statement conflicted with the CHECK constraint \"" + c.strName +
                                L"\". The conflict occurred in database \"" + strCatalog +
                                L"\", table \"" + Object(row[0]) + L"\"" +
                                (c.columns.size() == 1 ? L", column '" + c.columns[0] + L"'."
                                                       : std::wstring(L"."));
                return true;
            }
        }
    }
    return false;
}

bool Foreign(sqlite3* pDb, SqlVerb nVerb, const std::wstring& strCatalog,
             const CSqlForeignKeyFailure& f, CSqlViolation* pOut) {
    std::wstring child, parent;
    const CSqlConstraint* pKey = nullptr;
    std::vector<CSqlConstraint> constraints = Constraints(pDb, f.strTable, &child);
    for (const CSqlConstraint& c : constraints)
        if (c.nKind == CSqlConstraint::kForeignKey && SqlSameNames(c.columns, f.columns))
            pKey = &c;
    if (pKey == nullptr)
        return false;
    std::vector<std::wstring> referenced = pKey->referencedColumns;
    std::vector<CSqlConstraint> parentConstraints = Constraints(pDb, f.strParent, &parent);
    if (referenced.empty())
        for (const CSqlConstraint& c : parentConstraints)
            if (c.nKind == CSqlConstraint::kPrimaryKey)
                referenced = c.columns;
    const std::vector<std::wstring>& named = f.bReferenced ? pKey->columns : referenced;
    pOut->nNumber = 547;
    pOut->strText = std::wstring(L"The ") + VerbWord(nVerb) + L" statement conflicted with the " +
                    (f.bReferenced ? L"REFERENCE" : L"FOREIGN KEY") + L" constraint \"" +
                    pKey->strName + L"\". The conflict occurred in database \"" + strCatalog +
                    L"\", table \"" + Object(f.bReferenced ? child : parent) + L"\"" +
                    (named.size() == 1 ? L", column '" + named[0] + L"'." : std::wstring(L"."));
    return true;
}

} // namespace

bool SqlServerViolation(sqlite3* pDb, int rc, const std::wstring& strMessage,
                        const std::wstring& strStatement, SqlVerb nVerb,
                        const std::wstring& strCatalog, const CSqlForeignKeyFailure* pForeign,
                        CSqlViolation* pOut) {
    auto after = [&](const wchar_t* pszHead, std::wstring* pstrRest) {
        size_t n = wcslen(pszHead);
        if (strMessage.compare(0, n, pszHead) != 0)
            return false;
        *pstrRest = strMessage.substr(n);
        return true;
    };
    std::wstring rest;
    switch (rc) {
    case SQLITE_CONSTRAINT_PRIMARYKEY:
    case SQLITE_CONSTRAINT_UNIQUE:
        return after(L"UNIQUE constraint failed: ", &rest) &&
               Unique(pDb, rc, rest, strStatement, pOut);
    case SQLITE_CONSTRAINT_NOTNULL: {
        std::wstring table;
        std::vector<std::wstring> columns;
        if (!after(L"NOT NULL constraint failed: ", &rest) ||
            !TableColumns(rest, &table, &columns) || columns.size() != 1)
            return false;
        std::wstring stored, sql;
        if (!StoredTable(pDb, table, &stored, &sql))
            stored = table;
        pOut->nNumber = 515;
        pOut->strText = L"Cannot insert the value NULL into column '" + columns[0] + L"', table '" +
                        (stored.compare(0, 1, L"#") == 0 ? L"tempdb" : strCatalog) + L"." +
                        Object(stored) + L"'; column does not allow nulls. " +
                        (nVerb == SqlVerb::kUpdate ? L"UPDATE" : L"INSERT") + L" fails.";
        return true;
    }
    case SQLITE_CONSTRAINT_CHECK:
        return after(L"CHECK constraint failed: ", &rest) &&
               Check(pDb, rest, nVerb, strCatalog, pOut);
    case SQLITE_CONSTRAINT_FOREIGNKEY:
        return pForeign && Foreign(pDb, nVerb, strCatalog, *pForeign, pOut);
    default:
        return false;
    }
}

SqlErrorReach SqlServerErrorReach(long nNumber) {
    switch (nNumber) {
    case 2627: // duplicate key
    case 2601:
    case 515:  // NULL into a NOT NULL column
    case 547:  // CHECK, FOREIGN KEY
    case 8152: // truncation
    case 8115: // arithmetic overflow
    case 8134: // divide by zero
    case 3902: // COMMIT, ROLLBACK or SAVE TRAN without a transaction
    case 3903:
    case 628:
        return SqlErrorReach::kStatement;
    case 241: // conversions
    case 242:
    case 245:
    case 8114:
    case 8169:
        return SqlErrorReach::kTransaction;
    default:
        return SqlErrorReach::kBatch;
    }
}

long SqlServerNumberOf(const std::wstring& strText) {
    static const struct {
        const wchar_t* pszHead;
        long nNumber;
    } kTexts[] = {
        {L"Conversion failed when converting date and/or time", 241},
        {L"Conversion failed when converting from a character string to uniqueidentifier", 8169},
        {L"Conversion failed when converting the ", 245},
        {L"Error converting data type ", 8114},
        {L"Arithmetic overflow error ", 8115},
        {L"Divide by zero error encountered.", 8134},
        {L"String or binary data would be truncated.", 8152},
        {L"The COMMIT TRANSACTION request has no corresponding BEGIN", 3902},
        {L"The ROLLBACK TRANSACTION request has no corresponding BEGIN", 3903},
        {L"Cannot issue SAVE TRANSACTION when there is no active transaction.", 628},
        {L"Invalid object name '", 208},
        {L"The conversion of a varchar data type to a ", 242},
    };
    for (const auto& t : kTexts)
        if (strText.compare(0, wcslen(t.pszHead), t.pszHead) == 0)
            return t.nNumber;
    return 0;
}
