#include "RecordsetReading.h"

#include <charconv>
#include <cmath>
#include <cwchar>
#include <cwctype>

namespace {

// White space is what iswspace says it is. No locale counts a printable ASCII character as
// white space, so those are answered without the call (most cells start and end with one).
inline bool IsWhite(wchar_t c) {
    if (c > 0x20 && c < 0x7F)
        return false;
    return iswspace(static_cast<wint_t>(c)) != 0;
}

void TrimmedAssign(const wchar_t* p, size_t n, CString& strText) {
    size_t e = n;
    while (e > 0 && IsWhite(p[e - 1]))
        --e;
    size_t b = 0;
    while (b < e && IsWhite(p[b]))
        ++b;
    strText = CString(p + b, static_cast<int>(e - b));
}

// ---- Text of the common value types, written straight into the string ----
//
// VariantChangeType(VT_BSTR) makes a BSTR that is copied into the CString and freed at once.
// For the types a result set yields most often the same text is written here on the stack
// instead: integers in decimal, VT_R8 as printf's "%.15G", VT_DATE as "YYYY-MM-DD HH:MM:SS"
// (Variant.h). Anything else, and any value these do not cover, goes to VariantChangeType.

// Room for every text below: "-9223372036854775808", "-1.23456789012345E-308", a date.
const size_t kTextRoom = 32;

size_t IntegerText(long long n, wchar_t* pOut) {
    // Two digits per division.
    static const char kPairs[] = "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
                                 "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
                                 "8081828384858687888990919293949596979899";
    wchar_t sz[24];
    wchar_t* e = sz + 24;
    wchar_t* p = e;
    unsigned long long m = n < 0 ? 0ull - static_cast<unsigned long long>(n) : static_cast<unsigned long long>(n);
    while (m >= 100) {
        unsigned r = static_cast<unsigned>(m % 100) * 2;
        m /= 100;
        *--p = static_cast<wchar_t>(kPairs[r + 1]);
        *--p = static_cast<wchar_t>(kPairs[r]);
    }
    if (m >= 10) {
        *--p = static_cast<wchar_t>(kPairs[m * 2 + 1]);
        *--p = static_cast<wchar_t>(kPairs[m * 2]);
    } else {
        *--p = static_cast<wchar_t>(L'0' + m);
    }
    size_t k = 0;
    if (n < 0)
        pOut[k++] = L'-';
    while (p < e)
        pOut[k++] = *p++;
    return k;
}

// "%.15G" of a normal double whose shortest round-trip form has at most 15 digits: then
// rounding to 15 digits gives those same digits (the double's own rounding error is far below
// half a unit of the 15th digit), so only the layout is left to do. Returns 0 otherwise.
size_t RealText(double d, wchar_t* pOut) {
    if (!std::isnormal(d))
        return 0;
    char sz[40];
    std::to_chars_result r = std::to_chars(sz, sz + sizeof sz, d, std::chars_format::scientific);
    if (r.ec != std::errc())
        return 0;
    // sz: [-]d[.ddd]e(+|-)xx
    const char* p = sz;
    bool bNegative = *p == '-';
    if (bNegative)
        ++p;
    char digits[20];
    int nDigits = 0;
    for (; p < r.ptr && *p != 'e'; ++p)
        if (*p != '.') {
            if (nDigits == 15)
                return 0; // more than 15 digits: rounding decides, VariantChangeType does it
            digits[nDigits++] = *p;
        }
    if (p == r.ptr)
        return 0;
    ++p;
    bool bNegativeExponent = *p == '-';
    int nExponent = 0;
    for (++p; p < r.ptr; ++p)
        nExponent = nExponent * 10 + (*p - '0');
    if (bNegativeExponent)
        nExponent = -nExponent;

    size_t k = 0;
    if (bNegative)
        pOut[k++] = L'-';
    if (nExponent < -4 || nExponent >= 15) {
        pOut[k++] = static_cast<wchar_t>(digits[0]);
        if (nDigits > 1) {
            pOut[k++] = L'.';
            for (int i = 1; i < nDigits; ++i)
                pOut[k++] = static_cast<wchar_t>(digits[i]);
        }
        pOut[k++] = L'E';
        pOut[k++] = nExponent < 0 ? L'-' : L'+';
        int nAbs = nExponent < 0 ? -nExponent : nExponent;
        if (nAbs >= 100)
            pOut[k++] = static_cast<wchar_t>(L'0' + nAbs / 100);
        pOut[k++] = static_cast<wchar_t>(L'0' + nAbs / 10 % 10);
        pOut[k++] = static_cast<wchar_t>(L'0' + nAbs % 10);
    } else if (nExponent < 0) {
        pOut[k++] = L'0';
        pOut[k++] = L'.';
        for (int i = -1; i > nExponent; --i)
            pOut[k++] = L'0';
        for (int i = 0; i < nDigits; ++i)
            pOut[k++] = static_cast<wchar_t>(digits[i]);
    } else {
        for (int i = 0; i <= nExponent; ++i)
            pOut[k++] = i < nDigits ? static_cast<wchar_t>(digits[i]) : L'0';
        if (nDigits > nExponent + 1) {
            pOut[k++] = L'.';
            for (int i = nExponent + 1; i < nDigits; ++i)
                pOut[k++] = static_cast<wchar_t>(digits[i]);
        }
    }
    return k;
}

void Put2(wchar_t* pOut, size_t& k, int v) {
    pOut[k++] = static_cast<wchar_t>(L'0' + v / 10);
    pOut[k++] = static_cast<wchar_t>(L'0' + v % 10);
}

// The date alone at midnight, the time alone on 1899-12-30; 0 for a date out of range.
size_t DateText(DATE date, wchar_t* pOut) {
    int y, mo, d, h, mi, sec;
    if (!ZqkDateToParts(date, &y, &mo, &d, &h, &mi, &sec))
        return 0;
    size_t k = 0;
    bool bMidnight = h == 0 && mi == 0 && sec == 0;
    bool bNoDate = y == 1899 && mo == 12 && d == 30;
    if (!bNoDate) {
        Put2(pOut, k, y / 100);
        Put2(pOut, k, y % 100);
        pOut[k++] = L'-';
        Put2(pOut, k, mo);
        pOut[k++] = L'-';
        Put2(pOut, k, d);
        if (bMidnight)
            return k;
        pOut[k++] = L' ';
    }
    Put2(pOut, k, h);
    pOut[k++] = L':';
    Put2(pOut, k, mi);
    pOut[k++] = L':';
    Put2(pOut, k, sec);
    return k;
}

// The text of var into pOut (kTextRoom characters); 0 when VariantChangeType must make it.
// No text here is empty.
size_t PlainText(const VARIANT& var, wchar_t* pOut) {
    switch (var.vt) {
    case VT_I2:
        return IntegerText(var.iVal, pOut);
    case VT_I4:
        return IntegerText(var.lVal, pOut);
    case VT_I8:
        return IntegerText(var.llVal, pOut);
    case VT_UI1:
        return IntegerText(var.bVal, pOut);
    case VT_R8:
        return RealText(var.dblVal, pOut);
    case VT_DATE:
        return DateText(var.date, pOut);
    default:
        return 0;
    }
}

// Owns a VARIANT for the length of a call. Plain numbers, dates and the like own nothing, so
// only other values are cleared.
struct CHeldVariant {
    VARIANT v;
    CHeldVariant() { VariantInit(&v); }
    ~CHeldVariant() {
        VARTYPE vt = v.vt;
        bool bPlain = vt < VT_BSTR || vt == VT_ERROR || vt == VT_BOOL || vt == VT_DECIMAL ||
                      (vt >= VT_I1 && vt <= VT_UINT);
        if (!bPlain)
            VariantClear(&v);
    }
    CHeldVariant(const CHeldVariant&) = delete;
    CHeldVariant& operator=(const CHeldVariant&) = delete;
};

} // namespace

CReaderOpen ReaderOpen(CZORImpADORXServer& server, const wchar_t* lpszSQL, _RecordsetPtr& pRs, LONG* pnCols) {
    _bstr_t bstrSQL(lpszSQL);
    if (!server.m_pConnection)
        _com_issue_error(E_POINTER);
    pRs = server.m_pConnection->Execute(bstrSQL, nullptr, adCmdText);
    if (!pRs)
        return CReaderOpen::kNoResult;
    Fields* pFields = nullptr;
    if (FAILED(pRs->get_Fields(&pFields)) || pFields == nullptr)
        return CReaderOpen::kNoFields;
    LONG nCount = 0;
    HRESULT hr = pFields->get_Count(&nCount);
    pFields->Release();
    if (FAILED(hr))
        return CReaderOpen::kNoFields;
    *pnCols = nCount;
    return CReaderOpen::kReady;
}

void FieldValueToText(const VARIANT& var, CString& strText) {
    if (var.vt == VT_EMPTY || var.vt == VT_NULL) {
        strText.Empty();
        return;
    }
    if (var.vt == VT_BSTR) {
        TrimmedAssign(var.bstrVal ? var.bstrVal : L"", SysStringLen(var.bstrVal), strText);
        return;
    }
    wchar_t sz[kTextRoom];
    size_t n = PlainText(var, sz);
    if (n != 0) {
        TrimmedAssign(sz, n, strText);
        return;
    }
    CHeldVariant text;
    HRESULT hr = VariantChangeType(&text.v, &var, 0, VT_BSTR);
    if (FAILED(hr))
        _com_issue_error(hr);
    TrimmedAssign(text.v.bstrVal ? text.v.bstrVal : L"", SysStringLen(text.v.bstrVal), strText);
}

void FieldNameToText(BSTR bstrName, CString& strText) {
    TrimmedAssign(bstrName ? bstrName : L"", SysStringLen(bstrName), strText);
}

// The calls and the failures are those of GetFields, GetItem and GetValue; only their
// temporaries (an index and a value wrapper per cell) are left out.
void ReadCellText(_Recordset* pRs, LONG nCol, CString& strText) {
    Fields* pRawFields = nullptr;
    HRESULT hr = pRs->get_Fields(&pRawFields);
    if (FAILED(hr))
        _com_issue_errorex(hr, pRs, __uuidof(_Recordset));
    FieldsPtr pFields(pRawFields, false);
    VARIANT index;
    VariantInit(&index);
    index.vt = VT_I4;
    index.lVal = nCol;
    Field* pRawField = nullptr;
    hr = pFields->get_Item(index, &pRawField);
    if (FAILED(hr))
        _com_issue_errorex(hr, pFields, __uuidof(Fields));
    FieldPtr pField(pRawField, false);
    CHeldVariant value;
    hr = pField->get_Value(&value.v);
    if (FAILED(hr))
        _com_issue_errorex(hr, pField, __uuidof(Field));
    FieldValueToText(value.v, strText);
}

void ReadFieldName(_Recordset* pRs, LONG nCol, CString& strText) {
    FieldsPtr pFields = pRs->GetFields();
    FieldPtr pField = pFields->GetItem(_variant_t(nCol));
    _bstr_t bstrName = pField->GetName();
    FieldNameToText(bstrName, strText);
}

void MoveToRangeStart(_Recordset* pRs, int nStart) { pRs->Move(nStart, g_varZqkMissing); }
