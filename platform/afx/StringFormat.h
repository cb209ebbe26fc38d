// Windows wide-printf formatting, shared by CString::Format and every printf-style format of
// the module. The conventions are the Windows ones whatever the host ABI says:
//   %s %c take wide arguments, %S %hs %hc %C narrow ones, %ls %ws %lc %wc wide ones;
//   integer conversions read 32 bits without a size, with h 16, hh 8, l 32 (LONG),
//   ll / I64 / I / z / j / t 64; a null %s formats as "(null)".
// Format arguments travel as typed CStringFormatArg values, so a conversion that does not
// fit its argument (or a missing argument) is reported instead of reading garbage.
#pragma once

#include <cstdarg>
#include <string>
#include <type_traits>

#include "platform/win/WinTypes.h"

class CString;

class CStringFormatArg {
public:
    enum Kind { kNone, kSigned, kUnsigned, kDouble, kWide, kNarrow, kPointer };

    constexpr CStringFormatArg() noexcept : m_nKind(kNone), m_nSigned(0) {}
    CStringFormatArg(bool b) noexcept : m_nKind(kSigned), m_nSigned(b ? 1 : 0) {}
    CStringFormatArg(char c) noexcept
        : m_nKind(kSigned), m_nSigned(static_cast<unsigned char>(c)) {}
    CStringFormatArg(signed char c) noexcept : m_nKind(kSigned), m_nSigned(c) {}
    CStringFormatArg(unsigned char c) noexcept : m_nKind(kUnsigned), m_nUnsigned(c) {}
    CStringFormatArg(wchar_t c) noexcept
        : m_nKind(kUnsigned), m_nUnsigned(static_cast<uint32_t>(c)) {}
    CStringFormatArg(short n) noexcept : m_nKind(kSigned), m_nSigned(n) {}
    CStringFormatArg(unsigned short n) noexcept : m_nKind(kUnsigned), m_nUnsigned(n) {}
    CStringFormatArg(int n) noexcept : m_nKind(kSigned), m_nSigned(n) {}
    CStringFormatArg(unsigned int n) noexcept : m_nKind(kUnsigned), m_nUnsigned(n) {}
    CStringFormatArg(long n) noexcept : m_nKind(kSigned), m_nSigned(n) {}
    CStringFormatArg(unsigned long n) noexcept : m_nKind(kUnsigned), m_nUnsigned(n) {}
    CStringFormatArg(long long n) noexcept : m_nKind(kSigned), m_nSigned(n) {}
    CStringFormatArg(unsigned long long n) noexcept : m_nKind(kUnsigned), m_nUnsigned(n) {}
    CStringFormatArg(float d) noexcept : m_nKind(kDouble), m_dValue(d) {}
    CStringFormatArg(double d) noexcept : m_nKind(kDouble), m_dValue(d) {}
    CStringFormatArg(long double d) noexcept : m_nKind(kDouble), m_dValue(static_cast<double>(d)) {}
    CStringFormatArg(const wchar_t* psz) noexcept : m_nKind(kWide), m_pWide(psz) {}
    CStringFormatArg(const char* psz) noexcept : m_nKind(kNarrow), m_pNarrow(psz) {}
    CStringFormatArg(std::nullptr_t) noexcept : m_nKind(kPointer), m_pPointer(nullptr) {}
    CStringFormatArg(const std::wstring& str) noexcept : m_nKind(kWide), m_pWide(str.c_str()) {}
    CStringFormatArg(const CString& str) noexcept;
    // Arrays of characters (string literals) decay to their string.
    template <size_t N>
    CStringFormatArg(const wchar_t (&sz)[N]) noexcept : CStringFormatArg(&sz[0]) {}
    template <size_t N> CStringFormatArg(const char (&sz)[N]) noexcept : CStringFormatArg(&sz[0]) {}
    template <size_t N> CStringFormatArg(wchar_t (&sz)[N]) noexcept : CStringFormatArg(&sz[0]) {}
    template <size_t N> CStringFormatArg(char (&sz)[N]) noexcept : CStringFormatArg(&sz[0]) {}
    // Any other pointer formats with %p.
    template <typename T,
              typename = std::enable_if_t<!std::is_same_v<std::remove_cv_t<T>, wchar_t> &&
                                          !std::is_same_v<std::remove_cv_t<T>, char>>>
    CStringFormatArg(T* p) noexcept : m_nKind(kPointer), m_pPointer(p) {}
    // Enumerations format as their integer value.
    template <typename E, typename = std::enable_if_t<std::is_enum_v<E>>, typename = void>
    CStringFormatArg(E e) noexcept : CStringFormatArg(static_cast<std::underlying_type_t<E>>(e)) {}

    Kind m_nKind;
    union {
        long long m_nSigned;
        unsigned long long m_nUnsigned;
        double m_dValue;
        const wchar_t* m_pWide;
        const char* m_pNarrow;
        const void* m_pPointer;
    };
};

// Appends the formatted text to strOut. Raises the invalid-argument exception for an unknown
// conversion, a missing argument or an argument of the wrong kind.
void AfxFormatStringArgs(std::wstring& strOut, LPCWSTR pszFormat, const CStringFormatArg* pArgs,
                         size_t nArgs);
// The same with arguments read from a va_list by the Windows rules above.
void AfxFormatStringV(std::wstring& strOut, LPCWSTR pszFormat, va_list args);
