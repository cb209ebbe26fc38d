// The text of numbers and dates as variant coercion writes it.
#include <charconv>
#include <cmath>
#include <cstring>

#include "platform/com/VariantDetail.h"

namespace ZqkVariantDetail {

namespace {

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

} // namespace

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

namespace {

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
    long long nHundredths = RoundHalfAway(dScaled);
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

} // namespace

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

namespace {

void Put2(CText* t, int v) {
    t->Put(static_cast<char>('0' + v / 10));
    t->Put(static_cast<char>('0' + v % 10));
}

} // namespace

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

} // namespace ZqkVariantDetail
