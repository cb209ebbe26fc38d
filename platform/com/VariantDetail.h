// The parts of variant coercion that several files share: numbers on their way between
// types, the text of numbers and dates, and dates read from text. Internal to the platform.
#pragma once

#include <cstddef>

#include "platform/com/Variant.h"

namespace ZqkVariantDetail {

typedef unsigned __int128 uint128;

// The range Automation dates cover: 100-01-01 to 9999-12-31.
constexpr double kMinDate = -657434.0;
constexpr double kMaxDate = 2958466.0;

// A number on its way between types: an exact integer, an exact decimal or a double.
struct CNumber {
    enum Kind { kInteger, kDecimal, kReal } kind = kInteger;
    bool bNegative = false;
    uint128 nMagnitude = 0; // kInteger and kDecimal
    int nScale = 0;         // kDecimal: value = magnitude / 10^scale
    double dValue = 0;      // kReal
};

inline CNumber FromSigned(long long v) {
    CNumber n;
    n.bNegative = v < 0;
    n.nMagnitude = v < 0 ? static_cast<uint128>(-(v + 1)) + 1 : static_cast<uint128>(v);
    return n;
}

inline CNumber FromUnsigned(unsigned long long v) {
    CNumber n;
    n.nMagnitude = v;
    return n;
}

inline CNumber FromReal(double d) {
    CNumber n;
    n.kind = CNumber::kReal;
    n.dValue = d;
    return n;
}

inline CNumber FromDecimal(const DECIMAL& dec) {
    CNumber n;
    n.kind = CNumber::kDecimal;
    n.bNegative = (dec.sign & DECIMAL_NEG) != 0;
    n.nMagnitude = (static_cast<uint128>(dec.Hi32) << 64) | dec.Lo64;
    n.nScale = dec.scale;
    return n;
}

uint128 Pow10(int n);
double ToReal(const CNumber& n);
// Rounds to an integer, half to even. False when the value is not finite or too large.
bool ToInteger(const CNumber& n, bool* pNegative, uint128* pMagnitude);
// Fits the number into [lo, hi] as a signed 64-bit value.
HRESULT ToSigned(const CNumber& n, long long lo, long long hi, long long* pOut);
HRESULT ToUnsigned(const CNumber& n, unsigned long long hi, unsigned long long* pOut);
// Rescales to the given number of decimals, half to even; for currency and DECIMAL.
HRESULT ToScaled(const CNumber& n, int nScale, bool* pNegative, uint128* pMagnitude);

// llround for |x| below 2^52, without the library call: the fraction a truncation leaves
// is exact there, so halves round away from zero exactly as llround rounds them.
inline long long RoundHalfAway(double x) {
    long long n = static_cast<long long>(x);
    double dRest = x - static_cast<double>(n);
    return dRest >= 0.5 ? n + 1 : dRest <= -0.5 ? n - 1 : n;
}

// Text of a fixed-size value: at most 42 characters (a 96-bit decimal with sign and point).
struct CText {
    char sz[64];
    size_t n = 0;
    void Put(char c) { sz[n++] = c; }
};

void IntegerText(bool bNegative, uint128 m, CText* t);
// A decimal of nScale places, without trailing zeros.
void ScaledText(bool bNegative, uint128 m, int nScale, CText* t);
// As printf's "%.*G" in the C locale.
void RealText(double d, int nDigits, CText* t);
// A date as its text: the date alone at midnight, the time alone on 1899-12-30.
HRESULT DateText(DATE date, CText* t);

// "YYYY-MM-DD", optionally followed by a blank or 'T' and a time; or a time alone; surrounding
// white space ignored. False for anything else.
bool ParseDateText(const wchar_t* p, const wchar_t* e, DATE* pDate);

} // namespace ZqkVariantDetail
