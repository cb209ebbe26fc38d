#include "platform/ado/sqlite/SqlServerTypes.h"

#include <strings.h>

#include <cstdlib>

#include "platform/win/TextEncoding.h"

namespace {

const LONG kLongSize = 2147483647;
const LONG kNLongSize = 1073741823;

using C = SqlTypeClass;

// SQL Server's types with their codes, in systypes order; sysname comes before nvarchar so
// that reading code -> name in order ends with nvarchar for 231.
const CSqlServerTypeRow kTypes[] = {
    {"bigint", 127, 8, 19, 0, 0, C::kInteger, adBigInt, 8, adEmpty},
    {"binary", 173, 0, 8000, 0, 1, C::kBinary, adBinary, 0, adLongVarBinary},
    {"bit", 104, 1, 1, 0, 0, C::kBit, adBoolean, 2, adEmpty},
    {"char", 175, 0, 8000, 0, 1, C::kChar, adChar, 0, adLongVarChar},
    {"date", 40, 3, 10, 0, 0, C::kDate, adDBDate, 6, adEmpty},
    {"datetime", 61, 8, 23, 3, 0, C::kDate, adDBTimeStamp, 16, adEmpty},
    {"datetime2", 42, 8, 27, 7, 0, C::kDate, adDBTimeStamp, 16, adEmpty},
    {"decimal", 106, 17, 38, 38, 0, C::kExact, adNumeric, 0, adEmpty},
    {"float", 62, 8, 53, 0, 0, C::kFloat, adDouble, 8, adEmpty},
    {"image", 34, 16, 0, 0, 0, C::kBinary, adLongVarBinary, kLongSize, adEmpty},
    {"int", 56, 4, 10, 0, 0, C::kInteger, adInteger, 4, adEmpty},
    {"money", 60, 8, 19, 4, 0, C::kExact, adCurrency, 8, adEmpty},
    {"nchar", 239, 0, 4000, 0, 2, C::kNChar, adWChar, 0, adLongVarWChar},
    {"ntext", 99, 16, 0, 0, 0, C::kNChar, adLongVarWChar, kNLongSize, adEmpty},
    {"numeric", 108, 17, 38, 38, 0, C::kExact, adNumeric, 0, adEmpty},
    {"sysname", 231, 256, 128, 0, 0, C::kNChar, adVarWChar, 128, adEmpty},
    {"nvarchar", 231, 0, 4000, 0, 2, C::kNChar, adVarWChar, 0, adLongVarWChar},
    {"real", 59, 4, 24, 0, 0, C::kFloat, adSingle, 4, adEmpty},
    {"smalldatetime", 58, 4, 16, 0, 0, C::kDate, adDBTimeStamp, 16, adEmpty},
    {"smallint", 52, 2, 5, 0, 0, C::kInteger, adSmallInt, 2, adEmpty},
    {"smallmoney", 122, 4, 10, 4, 0, C::kExact, adCurrency, 8, adEmpty},
    {"sql_variant", 98, 8016, 0, 0, 0, C::kVariant, adVariant, 8016, adEmpty},
    {"text", 35, 16, 0, 0, 0, C::kChar, adLongVarChar, kLongSize, adEmpty},
    {"time", 41, 5, 16, 7, 0, C::kDate, adDBTime, 6, adEmpty},
    {"timestamp", 189, 8, 0, 0, 0, C::kBinary, adBinary, 8, adEmpty},
    {"tinyint", 48, 1, 3, 0, 0, C::kInteger, adUnsignedTinyInt, 1, adEmpty},
    {"uniqueidentifier", 36, 16, 0, 0, 0, C::kGuid, adGUID, 16, adEmpty},
    {"varbinary", 165, 0, 8000, 0, 1, C::kBinary, adVarBinary, 0, adLongVarBinary},
    {"varchar", 167, 0, 8000, 0, 1, C::kChar, adVarChar, 0, adLongVarChar},
};

// Other spellings SQLite databases use for the same types.
const struct {
    const char* pszAlias;
    const char* pszName;
} kAliases[] = {{"integer", "int"},    {"double", "float"},       {"double precision", "float"},
                {"boolean", "bit"},    {"blob", "image"},         {"dec", "decimal"},
                {"character", "char"}, {"national char", "nchar"}};

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

const CSqlServerTypeRow& Row(const char* pszName) {
    return *SqlServerFindType(pszName);
}

CSqlDeclaredType Sized(const CSqlServerTypeRow& row, const std::string& args, bool bHasArgs) {
    CSqlDeclaredType t;
    t.pRow = &row;
    if (row.nAdoType == adNumeric) { // decimal, numeric
        t.nPrec = bHasArgs ? std::atoi(args.c_str()) : 18;
        size_t nComma = args.find(',');
        t.nScale =
            bHasArgs && nComma != std::string::npos ? std::atoi(args.c_str() + nComma + 1) : 0;
        if (t.nPrec <= 0)
            t.nPrec = 18;
        return t;
    }
    // float(1) to float(24) is stored as real.
    if (row.nXtype == 62 && bHasArgs && std::atoi(args.c_str()) >= 1 &&
        std::atoi(args.c_str()) <= 24)
        t.pRow = &Row("real");
    if (row.nLength != 0)
        return t;
    if (Trim(args.substr(0, args.find_first_of(",)"))) == "max") {
        t.bMax = true;
        return t;
    }
    t.nLength = bHasArgs ? std::atoi(args.c_str()) : 1;
    if (t.nLength <= 0)
        t.nLength = 1;
    // Beyond the largest size SQL Server has, only max can hold the column.
    if (t.nLength > row.nPrec)
        t.bMax = true;
    return t;
}

CSqlDeclaredType ByAffinity(const std::string& decl, const std::string& args, bool bHasArgs) {
    // SQLite's affinity rules, in SQLite's order.
    if (decl.find("int") != std::string::npos)
        return Sized(Row("bigint"), args, false);
    if (decl.find("char") != std::string::npos || decl.find("clob") != std::string::npos ||
        decl.find("text") != std::string::npos)
        return bHasArgs ? Sized(Row("nvarchar"), args, true) : Sized(Row("ntext"), args, false);
    if (decl.find("blob") != std::string::npos)
        return Sized(Row("image"), args, false);
    if (decl.find("real") != std::string::npos || decl.find("floa") != std::string::npos ||
        decl.find("doub") != std::string::npos)
        return Sized(Row("float"), args, false);
    return Sized(Row("numeric"), args, false);
}

} // namespace

int CSqlDeclaredType::StorageLength() const {
    if (pRow->nAdoType == adNumeric)
        return DecimalLength(nPrec);
    if (pRow->nLength != 0)
        return pRow->nLength;
    return bMax ? -1 : nLength * pRow->nUnitBytes;
}

int CSqlDeclaredType::CatalogPrec() const {
    if (pRow->nAdoType == adNumeric)
        return nPrec;
    if (pRow->nLength != 0)
        return pRow->nPrec;
    return bMax ? -1 : nLength;
}

int CSqlDeclaredType::CatalogScale() const {
    if (pRow->nAdoType == adNumeric)
        return nScale;
    return pRow->nLength != 0 ? pRow->nScale : 0;
}

DataTypeEnum CSqlDeclaredType::AdoType() const {
    return bMax ? pRow->nAdoLongType : pRow->nAdoType;
}

LONG CSqlDeclaredType::AdoDefinedSize() const {
    if (pRow->nAdoType == adNumeric)
        return nPrec;
    if (bMax)
        return kLongSize;
    return pRow->nAdoSize != 0 ? pRow->nAdoSize : nLength;
}

const CSqlServerTypeRow* SqlServerTypeRows(size_t* pnCount) {
    *pnCount = sizeof(kTypes) / sizeof(kTypes[0]);
    return kTypes;
}

const CSqlServerTypeRow* SqlServerFindType(const std::string& strName) {
    for (const CSqlServerTypeRow& t : kTypes)
        if (strcasecmp(strName.c_str(), t.pszName) == 0)
            return &t;
    return nullptr;
}

CSqlDeclaredType SqlServerParseType(const char* pszDeclared) {
    std::string decl;
    for (const char* p = pszDeclared ? pszDeclared : ""; *p; ++p)
        decl += static_cast<char>(*p >= 'A' && *p <= 'Z' ? *p - 'A' + 'a' : *p);
    decl = Trim(decl);
    if (decl.empty()) {
        CSqlDeclaredType t;
        t.pRow = &Row("sql_variant");
        return t;
    }
    size_t nParen = decl.find('(');
    bool bHasArgs = nParen != std::string::npos;
    std::string base = Trim(decl.substr(0, nParen));
    std::string args = bHasArgs ? decl.substr(nParen + 1) : std::string();
    bool bAlias = false;
    for (const auto& a : kAliases)
        if (base == a.pszAlias) {
            base = a.pszName;
            bAlias = true;
        }
    if (const CSqlServerTypeRow* pRow = SqlServerFindType(base)) {
        CSqlDeclaredType t = Sized(*pRow, args, bHasArgs);
        t.bKnownName = true;
        t.bAlias = bAlias;
        return t;
    }
    return ByAffinity(decl, args, bHasArgs);
}

CSqlDeclaredType SqlServerParseType(const std::wstring& strDeclared) {
    return SqlServerParseType(WinWideToUtf8(strDeclared).c_str());
}

bool SqlServerIntegerRange(const CSqlServerTypeRow& row, long long* pnLo, long long* pnHi) {
    switch (row.nXtype) { // read for every value converted: no names compared
    case 48:              // tinyint
        *pnLo = 0, *pnHi = 255;
        return true;
    case 52: // smallint
        *pnLo = -32768, *pnHi = 32767;
        return true;
    case 56: // int
        *pnLo = -2147483648LL, *pnHi = 2147483647LL;
        return true;
    default:
        return false;
    }
}

std::wstring SqlServerOverflowText(const std::wstring& strType) {
    return L"Arithmetic overflow error converting expression to data type " + strType + L".";
}
