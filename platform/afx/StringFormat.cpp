#include "platform/afx/StringFormat.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "platform/afx/Exceptions.h"
#include "platform/win/CodePage.h"
#include "platform/win/TextEncoding.h"

namespace {

// Where the conversions take their values from; one implementation per calling convention.
class CFormatSource {
public:
    virtual ~CFormatSource() = default;
    // An integer of nBits (8, 16, 32, 64), sign- or zero-extended as the conversion asks.
    virtual long long NextInteger(int nBits, bool bSigned) = 0;
    virtual double NextDouble() = 0;
    // A string; exactly one of the two pointers is set, or neither for a null argument.
    virtual void NextString(bool bWideExpected, const wchar_t*& pWide, const char*& pNarrow) = 0;
    virtual const void* NextPointer() = 0;
};

long long Narrow(unsigned long long v, int nBits, bool bSigned) {
    switch (nBits) {
    case 8:
        return bSigned ? static_cast<long long>(static_cast<int8_t>(v)) : static_cast<uint8_t>(v);
    case 16:
        return bSigned ? static_cast<long long>(static_cast<int16_t>(v)) : static_cast<uint16_t>(v);
    case 32:
        return bSigned ? static_cast<long long>(static_cast<int32_t>(v)) : static_cast<uint32_t>(v);
    default:
        return static_cast<long long>(v);
    }
}

class CTypedSource : public CFormatSource {
public:
    CTypedSource(const CStringFormatArg* pArgs, size_t nArgs) : m_pArgs(pArgs), m_nArgs(nArgs) {}

    long long NextInteger(int nBits, bool bSigned) override {
        const CStringFormatArg& a = Next();
        if (a.m_nKind != CStringFormatArg::kSigned && a.m_nKind != CStringFormatArg::kUnsigned)
            AfxThrowInvalidArgException();
        return Narrow(a.m_nUnsigned, nBits, bSigned);
    }
    double NextDouble() override {
        const CStringFormatArg& a = Next();
        switch (a.m_nKind) {
        case CStringFormatArg::kDouble:
            return a.m_dValue;
        case CStringFormatArg::kSigned:
            return static_cast<double>(a.m_nSigned);
        case CStringFormatArg::kUnsigned:
            return static_cast<double>(a.m_nUnsigned);
        default:
            AfxThrowInvalidArgException();
        }
    }
    void NextString(bool, const wchar_t*& pWide, const char*& pNarrow) override {
        const CStringFormatArg& a = Next();
        pWide = nullptr;
        pNarrow = nullptr;
        if (a.m_nKind == CStringFormatArg::kWide)
            pWide = a.m_pWide;
        else if (a.m_nKind == CStringFormatArg::kNarrow)
            pNarrow = a.m_pNarrow;
        else if (!((a.m_nKind == CStringFormatArg::kPointer && a.m_pPointer == nullptr) ||
                   (a.m_nKind == CStringFormatArg::kSigned && a.m_nSigned == 0)))
            AfxThrowInvalidArgException(); // only a null pointer stands in for a string
    }
    const void* NextPointer() override {
        const CStringFormatArg& a = Next();
        switch (a.m_nKind) {
        case CStringFormatArg::kPointer:
            return a.m_pPointer;
        case CStringFormatArg::kWide:
            return a.m_pWide;
        case CStringFormatArg::kNarrow:
            return a.m_pNarrow;
        case CStringFormatArg::kSigned:
        case CStringFormatArg::kUnsigned:
            return reinterpret_cast<const void*>(static_cast<uintptr_t>(a.m_nUnsigned));
        default:
            AfxThrowInvalidArgException();
        }
    }

private:
    const CStringFormatArg& Next() {
        if (m_nNext >= m_nArgs)
            AfxThrowInvalidArgException();
        return m_pArgs[m_nNext++];
    }
    const CStringFormatArg* m_pArgs;
    size_t m_nArgs;
    size_t m_nNext = 0;
};

class CVaListSource : public CFormatSource {
public:
    explicit CVaListSource(va_list args) { va_copy(m_args, args); }
    ~CVaListSource() override { va_end(m_args); }

    long long NextInteger(int nBits, bool bSigned) override {
        unsigned long long v = nBits == 64 ? va_arg(m_args, unsigned long long)
                                           : static_cast<unsigned int>(va_arg(m_args, int));
        return Narrow(v, nBits, bSigned);
    }
    double NextDouble() override { return va_arg(m_args, double); }
    void NextString(bool bWideExpected, const wchar_t*& pWide, const char*& pNarrow) override {
        pWide = nullptr;
        pNarrow = nullptr;
        if (bWideExpected)
            pWide = va_arg(m_args, const wchar_t*);
        else
            pNarrow = va_arg(m_args, const char*);
    }
    const void* NextPointer() override { return va_arg(m_args, const void*); }

private:
    va_list m_args;
};

struct CConversion {
    std::string strFlags;
    int nWidth = -1;
    int nPrecision = -1;
    bool bLeft = false;
    bool bZero = false;
    int nBits = 32;    // integer size
    int nCharSize = 0; // 0 default, 1 narrow (h, S, C), 2 wide (l, w)
};

void AppendPadded(std::wstring& out, const wchar_t* p, size_t n, const CConversion& c) {
    size_t nWidth = c.nWidth > 0 ? static_cast<size_t>(c.nWidth) : 0;
    size_t nPad = nWidth > n ? nWidth - n : 0;
    if (!c.bLeft)
        out.append(nPad, c.bZero ? L'0' : L' ');
    out.append(p, n);
    if (c.bLeft)
        out.append(nPad, L' ');
}

// Runs the C library's narrow printf for one numeric conversion and widens its ASCII result.
template <typename T>
void AppendNumeric(std::wstring& out, const CConversion& c, const char* pszSize, char chConv,
                   T value) {
    std::string strConversion = "%" + c.strFlags;
    if (c.nWidth >= 0)
        strConversion += std::to_string(c.nWidth);
    if (c.nPrecision >= 0)
        strConversion += "." + std::to_string(c.nPrecision);
    strConversion += pszSize;
    strConversion += chConv;
    char szSmall[128];
    int n = std::snprintf(szSmall, sizeof szSmall, strConversion.c_str(), value);
    if (n < 0)
        AfxThrowInvalidArgException();
    if (static_cast<size_t>(n) < sizeof szSmall) {
        out.append(szSmall, szSmall + n);
        return;
    }
    std::vector<char> big(static_cast<size_t>(n) + 1);
    std::snprintf(big.data(), big.size(), strConversion.c_str(), value);
    out.append(big.data(), big.data() + n);
}

// A width or precision written in the format; one that does not fit an int is an error.
int ReadCount(const wchar_t*& p) {
    long long n = 0;
    for (; *p >= L'0' && *p <= L'9'; ++p) {
        n = n * 10 + (*p - L'0');
        if (n > INT_MAX)
            AfxThrowInvalidArgException();
    }
    return static_cast<int>(n);
}

void FormatCore(std::wstring& out, LPCWSTR pszFormat, CFormatSource& src) {
    if (pszFormat == nullptr)
        AfxThrowInvalidArgException();
    const wchar_t* p = pszFormat;
    while (*p) {
        if (*p != L'%') {
            const wchar_t* q = p;
            while (*q && *q != L'%')
                ++q;
            out.append(p, q);
            p = q;
            continue;
        }
        ++p;
        if (*p == L'%') {
            out += L'%';
            ++p;
            continue;
        }
        CConversion c;
        for (;; ++p) {
            if (*p == L'-')
                c.bLeft = true;
            else if (*p == L'0')
                c.bZero = true;
            else if (*p != L'+' && *p != L' ' && *p != L'#')
                break;
            c.strFlags += static_cast<char>(*p);
        }
        if (*p == L'*') {
            int n = static_cast<int>(src.NextInteger(32, true));
            if (n < 0) {
                if (n == INT_MIN)
                    AfxThrowInvalidArgException();
                c.bLeft = true;
                c.strFlags += '-';
                n = -n;
            }
            c.nWidth = n;
            ++p;
        } else if (*p >= L'0' && *p <= L'9') {
            c.nWidth = ReadCount(p);
        }
        if (*p == L'.') {
            ++p;
            c.nPrecision = 0;
            if (*p == L'*') {
                int n = static_cast<int>(src.NextInteger(32, true));
                c.nPrecision = n < 0 ? -1 : n;
                ++p;
            } else {
                c.nPrecision = ReadCount(p);
            }
        }
        // Size prefixes, Windows meaning.
        if (p[0] == L'I' && p[1] == L'6' && p[2] == L'4') {
            c.nBits = 64, p += 3;
        } else if (p[0] == L'I' && p[1] == L'3' && p[2] == L'2') {
            c.nBits = 32, p += 3;
        } else if (p[0] == L'I') {
            c.nBits = 64, p += 1;
        } else if (p[0] == L'h' && p[1] == L'h') {
            c.nBits = 8, c.nCharSize = 1, p += 2;
        } else if (p[0] == L'h') {
            c.nBits = 16, c.nCharSize = 1, p += 1;
        } else if (p[0] == L'l' && p[1] == L'l') {
            c.nBits = 64, p += 2;
        } else if (p[0] == L'l' || p[0] == L'w') {
            c.nBits = 32, c.nCharSize = 2, p += 1;
        } else if (p[0] == L'z' || p[0] == L'j' || p[0] == L't') {
            c.nBits = 64, p += 1;
        } else if (p[0] == L'L') {
            p += 1;
        }
        wchar_t chConv = *p;
        if (chConv == 0)
            AfxThrowInvalidArgException();
        ++p;
        switch (chConv) {
        case L'd':
        case L'i':
            AppendNumeric(out, c, "ll", 'd', src.NextInteger(c.nBits, true));
            break;
        case L'u':
        case L'o':
        case L'x':
        case L'X':
            AppendNumeric(out, c, "ll", static_cast<char>(chConv),
                          static_cast<unsigned long long>(src.NextInteger(c.nBits, false)));
            break;
        case L'e':
        case L'E':
        case L'f':
        case L'F':
        case L'g':
        case L'G':
        case L'a':
        case L'A':
            AppendNumeric(out, c, "", static_cast<char>(chConv), src.NextDouble());
            break;
        case L'c':
        case L'C': {
            bool bNarrow = chConv == L'C' ? c.nCharSize != 2 : c.nCharSize == 1;
            long long v = src.NextInteger(bNarrow ? 8 : 32, false);
            wchar_t ch;
            if (bNarrow) {
                char b = static_cast<char>(v);
                std::wstring w = WinNarrowToWide(&b, 1);
                ch = w.empty() ? 0 : w[0];
            } else {
                ch = static_cast<wchar_t>(v);
            }
            c.bZero = c.bZero && !c.bLeft;
            AppendPadded(out, &ch, 1, c);
            break;
        }
        case L's':
        case L'S': {
            bool bWide = chConv == L'S' ? c.nCharSize == 2 : c.nCharSize != 1;
            const wchar_t* pWide;
            const char* pNarrow;
            src.NextString(bWide, pWide, pNarrow);
            std::wstring converted;
            if (pNarrow) {
                size_t n = c.nPrecision >= 0 ? strnlen(pNarrow, static_cast<size_t>(c.nPrecision))
                                             : strlen(pNarrow);
                converted = WinNarrowToWide(pNarrow, n);
                pWide = converted.c_str();
            } else if (!pWide) {
                pWide = L"(null)";
            }
            size_t n = wcslen(pWide);
            if (c.nPrecision >= 0 && static_cast<size_t>(c.nPrecision) < n)
                n = static_cast<size_t>(c.nPrecision);
            c.bZero = c.bZero && !c.bLeft;
            AppendPadded(out, pWide, n, c);
            break;
        }
        case L'p': {
            // Pointer-wide upper-case hex digits with leading zeros, as on 64-bit Windows.
            c.strFlags = c.bLeft ? "-" : "";
            c.nPrecision = 16;
            AppendNumeric(
                out, c, "ll", 'X',
                static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(src.NextPointer())));
            break;
        }
        default:
            // %n is disabled on Windows too; anything else is not a conversion.
            AfxThrowInvalidArgException();
        }
    }
}

} // namespace

void AfxFormatStringArgs(std::wstring& strOut, LPCWSTR pszFormat, const CStringFormatArg* pArgs,
                         size_t nArgs) {
    CTypedSource src(pArgs, nArgs);
    FormatCore(strOut, pszFormat, src);
}

void AfxFormatStringV(std::wstring& strOut, LPCWSTR pszFormat, va_list args) {
    CVaListSource src(args);
    FormatCore(strOut, pszFormat, src);
}
