// Automation values: VARIANT with the usual VT_ types, and its life-cycle and coercion
// functions. The layout follows the Automation one (16-byte DECIMAL overlaying the header).
#pragma once

#include "platform/com/Bstr.h"
#include "platform/com/ComBase.h"

typedef unsigned short VARTYPE;
typedef short VARIANT_BOOL;
typedef double DATE;
#define VARIANT_TRUE ((VARIANT_BOOL)-1)
#define VARIANT_FALSE ((VARIANT_BOOL)0)

enum VARENUM {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_R4 = 4,
    VT_R8 = 5,
    VT_CY = 6,
    VT_DATE = 7,
    VT_BSTR = 8,
    VT_DISPATCH = 9,
    VT_ERROR = 10,
    VT_BOOL = 11,
    VT_VARIANT = 12,
    VT_UNKNOWN = 13,
    VT_DECIMAL = 14,
    VT_I1 = 16,
    VT_UI1 = 17,
    VT_UI2 = 18,
    VT_UI4 = 19,
    VT_I8 = 20,
    VT_UI8 = 21,
    VT_INT = 22,
    VT_UINT = 23,
    VT_VECTOR = 0x1000,
    VT_ARRAY = 0x2000,
    VT_BYREF = 0x4000,
    VT_TYPEMASK = 0x0FFF,
};

// Currency: a 64-bit integer scaled by 10,000.
union CY {
    struct {
        ULONG Lo;
        LONG Hi;
    };
    LONGLONG int64;
};

// A 96-bit integer scaled by 10^-scale, with a separate sign (DECIMAL_NEG).
struct DECIMAL {
    USHORT wReserved;
    BYTE scale;
    BYTE sign;
    ULONG Hi32;
    ULONGLONG Lo64;
};
#define DECIMAL_NEG ((BYTE)0x80)

struct SAFEARRAY;

struct tagVARIANT {
    union {
        struct {
            VARTYPE vt;
            WORD wReserved1;
            WORD wReserved2;
            WORD wReserved3;
            union {
                LONGLONG llVal;
                LONG lVal;
                BYTE bVal;
                SHORT iVal;
                float fltVal;
                double dblVal;
                VARIANT_BOOL boolVal;
                SCODE scode;
                CY cyVal;
                DATE date;
                BSTR bstrVal;
                IUnknown* punkVal;
                IDispatch* pdispVal;
                SAFEARRAY* parray;
                BYTE* pbVal;
                SHORT* piVal;
                LONG* plVal;
                LONGLONG* pllVal;
                float* pfltVal;
                double* pdblVal;
                VARIANT_BOOL* pboolVal;
                SCODE* pscode;
                CY* pcyVal;
                DATE* pdate;
                BSTR* pbstrVal;
                IUnknown** ppunkVal;
                IDispatch** ppdispVal;
                SAFEARRAY** pparray;
                tagVARIANT* pvarVal;
                void* byref;
                CHAR cVal;
                USHORT uiVal;
                ULONG ulVal;
                ULONGLONG ullVal;
                INT intVal;
                UINT uintVal;
                DECIMAL* pdecVal;
                CHAR* pcVal;
                USHORT* puiVal;
                ULONG* pulVal;
                ULONGLONG* pullVal;
                INT* pintVal;
                UINT* puintVal;
                struct {
                    void* pvRecord;
                    void* pRecInfo;
                } brecVal;
            };
        };
        DECIMAL decVal;
    };
};
typedef tagVARIANT VARIANT;
typedef tagVARIANT VARIANTARG;
typedef VARIANT* LPVARIANT;

// The accessors hosts use on a VARIANT*: each names one member, so it reads and assigns.
// The ...REF ones are the VT_BYREF pointers; V_DECIMAL is the decimal that fills the whole
// variant (its first two bytes are the type).
#define V_UNION(X, Y) ((X)->Y)
#define V_VT(X) ((X)->vt)
#define V_ISBYREF(X) (V_VT(X) & VT_BYREF)
#define V_ISARRAY(X) (V_VT(X) & VT_ARRAY)
#define V_ISVECTOR(X) (V_VT(X) & VT_VECTOR)
#define V_NONE(X) V_I2(X)
#define V_UI1(X) V_UNION(X, bVal)
#define V_UI1REF(X) V_UNION(X, pbVal)
#define V_I1(X) V_UNION(X, cVal)
#define V_I1REF(X) V_UNION(X, pcVal)
#define V_I2(X) V_UNION(X, iVal)
#define V_I2REF(X) V_UNION(X, piVal)
#define V_UI2(X) V_UNION(X, uiVal)
#define V_UI2REF(X) V_UNION(X, puiVal)
#define V_I4(X) V_UNION(X, lVal)
#define V_I4REF(X) V_UNION(X, plVal)
#define V_UI4(X) V_UNION(X, ulVal)
#define V_UI4REF(X) V_UNION(X, pulVal)
#define V_I8(X) V_UNION(X, llVal)
#define V_I8REF(X) V_UNION(X, pllVal)
#define V_UI8(X) V_UNION(X, ullVal)
#define V_UI8REF(X) V_UNION(X, pullVal)
#define V_INT(X) V_UNION(X, intVal)
#define V_INTREF(X) V_UNION(X, pintVal)
#define V_UINT(X) V_UNION(X, uintVal)
#define V_UINTREF(X) V_UNION(X, puintVal)
#define V_R4(X) V_UNION(X, fltVal)
#define V_R4REF(X) V_UNION(X, pfltVal)
#define V_R8(X) V_UNION(X, dblVal)
#define V_R8REF(X) V_UNION(X, pdblVal)
#define V_CY(X) V_UNION(X, cyVal)
#define V_CYREF(X) V_UNION(X, pcyVal)
#define V_DATE(X) V_UNION(X, date)
#define V_DATEREF(X) V_UNION(X, pdate)
#define V_BSTR(X) V_UNION(X, bstrVal)
#define V_BSTRREF(X) V_UNION(X, pbstrVal)
#define V_DISPATCH(X) V_UNION(X, pdispVal)
#define V_DISPATCHREF(X) V_UNION(X, ppdispVal)
#define V_ERROR(X) V_UNION(X, scode)
#define V_ERRORREF(X) V_UNION(X, pscode)
#define V_BOOL(X) V_UNION(X, boolVal)
#define V_BOOLREF(X) V_UNION(X, pboolVal)
#define V_UNKNOWN(X) V_UNION(X, punkVal)
#define V_UNKNOWNREF(X) V_UNION(X, ppunkVal)
#define V_VARIANTREF(X) V_UNION(X, pvarVal)
#define V_ARRAY(X) V_UNION(X, parray)
#define V_ARRAYREF(X) V_UNION(X, pparray)
#define V_BYREF(X) V_UNION(X, byref)
#define V_DECIMAL(X) V_UNION(X, decVal)
#define V_DECIMALREF(X) V_UNION(X, pdecVal)
#define V_RECORD(X) V_UNION(X, brecVal.pvRecord)
#define V_RECORDINFO(X) V_UNION(X, brecVal.pRecInfo)

inline void VariantInit(VARIANTARG* pvarg) {
    if (pvarg == nullptr)
        return;
    __builtin_memset(static_cast<void*>(pvarg), 0, sizeof(VARIANT));
}
// Releases what the variant owns (string, interface, array) and leaves it VT_EMPTY.
HRESULT VariantClear(VARIANTARG* pvarg);
// VariantClear for the places that clear variants by the million (every cell's value): one
// holding a plain value or a reference owns nothing and is only emptied, without the call.
inline HRESULT ZqkVariantClearInline(VARIANTARG* pvarg) {
    if (pvarg != nullptr) {
        VARTYPE vt = pvarg->vt;
        if ((vt & VT_BYREF) ||
            (!(vt & VT_ARRAY) && vt != VT_BSTR && vt != VT_DISPATCH && vt != VT_UNKNOWN)) {
            VariantInit(pvarg);
            return S_OK;
        }
    }
    return VariantClear(pvarg);
}
// A deep copy: strings and arrays are duplicated, interfaces gain a reference.
HRESULT VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc);
// Copies through one level of VT_BYREF.
HRESULT VariantCopyInd(VARIANT* pvarDest, const VARIANTARG* pvargSrc);
// The value a VT_BYREF variant points at, as a plain variant that borrows it (nothing is
// copied; pOut must not be cleared). A plain variant comes back as it is. E_INVALIDARG for a
// null reference or a by-reference variant that points at another one; DISP_E_BADVARTYPE for a
// type that cannot be referred to.
HRESULT ZqkVariantDereference(const VARIANT* pSrc, VARIANT* pOut);

// Coercion, independent of any locale:
//  - to VT_BSTR: integers in decimal; VT_R8 with up to 15 significant digits and VT_R4 with
//    up to 7, no trailing zeros, exponent form 1E+20; VT_CY and VT_DECIMAL exact without
//    trailing zeros; VT_BOOL "-1"/"0"; VT_DATE "YYYY-MM-DD HH:MM:SS", the date alone at
//    midnight, the time alone on 1899-12-30; VT_EMPTY ""; arrays, VT_NULL and objects
//    do not coerce (DISP_E_TYPEMISMATCH).
//  - among the numeric types (and VT_BOOL, VT_DATE): values that do not fit give
//    DISP_E_OVERFLOW; fractions round half to even; text parses as a decimal number, "true"
//    or "false", or (to VT_DATE) as "YYYY-MM-DD[ HH:MM[:SS]]" or "HH:MM[:SS]".
// pvargDest may be pvarSrc. wFlags is accepted and ignored.
HRESULT VariantChangeType(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, USHORT wFlags,
                          VARTYPE vt);

// The text VariantChangeType(VT_BSTR) gives a value that is not a string (nor by reference),
// written into pOut without allocating; pOut has room for kZqkVariantTextRoom characters.
// Fails as the coercion would.
constexpr size_t kZqkVariantTextRoom = 64;
HRESULT ZqkVariantToText(const VARIANT* pvar, wchar_t* pOut, size_t* pnLength);

// DATE (days since 1899-12-30, the fraction being the time of day) to and from its parts.
bool ZqkDateFromParts(int nYear, int nMonth, int nDay, int nHour, int nMinute, int nSecond,
                      DATE* pDate);
bool ZqkDateToParts(DATE date, int* pYear, int* pMonth, int* pDay, int* pHour, int* pMinute,
                    int* pSecond);
// UTF-8 text (up to its first NUL) as VariantChangeType reads a BSTR into VT_DATE.
bool ZqkDateFromText(const char* pUtf8, size_t nBytes, DATE* pDate);
// The text VariantChangeType(VT_BSTR) gives the date ZqkDateFromText reads from the bytes,
// as ZqkVariantToText writes it (pOut has room for kZqkVariantTextRoom characters); S_FALSE,
// with nothing written, when the bytes are not a date.
HRESULT ZqkDateTextFromUtf8(const char* pUtf8, size_t nBytes, wchar_t* pOut, size_t* pnLength);
