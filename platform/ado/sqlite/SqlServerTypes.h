// SQL Server's types as SQLite columns declare them: one table that gives both the catalogue's
// codes and lengths (systypes, syscolumns) and the data-access types the provider describes
// its fields with, so that the two never disagree about a column.
#pragma once

#include <string>

#include "platform/ado/AdoEnums.h"

// What a type's values are, for the rules the bridge enforces on them.
enum class SqlTypeClass {
    kInteger, // bigint, int, smallint, tinyint
    kBit,     // bit
    kExact,   // decimal, numeric, money, smallmoney
    kFloat,   // float, real
    kDate,    // datetime, smalldatetime, date, datetime2, time
    kChar,    // char, varchar, text
    kNChar,   // nchar, nvarchar, ntext, sysname
    kBinary,  // binary, varbinary, image, timestamp
    kGuid,    // uniqueidentifier
    kVariant, // sql_variant, and a column declared without a type
};

struct CSqlServerTypeRow {
    const char* pszName;
    int nXtype;
    int nLength; // fixed storage bytes; 0: from the declared length
    int nPrec;   // the catalogue's precision; for sized types the largest declared length
    int nScale;
    int nUnitBytes; // storage bytes per declared unit of sized types (2 for the national ones)
    SqlTypeClass nClass;
    DataTypeEnum nAdoType;
    LONG nAdoSize;             // the field's defined size when fixed; 0: from the declared length
    DataTypeEnum nAdoLongType; // what a sized type becomes with (max)
};

// A declared column type read against the table.
struct CSqlDeclaredType {
    const CSqlServerTypeRow* pRow = nullptr; // never null once parsed
    bool bKnownName = false; // the name is one of SQL Server's (not matched by affinity)
    bool bAlias = false;     // ... spelled as SQLite databases do ("integer", "blob")
    bool bMax = false;       // (max), or a length beyond the largest the type has
    int nLength = 0;         // declared length of sized types (1 when none is given)
    int nPrec = 0;           // precision and scale of decimal and numeric
    int nScale = 0;

    // The catalogue's view: syscolumns.xtype, length (bytes, -1 for max), prec and scale.
    int Xtype() const { return pRow->nXtype; }
    int StorageLength() const;
    int CatalogPrec() const;
    int CatalogScale() const;
    // The provider's field description.
    DataTypeEnum AdoType() const;
    LONG AdoDefinedSize() const;
};

// Reads "varchar (50)", "NVarChar(max)", "decimal(10, 2)", "INTEGER", "float(24)", ... Types
// that are not SQL Server's map by SQLite's affinity rules; no type at all is sql_variant.
CSqlDeclaredType SqlServerParseType(const char* pszDeclared);
CSqlDeclaredType SqlServerParseType(const std::wstring& strDeclared);

// The rows in systypes order.
const CSqlServerTypeRow* SqlServerTypeRows(size_t* pnCount);
// A row by SQL Server's name, ignoring case; null when there is none.
const CSqlServerTypeRow* SqlServerFindType(const std::string& strName);
// The values a tinyint, smallint or int holds; false for other types.
bool SqlServerIntegerRange(const CSqlServerTypeRow& row, long long* pnLo, long long* pnHi);
// SQL Server's message (8115) for a value an expression's type cannot hold ("int", "bigint").
std::wstring SqlServerOverflowText(const std::wstring& strType);
