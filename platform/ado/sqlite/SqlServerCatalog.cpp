#include "platform/ado/sqlite/SqlServerCatalog.h"

#include <cstdlib>
#include <string>

#include "platform/win/TextEncoding.h"

namespace {

struct CTypeRow {
    const char* pszName;
    int nXtype;
    int nLength; // fixed storage length; 0: from the declared length
    int nPrec;
    int nScale;
    int nUnitBytes; // bytes per declared unit for sized types (2 for the national ones)
};

// SQL Server's types with their codes. systypes lists them in this order; sysname comes
// before nvarchar so that reading code -> name in order ends with nvarchar for 231.
const CTypeRow kTypes[] = {
    {"bigint", 127, 8, 19, 0, 0},
    {"binary", 173, 0, 8000, 0, 1},
    {"bit", 104, 1, 1, 0, 0},
    {"char", 175, 0, 8000, 0, 1},
    {"date", 40, 3, 10, 0, 0},
    {"datetime", 61, 8, 23, 3, 0},
    {"datetime2", 42, 8, 27, 7, 0},
    {"decimal", 106, 17, 38, 38, 0},
    {"float", 62, 8, 53, 0, 0},
    {"image", 34, 16, 0, 0, 0},
    {"int", 56, 4, 10, 0, 0},
    {"money", 60, 8, 19, 4, 0},
    {"nchar", 239, 0, 4000, 0, 2},
    {"ntext", 99, 16, 0, 0, 0},
    {"numeric", 108, 17, 38, 38, 0},
    {"sysname", 231, 256, 128, 0, 0},
    {"nvarchar", 231, 0, 4000, 0, 2},
    {"real", 59, 4, 24, 0, 0},
    {"smalldatetime", 58, 4, 16, 0, 0},
    {"smallint", 52, 2, 5, 0, 0},
    {"smallmoney", 122, 4, 10, 4, 0},
    {"sql_variant", 98, 8016, 0, 0, 0},
    {"text", 35, 16, 0, 0, 0},
    {"time", 41, 5, 16, 7, 0},
    {"timestamp", 189, 8, 0, 0, 0},
    {"tinyint", 48, 1, 3, 0, 0},
    {"uniqueidentifier", 36, 16, 0, 0, 0},
    {"varbinary", 165, 0, 8000, 0, 1},
    {"varchar", 167, 0, 8000, 0, 1},
};

const CTypeRow* FindType(const std::string& name) {
    for (const CTypeRow& t : kTypes)
        if (name == t.pszName)
            return &t;
    return nullptr;
}

// Storage bytes of a decimal by its precision.
int DecimalLength(int nPrec) {
    return nPrec <= 9 ? 5 : nPrec <= 19 ? 9 : nPrec <= 28 ? 13 : 17;
}

std::string Trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos)
        return std::string();
    return s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
}

CSqlServerType FromRow(const CTypeRow& t, const std::string& args, bool bHasArgs) {
    if (t.nXtype == 106 || t.nXtype == 108) {
        int nPrec = bHasArgs ? std::atoi(args.c_str()) : 18;
        size_t nComma = args.find(',');
        int nScale =
            bHasArgs && nComma != std::string::npos ? std::atoi(args.c_str() + nComma + 1) : 0;
        if (nPrec <= 0)
            nPrec = 18;
        return {t.nXtype, DecimalLength(nPrec), nPrec, nScale};
    }
    // float(1) to float(24) is stored as real.
    if (t.nXtype == 62 && bHasArgs && std::atoi(args.c_str()) >= 1 && std::atoi(args.c_str()) <= 24)
        return FromRow(*FindType("real"), std::string(), false);
    if (t.nLength != 0)
        return {t.nXtype, t.nLength, t.nPrec, t.nScale};
    if (Trim(args.substr(0, args.find_first_of(",)"))) == "max")
        return {t.nXtype, -1, -1, 0};
    int n = bHasArgs ? std::atoi(args.c_str()) : 1;
    if (n <= 0)
        n = 1;
    // Beyond the largest size SQL Server has (its prec here), only max can hold the column.
    if (n > t.nPrec)
        return {t.nXtype, -1, -1, 0};
    return {t.nXtype, n * t.nUnitBytes, n, 0};
}

void TypeFunction(sqlite3_context* pContext, int, sqlite3_value** argv) {
    const char* pszDecl = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
    const char* pszWhat = reinterpret_cast<const char*>(sqlite3_value_text(argv[1]));
    CSqlServerType t = SqlServerTypeOf(pszDecl);
    std::string what = pszWhat ? pszWhat : "";
    int n = what == "xtype"    ? t.nXtype
            : what == "length" ? t.nLength
            : what == "prec"   ? t.nPrec
                               : t.nScale;
    sqlite3_result_int(pContext, n);
}

std::string Quote(const std::string& s, char chQuote) {
    std::string q(1, chQuote);
    for (char c : s) {
        if (c == chQuote)
            q += chQuote;
        q += c;
    }
    return q + chQuote;
}

std::string QuoteName(const std::string& s) {
    return Quote(s, '"');
}

// The three views over one schema. Names: the main ones are plain, an attached schema's
// carry its prefix. Object and column names compare without regard to case, as SQLite's
// names do and as SQL Server's default collation does.
std::string CatalogViewsSql(const std::string& schema, const std::string& prefix) {
    std::string s = QuoteName(schema);
    std::string objects = QuoteName(prefix + "sysobjects");
    std::string columns = QuoteName(prefix + "syscolumns");
    std::string types = QuoteName(prefix + "systypes");
    std::string sql;
    sql += "CREATE TEMP VIEW IF NOT EXISTS " + objects +
           " AS SELECT o.name COLLATE NOCASE AS name, o.rowid AS id, "
           "CASE o.type WHEN 'table' THEN 'U' WHEN 'view' THEN 'V' ELSE 'TR' END AS xtype, "
           "CASE o.type WHEN 'table' THEN 'U' WHEN 'view' THEN 'V' ELSE 'TR' END AS type, "
           "1 AS uid, "
           "CASE WHEN o.type = 'trigger' THEN (SELECT p.rowid FROM " +
           s +
           ".sqlite_schema p WHERE p.type = 'table' AND p.name = o.tbl_name) ELSE 0 END AS "
           "parent_obj, "
           "NULL AS crdate FROM " +
           s +
           ".sqlite_schema o WHERE o.type IN ('table','view','trigger') AND o.name NOT LIKE "
           "'sqlite\\_%' ESCAPE '\\';";
    sql += "CREATE TEMP VIEW IF NOT EXISTS " + columns +
           " AS SELECT c.name COLLATE NOCASE AS name, o.rowid AS id, "
           "zqk_sqlserver_type(c.type,'xtype') AS xtype, "
           "zqk_sqlserver_type(c.type,'length') AS length, c.cid + 1 AS colid, "
           "CASE WHEN c.\"notnull\" OR c.pk THEN 0 ELSE 1 END AS isnullable, "
           "zqk_sqlserver_type(c.type,'prec') AS prec, zqk_sqlserver_type(c.type,'scale') AS scale "
           "FROM " +
           s + ".sqlite_schema o JOIN pragma_table_info(o.name, " + Quote(schema, '\'') +
           ") c WHERE o.type IN ('table','view') AND o.name NOT LIKE 'sqlite\\_%' ESCAPE '\\';";
    sql +=
        "CREATE TEMP VIEW IF NOT EXISTS " + types + "(name, xtype, length, prec, scale) AS VALUES ";
    bool bFirst = true;
    for (const CTypeRow& t : kTypes) {
        CSqlServerType v = t.nLength != 0 ? CSqlServerType{t.nXtype, t.nLength, t.nPrec, t.nScale}
                                          : CSqlServerType{t.nXtype, 8000, t.nPrec, t.nScale};
        sql += (bFirst ? "" : ",") + std::string("('") + t.pszName + "'," +
               std::to_string(v.nXtype) + "," + std::to_string(v.nLength) + "," +
               std::to_string(v.nPrec) + "," + std::to_string(v.nScale) + ")";
        bFirst = false;
    }
    sql += ";";
    return sql;
}

} // namespace

CSqlServerType SqlServerTypeOf(const char* pszDeclared) {
    std::string decl;
    for (const char* p = pszDeclared ? pszDeclared : ""; *p; ++p)
        decl += static_cast<char>(*p >= 'A' && *p <= 'Z' ? *p - 'A' + 'a' : *p);
    decl = Trim(decl);
    if (decl.empty())
        return {98, 8016, 0, 0}; // no declared type: sql_variant
    size_t nParen = decl.find('(');
    std::string base = Trim(decl.substr(0, nParen));
    std::string args = nParen == std::string::npos ? std::string() : decl.substr(nParen + 1);
    if (base == "integer")
        base = "int";
    if (base == "double" || base == "double precision")
        base = "float";
    if (const CTypeRow* t = FindType(base))
        return FromRow(*t, args, nParen != std::string::npos);
    // SQLite's affinity rules for everything else.
    if (decl.find("int") != std::string::npos)
        return FromRow(*FindType("int"), args, false);
    if (decl.find("char") != std::string::npos || decl.find("clob") != std::string::npos ||
        decl.find("text") != std::string::npos)
        return nParen != std::string::npos ? FromRow(*FindType("varchar"), args, true)
                                           : FromRow(*FindType("text"), args, false);
    if (decl.find("blob") != std::string::npos)
        return FromRow(*FindType("image"), args, false);
    if (decl.find("real") != std::string::npos || decl.find("floa") != std::string::npos ||
        decl.find("doub") != std::string::npos)
        return FromRow(*FindType("float"), args, false);
    return FromRow(*FindType("numeric"), args, false);
}

int SqlServerCreateCatalog(sqlite3* pDb) {
    int rc =
        sqlite3_create_function_v2(pDb, "zqk_sqlserver_type", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC,
                                   nullptr, &TypeFunction, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        return rc;
    return sqlite3_exec(pDb, CatalogViewsSql("main", "").c_str(), nullptr, nullptr, nullptr);
}

bool SqlServerEnsureAttachedCatalog(sqlite3* pDb, const std::wstring& strSchema,
                                    std::wstring* pstrPrefix) {
    std::string schema = WinWideToUtf8(strSchema);
    std::string prefix = schema + "$";
    *pstrPrefix = WinUtf8ToWide(prefix);
    return sqlite3_exec(pDb, CatalogViewsSql(schema, prefix).c_str(), nullptr, nullptr, nullptr) ==
           SQLITE_OK;
}
