#include "platform/ado/sqlite/SqliteTypes.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/win/TextEncoding.h"

namespace {

const LONG kLongSize = 2147483647;

struct CTypeRule {
    std::string_view strName; // sized, so that most names are told apart by their length
    DataTypeEnum nType;
    LONG nSize;     // fixed size, or 0 when the declaration's length gives it
    LONG nLongType; // the type a "(max)" length turns it into, or 0
};

// SQL Server's type names as SQLite tables declare them.
const CTypeRule kRules[] = {
    {"int", adInteger, 4, 0},
    {"integer", adInteger, 4, 0},
    {"smallint", adSmallInt, 2, 0},
    {"tinyint", adUnsignedTinyInt, 1, 0},
    {"bigint", adBigInt, 8, 0},
    {"bit", adBoolean, 2, 0},
    {"boolean", adBoolean, 2, 0},
    {"float", adDouble, 8, 0},
    {"double", adDouble, 8, 0},
    {"double precision", adDouble, 8, 0},
    {"real", adSingle, 4, 0},
    {"decimal", adNumeric, 0, 0},
    {"numeric", adNumeric, 0, 0},
    {"money", adCurrency, 8, 0},
    {"smallmoney", adCurrency, 8, 0},
    {"datetime", adDBTimeStamp, 16, 0},
    {"datetime2", adDBTimeStamp, 16, 0},
    {"smalldatetime", adDBTimeStamp, 16, 0},
    {"date", adDBDate, 6, 0},
    {"time", adDBTime, 6, 0},
    {"char", adChar, 0, adLongVarChar},
    {"nchar", adWChar, 0, adLongVarWChar},
    {"varchar", adVarChar, 0, adLongVarChar},
    {"nvarchar", adVarWChar, 0, adLongVarWChar},
    {"text", adLongVarChar, kLongSize, 0},
    {"ntext", adLongVarWChar, 1073741823, 0},
    {"binary", adBinary, 0, adLongVarBinary},
    {"varbinary", adVarBinary, 0, adLongVarBinary},
    {"image", adLongVarBinary, kLongSize, 0},
    {"blob", adLongVarBinary, kLongSize, 0},
    {"uniqueidentifier", adGUID, 16, 0},
};

std::string Lower(const char* p) {
    std::string s;
    for (; *p; ++p)
        s += static_cast<char>(*p >= 'A' && *p <= 'Z' ? *p - 'A' + 'a' : *p);
    return s;
}

std::string Trimmed(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos)
        return std::string();
    size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

bool IsAscii(const unsigned char* p, int n) {
    for (int i = 0; i < n; ++i)
        if (p[i] & 0x80)
            return false;
    return true;
}

HRESULT MakeString(const unsigned char* p, int n, VARIANT* pvar) {
    BSTR b;
    // Short ASCII text (most cells) is widened on the stack in one pass and copied once.
    const int kShort = 128;
    if (n <= kShort) {
        wchar_t sz[kShort];
        unsigned char nBits = 0;
        for (int i = 0; i < n; ++i) {
            sz[i] = p[i];
            nBits |= p[i];
        }
        if (!(nBits & 0x80)) {
            b = SysAllocStringLen(sz, static_cast<UINT>(n));
            if (b == nullptr)
                return E_OUTOFMEMORY;
            pvar->vt = VT_BSTR;
            pvar->bstrVal = b;
            return S_OK;
        }
    }
    if (IsAscii(p, n)) {
        b = SysAllocStringLen(nullptr, static_cast<UINT>(n));
        if (b)
            for (int i = 0; i < n; ++i)
                b[i] = p[i];
    } else {
        std::wstring w = WinUtf8ToWide(reinterpret_cast<const char*>(p), static_cast<size_t>(n));
        b = SysAllocStringLen(w.data(), static_cast<UINT>(w.size()));
    }
    if (b == nullptr)
        return E_OUTOFMEMORY;
    pvar->vt = VT_BSTR;
    pvar->bstrVal = b;
    return S_OK;
}

HRESULT MakeInteger(sqlite3_int64 n, VARIANT* pvar) {
    if (n >= INT_MIN && n <= INT_MAX) {
        pvar->vt = VT_I4;
        pvar->lVal = static_cast<LONG>(n);
    } else {
        pvar->vt = VT_I8;
        pvar->llVal = n;
    }
    return S_OK;
}

// The text of a cell converted to vt; false when it does not convert (the text stays).
bool ConvertText(sqlite3_stmt* pStmt, int nColumn, VARTYPE vt, VARIANT* pvar) {
    VARIANT text;
    VariantInit(&text);
    const unsigned char* p = sqlite3_column_text(pStmt, nColumn);
    if (FAILED(MakeString(p, sqlite3_column_bytes(pStmt, nColumn), &text)))
        return false;
    HRESULT hr = VariantChangeType(pvar, &text, 0, vt);
    VariantClear(&text);
    return SUCCEEDED(hr);
}

// The value as its storage class gives it.
HRESULT NaturalValue(sqlite3_stmt* pStmt, int nColumn, int nClass, VARIANT* pvar) {
    switch (nClass) {
    case SQLITE_INTEGER:
        return MakeInteger(sqlite3_column_int64(pStmt, nColumn), pvar);
    case SQLITE_FLOAT:
        pvar->vt = VT_R8;
        pvar->dblVal = sqlite3_column_double(pStmt, nColumn);
        return S_OK;
    case SQLITE_BLOB:
        return AdoMakeByteArray(sqlite3_column_blob(pStmt, nColumn),
                                static_cast<size_t>(sqlite3_column_bytes(pStmt, nColumn)), pvar);
    case SQLITE_NULL:
        pvar->vt = VT_NULL;
        return S_OK;
    default:
        return MakeString(sqlite3_column_text(pStmt, nColumn), sqlite3_column_bytes(pStmt, nColumn),
                          pvar);
    }
}

} // namespace

CSqliteColumnType SqliteMapDeclaredType(const char* pszDeclared) {
    if (pszDeclared == nullptr || *pszDeclared == 0)
        return {adVarWChar, 255, false};
    std::string decl = Lower(pszDeclared);
    size_t nParen = decl.find('(');
    std::string base = Trimmed(decl.substr(0, nParen));
    std::string args = nParen == std::string::npos ? std::string() : decl.substr(nParen + 1);
    bool bMax = Trimmed(args.substr(0, args.find_first_of(",)"))) == "max";
    long nLength = nParen == std::string::npos ? -1 : std::strtol(args.c_str(), nullptr, 10);
    for (const CTypeRule& r : kRules) {
        if (std::string_view(base) != r.strName)
            continue;
        if (r.nSize != 0)
            return {r.nType, r.nSize, true};
        if (r.nType == adNumeric)
            return {adNumeric, nLength > 0 ? static_cast<LONG>(nLength) : 18, true};
        if (bMax)
            return {static_cast<DataTypeEnum>(r.nLongType), kLongSize, true};
        // Without a length a character or binary type holds one, as on SQL Server.
        return {r.nType, nLength > 0 ? static_cast<LONG>(nLength) : 1, true};
    }
    // Anything else by SQLite's own affinity rules.
    if (decl.find("int") != std::string::npos)
        return {adBigInt, 8, true};
    if (decl.find("char") != std::string::npos || decl.find("clob") != std::string::npos ||
        decl.find("text") != std::string::npos)
        return {adVarWChar, nLength > 0 ? static_cast<LONG>(nLength) : 255, true};
    if (decl.find("blob") != std::string::npos)
        return {adLongVarBinary, kLongSize, true};
    if (decl.find("real") != std::string::npos || decl.find("floa") != std::string::npos ||
        decl.find("doub") != std::string::npos)
        return {adDouble, 8, true};
    return {adNumeric, 18, true};
}

CSqliteColumnType SqliteTypeOfStorageClass(int nStorageClass) {
    switch (nStorageClass) {
    case SQLITE_INTEGER:
        return {adInteger, 4, false};
    case SQLITE_FLOAT:
        return {adDouble, 8, false};
    case SQLITE_BLOB:
        return {adLongVarBinary, kLongSize, false};
    default:
        return {adVarWChar, 255, false};
    }
}

namespace {

HRESULT ColumnValue(sqlite3_stmt* pStmt, int nColumn, DataTypeEnum nType, int nClass,
                    VARIANT* pvar) {
    if (nClass == SQLITE_NULL) {
        pvar->vt = VT_NULL;
        return S_OK;
    }
    switch (nType) {
    case adSmallInt:
    case adUnsignedTinyInt:
    case adBigInt:
    case adBoolean: {
        if (nClass != SQLITE_INTEGER)
            break;
        sqlite3_int64 n = sqlite3_column_int64(pStmt, nColumn);
        if (nType == adBoolean) {
            pvar->vt = VT_BOOL;
            pvar->boolVal = n ? VARIANT_TRUE : VARIANT_FALSE;
        } else if (nType == adBigInt) {
            pvar->vt = VT_I8;
            pvar->llVal = n;
        } else if (nType == adSmallInt && n >= SHRT_MIN && n <= SHRT_MAX) {
            pvar->vt = VT_I2;
            pvar->iVal = static_cast<SHORT>(n);
        } else if (nType == adUnsignedTinyInt && n >= 0 && n <= 255) {
            pvar->vt = VT_UI1;
            pvar->bVal = static_cast<BYTE>(n);
        } else {
            return MakeInteger(n, pvar); // a value wider than its column keeps its value
        }
        return S_OK;
    }
    case adDouble:
    case adSingle:
        if (nClass != SQLITE_INTEGER && nClass != SQLITE_FLOAT)
            break;
        if (nType == adSingle) {
            pvar->vt = VT_R4;
            pvar->fltVal = static_cast<float>(sqlite3_column_double(pStmt, nColumn));
        } else {
            pvar->vt = VT_R8;
            pvar->dblVal = sqlite3_column_double(pStmt, nColumn);
        }
        return S_OK;
    case adNumeric:
    case adCurrency:
        // Through the stored text, so that decimals stay exact.
        if (nClass != SQLITE_BLOB &&
            ConvertText(pStmt, nColumn, nType == adNumeric ? VT_DECIMAL : VT_CY, pvar))
            return S_OK;
        break;
    case adDBTimeStamp:
    case adDBDate:
    case adDBTime:
        if (nClass == SQLITE_TEXT) {
            // Straight from the stored bytes, as VariantChangeType would read their BSTR.
            DATE date;
            if (ZqkDateFromText(reinterpret_cast<const char*>(sqlite3_column_text(pStmt, nColumn)),
                                static_cast<size_t>(sqlite3_column_bytes(pStmt, nColumn)), &date)) {
                pvar->vt = VT_DATE;
                pvar->date = date;
                return S_OK;
            }
        }
        break;
    case adChar:
    case adWChar:
    case adVarChar:
    case adVarWChar:
    case adLongVarChar:
    case adLongVarWChar:
    case adGUID:
        if (nClass != SQLITE_BLOB)
            return MakeString(sqlite3_column_text(pStmt, nColumn),
                              sqlite3_column_bytes(pStmt, nColumn), pvar);
        break;
    case adBinary:
    case adVarBinary:
    case adLongVarBinary:
        return AdoMakeByteArray(sqlite3_column_blob(pStmt, nColumn),
                                static_cast<size_t>(sqlite3_column_bytes(pStmt, nColumn)), pvar);
    default:
        break;
    }
    return NaturalValue(pStmt, nColumn, nClass, pvar);
}

} // namespace

HRESULT SqliteColumnValue(sqlite3_stmt* pStmt, int nColumn, DataTypeEnum nType, VARIANT* pvar) {
    return ColumnValue(pStmt, nColumn, nType, sqlite3_column_type(pStmt, nColumn), pvar);
}

HRESULT SqliteColumnCell(sqlite3_stmt* pStmt, int nColumn, DataTypeEnum nType, CAdoCell* pCell) {
    int nClass = sqlite3_column_type(pStmt, nColumn);
    // Stored text becomes a string of its characters for every type but these: decimals and
    // currency convert it, binary columns take its bytes, dates read it (SqliteColumnValue).
    bool bText = nClass == SQLITE_TEXT && nType != adNumeric && nType != adCurrency &&
                 nType != adBinary && nType != adVarBinary && nType != adLongVarBinary;
    if (!bText) {
        pCell->nKind = CAdoCell::kValue;
        return ColumnValue(pStmt, nColumn, nType, nClass, &pCell->var);
    }
    bool bDate = nType == adDBTimeStamp || nType == adDBDate || nType == adDBTime;
    pCell->nKind = bDate ? CAdoCell::kDateText : CAdoCell::kText;
    const unsigned char* p = sqlite3_column_text(pStmt, nColumn);
    pCell->pText = p ? reinterpret_cast<const char*>(p) : "";
    pCell->nBytes = p ? static_cast<size_t>(sqlite3_column_bytes(pStmt, nColumn)) : 0;
    return S_OK;
}

LONG SqliteColumnActualSize(sqlite3_stmt* pStmt, int nColumn, LONG nDefinedSize) {
    switch (sqlite3_column_type(pStmt, nColumn)) {
    case SQLITE_NULL:
        return 0;
    case SQLITE_BLOB:
        return sqlite3_column_bytes(pStmt, nColumn);
    case SQLITE_TEXT: {
        // Counted as Value decodes the bytes, invalid sequences included.
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(pStmt, nColumn));
        int n = sqlite3_column_bytes(pStmt, nColumn);
        return static_cast<LONG>(WinUtf8WideLength(p, static_cast<size_t>(n)));
    }
    default:
        return nDefinedSize;
    }
}

int SqliteBindVariant(sqlite3_stmt* pStmt, int nParam, const VARIANT& var) {
    switch (var.vt) {
    case VT_EMPTY:
    case VT_NULL:
        return sqlite3_bind_null(pStmt, nParam);
    case VT_I1:
        return sqlite3_bind_int64(pStmt, nParam, var.cVal);
    case VT_UI1:
        return sqlite3_bind_int64(pStmt, nParam, var.bVal);
    case VT_I2:
        return sqlite3_bind_int64(pStmt, nParam, var.iVal);
    case VT_UI2:
        return sqlite3_bind_int64(pStmt, nParam, var.uiVal);
    case VT_I4:
    case VT_INT:
        return sqlite3_bind_int64(pStmt, nParam, var.lVal);
    case VT_UI4:
    case VT_UINT:
        return sqlite3_bind_int64(pStmt, nParam, var.ulVal);
    case VT_I8:
        return sqlite3_bind_int64(pStmt, nParam, var.llVal);
    case VT_UI8:
        if (var.ullVal <= static_cast<ULONGLONG>(INT64_MAX))
            return sqlite3_bind_int64(pStmt, nParam, static_cast<sqlite3_int64>(var.ullVal));
        return sqlite3_bind_double(pStmt, nParam, static_cast<double>(var.ullVal));
    case VT_R4:
        return sqlite3_bind_double(pStmt, nParam, var.fltVal);
    case VT_R8:
        return sqlite3_bind_double(pStmt, nParam, var.dblVal);
    case VT_BOOL:
        return sqlite3_bind_int(pStmt, nParam, var.boolVal ? 1 : 0);
    case VT_ARRAY | VT_UI1: {
        ULONG n = var.parray ? var.parray->rgsabound[0].cElements : 0;
        return sqlite3_bind_blob64(pStmt, nParam, n ? var.parray->pvData : "", n, SQLITE_STATIC);
    }
    case VT_BSTR: {
        std::string s = WinWideToUtf8(var.bstrVal ? var.bstrVal : L"", SysStringLen(var.bstrVal));
        return sqlite3_bind_text64(pStmt, nParam, s.data(), s.size(), SQLITE_TRANSIENT,
                                   SQLITE_UTF8);
    }
    default: {
        // Currency, decimals and dates are stored as their text.
        VARIANT text;
        VariantInit(&text);
        if (FAILED(VariantChangeType(&text, &var, 0, VT_BSTR)))
            return SQLITE_MISMATCH;
        int rc = SqliteBindVariant(pStmt, nParam, text);
        VariantClear(&text);
        return rc;
    }
    }
}
