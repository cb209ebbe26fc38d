#include "platform/com/Variant.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cwchar>
#include <cwctype>
#include <limits>
#include <string>

#include "platform/com/SafeArray.h"
#include "platform/com/VariantDetail.h"
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

// ---- Coercion ----------------------------------------------------------------------------

using namespace ZqkVariantDetail;

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

// A new string of the text of a value of any type but VT_BSTR.
HRESULT NewTextOf(const VARIANT& src, BSTR* pb) {
    CText text;
    HRESULT hr = TextFrom(src, &text);
    if (FAILED(hr))
        return hr;
    BSTR b = ZqkSysAllocStringUnset(static_cast<UINT>(text.n)); // filled right here
    if (b == nullptr)
        return E_OUTOFMEMORY;
    WinWidenBytes(text.sz, text.n, b);
    *pb = b;
    return S_OK;
}

HRESULT Coerce(const VARIANT& src, VARTYPE vt, VARIANT* pOut) {
    VariantInit(pOut);
    if (vt == VT_BSTR) {
        if (src.vt == VT_BSTR)
            return VariantCopy(pOut, &src);
        HRESULT hr = NewTextOf(src, &pOut->bstrVal);
        if (SUCCEEDED(hr))
            pOut->vt = VT_BSTR;
        return hr;
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
    // A by-reference source is read through a plain copy; any other is read where it is (a
    // copy of a variant just written a field at a time waits for those stores).
    VARIANT deref;
    const VARIANT* pSrc = pvarSrc;
    HRESULT hr;
    if (pvarSrc->vt & VT_BYREF) {
        hr = ZqkVariantDereference(pvarSrc, &deref);
        if (FAILED(hr))
            return hr;
        pSrc = &deref;
    }
    const VARIANT& src = *pSrc; // the source until the destination is given up
    if (vt == VT_BSTR && src.vt != VT_BSTR) {
        // Numbers and dates to text, as most cells read as text come. The destination (which
        // may be the source) is given up once the string is made, and written a field at a
        // time: copying a whole variant just written that way waits for those stores.
        BSTR b = nullptr;
        hr = NewTextOf(src, &b);
        if (FAILED(hr))
            return hr;
        ZqkVariantClearInline(pvargDest);
        pvargDest->vt = VT_BSTR;
        pvargDest->bstrVal = b;
        return S_OK;
    }
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
    WinWidenBytes(text.sz, text.n, pOut);
    *pnLength = text.n;
    return S_OK;
}
