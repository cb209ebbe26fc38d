#include "platform/com/VariantT.h"

#include <climits>
#include <cstring>
#include <cwchar>
#include <string>

#include "platform/com/ComError.h"
#include "platform/win/CodePage.h"
#include "platform/win/TextEncoding.h"

_variant_t vtMissing(DISP_E_PARAMNOTFOUND, VT_ERROR);

namespace {

void CopyOrRaise(VARIANT* pDest, const VARIANT* pSrc) {
    HRESULT hr = VariantCopy(pDest, pSrc);
    if (FAILED(hr))
        _com_issue_error(hr);
}

} // namespace

_variant_t::_variant_t(const VARIANT& varSrc) {
    VariantInit(this);
    CopyOrRaise(this, &varSrc);
}

_variant_t::_variant_t(const VARIANT* pSrc) {
    VariantInit(this);
    if (pSrc == nullptr)
        _com_issue_error(E_POINTER);
    CopyOrRaise(this, pSrc);
}

_variant_t::_variant_t(const _variant_t& varSrc) : tagVARIANT() {
    VariantInit(this);
    CopyOrRaise(this, &varSrc);
}

_variant_t::_variant_t(_variant_t&& varSrc) noexcept : tagVARIANT(varSrc) {
    VariantInit(&varSrc);
}

void _variant_t::InitCopy(const VARIANT& varSrc) {
    VariantInit(this);
    CopyOrRaise(this, &varSrc);
}

_variant_t::_variant_t(short sSrc, VARTYPE vtSrc) {
    VariantInit(this);
    if (vtSrc != VT_I2 && vtSrc != VT_BOOL)
        _com_issue_error(E_INVALIDARG);
    vt = vtSrc;
    if (vtSrc == VT_BOOL)
        boolVal = sSrc ? VARIANT_TRUE : VARIANT_FALSE;
    else
        iVal = sSrc;
}

void _variant_t::InitInt(int lSrc, VARTYPE vtSrc) {
    VariantInit(this);
    if (vtSrc != VT_I4 && vtSrc != VT_ERROR && vtSrc != VT_BOOL && vtSrc != VT_INT)
        _com_issue_error(E_INVALIDARG);
    vt = vtSrc;
    if (vtSrc == VT_BOOL)
        boolVal = lSrc ? VARIANT_TRUE : VARIANT_FALSE;
    else if (vtSrc == VT_ERROR)
        scode = lSrc;
    else
        lVal = lSrc;
}

_variant_t::_variant_t(long lSrc) {
    VariantInit(this);
    if (lSrc >= INT_MIN && lSrc <= INT_MAX) {
        vt = VT_I4;
        lVal = static_cast<LONG>(lSrc);
    } else {
        vt = VT_I8;
        llVal = lSrc;
    }
}

_variant_t::_variant_t(long long llSrc) {
    VariantInit(this);
    vt = VT_I8;
    llVal = llSrc;
}

_variant_t::_variant_t(unsigned char bSrc) {
    VariantInit(this);
    vt = VT_UI1;
    bVal = bSrc;
}

_variant_t::_variant_t(char cSrc) {
    VariantInit(this);
    vt = VT_I1;
    cVal = cSrc;
}

_variant_t::_variant_t(unsigned short usSrc) {
    VariantInit(this);
    vt = VT_UI2;
    uiVal = usSrc;
}

_variant_t::_variant_t(unsigned int ulSrc) {
    VariantInit(this);
    vt = VT_UI4;
    ulVal = ulSrc;
}

_variant_t::_variant_t(unsigned long ulSrc) {
    VariantInit(this);
    vt = VT_UI8;
    ullVal = ulSrc;
}

_variant_t::_variant_t(unsigned long long ullSrc) {
    VariantInit(this);
    vt = VT_UI8;
    ullVal = ullSrc;
}

_variant_t::_variant_t(float fltSrc) {
    VariantInit(this);
    vt = VT_R4;
    fltVal = fltSrc;
}

_variant_t::_variant_t(double dblSrc, VARTYPE vtSrc) {
    VariantInit(this);
    if (vtSrc != VT_R8 && vtSrc != VT_DATE)
        _com_issue_error(E_INVALIDARG);
    vt = vtSrc;
    dblVal = dblSrc;
}

_variant_t::_variant_t(const CY& cySrc) {
    VariantInit(this);
    vt = VT_CY;
    cyVal = cySrc;
}

_variant_t::_variant_t(const DECIMAL& decSrc) {
    VariantInit(this);
    decVal = decSrc;
    vt = VT_DECIMAL;
}

_variant_t::_variant_t(bool boolSrc) {
    VariantInit(this);
    vt = VT_BOOL;
    boolVal = boolSrc ? VARIANT_TRUE : VARIANT_FALSE;
}

_variant_t::_variant_t(const _bstr_t& bstrSrc) {
    VariantInit(this);
    const wchar_t* p = bstrSrc;
    bstrVal = ZqkAllocStringOrRaise(p ? p : L"", bstrSrc.length());
    vt = VT_BSTR;
}

_variant_t::_variant_t(const wchar_t* pSrc) {
    VariantInit(this);
    bstrVal = ZqkAllocStringOrRaise(pSrc ? pSrc : L"", pSrc ? wcslen(pSrc) : 0);
    vt = VT_BSTR;
}

_variant_t::_variant_t(const char* pSrc) {
    VariantInit(this);
    SetString(pSrc);
}

_variant_t::_variant_t(IDispatch* pSrc, bool fAddRef) {
    VariantInit(this);
    vt = VT_DISPATCH;
    pdispVal = pSrc;
    if (pSrc && fAddRef)
        pSrc->AddRef();
}

_variant_t::_variant_t(IUnknown* pSrc, bool fAddRef) {
    VariantInit(this);
    vt = VT_UNKNOWN;
    punkVal = pSrc;
    if (pSrc && fAddRef)
        pSrc->AddRef();
}

_variant_t& _variant_t::operator=(const VARIANT& varSrc) {
    CopyOrRaise(this, &varSrc);
    return *this;
}

_variant_t& _variant_t::operator=(const _variant_t& varSrc) {
    CopyOrRaise(this, &varSrc);
    return *this;
}

_variant_t& _variant_t::operator=(_variant_t&& varSrc) noexcept {
    if (this != &varSrc) {
        VariantClear(this);
        static_cast<VARIANT&>(*this) = varSrc;
        VariantInit(&varSrc);
    }
    return *this;
}

_variant_t& _variant_t::operator=(int lSrc) {
    return *this = _variant_t(lSrc);
}
_variant_t& _variant_t::operator=(long lSrc) {
    return *this = _variant_t(lSrc);
}
_variant_t& _variant_t::operator=(long long llSrc) {
    return *this = _variant_t(llSrc);
}
_variant_t& _variant_t::operator=(double dblSrc) {
    return *this = _variant_t(dblSrc);
}
_variant_t& _variant_t::operator=(bool boolSrc) {
    return *this = _variant_t(boolSrc);
}
_variant_t& _variant_t::operator=(const _bstr_t& bstrSrc) {
    return *this = _variant_t(bstrSrc);
}
_variant_t& _variant_t::operator=(const wchar_t* pSrc) {
    return *this = _variant_t(pSrc);
}
_variant_t& _variant_t::operator=(const char* pSrc) {
    return *this = _variant_t(pSrc);
}
_variant_t& _variant_t::operator=(IDispatch* pSrc) {
    return *this = _variant_t(pSrc);
}
_variant_t& _variant_t::operator=(IUnknown* pSrc) {
    return *this = _variant_t(pSrc);
}

VARIANT _variant_t::Coerced(VARTYPE vtWanted) const {
    VARIANT v;
    VariantInit(&v);
    HRESULT hr = VariantChangeType(&v, this, 0, vtWanted);
    if (FAILED(hr))
        _com_issue_error(hr);
    return v;
}

_variant_t::operator short() const {
    return vt == VT_I2 ? iVal : Coerced(VT_I2).iVal;
}
_variant_t::operator int() const {
    return vt == VT_I4 ? lVal : Coerced(VT_I4).lVal;
}
_variant_t::operator long() const {
    return vt == VT_I8 ? llVal : Coerced(VT_I8).llVal;
}
_variant_t::operator long long() const {
    return vt == VT_I8 ? llVal : Coerced(VT_I8).llVal;
}
_variant_t::operator unsigned char() const {
    return vt == VT_UI1 ? bVal : Coerced(VT_UI1).bVal;
}
_variant_t::operator char() const {
    return vt == VT_I1 ? cVal : Coerced(VT_I1).cVal;
}
_variant_t::operator unsigned short() const {
    return vt == VT_UI2 ? uiVal : Coerced(VT_UI2).uiVal;
}
_variant_t::operator unsigned int() const {
    return vt == VT_UI4 ? ulVal : Coerced(VT_UI4).ulVal;
}
_variant_t::operator unsigned long() const {
    return vt == VT_UI8 ? ullVal : Coerced(VT_UI8).ullVal;
}
_variant_t::operator unsigned long long() const {
    return vt == VT_UI8 ? ullVal : Coerced(VT_UI8).ullVal;
}
_variant_t::operator float() const {
    return vt == VT_R4 ? fltVal : Coerced(VT_R4).fltVal;
}
_variant_t::operator double() const {
    return vt == VT_R8 ? dblVal : Coerced(VT_R8).dblVal;
}
_variant_t::operator bool() const {
    return (vt == VT_BOOL ? boolVal : Coerced(VT_BOOL).boolVal) != VARIANT_FALSE;
}
_variant_t::operator CY() const {
    return vt == VT_CY ? cyVal : Coerced(VT_CY).cyVal;
}
_variant_t::operator DECIMAL() const {
    return vt == VT_DECIMAL ? decVal : Coerced(VT_DECIMAL).decVal;
}

_variant_t::operator _bstr_t() const {
    if (vt == VT_BSTR)
        return _bstr_t(bstrVal, true);
    return _bstr_t(Coerced(VT_BSTR).bstrVal, false);
}

_variant_t::operator IDispatch*() const {
    VARIANT v = Coerced(VT_DISPATCH);
    return v.pdispVal;
}

_variant_t::operator IUnknown*() const {
    VARIANT v = Coerced(VT_UNKNOWN);
    return v.punkVal;
}

void _variant_t::Clear() {
    HRESULT hr = VariantClear(this);
    if (FAILED(hr))
        _com_issue_error(hr);
}

void _variant_t::ChangeType(VARTYPE vartype, const _variant_t* pSrc) {
    HRESULT hr = VariantChangeType(this, pSrc ? pSrc : this, 0, vartype);
    if (FAILED(hr))
        _com_issue_error(hr);
}

void _variant_t::Attach(VARIANT& varSrc) {
    Clear();
    static_cast<VARIANT&>(*this) = varSrc;
    varSrc.vt = VT_EMPTY;
}

VARIANT _variant_t::Detach() {
    VARIANT v = *this;
    VariantInit(this);
    return v;
}

VARIANT* _variant_t::GetAddress() {
    Clear();
    return this;
}

void _variant_t::SetString(const char* pSrc) {
    std::wstring w = pSrc ? WinNarrowToWide(pSrc, std::strlen(pSrc)) : std::wstring();
    BSTR b = ZqkAllocStringOrRaise(w.data(), w.size());
    VariantClear(this);
    bstrVal = b;
    vt = VT_BSTR;
}
