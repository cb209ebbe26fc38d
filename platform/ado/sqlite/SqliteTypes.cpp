#include "platform/ado/sqlite/SqliteTypes.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/ado/sqlite/SqlServerConvert.h"
#include "platform/ado/sqlite/SqlServerTypes.h"
#include "platform/win/TextEncoding.h"

namespace {

const LONG kLongSize = 2147483647;

// A cell's text (UTF-8) or stored bytes. Each is read before its length, in separate
// statements: the length SQLite gives is that of the last form asked for, and the order of a
// call's arguments is not fixed.
struct CCellBytes {
    const char* p;
    size_t n;
};

CCellBytes TextOf(sqlite3_value* pValue) {
    const auto* p = reinterpret_cast<const char*>(sqlite3_value_text(pValue));
    int n = sqlite3_value_bytes(pValue);
    return {p, n > 0 ? static_cast<size_t>(n) : 0};
}

CCellBytes BytesOf(sqlite3_value* pValue) {
    const auto* p = static_cast<const char*>(sqlite3_value_blob(pValue));
    int n = sqlite3_value_bytes(pValue);
    return {p, n > 0 ? static_cast<size_t>(n) : 0};
}

// The text of a cell of storage class nClass as a string. SQLite gives every value but NULL a
// text (an empty one included), so a null pointer for any other is memory it could not get.
HRESULT MakeString(sqlite3_value* pValue, int nClass, VARIANT* pvar) {
    CCellBytes text = TextOf(pValue);
    if (text.p == nullptr && nClass != SQLITE_NULL)
        return E_OUTOFMEMORY;
    BSTR b;
    if (WinAsciiPrefix(text.p, text.n) == text.n) {
        // ASCII (most cells) is widened straight into the string.
        b = ZqkSysAllocStringUnset(static_cast<UINT>(text.n));
        if (b)
            WinWidenBytes(text.p, text.n, b);
    } else {
        std::wstring w = WinUtf8ToWide(text.p, text.n);
        b = SysAllocStringLen(w.data(), static_cast<UINT>(w.size()));
    }
    if (b == nullptr)
        return E_OUTOFMEMORY;
    pvar->vt = VT_BSTR;
    pvar->bstrVal = b;
    return S_OK;
}

// The stored bytes of a cell as a byte array. An empty value has no pointer; a number's text
// always has one, so a null pointer there is memory SQLite could not get.
HRESULT MakeBytes(sqlite3_value* pValue, int nClass, VARIANT* pvar) {
    CCellBytes bytes = BytesOf(pValue);
    if (bytes.p == nullptr && (nClass == SQLITE_INTEGER || nClass == SQLITE_FLOAT))
        return E_OUTOFMEMORY;
    return AdoMakeByteArray(bytes.p, bytes.n, pvar);
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

// The text of a cell converted to vt: S_OK, S_FALSE when it does not convert (pvar is left
// alone), or E_OUTOFMEMORY.
HRESULT ConvertText(sqlite3_value* pValue, int nClass, VARTYPE vt, VARIANT* pvar) {
    VARIANT text;
    VariantInit(&text);
    HRESULT hr = MakeString(pValue, nClass, &text);
    if (FAILED(hr))
        return hr;
    hr = VariantChangeType(pvar, &text, 0, vt);
    VariantClear(&text);
    return hr == E_OUTOFMEMORY ? hr : SUCCEEDED(hr) ? S_OK : S_FALSE;
}

// The value as its storage class gives it.
HRESULT NaturalValue(sqlite3_value* pValue, int nClass, VARIANT* pvar) {
    switch (nClass) {
    case SQLITE_INTEGER:
        return MakeInteger(sqlite3_value_int64(pValue), pvar);
    case SQLITE_FLOAT:
        pvar->vt = VT_R8;
        pvar->dblVal = sqlite3_value_double(pValue);
        return S_OK;
    case SQLITE_BLOB:
        return MakeBytes(pValue, nClass, pvar);
    case SQLITE_NULL:
        pvar->vt = VT_NULL;
        return S_OK;
    default:
        return MakeString(pValue, nClass, pvar);
    }
}

} // namespace

CSqliteColumnType SqliteMapDeclaredType(const char* pszDeclared) {
    if (pszDeclared == nullptr || *pszDeclared == 0)
        return {adVarWChar, 255, false};
    return SqliteMapType(SqlServerParseType(pszDeclared));
}

CSqliteColumnType CSqliteDeclaredTypes::Map(const char* pszDeclared) {
    if (pszDeclared == nullptr || *pszDeclared == 0)
        return SqliteMapDeclaredType(pszDeclared);
    for (size_t i = 0; i < m_nUsed; ++i)
        if (m_entries[i].strDeclared == pszDeclared)
            return m_entries[i].type;
    CEntry& e = m_entries[m_nNext];
    m_nNext = (m_nNext + 1) % kKept;
    m_nUsed = m_nUsed < kKept ? m_nUsed + 1 : kKept;
    e.strDeclared = pszDeclared;
    e.type = SqliteMapDeclaredType(pszDeclared);
    return e.type;
}

CSqliteColumnType SqliteMapType(const CSqlDeclaredType& t) {
    CSqliteColumnType r{t.AdoType(), t.AdoDefinedSize(), true};
    if (t.pRow->nClass == SqlTypeClass::kExact) {
        r.nPrecision = static_cast<BYTE>(t.CatalogPrec());
        r.nNumericScale = static_cast<BYTE>(t.CatalogScale());
    }
    return r;
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

HRESULT ColumnValue(sqlite3_value* pValue, DataTypeEnum nType, int nClass, VARIANT* pvar) {
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
        sqlite3_int64 n = sqlite3_value_int64(pValue);
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
            pvar->fltVal = static_cast<float>(sqlite3_value_double(pValue));
        } else {
            pvar->vt = VT_R8;
            pvar->dblVal = sqlite3_value_double(pValue);
        }
        return S_OK;
    case adNumeric:
    case adCurrency:
        // Through the stored text, so that decimals stay exact.
        if (nClass != SQLITE_BLOB) {
            HRESULT hr = ConvertText(pValue, nClass, nType == adNumeric ? VT_DECIMAL : VT_CY, pvar);
            if (hr != S_FALSE)
                return hr;
        }
        break;
    case adDBTimeStamp:
    case adDBDate:
    case adDBTime:
        if (nClass == SQLITE_TEXT) {
            // Straight from the stored bytes, as VariantChangeType would read their BSTR.
            DATE date;
            CCellBytes text = TextOf(pValue);
            if (text.p == nullptr)
                return E_OUTOFMEMORY;
            if (ZqkDateFromText(text.p, text.n, &date)) {
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
            return MakeString(pValue, nClass, pvar);
        break;
    case adBinary:
    case adVarBinary:
    case adLongVarBinary:
        return MakeBytes(pValue, nClass, pvar);
    default:
        break;
    }
    return NaturalValue(pValue, nClass, pvar);
}

} // namespace

// The cell's value read once per call: sqlite3_value_* on it spares each sqlite3_column_*
// call's entry and exit checks. SQLite calls the value unprotected; connections are opened
// with SQLITE_OPEN_NOMUTEX, where the column calls take no lock either, and a cursor is used
// by one thread at a time as its connection is.
HRESULT SqliteColumnValue(sqlite3_stmt* pStmt, int nColumn, DataTypeEnum nType, VARIANT* pvar) {
    sqlite3_value* pValue = sqlite3_column_value(pStmt, nColumn);
    return ColumnValue(pValue, nType, sqlite3_value_type(pValue), pvar);
}

HRESULT SqliteColumnCell(sqlite3_stmt* pStmt, int nColumn, DataTypeEnum nType, CAdoCell* pCell) {
    sqlite3_value* pValue = sqlite3_column_value(pStmt, nColumn);
    int nClass = sqlite3_value_type(pValue);
    // Stored text becomes a string of its characters for every type but these: decimals and
    // currency convert it, binary columns take its bytes, dates read it (SqliteColumnValue).
    bool bText = nClass == SQLITE_TEXT && nType != adNumeric && nType != adCurrency &&
                 nType != adBinary && nType != adVarBinary && nType != adLongVarBinary;
    if (!bText) {
        pCell->nKind = CAdoCell::kValue;
        return ColumnValue(pValue, nType, nClass, &pCell->var);
    }
    bool bDate = nType == adDBTimeStamp || nType == adDBDate || nType == adDBTime;
    pCell->nKind = bDate ? CAdoCell::kDateText : CAdoCell::kText;
    CCellBytes text = TextOf(pValue);
    if (text.p == nullptr)
        return E_OUTOFMEMORY; // stored text always has a pointer
    pCell->pText = text.p;
    pCell->nBytes = text.n;
    return S_OK;
}

HRESULT SqliteColumnBytes(sqlite3_stmt* pStmt, int nColumn, DataTypeEnum nType,
                          const void** ppBytes, size_t* pnBytes) {
    // ColumnValue makes a byte array of the blob for a binary column's every value but NULL,
    // and for stored blobs in any column.
    sqlite3_value* pValue = sqlite3_column_value(pStmt, nColumn);
    int nClass = sqlite3_value_type(pValue);
    bool bBinaryColumn = nType == adBinary || nType == adVarBinary || nType == adLongVarBinary;
    if (nClass == SQLITE_NULL || (nClass != SQLITE_BLOB && !bBinaryColumn))
        return S_FALSE;
    CCellBytes bytes = BytesOf(pValue);
    // The byte array would fail, and report it: too large, or memory SQLite could not get.
    if (bytes.n > kAdoMaxValueBytes ||
        (bytes.p == nullptr && (nClass == SQLITE_INTEGER || nClass == SQLITE_FLOAT)))
        return S_FALSE;
    *ppBytes = bytes.p;
    *pnBytes = bytes.n;
    return S_OK;
}

LONG SqliteColumnActualSize(sqlite3_stmt* pStmt, int nColumn, LONG nDefinedSize) {
    sqlite3_value* pValue = sqlite3_column_value(pStmt, nColumn);
    switch (sqlite3_value_type(pValue)) {
    case SQLITE_NULL:
        return 0;
    case SQLITE_BLOB:
        return sqlite3_value_bytes(pValue);
    case SQLITE_TEXT: {
        // Counted as Value decodes the bytes, invalid sequences included.
        CCellBytes text = TextOf(pValue);
        return static_cast<LONG>(WinUtf8WideLength(text.p, text.n));
    }
    default:
        return nDefinedSize;
    }
}

bool SqliteExactValue(const CAdoColumn& column, const VARIANT& var, std::wstring* pstrError) {
    bool bValue = var.vt == VT_DECIMAL || var.vt == VT_CY || var.vt == VT_BSTR;
    if (!bValue || (column.nType != adNumeric && column.nType != adCurrency))
        return true;
    VARIANT text;
    VariantInit(&text);
    if (FAILED(VariantChangeType(&text, &var, 0, VT_BSTR)))
        return true; // not a number: binding reports it
    std::string number =
        WinWideToUtf8(text.bstrVal ? text.bstrVal : L"", SysStringLen(text.bstrVal));
    VariantClear(&text);
    std::string type = "money";
    if (column.nType == adNumeric)
        type = "decimal(" + std::to_string(column.nPrecision ? column.nPrecision : 38) + "," +
               std::to_string(column.nNumericScale) + ")";
    // Text bound to a decimal column keeps a whole number as an integer.
    return SqlExactlyStored(SqlServerParseType(type.c_str()), number, SqlWholeValues::kKept,
                            pstrError);
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
