// Numbers on their way between variant types: exact integers and decimals, and doubles.
#include <cmath>

#include "platform/com/VariantDetail.h"

namespace ZqkVariantDetail {

uint128 Pow10(int n) {
    uint128 r = 1;
    while (n-- > 0)
        r *= 10;
    return r;
}

double ToReal(const CNumber& n) {
    if (n.kind == CNumber::kReal)
        return n.dValue;
    long double d = static_cast<long double>(n.nMagnitude);
    if (n.kind == CNumber::kDecimal)
        d /= static_cast<long double>(Pow10(n.nScale));
    return static_cast<double>(n.bNegative ? -d : d);
}

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

} // namespace ZqkVariantDetail
