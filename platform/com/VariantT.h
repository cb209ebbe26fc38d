// _variant_t: a VARIANT that owns its contents. Construction from a C++ value picks the
// matching VT_ type; extraction coerces through VariantChangeType and raises _com_error on
// failure. On this platform `int` is the 32-bit LONG (VT_I4); `long` is 64-bit and becomes
// VT_I4 when its value fits, else VT_I8; `long long` is VT_I8.
#pragma once

#include <cstddef>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/com/BstrT.h"
#include "platform/com/Variant.h"

class _variant_t : public tagVARIANT {
public:
    _variant_t() noexcept { VariantInit(this); }
    _variant_t(const VARIANT& varSrc);
    _variant_t(const VARIANT* pSrc);
    _variant_t(const _variant_t& varSrc);
    _variant_t(_variant_t&& varSrc) noexcept;
    // Takes over varSrc when fCopy is false (varSrc is then left as it was: the caller must
    // not clear it).
    _variant_t(VARIANT& varSrc, bool fCopy);
    _variant_t(short sSrc, VARTYPE vtSrc = VT_I2);
    _variant_t(int lSrc, VARTYPE vtSrc = VT_I4);
    _variant_t(long lSrc);
    _variant_t(long long llSrc);
    _variant_t(unsigned char bSrc);
    _variant_t(char cSrc);
    _variant_t(unsigned short usSrc);
    _variant_t(unsigned int ulSrc);
    _variant_t(unsigned long ulSrc);
    _variant_t(unsigned long long ullSrc);
    _variant_t(float fltSrc);
    _variant_t(double dblSrc, VARTYPE vtSrc = VT_R8);
    _variant_t(const CY& cySrc);
    _variant_t(const DECIMAL& decSrc);
    _variant_t(bool boolSrc);
    _variant_t(const _bstr_t& bstrSrc);
    _variant_t(const wchar_t* pSrc);
    _variant_t(const char* pSrc);
    // Adds a reference unless fAddRef is false.
    _variant_t(IDispatch* pSrc, bool fAddRef = true);
    _variant_t(IUnknown* pSrc, bool fAddRef = true);
    ~_variant_t() { ZqkVariantClearInline(this); }

    _variant_t& operator=(const VARIANT& varSrc);
    _variant_t& operator=(const _variant_t& varSrc);
    _variant_t& operator=(_variant_t&& varSrc) noexcept;
    _variant_t& operator=(int lSrc);
    _variant_t& operator=(long lSrc);
    _variant_t& operator=(long long llSrc);
    _variant_t& operator=(double dblSrc);
    _variant_t& operator=(bool boolSrc);
    _variant_t& operator=(const _bstr_t& bstrSrc);
    _variant_t& operator=(const wchar_t* pSrc);
    _variant_t& operator=(const char* pSrc);
    _variant_t& operator=(IDispatch* pSrc);
    _variant_t& operator=(IUnknown* pSrc);

    operator short() const;
    operator int() const;
    operator long() const;
    operator long long() const;
    operator unsigned char() const;
    operator char() const;
    operator unsigned short() const;
    operator unsigned int() const;
    operator unsigned long() const;
    operator unsigned long long() const;
    operator float() const;
    operator double() const;
    operator bool() const;
    operator CY() const;
    operator DECIMAL() const;
    operator _bstr_t() const;
    // A new reference for the caller, or null.
    operator IDispatch*() const;
    operator IUnknown*() const;

    void Clear();
    // Converts in place (pSrc null) or from pSrc; raises _com_error on failure.
    void ChangeType(VARTYPE vartype, const _variant_t* pSrc = nullptr);
    void Attach(VARIANT& varSrc);
    // Hands the contents to the caller and leaves this variant empty.
    VARIANT Detach();
    VARIANT& GetVARIANT() noexcept { return *this; }
    VARIANT* GetAddress();
    void SetString(const char* pSrc);

private:
    // This value coerced to vt, as a plain variant the caller reads one member of.
    VARIANT Coerced(VARTYPE vt) const;
    // The constructors' less common ways, out of line.
    void InitCopy(const VARIANT& varSrc);
    void InitInt(int lSrc, VARTYPE vtSrc);
};

// Inline: the data-access wrappers hand every value out through the first, and loops over
// fields index them through the second.
inline _variant_t::_variant_t(VARIANT& varSrc, bool fCopy) {
    if (fCopy)
        InitCopy(varSrc);
    else
        static_cast<VARIANT&>(*this) = varSrc;
}

inline _variant_t::_variant_t(int lSrc, VARTYPE vtSrc) {
    if (vtSrc != VT_I4) {
        InitInt(lSrc, vtSrc);
        return;
    }
#if defined(__SSE2__)
    static_assert(sizeof(VARIANT) >= 16 && offsetof(VARIANT, vt) == 0 &&
                      offsetof(VARIANT, lVal) == 8,
                  "the store below lays out the type and the value");
    // The type and the value in one 16-byte store: an index is passed on by value at once,
    // and copying a variant written a field at a time waits for those stores to drain.
    _mm_storeu_si128(
        reinterpret_cast<__m128i*>(this),
        _mm_set_epi64x(static_cast<long long>(static_cast<unsigned int>(lSrc)), VT_I4));
    std::memset(reinterpret_cast<char*>(this) + 16, 0, sizeof(VARIANT) - 16);
#else
    VariantInit(this);
    vt = VT_I4;
    lVal = lSrc;
#endif
}

// The value passed for an optional argument that is left out: VT_ERROR holding
// DISP_E_PARAMNOTFOUND.
extern _variant_t vtMissing;
