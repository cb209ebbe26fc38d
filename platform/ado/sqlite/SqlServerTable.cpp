#include "platform/ado/sqlite/SqlServerTable.h"

#include <cstdlib>

#include "platform/ado/sqlite/SqlServerCatalog.h"
#include "platform/ado/sqlite/SqlServerCollation.h"
#include "platform/ado/sqlite/SqlServerConstraints.h"
#include "platform/win/TextEncoding.h"

const wchar_t kSqlRulePrefix[] = L"zqk_";
const wchar_t kSqlDefaultCollation[] = L"SQL_Latin1_General_CP1_CI_AS";

namespace {

std::wstring Rule(SqlRule nRule, const std::wstring& strDetail, const std::wstring& strCheck) {
    std::wstring name = std::wstring(kSqlRulePrefix) + SqlRuleName(nRule);
    if (!strDetail.empty())
        name += L":" + strDetail;
    return L"CONSTRAINT " + SqlQuoteName(name) + L" CHECK (" + strCheck + L")";
}

std::wstring Number(long long n) {
    return std::to_wstring(n);
}

// The values of the integer types narrower than SQLite's own.
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

std::wstring SqlColumnCollation(const CSqlColumnDef& col) {
    const CSqlDeclaredType& t = col.type;
    if (!col.strCollation.empty() || !col.bServerType || col.bIdentity)
        return col.strCollation;
    if (t.pRow->nClass == SqlTypeClass::kChar || t.pRow->nClass == SqlTypeClass::kNChar)
        return kSqlDefaultCollation;
    if (t.pRow->nClass == SqlTypeClass::kGuid)
        return L"NOCASE"; // hexadecimal digits in either case
    if (t.pRow->nClass == SqlTypeClass::kDate)
        return WinUtf8ToWide(kSqlDateCollation);
    return std::wstring();
}

std::wstring SqlUniqueNullIndex(const std::wstring& strSchema, const std::wstring& strName,
                                const std::wstring& strTable,
                                const std::vector<CSqlKeyColumn>& columns,
                                const std::wstring& strFilter) {
    std::wstring sql = L"CREATE UNIQUE INDEX IF NOT EXISTS " +
                       (strSchema == L"main" ? L"" : SqlQuoteName(strSchema) + L".") +
                       SqlQuoteName(strName) + L" ON " + SqlQuoteName(strTable) + L" (";
    std::wstring where;
    for (const CSqlKeyColumn& k : columns) {
        std::wstring q = SqlQuoteName(k.strName);
        where += (where.empty() ? L"" : L" OR ") + q + L" IS NULL";
        sql += (&k == &columns.front() ? L"(" : L", (") + q + L" IS NULL)";
        // Several columns: a key with NULLs is the same key where its other values compare
        // equal, as the column's collation compares them.
        if (columns.size() > 1)
            sql += L", ifnull(" + q + L", 0)" +
                   (k.strCollation.empty() ? L"" : L" COLLATE " + k.strCollation);
    }
    if (!strFilter.empty())
        where = L"(" + where + L") AND (" + strFilter + L")";
    return sql + L") WHERE " + where;
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
    std::wstring collation = SqlColumnCollation(col);
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
        if (SqlServerIntegerRange(*t.pRow, &lo, &hi))
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
            *pError = SqlServerError(
                2744, L"Multiple identity columns specified for table '" + def.name.strName +
                          L"'. Only one identity column per table is allowed.");
            return false;
        }
        pIdentity = &col;
        const CSqlDeclaredType& t = col.type;
        bool bInteger = col.bServerType && (t.pRow->nClass == SqlTypeClass::kInteger ||
                                            (t.pRow->nAdoType == adNumeric && t.nScale == 0));
        if (!bInteger) {
            *pError = SqlServerError(
                2749, L"Identity column '" + col.strName +
                          L"' must be of data type int, bigint, smallint, tinyint, or "
                          L"decimal or numeric with a scale of 0, and constrained to "
                          L"be nonnullable.");
            return false;
        }
        if (col.nNull == CSqlColumnDef::kNull) {
            *pError =
                SqlServerError(8147, L"Could not create IDENTITY attribute on nullable column '" +
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
        *pError = SqlServerError(8110, L"Cannot add multiple PRIMARY KEY constraints to table '" +
                                           table + L"'.");
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
            *pError =
                SqlServerError(8111, L"Cannot define PRIMARY KEY constraint on nullable column in "
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
    if (def.strCreated.empty())
        def.strCreated = SqlCreatedComment();
    std::wstring sql = L"CREATE TABLE " + def.name.strSql + L" " + def.strCreated + L" (";
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
    SqlUniqueNullIndexes(def, def.name.strName, sql, pStatements);
    return true;
}

void SqlUniqueNullIndexes(const CSqlTableDef& def, const std::wstring& strTable,
                          const std::wstring& strCreate, std::vector<std::wstring>* pStatements) {
    // A UNIQUE key takes one NULL (or one key with the same NULLs) at most, as on SQL Server:
    // SQLite lets any number in.
    for (const CSqlConstraint& key : SqlTableConstraints(strTable, strCreate)) {
        if (key.nKind != CSqlConstraint::kUnique)
            continue;
        std::vector<CSqlKeyColumn> columns;
        for (const std::wstring& name : key.columns) {
            const CSqlColumnDef* pColumn = def.Find(name);
            columns.push_back({name, pColumn ? SqlColumnCollation(*pColumn) : std::wstring()});
        }
        pStatements->push_back(SqlUniqueNullIndex(
            def.name.strSchema, SqlUniqueNullName(strTable, key.columns), strTable, columns));
    }
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
        return bDecimal ? L"Arithmetic overflow error converting numeric to data type numeric."
                        : SqlServerOverflowText(type);
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
