#include "platform/ado/sqlite/SqlServerCatalog.h"

#include <cstring>
#include <ctime>
#include <string>

#include <sys/time.h>

#include "platform/ado/sqlite/SqlServerConstraints.h"
#include "platform/ado/sqlite/SqlServerTable.h"
#include "platform/ado/sqlite/SqlServerTypes.h"
#include "platform/ado/sqlite/SqlTokens.h"
#include "platform/win/TextEncoding.h"

const wchar_t kSqlCreatedMarker[] = L"/*zqk_created:";

namespace {

const char kIdentityMarker[] = "\"zqk_identity:";

// What zqk_sqlserver_type(declared, what) answers.
int TypeValue(const CSqlDeclaredType& t, const std::string& what, bool* pbNull) {
    const CSqlServerTypeRow& r = *t.pRow;
    bool bChar = r.nClass == SqlTypeClass::kChar || r.nClass == SqlTypeClass::kNChar ||
                 (r.nClass == SqlTypeClass::kBinary && r.nXtype != 189);
    bool bNumber = r.nClass == SqlTypeClass::kInteger || r.nClass == SqlTypeClass::kExact ||
                   r.nClass == SqlTypeClass::kFloat || r.nClass == SqlTypeClass::kBit;
    *pbNull = false;
    if (what == "xtype")
        return t.Xtype();
    if (what == "xusertype")
        return r.nXtype == 231 && r.nLength == 256 ? 256 : t.Xtype(); // sysname has its own
    if (what == "length")
        return t.StorageLength();
    if (what == "prec")
        return t.CatalogPrec();
    if (what == "scale")
        return t.CatalogScale();
    if (what == "charlen" || what == "octetlen") {
        *pbNull = !bChar;
        int nBytes = t.StorageLength();
        if (r.nLength != 0) // text, ntext, image
            return what == "octetlen" || r.nClass != SqlTypeClass::kNChar ? 2147483647 : 1073741823;
        if (nBytes < 0)
            return -1;
        return what == "octetlen" ? nBytes : nBytes / (r.nUnitBytes ? r.nUnitBytes : 1);
    }
    if (what == "numprec") {
        *pbNull = !bNumber;
        return r.nClass == SqlTypeClass::kBit ? 1 : t.CatalogPrec();
    }
    if (what == "radix") {
        *pbNull = !bNumber || r.nClass == SqlTypeClass::kBit;
        return r.nClass == SqlTypeClass::kFloat ? 2 : 10;
    }
    if (what == "numscale") {
        *pbNull = !bNumber || r.nClass == SqlTypeClass::kFloat || r.nClass == SqlTypeClass::kBit;
        return t.CatalogScale();
    }
    if (what == "dtprec") {
        *pbNull = r.nClass != SqlTypeClass::kDate;
        return r.nXtype == 58 || r.nXtype == 40 ? 0 : r.nScale;
    }
    *pbNull = true;
    return 0;
}

void TypeFunction(sqlite3_context* pContext, int, sqlite3_value** argv) {
    const char* pszDecl = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
    const char* pszWhat = reinterpret_cast<const char*>(sqlite3_value_text(argv[1]));
    CSqlDeclaredType t = SqlServerParseType(pszDecl);
    std::string what = pszWhat ? pszWhat : "";
    if (what == "name") {
        sqlite3_result_text(pContext, t.pRow->pszName, -1, SQLITE_STATIC);
        return;
    }
    bool bNull = false;
    int n = TypeValue(t, what, &bNull);
    if (bNull)
        sqlite3_result_null(pContext);
    else
        sqlite3_result_int(pContext, n);
}

// The SQL Server type an identity column was declared with, from its table's stored text.
void IdentityTypeFunction(sqlite3_context* pContext, int, sqlite3_value** argv) {
    const char* pszSql = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
    const char* p = pszSql ? strstr(pszSql, kIdentityMarker) : nullptr;
    if (p == nullptr) {
        sqlite3_result_text(pContext, "int", -1, SQLITE_STATIC);
        return;
    }
    p += sizeof(kIdentityMarker) - 1;
    const char* pEnd = strchr(p, ':');
    sqlite3_result_text(pContext, p, pEnd ? static_cast<int>(pEnd - p) : 0, SQLITE_TRANSIENT);
}

// A table's constraints from its stored text, as a JSON array of [name, type] pairs (types as
// sys.objects gives them: PK, UQ, C, F, D), which the catalogue views list as objects.
void ConstraintsFunction(sqlite3_context* pContext, int, sqlite3_value** argv) {
    const char* pszTable = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
    const char* pszSql = reinterpret_cast<const char*>(sqlite3_value_text(argv[1]));
    static const char* const kTypes[] = {"PK", "UQ", "C", "F", "D"};
    std::string json = "[";
    for (const CSqlConstraint& c : SqlTableConstraints(WinUtf8ToWide(pszTable ? pszTable : ""),
                                                       WinUtf8ToWide(pszSql ? pszSql : ""))) {
        std::string name;
        for (char ch : WinWideToUtf8(c.strName)) {
            if (ch == '"' || ch == '\\')
                name += '\\';
            name += ch;
        }
        json += (json.size() > 1 ? ",[\"" : "[\"") + name + "\",\"" + kTypes[c.nKind] + "\"]";
    }
    sqlite3_result_text(pContext, (json + "]").c_str(), -1, SQLITE_TRANSIENT);
}

// OBJECT_NAME(id): the name the main database's catalogue gives the object; NULL for none.
void ObjectNameFunction(sqlite3_context* pContext, int, sqlite3_value** argv) {
    sqlite3_stmt* p = nullptr;
    if (sqlite3_prepare_v2(sqlite3_context_db_handle(pContext),
                           "SELECT name FROM sysobjects WHERE id = ?1", -1, &p,
                           nullptr) == SQLITE_OK) {
        sqlite3_bind_value(p, 1, argv[0]);
        if (sqlite3_step(p) == SQLITE_ROW)
            sqlite3_result_value(pContext, sqlite3_column_value(p, 0));
        else
            sqlite3_result_null(pContext);
    }
    sqlite3_finalize(p);
}

const char* const kConstraintViews[][2] = {{"sys.foreign_keys", "'F'"},
                                           {"sys.check_constraints", "'C'"},
                                           {"sys.default_constraints", "'D'"},
                                           {"sys.key_constraints", "'PK','UQ'"}};

std::string QuoteName(const std::string& s) {
    return SqlQuote(s, '"');
}

// The views over one schema. The main schema's are named plainly, an attached one's carry
// its prefix. Names compare under the default collation, as user columns do: without regard
// to case or trailing blanks ('T ' names T). Objects of owners other than dbo are stored as
// "owner.name".
std::string CatalogViewsSql(const std::string& schema, const std::string& prefix,
                            const std::string& catalog) {
    const std::string named = " COLLATE " + WinWideToUtf8(kSqlDefaultCollation);
    std::string s = QuoteName(schema);
    std::string head = "CREATE TEMP VIEW IF NOT EXISTS ";
    // Objects of this schema, without SQLite's own and without these views themselves.
    std::string objects =
        "(SELECT rowid AS oid, * , CASE WHEN instr(name, '.') > 0 THEN substr(name, 1, "
        "instr(name, '.') - 1) ELSE 'dbo' END AS owner, CASE WHEN instr(name, '.') > 0 THEN "
        "substr(name, instr(name, '.') + 1) ELSE name END AS short FROM " +
        s +
        ".sqlite_schema WHERE type IN ('table','view','trigger') AND name NOT LIKE "
        "'sqlite\\_%' ESCAPE '\\' AND NOT (type = 'view' AND sql LIKE '%/*zqk_catalog*/%'))";
    std::string marker = "instr(o.sql, '/*zqk_created:')";
    // A table's constraints are objects too, numbered after the table's own number so that
    // OBJECT_ID and these views agree.
    std::string constraints = " FROM " + objects +
                              " o, json_each(zqk_constraints(o.short, o.sql)) j WHERE o.type = "
                              "'table'";
    std::string constraintName = "json_extract(j.value, '$[0]')";
    std::string constraintType = "json_extract(j.value, '$[1]')";
    std::string constraintId = "(1000000 + o.oid * 1000 + j.key)";
    std::string sql;
    sql += head + QuoteName(prefix + "sysobjects") + " AS SELECT /*zqk_catalog*/ o.short" + named +
           " AS name, o.oid AS id, "
           "CASE o.type WHEN 'table' THEN 'U' WHEN 'view' THEN 'V' ELSE 'TR' END AS xtype, "
           "CASE o.owner WHEN 'dbo' THEN 1 ELSE 5 END AS uid, 0 AS info, 0 AS status, "
           "CASE WHEN o.type = 'trigger' THEN (SELECT p.rowid FROM " +
           s +
           ".sqlite_schema p WHERE p.type = 'table' AND p.name = o.tbl_name) ELSE 0 END AS "
           "parent_obj, CASE WHEN " +
           marker + " > 0 THEN substr(o.sql, " + marker +
           " + 14, 19) END AS crdate, "
           "CASE o.type WHEN 'table' THEN 'U' WHEN 'view' THEN 'V' ELSE 'TR' END AS type, "
           "0 AS userstat, 0 AS sysstat, 0 AS category FROM " +
           objects + " o UNION ALL SELECT " + constraintName + ", " + constraintId + ", " +
           constraintType + ", CASE o.owner WHEN 'dbo' THEN 1 ELSE 5 END, 0, 0, o.oid, " +
           "CASE WHEN " + marker + " > 0 THEN substr(o.sql, " + marker + " + 14, 19) END, " +
           "CASE WHEN " + constraintType + " IN ('PK','UQ') THEN 'K' ELSE " + constraintType +
           " END, 0, 0, 0" + constraints + ";";
    // One row per column; an identity's type is the one it was declared with.
    std::string columns =
        "(SELECT o.oid, o.owner, o.short, o.type AS otype, c.name, c.cid, c.\"notnull\", c.pk, "
        "c.hidden IN (2, 3) AS computed, "
        "c.dflt_value, (c.pk = 1 AND c.type = 'INTEGER' AND instr(o.sql, '" +
        std::string(kIdentityMarker) +
        "') > 0) AS ident, CASE WHEN c.pk = 1 AND c.type = 'INTEGER' AND instr(o.sql, '" +
        std::string(kIdentityMarker) +
        "') > 0 THEN zqk_identity_type(o.sql) ELSE c.type END AS decl FROM " + objects +
        " o JOIN pragma_table_xinfo(o.name, " + SqlQuote(schema, '\'') +
        ") c WHERE o.type IN ('table','view') AND c.hidden IN (0, 2, 3))";
    sql +=
        head + QuoteName(prefix + "syscolumns") + " AS SELECT /*zqk_catalog*/ x.name" + named +
        " AS name, x.oid AS id, "
        "zqk_sqlserver_type(x.decl,'xtype') AS xtype, "
        "zqk_sqlserver_type(x.decl,'xusertype') AS xusertype, "
        "zqk_sqlserver_type(x.decl,'length') AS length, x.cid + 1 AS colid, "
        "CASE WHEN x.\"notnull\" OR x.pk THEN 0 ELSE 1 END AS isnullable, "
        "zqk_sqlserver_type(x.decl,'prec') AS prec, zqk_sqlserver_type(x.decl,'scale') AS "
        "scale, CASE WHEN x.ident THEN 128 ELSE 0 END AS status, x.computed AS iscomputed FROM " +
        columns + " x;";
    sql += head + QuoteName(prefix + "systypes") +
           "(name, xtype, xusertype, length, prec, scale) AS SELECT /*zqk_catalog*/ column1" +
           named + ", column2, column3, column4, column5, column6 FROM (VALUES ";
    size_t nCount = 0;
    const CSqlServerTypeRow* pRows = SqlServerTypeRows(&nCount);
    for (size_t i = 0; i < nCount; ++i) {
        const CSqlServerTypeRow& t = pRows[i];
        int nLength = t.nLength != 0 ? t.nLength : 8000;
        int nUser = t.nXtype == 231 && t.nLength == 256 ? 256 : t.nXtype;
        sql += (i ? "," : "") + std::string("('") + t.pszName + "'," + std::to_string(t.nXtype) +
               "," + std::to_string(nUser) + "," + std::to_string(nLength) + "," +
               std::to_string(t.nPrec) + "," + std::to_string(t.nScale) + ")";
    }
    sql += ");";
    // The catalogue views of SQL Server 2005 and later, as generated scripts query them.
    std::string kind = "CASE o.type WHEN 'table' THEN 'U' WHEN 'view' THEN 'V' ELSE 'TR' END";
    std::string created =
        "CASE WHEN " + marker + " > 0 THEN substr(o.sql, " + marker + " + 14, 19) END";
    std::string sysObjects =
        " AS SELECT /*zqk_catalog*/ o.short" + named +
        " AS name, o.oid AS object_id, "
        "CASE o.owner WHEN 'dbo' THEN 1 ELSE 5 END AS schema_id, 0 AS parent_object_id, " +
        kind +
        " AS type, CASE o.type WHEN 'table' THEN 'USER_TABLE' WHEN 'view' THEN 'VIEW' ELSE "
        "'SQL_TRIGGER' END AS type_desc, " +
        created + " AS create_date, " + created + " AS modify_date, 0 AS is_ms_shipped FROM " +
        objects + " o";
    sql += head + QuoteName(prefix + "sys.objects") + sysObjects + " UNION ALL SELECT " +
           constraintName + ", " + constraintId +
           ", CASE o.owner WHEN 'dbo' THEN 1 ELSE 5 END, o.oid, " + constraintType + ", CASE " +
           constraintType +
           " WHEN 'PK' THEN 'PRIMARY_KEY_CONSTRAINT' WHEN 'UQ' THEN 'UNIQUE_CONSTRAINT' WHEN 'C' "
           "THEN 'CHECK_CONSTRAINT' WHEN 'F' THEN 'FOREIGN_KEY_CONSTRAINT' ELSE "
           "'DEFAULT_CONSTRAINT' END, " +
           created + ", " + created + ", 0" + constraints + ";";
    sql += head + QuoteName(prefix + "sys.tables") + sysObjects + " WHERE o.type = 'table';";
    // Indexes as generated scripts test them: the keys' own, then those created by name.
    std::string keyType = constraintType;
    sql += head + QuoteName(prefix + "sys.indexes") +
           " AS SELECT /*zqk_catalog*/ o.oid AS object_id, " + constraintName + named +
           " AS name, CASE " + keyType +
           " WHEN 'PK' THEN 1 ELSE 2 + j.key END AS "
           "index_id, CASE " +
           keyType + " WHEN 'PK' THEN 1 ELSE 2 END AS type, CASE " + keyType +
           " WHEN 'PK' THEN 'CLUSTERED' ELSE 'NONCLUSTERED' END AS type_desc, 1 AS is_unique, (" +
           keyType + " = 'PK') AS is_primary_key, (" + keyType +
           " = 'UQ') AS is_unique_constraint" + constraints + " AND " + keyType +
           " IN ('PK','UQ') UNION ALL SELECT t.oid, i.name, 1000 + i.rowid, 2, 'NONCLUSTERED', "
           "upper(substr(i.sql, 1, 13)) = 'CREATE UNIQUE', 0, 0 FROM " +
           s + ".sqlite_schema i JOIN " + objects +
           " t ON t.name = i.tbl_name AND t.type = 'table' WHERE i.type = 'index' AND i.sql IS "
           "NOT NULL AND i.name NOT LIKE 'zqk\\_%' ESCAPE '\\';";
    // The constraint views generated DROP scripts test, each the constraints of its kind.
    for (const auto& view : kConstraintViews)
        sql += head + QuoteName(prefix + view[0]) + " AS SELECT /*zqk_catalog*/ * FROM " +
               QuoteName(prefix + "sys.objects") + " WHERE type IN (" + view[1] + ");";
    sql += head + QuoteName(prefix + "sys.columns") +
           " AS SELECT /*zqk_catalog*/ x.oid AS object_id, x.name" + named +
           " AS name, x.cid + "
           "1 AS column_id, zqk_sqlserver_type(x.decl,'xtype') AS system_type_id, "
           "zqk_sqlserver_type(x.decl,'xusertype') AS user_type_id, "
           "zqk_sqlserver_type(x.decl,'length') AS max_length, "
           "zqk_sqlserver_type(x.decl,'prec') AS precision, zqk_sqlserver_type(x.decl,'scale') "
           "AS scale, CASE WHEN x.\"notnull\" OR x.pk THEN 0 ELSE 1 END AS is_nullable, "
           "CASE WHEN x.ident THEN 1 ELSE 0 END AS is_identity, x.computed AS is_computed FROM " +
           columns + " x;";
    std::string cat = SqlQuote(catalog, '\'');
    sql += head + QuoteName(prefix + "INFORMATION_SCHEMA.TABLES") + " AS SELECT /*zqk_catalog*/ " +
           cat + " AS TABLE_CATALOG, o.owner" + named + " AS TABLE_SCHEMA, o.short" + named +
           " AS TABLE_NAME, "
           "CASE o.type WHEN 'view' THEN 'VIEW' ELSE 'BASE TABLE' END AS TABLE_TYPE FROM " +
           objects + " o WHERE o.type IN ('table','view');";
    sql += head + QuoteName(prefix + "INFORMATION_SCHEMA.COLUMNS") + " AS SELECT /*zqk_catalog*/ " +
           cat + " AS TABLE_CATALOG, x.owner" + named + " AS TABLE_SCHEMA, x.short" + named +
           " AS TABLE_NAME, x.name" + named +
           " AS COLUMN_NAME, x.cid + 1 AS ORDINAL_POSITION, x.dflt_value "
           "AS COLUMN_DEFAULT, CASE WHEN x.\"notnull\" OR x.pk THEN 'NO' ELSE 'YES' END AS "
           "IS_NULLABLE, zqk_sqlserver_type(x.decl,'name') AS DATA_TYPE, "
           "zqk_sqlserver_type(x.decl,'charlen') AS CHARACTER_MAXIMUM_LENGTH, "
           "zqk_sqlserver_type(x.decl,'octetlen') AS CHARACTER_OCTET_LENGTH, "
           "zqk_sqlserver_type(x.decl,'numprec') AS NUMERIC_PRECISION, "
           "zqk_sqlserver_type(x.decl,'radix') AS NUMERIC_PRECISION_RADIX, "
           "zqk_sqlserver_type(x.decl,'numscale') AS NUMERIC_SCALE, "
           "zqk_sqlserver_type(x.decl,'dtprec') AS DATETIME_PRECISION FROM " +
           columns + " x;";
    return sql;
}

} // namespace

std::wstring SqlCreatedComment() {
    struct timeval tv;
    gettimeofday(&tv, nullptr);
    std::tm tm;
    time_t t = tv.tv_sec;
    localtime_r(&t, &tm);
    wchar_t sz[64];
    // To the second, as GETDATE() here gives it, so that the two compare as times do.
    swprintf(sz, 64, L"%ls%04d-%02d-%02d %02d:%02d:%02d*/", kSqlCreatedMarker, tm.tm_year + 1900,
             tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    return sz;
}

int SqlServerCreateCatalog(sqlite3* pDb, const std::wstring& strCatalog) {
    int rc = sqlite3_create_function_v2(pDb, "zqk_sqlserver_type", 2,
                                        SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS,
                                        nullptr, &TypeFunction, nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_create_function_v2(pDb, "zqk_identity_type", 1,
                                        SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS,
                                        nullptr, &IdentityTypeFunction, nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_create_function_v2(pDb, "zqk_constraints", 2,
                                        SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS,
                                        nullptr, &ConstraintsFunction, nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_create_function_v2(pDb, "OBJECT_NAME", 1, SQLITE_UTF8, nullptr,
                                        &ObjectNameFunction, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        return rc;
    return sqlite3_exec(pDb, CatalogViewsSql("main", "", WinWideToUtf8(strCatalog)).c_str(),
                        nullptr, nullptr, nullptr);
}

bool SqlServerEnsureAttachedCatalog(sqlite3* pDb, const std::wstring& strSchema,
                                    std::wstring* pstrPrefix) {
    std::string schema = WinWideToUtf8(strSchema);
    std::string prefix = schema + "$";
    *pstrPrefix = WinUtf8ToWide(prefix);
    std::string catalog = schema == "temp" ? "tempdb" : schema;
    return sqlite3_exec(pDb, CatalogViewsSql(schema, prefix, catalog).c_str(), nullptr, nullptr,
                        nullptr) == SQLITE_OK;
}

bool SqlServerColumnDeclaredType(sqlite3* pDb, const std::wstring& strSchema,
                                 const std::wstring& strTable, const std::wstring& strColumn,
                                 std::string* pstrDeclared) {
    // Names are short and mostly ASCII: narrowed on the stack, as every typed literal and
    // computed column asks for one.
    struct CNarrow {
        char sz[96];
        std::string s;
        const char* p = nullptr;
        explicit CNarrow(const std::wstring& w) {
            if (w.size() < sizeof sz) {
                size_t i = 0;
                for (; i < w.size() && w[i] > 0 && w[i] < 0x80; ++i)
                    sz[i] = static_cast<char>(w[i]);
                if (i == w.size()) {
                    sz[i] = 0;
                    p = sz;
                    return;
                }
            }
            s = WinWideToUtf8(w);
            p = s.c_str();
        }
    };
    const CNarrow schema(strSchema), table(strTable), column(strColumn);
    const char* pszDeclared = nullptr;
    if (sqlite3_table_column_metadata(pDb, strSchema.empty() ? nullptr : schema.p, table.p,
                                      column.p, &pszDeclared, nullptr, nullptr, nullptr,
                                      nullptr) != SQLITE_OK ||
        pszDeclared == nullptr)
        return false;
    pstrDeclared->assign(pszDeclared);
    return true;
}

bool SqlServerResultColumns(sqlite3* pDb, const std::wstring& strSelect,
                            std::vector<CSqlResultColumn>* pColumns) {
    sqlite3_stmt* pStmt = nullptr;
    std::string sql = WinWideToUtf8(strSelect);
    if (sqlite3_prepare_v2(pDb, sql.c_str(), static_cast<int>(sql.size()), &pStmt, nullptr) !=
            SQLITE_OK ||
        pStmt == nullptr) {
        sqlite3_finalize(pStmt);
        return false;
    }
    auto text = [](const char* psz) { return psz ? WinUtf8ToWide(psz) : std::wstring(); };
    pColumns->clear();
    for (int i = 0; i < sqlite3_column_count(pStmt); ++i)
        pColumns->push_back({text(sqlite3_column_name(pStmt, i)),
                             text(sqlite3_column_database_name(pStmt, i)),
                             text(sqlite3_column_table_name(pStmt, i)),
                             text(sqlite3_column_origin_name(pStmt, i))});
    sqlite3_finalize(pStmt);
    return true;
}
