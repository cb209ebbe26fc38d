#include "platform/ado/odbc/OdbcParameters.h"

#include <algorithm>
#include <cstring>

#include "platform/win/TextEncoding.h"

namespace {

// Bytes handed to SQLPutData at a time.
const size_t kPieceBytes = 1 << 20;

template <typename T> std::vector<BYTE> CellOf(const T& value) {
    std::vector<BYTE> cell(sizeof(T));
    std::memcpy(cell.data(), &value, sizeof(T));
    return cell;
}

bool IsCharacterType(SQLSMALLINT nSqlType) {
    switch (nSqlType) {
    case SQL_CHAR:
    case SQL_VARCHAR:
    case SQL_LONGVARCHAR:
    case SQL_WCHAR:
    case SQL_WVARCHAR:
    case SQL_WLONGVARCHAR:
        return true;
    default:
        return false;
    }
}

} // namespace

bool COdbcParameters::Bind(SQLHSTMT hStmt, SQLUSMALLINT nParam, SQLSMALLINT nSqlType,
                           const VARIANT& var) {
    SQLSMALLINT nCType = SQL_C_WCHAR;
    SQLULEN nColumnSize = 0;
    SQLSMALLINT nDigits = 0;
    SQLPOINTER pValue = nullptr;
    SQLLEN nBufferLength = 0;
    m_indicators.push_back(0);
    SQLLEN& nIndicator = m_indicators.back();
    auto useCell = [&](SQLSMALLINT nType, std::vector<BYTE> cell) {
        nCType = nType;
        m_cells.push_back(std::move(cell));
        pValue = m_cells.back().data();
        nBufferLength = static_cast<SQLLEN>(m_cells.back().size());
        nIndicator = nBufferLength;
    };
    auto useText = [&](const wchar_t* p, size_t n) {
        m_texts.push_back(WinWideToUtf16(p, n));
        nCType = SQL_C_WCHAR;
        pValue = m_texts.back().data();
        nBufferLength = static_cast<SQLLEN>(m_texts.back().size() * sizeof(SQLWCHAR));
        nIndicator = nBufferLength;
        nColumnSize = std::max<size_t>(1, m_texts.back().size());
    };
    switch (var.vt) {
    case VT_EMPTY:
    case VT_NULL:
        nIndicator = SQL_NULL_DATA;
        nColumnSize = 1;
        break;
    case VT_I1:
        useCell(SQL_C_SBIGINT, CellOf<long long>(var.cVal));
        break;
    case VT_UI1:
        useCell(SQL_C_SBIGINT, CellOf<long long>(var.bVal));
        break;
    case VT_I2:
        useCell(SQL_C_SBIGINT, CellOf<long long>(var.iVal));
        break;
    case VT_UI2:
        useCell(SQL_C_SBIGINT, CellOf<long long>(var.uiVal));
        break;
    case VT_I4:
    case VT_INT:
        useCell(SQL_C_SBIGINT, CellOf<long long>(var.lVal));
        break;
    case VT_UI4:
    case VT_UINT:
        useCell(SQL_C_SBIGINT, CellOf<long long>(var.ulVal));
        break;
    case VT_I8:
        useCell(SQL_C_SBIGINT, CellOf<long long>(var.llVal));
        break;
    case VT_UI8:
        useCell(SQL_C_UBIGINT, CellOf<unsigned long long>(var.ullVal));
        break;
    case VT_R4:
        useCell(SQL_C_DOUBLE, CellOf<double>(var.fltVal));
        break;
    case VT_R8:
        useCell(SQL_C_DOUBLE, CellOf<double>(var.dblVal));
        break;
    case VT_BOOL:
        useCell(SQL_C_BIT, CellOf<unsigned char>(var.boolVal ? 1 : 0));
        break;
    case VT_DATE: {
        int y, mo, d, h, mi, s;
        if (!ZqkDateToParts(var.date, &y, &mo, &d, &h, &mi, &s))
            return false;
        SQL_TIMESTAMP_STRUCT t = {};
        t.year = static_cast<SQLSMALLINT>(y);
        t.month = static_cast<SQLUSMALLINT>(mo);
        t.day = static_cast<SQLUSMALLINT>(d);
        t.hour = static_cast<SQLUSMALLINT>(h);
        t.minute = static_cast<SQLUSMALLINT>(mi);
        t.second = static_cast<SQLUSMALLINT>(s);
        useCell(SQL_C_TYPE_TIMESTAMP, CellOf(t));
        nColumnSize = 19;
        break;
    }
    case VT_BSTR:
        useText(var.bstrVal ? var.bstrVal : L"", SysStringLen(var.bstrVal));
        break;
    case VT_ARRAY | VT_UI1: {
        // Data at execution: the parameter's value names the piece list entry to send.
        size_t n = var.parray ? var.parray->rgsabound[0].cElements : 0;
        m_longValues.push_back(
            {var.parray ? static_cast<const BYTE*>(var.parray->pvData) : nullptr, n});
        nCType = SQL_C_BINARY;
        pValue = &m_longValues.back();
        nIndicator = SQL_LEN_DATA_AT_EXEC(static_cast<SQLLEN>(n));
        nColumnSize = std::max<size_t>(1, n);
        if (IsCharacterType(nSqlType) || nSqlType == SQL_BINARY || nSqlType == SQL_VARBINARY)
            nSqlType = SQL_LONGVARBINARY;
        break;
    }
    default: {
        // Currency, decimals and the rest as their text, which every driver converts.
        VARIANT text;
        VariantInit(&text);
        if (FAILED(VariantChangeType(&text, &var, 0, VT_BSTR)))
            return false;
        useText(text.bstrVal ? text.bstrVal : L"", SysStringLen(text.bstrVal));
        VariantClear(&text);
        break;
    }
    }
    if (nColumnSize == 0)
        nColumnSize = static_cast<SQLULEN>(std::max<SQLLEN>(1, nBufferLength));
    SQLRETURN rc = SQLBindParameter(hStmt, nParam, SQL_PARAM_INPUT, nCType, nSqlType, nColumnSize,
                                    nDigits, pValue, nBufferLength, &nIndicator);
    return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO;
}

SQLRETURN COdbcParameters::Execute(SQLHSTMT hStmt) {
    SQLRETURN rc = SQLExecute(hStmt);
    while (rc == SQL_NEED_DATA) {
        SQLPOINTER pToken = nullptr;
        rc = SQLParamData(hStmt, &pToken);
        if (rc != SQL_NEED_DATA)
            break;
        const auto* pLong = static_cast<const CLongValue*>(pToken);
        if (pLong->nBytes == 0) {
            SQLRETURN rcPut = SQLPutData(hStmt, const_cast<char*>(""), 0);
            if (!(rcPut == SQL_SUCCESS || rcPut == SQL_SUCCESS_WITH_INFO))
                return rcPut;
        }
        for (size_t nSent = 0; nSent < pLong->nBytes;) {
            size_t n = std::min(kPieceBytes, pLong->nBytes - nSent);
            SQLRETURN rcPut =
                SQLPutData(hStmt, const_cast<BYTE*>(pLong->pBytes + nSent), static_cast<SQLLEN>(n));
            if (!(rcPut == SQL_SUCCESS || rcPut == SQL_SUCCESS_WITH_INFO))
                return rcPut;
            nSent += n;
        }
    }
    return rc;
}
