#include "platform/com/Variant.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <limits>
#include <string>

#include "platform/com/SafeArray.h"
#include "platform/win/TextEncoding.h"

HRESULT VariantClear(VARIANTARG* pvarg) {
    if (pvarg == nullptr)
        return E_INVALIDARG;
    if (!(pvarg->vt & VT_BYREF)) {
        if (pvarg->vt & VT_ARRAY) {
            HRESULT hr = SafeArrayDestroy(pvarg->parray);
            if (FAILED(hr))
                return hr;
        } else {
            switch (pvarg->vt) {
            case VT_BSTR:
                SysFreeString(pvarg->bstrVal);
                break;
            case VT_UNKNOWN:
            case VT_DISPATCH:
                if (pvarg->punkVal)
                    pvarg->punkVal->Release();
                break;
            default:
                break;
            }
        }
    }
    VariantInit(pvarg);
    return S_OK;
}

HRESULT VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc) {
    if (pvargDest == nullptr || pvargSrc == nullptr)
        return E_INVALIDARG;
    if (pvargDest == pvargSrc)
        return S_OK;
    VARIANT copy = *pvargSrc;
    if (!(pvargSrc->vt & VT_BYREF)) {
        if (pvargSrc->vt & VT_ARRAY) {
            HRESULT hr = SafeArrayCopy(pvargSrc->parray, &copy.parray);
            if (FAILED(hr))
                return hr;
        } else if (pvargSrc->vt == VT_BSTR && pvargSrc->bstrVal) {
            copy.bstrVal = SysAllocStringLen(pvargSrc->bstrVal, SysStringLen(pvargSrc->bstrVal));
            if (copy.bstrVal == nullptr)
                return E_OUTOFMEMORY;
        } else if ((pvargSrc->vt == VT_UNKNOWN || pvargSrc->vt == VT_DISPATCH) &&
                   pvargSrc->punkVal) {
            pvargSrc->punkVal->AddRef();
        }
    }
    HRESULT hr = ZqkVariantClearInline(pvargDest);
    if (FAILED(hr)) {
        VariantClear(&copy);
        return hr;
    }
    *pvargDest = copy;
    return S_OK;
}

// The value a by-reference variant points at, as a plain variant that borrows its contents.
HRESULT ZqkVariantDereference(const VARIANT* pSrc, VARIANT* pOut) {
    if (pSrc == nullptr || pOut == nullptr)
        return E_INVALIDARG;
    VariantInit(pOut);
    if (!(pSrc->vt & VT_BYREF)) {
        *pOut = *pSrc;
        return S_OK;
    }
    VARTYPE vt = pSrc->vt & ~VT_BYREF;
    if (pSrc->byref == nullptr)
        return E_INVALIDARG;
    if (vt & VT_ARRAY) {
        pOut->vt = vt;
        pOut->parray = *pSrc->pparray;
        return S_OK;
    }
    switch (vt) {
    case VT_VARIANT:
        // One level only: a variant that points at another by-reference variant (or at
        // itself) is refused, so hostile chains cannot recurse without end.
        if (pSrc->pvarVal->vt == (VT_BYREF | VT_VARIANT))
            return E_INVALIDARG;
        return ZqkVariantDereference(pSrc->pvarVal, pOut);
    case VT_DECIMAL:
        pOut->decVal = *pSrc->pdecVal;
        pOut->vt = VT_DECIMAL;
        return S_OK;
    case VT_I1:
    case VT_UI1:
        pOut->bVal = *pSrc->pbVal;
        break;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
        pOut->iVal = *pSrc->piVal;
        break;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_ERROR:
    case VT_R4:
        pOut->lVal = *pSrc->plVal;
        break;
    case VT_I8:
    case VT_UI8:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
        pOut->llVal = *pSrc->pllVal;
        break;
    case VT_BSTR:
        pOut->bstrVal = *pSrc->pbstrVal;
        break;
    case VT_UNKNOWN:
    case VT_DISPATCH:
        pOut->punkVal = *pSrc->ppunkVal;
        break;
    default:
        return DISP_E_BADVARTYPE;
    }
    pOut->vt = vt;
    return S_OK;
}

HRESULT VariantCopyInd(VARIANT* pvarDest, const VARIANTARG* pvargSrc) {
    if (pvarDest == nullptr || pvargSrc == nullptr)
        return E_INVALIDARG;
    VARIANT borrowed;
    HRESULT hr = ZqkVariantDereference(pvargSrc, &borrowed);
    if (FAILED(hr))
        return hr;
    VARIANT copy;
    VariantInit(&copy);
    hr = VariantCopy(&copy, &borrowed);
    if (FAILED(hr))
        return hr;
    VariantClear(pvarDest);
    *pvarDest = copy;
    return S_OK;
}

// ---- Dates -----------------------------------------------------------------------------

namespace {

// Days from 1970-01-01 to a civil date (proleptic Gregorian calendar).
long long DaysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

void CivilFromDays(long long z, int* py, int* pm, int* pd) {
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long y = static_cast<long long>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    *py = static_cast<int>(y + (m <= 2));
    *pm = static_cast<int>(m);
    *pd = static_cast<int>(d);
}

const long long kEpochDays = DaysFromCivil(1899, 12, 30);
// The range Automation dates cover: 100-01-01 to 9999-12-31.
const double kMinDate = -657434.0;
const double kMaxDate = 2958466.0;

int DaysInMonth(int y, int m) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool bLeap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return m == 2 && bLeap ? 29 : kDays[m - 1];
}

} // namespace

bool ZqkDateFromParts(int nYear, int nMonth, int nDay, int nHour, int nMinute, int nSecond,
                      DATE* pDate) {
    if (nYear < 100 || nYear > 9999 || nMonth < 1 || nMonth > 12 || nDay < 1 ||
        nDay > DaysInMonth(nYear, nMonth) || nHour < 0 || nHour > 23 || nMinute < 0 ||
        nMinute > 59 || nSecond < 0 || nSecond > 59)
        return false;
    double dDay = static_cast<double>(
        DaysFromCivil(nYear, static_cast<unsigned>(nMonth), static_cast<unsigned>(nDay)) -
        kEpochDays);
    double dTime = (nHour * 3600 + nMinute * 60 + nSecond) / 86400.0;
    *pDate = dDay >= 0 ? dDay + dTime : dDay - dTime;
    return true;
}

bool ZqkDateToParts(DATE date, int* pYear, int* pMonth, int* pDay, int* pHour, int* pMinute,
                    int* pSecond) {
    if (!(date > kMinDate - 1 && date < kMaxDate))
        return false;
    // The whole part counts days; the fraction's size is the time of that day, also for
    // dates before 1899-12-30.
    double dDay = std::trunc(date);
    long long nSeconds = std::llround(std::fabs(date - dDay) * 86400.0);
    long long nDay = static_cast<long long>(dDay);
    if (nSeconds >= 86400) {
        nSeconds -= 86400;
        ++nDay;
    }
    // Rounding up the last moment of 9999-12-31 must not reach a year that has no date.
    if (nDay >= static_cast<long long>(kMaxDate)) {
        nDay = static_cast<long long>(kMaxDate) - 1;
        nSeconds = 86399;
    }
    CivilFromDays(nDay + kEpochDays, pYear, pMonth, pDay);
    *pHour = static_cast<int>(nSeconds / 3600);
    *pMinute = static_cast<int>(nSeconds / 60 % 60);
    *pSecond = static_cast<int>(nSeconds % 60);
    return true;
}

// ---- Coercion ----------------------------------------------------------------------------

namespace {

typedef unsigned __int128 uint128;

// A number on its way between types: an exact integer, an exact decimal or a double.
struct CNumber {
    enum Kind { kInteger, kDecimal, kReal } kind = kInteger;
    bool bNegative = false;
    uint128 nMagnitude = 0; // kInteger and kDecimal
    int nScale = 0;         // kDecimal: value = magnitude / 10^scale
    double dValue = 0;      // kReal
};

uint128 Pow10(int n) {
    uint128 r = 1;
    while (n-- > 0)
        r *= 10;
    return r;
}

CNumber FromSigned(long long v) {
    CNumber n;
    n.bNegative = v < 0;
    n.nMagnitude = v < 0 ? static_cast<uint128>(-(v + 1)) + 1 : static_cast<uint128>(v);
    return n;
}

CNumber FromUnsigned(unsigned long long v) {
    CNumber n;
    n.nMagnitude = v;
    return n;
}

CNumber FromReal(double d) {
    CNumber n;
    n.kind = CNumber::kReal;
    n.dValue = d;
    return n;
}

CNumber FromDecimal(const DECIMAL& dec) {
    CNumber n;
    n.kind = CNumber::kDecimal;
    n.bNegative = (dec.sign & DECIMAL_NEG) != 0;
    n.nMagnitude = (static_cast<uint128>(dec.Hi32) << 64) | dec.Lo64;
    n.nScale = dec.scale;
    return n;
}

double ToReal(const CNumber& n) {
    if (n.kind == CNumber::kReal)
        return n.dValue;
    long double d = static_cast<long double>(n.nMagnitude);
    if (n.kind == CNumber::kDecimal)
        d /= static_cast<long double>(Pow10(n.nScale));
    return static_cast<double>(n.bNegative ? -d : d);
}

// Rounds to an integer, half to even. False when the value is not finite or too large.
bool ToInteger(const CNumber& n, bool* pNegative, uint128* pMagnitude) {
    if (n.kind == CNumber::kInteger) {
        *pNegative = n.bNegative && n.nMagnitude != 0;
        *pMagnitude = n.nMagnitude;
        return true;
    }
    if (n.kind == CNumber::kDecimal) {
        uint128 p = Pow10(n.nScale);
        uint128 q = n.nMagnitude / p, r = n.nMagnitude % p;
        if (r * 2 > p || (r * 2 == p && (q & 1)))
            ++q;
        *pNegative = n.bNegative && q != 0;
        *pMagnitude = q;
        return true;
    }
    if (!std::isfinite(n.dValue) || std::fabs(n.dValue) >= 1.8e19)
        return false;
    double r = std::nearbyint(n.dValue); // the default rounding mode: half to even
    *pNegative = r < 0;
    *pMagnitude = static_cast<uint128>(static_cast<unsigned long long>(std::fabs(r)));
    return true;
}

// Fits the number into [lo, hi] as a signed 64-bit value.
HRESULT ToSigned(const CNumber& n, long long lo, long long hi, long long* pOut) {
    bool bNeg;
    uint128 m;
    if (!ToInteger(n, &bNeg, &m))
        return DISP_E_OVERFLOW;
    if (bNeg) {
        if (m > static_cast<uint128>(-(lo + 1)) + 1)
            return DISP_E_OVERFLOW;
        *pOut = static_cast<long long>(-static_cast<__int128>(m));
    } else {
        if (m > static_cast<uint128>(hi))
            return DISP_E_OVERFLOW;
        *pOut = static_cast<long long>(m);
    }
    return S_OK;
}

HRESULT ToUnsigned(const CNumber& n, unsigned long long hi, unsigned long long* pOut) {
    bool bNeg;
    uint128 m;
    if (!ToInteger(n, &bNeg, &m) || bNeg || m > hi)
        return DISP_E_OVERFLOW;
    *pOut = static_cast<unsigned long long>(m);
    return S_OK;
}

// Rescales to the given number of decimals, half to even; for currency and DECIMAL.
HRESULT ToScaled(const CNumber& n, int nScale, bool* pNegative, uint128* pMagnitude) {
    if (n.kind == CNumber::kReal) {
        if (!std::isfinite(n.dValue))
            return DISP_E_OVERFLOW;
        long double scaled = std::nearbyint(static_cast<long double>(n.dValue) *
                                            static_cast<long double>(Pow10(nScale)));
        if (std::fabs(scaled) >= 7.9e28L)
            return DISP_E_OVERFLOW;
        *pNegative = scaled < 0;
        *pMagnitude = static_cast<uint128>(std::fabs(scaled));
        return S_OK;
    }
    int nFrom = n.kind == CNumber::kDecimal ? n.nScale : 0;
    uint128 m = n.nMagnitude;
    if (nScale >= nFrom) {
        uint128 f = Pow10(nScale - nFrom);
        if (m != 0 && m > (~static_cast<uint128>(0)) / f)
            return DISP_E_OVERFLOW;
        m *= f;
    } else {
        uint128 p = Pow10(nFrom - nScale);
        uint128 q = m / p, r = m % p;
        if (r * 2 > p || (r * 2 == p && (q & 1)))
            ++q;
        m = q;
    }
    *pNegative = n.bNegative && m != 0;
    *pMagnitude = m;
    return S_OK;
}

// Text of a fixed-size value: at most 42 characters (a 96-bit decimal with sign and point).
struct CText {
    char sz[64];
    size_t n = 0;
    void Put(char c) { sz[n++] = c; }
};

// Digits of m, most significant first, into the text.
void PutDigits(CText* t, uint128 m) {
    char buf[40];
    char* e = buf + sizeof buf;
    char* p = e;
    if (m >> 64) {
        do {
            *--p = static_cast<char>('0' + static_cast<int>(m % 10));
            m /= 10;
        } while (m >> 64);
    }
    // Two digits a step: every cell of a number column comes through here.
    static const char kPairs[] =
        "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
        "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
        "8081828384858687888990919293949596979899";
    unsigned long long v = static_cast<unsigned long long>(m);
    while (v >= 100) {
        p -= 2;
        std::memcpy(p, kPairs + 2 * (v % 100), 2);
        v /= 100;
    }
    if (v >= 10) {
        p -= 2;
        std::memcpy(p, kPairs + 2 * v, 2);
    } else {
        *--p = static_cast<char>('0' + static_cast<int>(v));
    }
    std::memcpy(t->sz + t->n, p, static_cast<size_t>(e - p));
    t->n += static_cast<size_t>(e - p);
}

void IntegerText(bool bNegative, uint128 m, CText* t) {
    if (bNegative)
        t->Put('-');
    PutDigits(t, m);
}

void ScaledText(bool bNegative, uint128 m, int nScale, CText* t) {
    while (nScale > 0 && m % 10 == 0) {
        m /= 10;
        --nScale;
    }
    if (bNegative && m != 0)
        t->Put('-');
    CText digits;
    PutDigits(&digits, m);
    if (nScale <= 0) {
        std::memcpy(t->sz + t->n, digits.sz, digits.n);
        t->n += digits.n;
        return;
    }
    size_t nScaleU = static_cast<size_t>(nScale);
    if (digits.n <= nScaleU) {
        t->Put('0');
        t->Put('.');
        for (size_t i = digits.n; i < nScaleU; ++i)
            t->Put('0');
        std::memcpy(t->sz + t->n, digits.sz, digits.n);
        t->n += digits.n;
        return;
    }
    std::memcpy(t->sz + t->n, digits.sz, digits.n - nScaleU);
    t->n += digits.n - nScaleU;
    t->Put('.');
    std::memcpy(t->sz + t->n, digits.sz + digits.n - nScaleU, nScaleU);
    t->n += nScaleU;
}

// "%.15G" laid out from the significant digits (at most 15, the last not 0 unless alone) and
// the decimal exponent of the first.
void LayOutReal(bool bNegative, const char* digits, int nDigits, int nExponent, CText* t) {
    if (bNegative)
        t->Put('-');
    if (nExponent < -4 || nExponent >= 15) {
        t->Put(digits[0]);
        if (nDigits > 1) {
            t->Put('.');
            for (int i = 1; i < nDigits; ++i)
                t->Put(digits[i]);
        }
        t->Put('E');
        t->Put(nExponent < 0 ? '-' : '+');
        int nAbs = nExponent < 0 ? -nExponent : nExponent;
        if (nAbs >= 100)
            t->Put(static_cast<char>('0' + nAbs / 100));
        t->Put(static_cast<char>('0' + nAbs / 10 % 10));
        t->Put(static_cast<char>('0' + nAbs % 10));
    } else if (nExponent < 0) {
        t->Put('0');
        t->Put('.');
        for (int i = -1; i > nExponent; --i)
            t->Put('0');
        for (int i = 0; i < nDigits; ++i)
            t->Put(digits[i]);
    } else {
        for (int i = 0; i <= nExponent; ++i)
            t->Put(i < nDigits ? digits[i] : '0');
        if (nDigits > nExponent + 1) {
            t->Put('.');
            for (int i = nExponent + 1; i < nDigits; ++i)
                t->Put(digits[i]);
        }
    }
}

// "%.15G" of a double that is a whole number of hundredths below 10^15 (amounts, prices): the
// hundredths convert to it, and no other decimal of two places or fewer lies within its
// rounding interval (far narrower than a hundredth), so they are its shortest form, which
// "%.15G" gives (see ShortRealText). False for any other double.
bool HundredthsRealText(double d, CText* t) {
    const double kLimit = 1e15;
    double dScaled = d * 100;
    if (!(dScaled > -kLimit && dScaled < kLimit) || d == 0)
        return false;
    long long nHundredths = std::llround(dScaled);
    if (static_cast<double>(nHundredths) / 100 != d)
        return false;
    bool bNegative = nHundredths < 0;
    unsigned long long n = bNegative ? 0ull - static_cast<unsigned long long>(nHundredths)
                                     : static_cast<unsigned long long>(nHundredths);
    char buf[24];
    char* e = buf + sizeof buf;
    char* p = e;
    for (; n != 0; n /= 10)
        *--p = static_cast<char>('0' + n % 10);
    int nDigits = static_cast<int>(e - p);
    int nExponent = nDigits - 3; // of the first digit, the last two being hundredths
    while (nDigits > 1 && p[nDigits - 1] == '0')
        --nDigits;
    LayOutReal(bNegative, p, nDigits, nExponent, t);
    return true;
}

// "%.15G" of a normal double whose shortest round-trip form has at most 15 digits: rounding
// to 15 digits gives those same digits (the double's own error is far below half a unit of
// the 15th digit), so only the layout is left to do. False when the general path must decide.
bool ShortRealText(double d, CText* t) {
    if (!std::isnormal(d))
        return false;
    char sz[40];
    std::to_chars_result r = std::to_chars(sz, sz + sizeof sz, d, std::chars_format::scientific);
    if (r.ec != std::errc())
        return false;
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
                return false;
            digits[nDigits++] = *p;
        }
    if (p == r.ptr)
        return false;
    ++p;
    bool bNegativeExponent = *p == '-';
    int nExponent = 0;
    for (++p; p < r.ptr; ++p)
        nExponent = nExponent * 10 + (*p - '0');
    if (bNegativeExponent)
        nExponent = -nExponent;
    LayOutReal(bNegative, digits, nDigits, nExponent, t);
    return true;
}

// As printf's "%.*G" in the C locale.
void RealText(double d, int nDigits, CText* t) {
    if (d == 0) {
        t->Put('0');
        return;
    }
    if (nDigits == 15 && (HundredthsRealText(d, t) || ShortRealText(d, t)))
        return;
    std::to_chars_result r =
        std::to_chars(t->sz, t->sz + sizeof t->sz, d, std::chars_format::general, nDigits);
    for (char* p = t->sz; p < r.ptr; ++p)
        if (*p >= 'a' && *p <= 'z')
            *p = static_cast<char>(*p - 'a' + 'A');
    t->n = static_cast<size_t>(r.ptr - t->sz);
}

void Put2(CText* t, int v) {
    t->Put(static_cast<char>('0' + v / 10));
    t->Put(static_cast<char>('0' + v % 10));
}

HRESULT DateText(DATE date, CText* t) {
    int y, mo, d, h, mi, s;
    if (!ZqkDateToParts(date, &y, &mo, &d, &h, &mi, &s))
        return DISP_E_OVERFLOW;
    bool bMidnight = h == 0 && mi == 0 && s == 0;
    bool bNoDate = y == 1899 && mo == 12 && d == 30;
    if (!bNoDate) {
        Put2(t, y / 100);
        Put2(t, y % 100);
        t->Put('-');
        Put2(t, mo);
        t->Put('-');
        Put2(t, d);
        if (bMidnight)
            return S_OK;
        t->Put(' ');
    }
    Put2(t, h);
    t->Put(':');
    Put2(t, mi);
    t->Put(':');
    Put2(t, s);
    return S_OK;
}

template <typename Ch> bool IsSpace(Ch c) {
    return iswspace(static_cast<wint_t>(c)) != 0;
}

template <typename Ch>
bool ParseDigits(const Ch*& p, const Ch* e, int nMin, int nMax, int* pValue) {
    int n = 0, v = 0;
    while (n < nMax && p < e && *p >= '0' && *p <= '9') {
        v = v * 10 + (*p++ - '0');
        ++n;
    }
    *pValue = v;
    return n >= nMin;
}

// "YYYY-MM-DD", optionally followed by a blank or 'T' and a time; or a time alone. A time is
// "HH:MM" with optional ":SS" and fraction. [p, e) is the text; Ch is wchar_t, or char for
// ASCII text.
template <typename Ch> bool ParseDateText(const Ch* p, const Ch* e, DATE* pDate) {
    while (e > p && IsSpace(e[-1]))
        --e;
    while (p < e && IsSpace(*p))
        ++p;
    auto at = [e](const Ch* q) { return q < e ? *q : Ch(0); };
    int y = 1899, mo = 12, d = 30, h = 0, mi = 0, sec = 0;
    double dFraction = 0;
    bool bHasDate = false;
    const Ch* pStart = p;
    if (ParseDigits(p, e, 4, 4, &y) && at(p) == '-') {
        ++p;
        if (!ParseDigits(p, e, 1, 2, &mo) || at(p) != '-' || !ParseDigits(++p, e, 1, 2, &d))
            return false;
        bHasDate = true;
        if (at(p) == ' ' || at(p) == 'T')
            ++p;
        else if (p < e)
            return false;
    } else {
        p = pStart;
        y = 1899;
    }
    if (p < e || !bHasDate) {
        if (!ParseDigits(p, e, 1, 2, &h) || at(p) != ':' || !ParseDigits(++p, e, 2, 2, &mi))
            return false;
        if (at(p) == ':') {
            ++p;
            if (!ParseDigits(p, e, 2, 2, &sec))
                return false;
            if (at(p) == '.') {
                ++p;
                double dScale = 0.1;
                if (!(at(p) >= '0' && at(p) <= '9'))
                    return false;
                while (at(p) >= '0' && at(p) <= '9') {
                    dFraction += (*p++ - '0') * dScale;
                    dScale /= 10;
                }
            }
        }
        if (p < e)
            return false;
    }
    DATE date;
    if (!ZqkDateFromParts(y, mo, d, h, mi, sec, &date))
        return false;
    double dExtra = dFraction / 86400.0;
    *pDate = date >= 0 ? date + dExtra : date - dExtra;
    return true;
}

} // namespace

namespace {

// The two digits at p, or -1.
inline int TwoDigits(const char* p) {
    unsigned a = static_cast<unsigned>(p[0] - '0'), b = static_cast<unsigned>(p[1] - '0');
    return a <= 9 && b <= 9 ? static_cast<int>(a * 10 + b) : -1;
}

} // namespace

bool ZqkDateFromText(const char* pUtf8, size_t nBytes, DATE* pDate) {
    // The form nearly every stored date has, "YYYY-MM-DD HH:MM:SS": its fields read straight
    // away, as the parse below reads them (nothing to trim, no fraction).
    if (nBytes == 19 && pUtf8[4] == '-' && pUtf8[7] == '-' && pUtf8[10] == ' ' &&
        pUtf8[13] == ':' && pUtf8[16] == ':') {
        int nCentury = TwoDigits(pUtf8), nYear = TwoDigits(pUtf8 + 2);
        int nMonth = TwoDigits(pUtf8 + 5), nDay = TwoDigits(pUtf8 + 8);
        int nHour = TwoDigits(pUtf8 + 11), nMinute = TwoDigits(pUtf8 + 14);
        int nSecond = TwoDigits(pUtf8 + 17);
        if (nCentury >= 0 && nYear >= 0 && nMonth >= 0 && nDay >= 0 && nHour >= 0 && nMinute >= 0 &&
            nSecond >= 0)
            return ZqkDateFromParts(nCentury * 100 + nYear, nMonth, nDay, nHour, nMinute, nSecond,
                                    pDate);
    }
    // As the text converted to a BSTR would parse: up to the first NUL.
    const char* e = static_cast<const char*>(std::memchr(pUtf8, 0, nBytes));
    if (e == nullptr)
        e = pUtf8 + nBytes;
    for (const char* p = pUtf8; p < e; ++p)
        if (static_cast<unsigned char>(*p) >= 0x80) {
            std::wstring w = WinUtf8ToWide(pUtf8, static_cast<size_t>(e - pUtf8));
            return ParseDateText(w.data(), w.data() + w.size(), pDate);
        }
    return ParseDateText(pUtf8, e, pDate);
}

namespace {

// A number written in text: optional sign, digits with an optional point, optional exponent.
HRESULT ParseNumberText(const wchar_t* psz, CNumber* pOut) {
    std::wstring s(psz ? psz : L"");
    size_t b = 0, e = s.size();
    while (b < e && iswspace(static_cast<wint_t>(s[b])))
        ++b;
    while (e > b && iswspace(static_cast<wint_t>(s[e - 1])))
        --e;
    s = s.substr(b, e - b);
    if (wcscasecmp(s.c_str(), L"true") == 0) {
        *pOut = FromSigned(-1);
        return S_OK;
    }
    if (wcscasecmp(s.c_str(), L"false") == 0) {
        *pOut = FromSigned(0);
        return S_OK;
    }
    const wchar_t* p = s.c_str();
    bool bNeg = false;
    if (*p == L'+' || *p == L'-')
        bNeg = *p++ == L'-';
    uint128 m = 0;
    int nDigits = 0, nScale = 0, nSeen = 0;
    bool bPoint = false, bExact = true;
    for (; (*p >= L'0' && *p <= L'9') || (*p == L'.' && !bPoint); ++p) {
        if (*p == L'.') {
            bPoint = true;
            continue;
        }
        ++nSeen;
        if (nDigits < 29 || (m == 0 && *p == L'0')) {
            if (m != 0 || *p != L'0')
                ++nDigits;
            m = m * 10 + static_cast<unsigned>(*p - L'0');
            if (bPoint)
                ++nScale;
        } else {
            bExact = false;
        }
    }
    bool bExponent = *p == L'e' || *p == L'E';
    if (nSeen == 0 || (*p != 0 && !bExponent))
        return DISP_E_TYPEMISMATCH;
    if (bExponent || !bExact || nScale > 28) {
        // strtod reads narrow text: a wider character must not shrink into an ASCII digit.
        if (std::any_of(s.begin(), s.end(), [](wchar_t c) { return c < 0 || c > 0x7F; }))
            return DISP_E_TYPEMISMATCH;
        std::string narrow(s.begin(), s.end());
        char* pEnd = nullptr;
        double d = std::strtod(narrow.c_str(), &pEnd);
        if (pEnd == narrow.c_str() || *pEnd != 0)
            return DISP_E_TYPEMISMATCH;
        *pOut = FromReal(d);
        return S_OK;
    }
    CNumber n;
    n.kind = nScale > 0 ? CNumber::kDecimal : CNumber::kInteger;
    n.bNegative = bNeg;
    n.nMagnitude = m;
    n.nScale = nScale;
    *pOut = n;
    return S_OK;
}

HRESULT NumberFrom(const VARIANT& v, VARTYPE vtTarget, CNumber* pOut) {
    switch (v.vt) {
    case VT_EMPTY:
        *pOut = FromSigned(0);
        return S_OK;
    case VT_I1:
        *pOut = FromSigned(v.cVal);
        return S_OK;
    case VT_UI1:
        *pOut = FromUnsigned(v.bVal);
        return S_OK;
    case VT_I2:
        *pOut = FromSigned(v.iVal);
        return S_OK;
    case VT_UI2:
        *pOut = FromUnsigned(v.uiVal);
        return S_OK;
    case VT_I4:
    case VT_INT:
        *pOut = FromSigned(v.lVal);
        return S_OK;
    case VT_UI4:
    case VT_UINT:
        *pOut = FromUnsigned(v.ulVal);
        return S_OK;
    case VT_I8:
        *pOut = FromSigned(v.llVal);
        return S_OK;
    case VT_UI8:
        *pOut = FromUnsigned(v.ullVal);
        return S_OK;
    case VT_BOOL:
        *pOut = FromSigned(v.boolVal ? -1 : 0);
        return S_OK;
    case VT_R4:
        *pOut = FromReal(v.fltVal);
        return S_OK;
    case VT_R8:
    case VT_DATE:
        *pOut = FromReal(v.dblVal);
        return S_OK;
    case VT_CY: {
        CNumber n = FromSigned(v.cyVal.int64);
        n.kind = CNumber::kDecimal;
        n.nScale = 4;
        *pOut = n;
        return S_OK;
    }
    case VT_DECIMAL:
        // A scale beyond 28 is not a decimal (and would overflow the arithmetic).
        if (v.decVal.scale > 28)
            return E_INVALIDARG;
        *pOut = FromDecimal(v.decVal);
        return S_OK;
    case VT_BSTR:
        if (vtTarget == VT_DATE) {
            DATE d;
            const wchar_t* psz = v.bstrVal ? v.bstrVal : L"";
            if (!ParseDateText(psz, psz + std::wcslen(psz), &d))
                return DISP_E_TYPEMISMATCH;
            *pOut = FromReal(d);
            return S_OK;
        }
        return ParseNumberText(v.bstrVal, pOut);
    default:
        return DISP_E_TYPEMISMATCH;
    }
}

// Text of a value of any type but VT_BSTR.
HRESULT TextFrom(const VARIANT& v, CText* t) {
    switch (v.vt) {
    case VT_EMPTY:
        return S_OK;
    case VT_BOOL:
        if (v.boolVal)
            t->Put('-');
        t->Put(v.boolVal ? '1' : '0');
        return S_OK;
    case VT_R4:
        RealText(v.fltVal, 7, t);
        return S_OK;
    case VT_R8:
        RealText(v.dblVal, 15, t);
        return S_OK;
    case VT_CY:
        ScaledText(v.cyVal.int64 < 0, FromSigned(v.cyVal.int64).nMagnitude, 4, t);
        return S_OK;
    case VT_DECIMAL:
        if (v.decVal.scale > 28)
            return E_INVALIDARG;
        ScaledText((v.decVal.sign & DECIMAL_NEG) != 0, FromDecimal(v.decVal).nMagnitude,
                   v.decVal.scale, t);
        return S_OK;
    case VT_DATE:
        return DateText(v.date, t);
    default: {
        CNumber n;
        if ((v.vt & VT_ARRAY) || v.vt == VT_NULL || v.vt == VT_ERROR ||
            FAILED(NumberFrom(v, VT_BSTR, &n)))
            return DISP_E_TYPEMISMATCH;
        IntegerText(n.bNegative, n.nMagnitude, t);
        return S_OK;
    }
    }
}

HRESULT Coerce(const VARIANT& src, VARTYPE vt, VARIANT* pOut) {
    VariantInit(pOut);
    if (vt == VT_BSTR) {
        if (src.vt == VT_BSTR)
            return VariantCopy(pOut, &src);
        CText text;
        HRESULT hr = TextFrom(src, &text);
        if (FAILED(hr))
            return hr;
        BSTR b = SysAllocStringLen(nullptr, static_cast<UINT>(text.n));
        if (b == nullptr)
            return E_OUTOFMEMORY;
        for (size_t i = 0; i < text.n; ++i)
            b[i] = static_cast<unsigned char>(text.sz[i]);
        pOut->bstrVal = b;
        pOut->vt = VT_BSTR;
        return S_OK;
    }
    if (vt == VT_EMPTY)
        return S_OK;
    if (vt == VT_NULL)
        return src.vt == VT_NULL ? (pOut->vt = VT_NULL, S_OK) : DISP_E_TYPEMISMATCH;
    if (vt == VT_UNKNOWN || vt == VT_DISPATCH) {
        if ((src.vt != VT_UNKNOWN && src.vt != VT_DISPATCH) || src.punkVal == nullptr)
            return DISP_E_TYPEMISMATCH;
        void* p = nullptr;
        HRESULT hr = src.punkVal->QueryInterface(
            vt == VT_DISPATCH ? __uuidof(IDispatch) : __uuidof(IUnknown), &p);
        if (FAILED(hr))
            return DISP_E_TYPEMISMATCH;
        pOut->vt = vt;
        pOut->punkVal = static_cast<IUnknown*>(p);
        return S_OK;
    }
    if (vt == VT_ERROR) {
        if (src.vt != VT_ERROR)
            return DISP_E_TYPEMISMATCH;
        *pOut = src;
        return S_OK;
    }
    if (src.vt == VT_NULL || src.vt == VT_ERROR || (src.vt & VT_ARRAY))
        return DISP_E_TYPEMISMATCH;

    CNumber n;
    HRESULT hr = NumberFrom(src, vt, &n);
    if (FAILED(hr))
        return hr;
    long long s = 0;
    unsigned long long u = 0;
    switch (vt) {
    case VT_I1:
        hr = ToSigned(n, INT8_MIN, INT8_MAX, &s), pOut->cVal = static_cast<CHAR>(s);
        break;
    case VT_I2:
        hr = ToSigned(n, INT16_MIN, INT16_MAX, &s), pOut->iVal = static_cast<SHORT>(s);
        break;
    case VT_I4:
    case VT_INT:
        hr = ToSigned(n, INT32_MIN, INT32_MAX, &s), pOut->lVal = static_cast<LONG>(s);
        break;
    case VT_I8:
        hr = ToSigned(n, INT64_MIN, INT64_MAX, &s), pOut->llVal = s;
        break;
    case VT_UI1:
        hr = ToUnsigned(n, UINT8_MAX, &u), pOut->bVal = static_cast<BYTE>(u);
        break;
    case VT_UI2:
        hr = ToUnsigned(n, UINT16_MAX, &u), pOut->uiVal = static_cast<USHORT>(u);
        break;
    case VT_UI4:
    case VT_UINT:
        hr = ToUnsigned(n, UINT32_MAX, &u), pOut->ulVal = static_cast<ULONG>(u);
        break;
    case VT_UI8:
        hr = ToUnsigned(n, UINT64_MAX, &u), pOut->ullVal = u;
        break;
    case VT_BOOL: {
        double d = ToReal(n);
        pOut->boolVal =
            (n.kind == CNumber::kReal ? d != 0 : n.nMagnitude != 0) ? VARIANT_TRUE : VARIANT_FALSE;
        break;
    }
    case VT_R4: {
        double d = ToReal(n);
        if (std::isfinite(d) && std::fabs(d) > std::numeric_limits<float>::max())
            hr = DISP_E_OVERFLOW;
        pOut->fltVal = static_cast<float>(d);
        break;
    }
    case VT_R8:
        pOut->dblVal = ToReal(n);
        break;
    case VT_DATE: {
        double d = ToReal(n);
        if (!(d > kMinDate - 1 && d < kMaxDate))
            hr = DISP_E_OVERFLOW;
        pOut->date = d;
        break;
    }
    case VT_CY: {
        bool bNeg;
        uint128 m;
        hr = ToScaled(n, 4, &bNeg, &m);
        if (SUCCEEDED(hr)) {
            CNumber scaled;
            scaled.bNegative = bNeg;
            scaled.nMagnitude = m;
            hr = ToSigned(scaled, INT64_MIN, INT64_MAX, &s);
            pOut->cyVal.int64 = s;
        }
        break;
    }
    case VT_DECIMAL: {
        bool bNeg;
        uint128 m;
        int nScale = n.kind == CNumber::kDecimal ? n.nScale : 0;
        if (n.kind == CNumber::kReal) {
            if (!std::isfinite(n.dValue))
                return DISP_E_OVERFLOW; // no decimal holds an infinity or a NaN
            // A double carries about 15 significant digits; keep that many decimals.
            double a = std::fabs(n.dValue);
            int nExp = a == 0 ? 0 : static_cast<int>(std::floor(std::log10(a)));
            nScale = std::max(0, std::min(28, 14 - nExp));
        }
        hr = ToScaled(n, nScale, &bNeg, &m);
        while (SUCCEEDED(hr) && nScale > 0 && m % 10 == 0) {
            m /= 10;
            --nScale;
        }
        if (SUCCEEDED(hr) && (m >> 96) != 0)
            hr = DISP_E_OVERFLOW;
        if (SUCCEEDED(hr)) {
            DECIMAL dec = {};
            dec.scale = static_cast<BYTE>(nScale);
            dec.sign = bNeg ? DECIMAL_NEG : 0;
            dec.Hi32 = static_cast<ULONG>(m >> 64);
            dec.Lo64 = static_cast<ULONGLONG>(m);
            pOut->decVal = dec;
        }
        break;
    }
    default:
        return DISP_E_BADVARTYPE;
    }
    if (FAILED(hr)) {
        VariantInit(pOut);
        return hr;
    }
    pOut->vt = vt;
    return S_OK;
}

} // namespace

HRESULT VariantChangeType(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, USHORT /*wFlags*/,
                          VARTYPE vt) {
    if (pvargDest == nullptr || pvarSrc == nullptr)
        return E_INVALIDARG;
    if (vt & (VT_BYREF | VT_ARRAY)) {
        if (pvarSrc->vt != vt)
            return DISP_E_TYPEMISMATCH;
        return pvargDest == pvarSrc ? S_OK : VariantCopy(pvargDest, pvarSrc);
    }
    if (pvarSrc->vt == VT_BSTR && vt == VT_BSTR) {
        // Text to text, as every string cell read as text comes: a copy (a null string stays
        // null), then the destination given up, which may be the source.
        BSTR bstrCopy = nullptr;
        if (pvarSrc->bstrVal) {
            bstrCopy = SysAllocStringLen(pvarSrc->bstrVal, SysStringLen(pvarSrc->bstrVal));
            if (bstrCopy == nullptr)
                return E_OUTOFMEMORY;
        }
        ZqkVariantClearInline(pvargDest);
        pvargDest->vt = VT_BSTR;
        pvargDest->bstrVal = bstrCopy;
        return S_OK;
    }
    VARIANT src;
    HRESULT hr = ZqkVariantDereference(pvarSrc, &src);
    if (FAILED(hr))
        return hr;
    VARIANT result;
    if (src.vt == vt && vt != VT_DECIMAL) {
        VariantInit(&result);
        hr = VariantCopy(&result, &src);
    } else {
        hr = Coerce(src, vt, &result);
    }
    if (FAILED(hr))
        return hr;
    ZqkVariantClearInline(pvargDest); // may be the source, which is no longer needed
    *pvargDest = result;
    return S_OK;
}

HRESULT ZqkVariantToText(const VARIANT* pvar, wchar_t* pOut, size_t* pnLength) {
    if (pvar == nullptr || pOut == nullptr || pnLength == nullptr || pvar->vt == VT_BSTR ||
        (pvar->vt & VT_BYREF))
        return E_INVALIDARG;
    CText text;
    HRESULT hr = TextFrom(*pvar, &text);
    if (FAILED(hr))
        return hr;
    for (size_t i = 0; i < text.n; ++i)
        pOut[i] = static_cast<unsigned char>(text.sz[i]);
    *pnLength = text.n;
    return S_OK;
}
