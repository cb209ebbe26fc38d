#include "platform/ado/odbc/OdbcTypes.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/win/TextEncoding.h"

namespace {

const LONG kLongSize = 2147483647;
// Longer character and binary columns are read with SQLGetData rather than bound, so that a
// block of rows stays small.
const SQLULEN kLongestBound = 2000;
// The first piece of a cell read with SQLGetData (most values fit), and the pieces after it
// while the whole length is not known.
const size_t kFirstPieceBytes = 8192;
const SQLLEN kPieceBytes = 65536;

struct CTypeRule {
    SQLSMALLINT nSqlType;
    DataTypeEnum nType;
    DataTypeEnum nUnsignedType;
    LONG nFixedSize; // 0: the column's own size
    SQLSMALLINT nCType;
    SQLLEN nCellBytes; // 0: from the column's size
    bool bLong;        // never bound
};

const CTypeRule kRules[] = {
    {SQL_CHAR, adChar, adChar, 0, SQL_C_WCHAR, 0, false},
    {SQL_VARCHAR, adVarChar, adVarChar, 0, SQL_C_WCHAR, 0, false},
    {SQL_LONGVARCHAR, adLongVarChar, adLongVarChar, 0, SQL_C_WCHAR, 0, true},
    {SQL_WCHAR, adWChar, adWChar, 0, SQL_C_WCHAR, 0, false},
    {SQL_WVARCHAR, adVarWChar, adVarWChar, 0, SQL_C_WCHAR, 0, false},
    {SQL_WLONGVARCHAR, adLongVarWChar, adLongVarWChar, 0, SQL_C_WCHAR, 0, true},
    {SQL_DECIMAL, adNumeric, adNumeric, 0, SQL_C_CHAR, 0, false},
    {SQL_NUMERIC, adNumeric, adNumeric, 0, SQL_C_CHAR, 0, false},
    {SQL_TINYINT, adTinyInt, adUnsignedTinyInt, 1, SQL_C_SBIGINT, 8, false},
    {SQL_SMALLINT, adSmallInt, adUnsignedSmallInt, 2, SQL_C_SBIGINT, 8, false},
    {SQL_INTEGER, adInteger, adUnsignedInt, 4, SQL_C_SBIGINT, 8, false},
    {SQL_BIGINT, adBigInt, adUnsignedBigInt, 8, SQL_C_SBIGINT, 8, false},
    {SQL_BIT, adBoolean, adBoolean, 2, SQL_C_BIT, 1, false},
    {SQL_REAL, adSingle, adSingle, 4, SQL_C_DOUBLE, 8, false},
    {SQL_FLOAT, adDouble, adDouble, 8, SQL_C_DOUBLE, 8, false},
    {SQL_DOUBLE, adDouble, adDouble, 8, SQL_C_DOUBLE, 8, false},
    {SQL_TYPE_DATE, adDBDate, adDBDate, 6, SQL_C_TYPE_DATE, sizeof(SQL_DATE_STRUCT), false},
    {SQL_TYPE_TIME, adDBTime, adDBTime, 6, SQL_C_TYPE_TIME, sizeof(SQL_TIME_STRUCT), false},
    {SQL_TYPE_TIMESTAMP, adDBTimeStamp, adDBTimeStamp, 16, SQL_C_TYPE_TIMESTAMP,
     sizeof(SQL_TIMESTAMP_STRUCT), false},
    {SQL_BINARY, adBinary, adBinary, 0, SQL_C_BINARY, 0, false},
    {SQL_VARBINARY, adVarBinary, adVarBinary, 0, SQL_C_BINARY, 0, false},
    {SQL_LONGVARBINARY, adLongVarBinary, adLongVarBinary, 0, SQL_C_BINARY, 0, true},
    // As text, as the embedded provider gives unique identifiers.
    {SQL_GUID, adGUID, adGUID, 16, SQL_C_WCHAR, 37 * 2 * sizeof(SQLWCHAR), false},
};

bool IsCharacter(SQLSMALLINT nCType) {
    return nCType == SQL_C_WCHAR;
}

HRESULT MakeText(const SQLWCHAR* p, size_t nUnits, VARIANT* pvar) {
    BSTR b = SysAllocStringLen(nullptr, static_cast<UINT>(nUnits));
    if (b == nullptr)
        return E_OUTOFMEMORY;
    bool bSurrogates = false;
    for (size_t i = 0; i < nUnits; ++i) {
        b[i] = p[i];
        bSurrogates |= (p[i] & 0xF800) == 0xD800;
    }
    if (bSurrogates) {
        SysFreeString(b);
        std::wstring w = WinUtf16ToWide(p, nUnits);
        b = SysAllocStringLen(w.data(), static_cast<UINT>(w.size()));
        if (b == nullptr)
            return E_OUTOFMEMORY;
    }
    pvar->vt = VT_BSTR;
    pvar->bstrVal = b;
    return S_OK;
}

HRESULT MakeInteger(DataTypeEnum nType, long long n, VARIANT* pvar) {
    if (nType == adBigInt || nType == adUnsignedBigInt) {
        pvar->vt = VT_I8;
        pvar->llVal = n;
    } else if ((nType == adSmallInt || nType == adTinyInt) && n >= SHRT_MIN && n <= SHRT_MAX) {
        pvar->vt = VT_I2;
        pvar->iVal = static_cast<SHORT>(n);
    } else if (nType == adUnsignedTinyInt && n >= 0 && n <= 255) {
        pvar->vt = VT_UI1;
        pvar->bVal = static_cast<BYTE>(n);
    } else if (n >= INT_MIN && n <= INT_MAX) {
        pvar->vt = VT_I4;
        pvar->lVal = static_cast<LONG>(n);
    } else {
        pvar->vt = VT_I8; // a value wider than its column keeps its value
        pvar->llVal = n;
    }
    return S_OK;
}

// Decimal text: exact as VT_DECIMAL where it fits, otherwise the text itself.
HRESULT MakeDecimal(const char* p, size_t n, VARIANT* pvar) {
    VARIANT text;
    VariantInit(&text);
    text.vt = VT_BSTR;
    text.bstrVal = SysAllocStringLen(nullptr, static_cast<UINT>(n));
    if (text.bstrVal == nullptr)
        return E_OUTOFMEMORY;
    WinWidenBytes(p, n, text.bstrVal);
    if (SUCCEEDED(VariantChangeType(pvar, &text, 0, VT_DECIMAL))) {
        VariantClear(&text);
        return S_OK;
    }
    *pvar = text;
    return S_OK;
}

// A date outside what DATE holds (years before 100, after 9999) keeps its text.
HRESULT MakeDate(int y, int mo, int d, int h, int mi, int s, SQLUINTEGER nFraction, VARIANT* pvar) {
    DATE date;
    if (!ZqkDateFromParts(y, mo, d, h, mi, s, &date)) {
        char sz[64];
        int n = std::snprintf(sz, sizeof sz, "%04d-%02d-%02d %02d:%02d:%02d", y, mo, d, h, mi, s);
        std::wstring w(sz, sz + (n > 0 ? n : 0));
        pvar->vt = VT_BSTR;
        pvar->bstrVal = SysAllocStringLen(w.data(), static_cast<UINT>(w.size()));
        return pvar->bstrVal ? S_OK : E_OUTOFMEMORY;
    }
    double dExtra = nFraction / 1e9 / 86400.0;
    pvar->vt = VT_DATE;
    pvar->date = date >= 0 ? date + dExtra : date - dExtra;
    return S_OK;
}

// A cell's value from its C buffer; nBytes is the data's length for text and binary values.
HRESULT ValueOf(const COdbcColumnPlan& plan, const BYTE* pCell, SQLLEN nBytes, VARIANT* pvar) {
    switch (plan.nCType) {
    case SQL_C_SBIGINT: {
        long long n;
        std::memcpy(&n, pCell, sizeof n);
        return MakeInteger(plan.column.nType, n, pvar);
    }
    case SQL_C_BIT:
        pvar->vt = VT_BOOL;
        pvar->boolVal = *pCell ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    case SQL_C_DOUBLE: {
        double d;
        std::memcpy(&d, pCell, sizeof d);
        if (plan.column.nType == adSingle) {
            pvar->vt = VT_R4;
            pvar->fltVal = static_cast<float>(d);
        } else {
            pvar->vt = VT_R8;
            pvar->dblVal = d;
        }
        return S_OK;
    }
    case SQL_C_CHAR:
        return MakeDecimal(reinterpret_cast<const char*>(pCell), static_cast<size_t>(nBytes), pvar);
    case SQL_C_TYPE_DATE: {
        SQL_DATE_STRUCT t;
        std::memcpy(&t, pCell, sizeof t);
        return MakeDate(t.year, t.month, t.day, 0, 0, 0, 0, pvar);
    }
    case SQL_C_TYPE_TIME: {
        SQL_TIME_STRUCT t;
        std::memcpy(&t, pCell, sizeof t);
        return MakeDate(1899, 12, 30, t.hour, t.minute, t.second, 0, pvar);
    }
    case SQL_C_TYPE_TIMESTAMP: {
        SQL_TIMESTAMP_STRUCT t;
        std::memcpy(&t, pCell, sizeof t);
        return MakeDate(t.year, t.month, t.day, t.hour, t.minute, t.second, t.fraction, pvar);
    }
    case SQL_C_BINARY:
        return AdoMakeByteArray(pCell, static_cast<size_t>(nBytes), pvar);
    default:
        return MakeText(reinterpret_cast<const SQLWCHAR*>(pCell),
                        static_cast<size_t>(nBytes) / sizeof(SQLWCHAR), pvar);
    }
}

// Whether a bound cell's indicator says the value was cut to fit the buffer.
bool Truncated(const COdbcColumnPlan& plan, SQLLEN nIndicator) {
    if (nIndicator == SQL_NO_TOTAL)
        return true;
    switch (plan.nCType) {
    case SQL_C_WCHAR:
        return nIndicator > plan.nCellBytes - static_cast<SQLLEN>(sizeof(SQLWCHAR));
    case SQL_C_CHAR:
        return nIndicator > plan.nCellBytes - 1;
    case SQL_C_BINARY:
        return nIndicator > plan.nCellBytes;
    default:
        return false;
    }
}

// The rest of a long value after a first piece of nHave bytes: further pieces until the
// driver says it is done. nTotal is what the driver said was left before the first piece
// (SQL_NO_TOTAL when it did not say).
SQLRETURN GetRest(SQLHSTMT hStmt, SQLUSMALLINT nColumn, SQLSMALLINT nCType, SQLLEN nTotal,
                  COdbcBytes* pBytes) {
    const size_t nTerminator = nCType == SQL_C_WCHAR ? sizeof(SQLWCHAR) : nCType == SQL_C_CHAR;
    size_t nHave = pBytes->size();
    for (;;) {
        size_t nRoom = nTotal != SQL_NO_TOTAL && static_cast<size_t>(nTotal) > nHave
                           ? static_cast<size_t>(nTotal) - nHave + nTerminator
                           : std::max(nHave, static_cast<size_t>(kPieceBytes));
        pBytes->resize(nHave + nRoom);
        SQLLEN nIndicator = 0;
        SQLRETURN rc = SQLGetData(hStmt, nColumn, nCType, pBytes->data() + nHave,
                                  static_cast<SQLLEN>(nRoom), &nIndicator);
        if (rc == SQL_NO_DATA)
            break;
        if (!(rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO))
            return rc;
        if (rc == SQL_SUCCESS && nIndicator >= 0) {
            nHave += static_cast<size_t>(nIndicator);
            break;
        }
        nHave += nRoom - nTerminator;
    }
    pBytes->resize(nHave);
    return SQL_SUCCESS;
}

} // namespace

COdbcColumnPlan OdbcPlanColumn(const COdbcColumnInfo& info, EOdbcLengths nLengths) {
    COdbcColumnPlan plan;
    plan.column.strName = info.strName;
    plan.nSqlType = info.nSqlType;
    const CTypeRule* pRule = nullptr;
    for (const CTypeRule& r : kRules)
        if (r.nSqlType == info.nSqlType)
            pRule = &r;
    LONG nSize = info.nSize == 0 || info.nSize > static_cast<SQLULEN>(kLongSize)
                     ? kLongSize
                     : static_cast<LONG>(info.nSize);
    if (pRule == nullptr) {
        // Types the table does not know (intervals, driver-specific ones) come as text.
        plan.column.nType = adVarWChar;
        plan.column.nDefinedSize = nSize;
        plan.nCType = SQL_C_WCHAR;
        plan.nCellBytes = 0;
        return plan;
    }
    plan.column.nType = info.bUnsigned ? pRule->nUnsignedType : pRule->nType;
    plan.column.nDefinedSize = pRule->nFixedSize ? pRule->nFixedSize : nSize;
    plan.nCType = pRule->nCType;
    if (pRule->nCellBytes) {
        plan.nCellBytes = pRule->nCellBytes;
        return plan;
    }
    if (pRule->nCType == SQL_C_CHAR) {
        // Digits, sign, point and terminator, with room for what drivers report loosely.
        plan.nCellBytes = static_cast<SQLLEN>(info.nSize < 45 ? 48 : info.nSize + 4);
        return plan;
    }
    bool bBounded = !pRule->bLong && info.nSize > 0 && info.nSize <= kLongestBound &&
                    nLengths == EOdbcLengths::kEnforced;
    if (!bBounded)
        plan.nCellBytes = 0;
    else if (IsCharacter(pRule->nCType))
        // Every character may take a surrogate pair; one unit more for the terminator.
        plan.nCellBytes = static_cast<SQLLEN>((info.nSize * 2 + 1) * sizeof(SQLWCHAR));
    else
        plan.nCellBytes = static_cast<SQLLEN>(info.nSize);
    return plan;
}

SQLSMALLINT OdbcSqlTypeOf(DataTypeEnum nType) {
    for (const CTypeRule& r : kRules)
        if (r.nType == nType || r.nUnsignedType == nType)
            return r.nSqlType;
    return SQL_WVARCHAR;
}

HRESULT OdbcCellToVariant(const COdbcColumnPlan& plan, const BYTE* pCell, SQLLEN nIndicator,
                          VARIANT* pvar) {
    if (nIndicator == SQL_NULL_DATA) {
        pvar->vt = VT_NULL;
        return S_OK;
    }
    if (plan.nCellBytes > 0 && Truncated(plan, nIndicator))
        return DB_E_ERRORSINCOMMAND;
    return ValueOf(plan, pCell, nIndicator, pvar);
}

LONG OdbcCellActualSize(const COdbcColumnPlan& plan, const BYTE* pCell, SQLLEN nIndicator) {
    if (nIndicator == SQL_NULL_DATA || nIndicator < 0)
        return 0;
    switch (plan.nCType) {
    case SQL_C_WCHAR: {
        // Characters: a surrogate pair is one.
        auto* p = reinterpret_cast<const SQLWCHAR*>(pCell);
        SQLLEN nUnits =
            (plan.nCellBytes > 0 ? std::min<SQLLEN>(nIndicator, plan.nCellBytes) : nIndicator) / 2;
        LONG n = 0;
        for (SQLLEN i = 0; i < nUnits; ++i)
            if ((p[i] & 0xFC00) != 0xDC00)
                ++n;
        return n;
    }
    case SQL_C_CHAR:
    case SQL_C_BINARY:
        return static_cast<LONG>(nIndicator);
    default:
        return plan.column.nDefinedSize;
    }
}

SQLRETURN OdbcReadCell(SQLHSTMT hStmt, SQLUSMALLINT nColumn, const COdbcColumnPlan& plan,
                       COdbcBytes* pBytes, SQLLEN* pnIndicator) {
    if (pBytes->size() < kFirstPieceBytes)
        pBytes->resize(kFirstPieceBytes);
    SQLLEN nIndicator = 0;
    SQLRETURN rc = SQLGetData(hStmt, nColumn, plan.nCType, pBytes->data(),
                              static_cast<SQLLEN>(pBytes->size()), &nIndicator);
    if (!(rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO))
        return rc == SQL_NO_DATA ? SQL_ERROR : rc; // no data: the cell was read already
    const bool bVariable =
        plan.nCType == SQL_C_WCHAR || plan.nCType == SQL_C_BINARY || plan.nCType == SQL_C_CHAR;
    if (nIndicator == SQL_NULL_DATA || rc == SQL_SUCCESS || !bVariable) {
        *pnIndicator = nIndicator;
        return SQL_SUCCESS;
    }
    // Cut to fit: the rest follows in further pieces.
    const size_t nTerminator =
        plan.nCType == SQL_C_WCHAR ? sizeof(SQLWCHAR) : plan.nCType == SQL_C_CHAR;
    pBytes->resize(pBytes->size() - nTerminator);
    rc = GetRest(hStmt, nColumn, plan.nCType, nIndicator, pBytes);
    *pnIndicator = static_cast<SQLLEN>(pBytes->size());
    return rc;
}
