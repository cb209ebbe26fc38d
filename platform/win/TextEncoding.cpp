#include "platform/win/TextEncoding.h"

#include <cstdint>
#include <cstring>
#include <cwchar>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

const wchar_t kReplacement = 0xFFFD;

bool IsScalar(uint32_t c) {
    return c < 0xD800 || (c > 0xDFFF && c <= 0x10FFFF);
}

void AppendUtf8(std::string& out, uint32_t c) {
    if (!IsScalar(c))
        c = kReplacement;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

} // namespace

namespace {

// The one UTF-8 decoder: every character (or U+FFFD for each byte that starts no valid
// sequence) goes to emit, so decoding and counting can never disagree.
template <class Emit> void DecodeUtf8(const char* pData, size_t nBytes, Emit emit) {
    const auto* p = reinterpret_cast<const unsigned char*>(pData);
    size_t i = 0;
    while (i < nBytes) {
        unsigned char b = p[i];
        if (b < 0x80) {
            emit(static_cast<wchar_t>(b));
            ++i;
            continue;
        }
        int nTrail;
        uint32_t c, nMin;
        if ((b & 0xE0) == 0xC0) {
            nTrail = 1, c = b & 0x1F, nMin = 0x80;
        } else if ((b & 0xF0) == 0xE0) {
            nTrail = 2, c = b & 0x0F, nMin = 0x800;
        } else if ((b & 0xF8) == 0xF0) {
            nTrail = 3, c = b & 0x07, nMin = 0x10000;
        } else {
            emit(kReplacement);
            ++i;
            continue;
        }
        bool bOk = i + nTrail < nBytes;
        for (int k = 1; bOk && k <= nTrail; ++k) {
            unsigned char t = p[i + k];
            if ((t & 0xC0) != 0x80)
                bOk = false;
            else
                c = (c << 6) | (t & 0x3F);
        }
        if (!bOk || c < nMin || !IsScalar(c)) {
            emit(kReplacement);
            ++i;
            continue;
        }
        emit(static_cast<wchar_t>(c));
        i += nTrail + 1;
    }
}

} // namespace

std::wstring WinUtf8ToWide(const char* pData, size_t nBytes) {
    std::wstring out;
    out.reserve(nBytes);
    DecodeUtf8(pData, nBytes, [&out](wchar_t ch) { out += ch; });
    return out;
}

namespace {

const uint64_t kHighBits = 0x8080808080808080ull;

uint64_t Load8(const char* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

#if defined(__SSE2__)
// Eight bytes at p widened to the eight characters at pOut, by interleaving them with zeros.
inline void Widen8(const unsigned char* p, wchar_t* pOut) {
    const __m128i kZero = _mm_setzero_si128();
    __m128i w = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), kZero);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(pOut), _mm_unpacklo_epi16(w, kZero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(pOut + 4), _mm_unpackhi_epi16(w, kZero));
}
#endif

} // namespace

size_t WinAsciiPrefix(const char* pData, size_t nBytes) {
    // Eight bytes a step, the last step ending at the end (over bytes already seen): cells are
    // read by the million, most are ASCII and short.
    size_t n = 0;
    if (nBytes >= 8) {
        for (; n + 8 <= nBytes; n += 8)
            if (Load8(pData + n) & kHighBits)
                break;
        if (n + 8 > nBytes && (n == nBytes || !(Load8(pData + nBytes - 8) & kHighBits)))
            return nBytes;
    }
    while (n < nBytes && static_cast<unsigned char>(pData[n]) < 0x80)
        ++n;
    return n;
}

void WinWidenBytes(const char* pData, size_t nBytes, wchar_t* pOut) {
    const auto* p = reinterpret_cast<const unsigned char*>(pData);
#if defined(__SSE2__)
    if (sizeof(wchar_t) == 4 && nBytes >= 8) {
        // Eight at a time, the last eight ending at the end (rewriting what is already there).
        for (size_t i = 0; i + 8 < nBytes; i += 8)
            Widen8(p + i, pOut + i);
        Widen8(p + nBytes - 8, pOut + nBytes - 8);
        return;
    }
#endif
    for (size_t i = 0; i < nBytes; ++i)
        pOut[i] = p[i];
}

size_t WinUtf8ToWideInto(const char* pData, size_t nBytes, wchar_t* pOut) {
    // The ASCII start (most text, often all of it) is widened as it is.
    size_t n = WinAsciiPrefix(pData, nBytes);
    WinWidenBytes(pData, n, pOut);
    DecodeUtf8(pData + n, nBytes - n, [pOut, &n](wchar_t ch) { pOut[n++] = ch; });
    return n;
}

size_t WinUtf8WideLength(const char* pData, size_t nBytes) {
    size_t n = 0;
    DecodeUtf8(pData, nBytes, [&n](wchar_t) { ++n; });
    return n;
}

std::wstring WinUtf8ToWide(const std::string& str) {
    return WinUtf8ToWide(str.data(), str.size());
}

std::string WinWideToUtf8(const wchar_t* pData, size_t nChars) {
    std::string out;
    out.reserve(nChars);
    for (size_t i = 0; i < nChars; ++i)
        AppendUtf8(out, static_cast<uint32_t>(pData[i]));
    return out;
}

std::string WinWideToUtf8(const std::wstring& str) {
    return WinWideToUtf8(str.data(), str.size());
}

std::string WinWideToUtf8(const wchar_t* psz) {
    return psz ? WinWideToUtf8(psz, wcslen(psz)) : std::string();
}

size_t WinUtf16Length(const wchar_t* pData, size_t nChars) {
    size_t n = nChars;
    for (size_t i = 0; i < nChars; ++i) {
        // A pair above U+FFFF; values beyond Unicode are written as one U+FFFD unit.
        uint32_t c = static_cast<uint32_t>(pData[i]);
        if (c > 0xFFFF && c <= 0x10FFFF)
            ++n;
    }
    return n;
}

std::u16string WinWideToUtf16(const wchar_t* pData, size_t nChars) {
    std::u16string out;
    out.reserve(nChars);
    for (size_t i = 0; i < nChars; ++i) {
        uint32_t c = static_cast<uint32_t>(pData[i]);
        if (c <= 0xFFFF) {
            out += static_cast<char16_t>(c);
        } else if (c <= 0x10FFFF) {
            c -= 0x10000;
            out += static_cast<char16_t>(0xD800 | (c >> 10));
            out += static_cast<char16_t>(0xDC00 | (c & 0x3FF));
        } else {
            out += static_cast<char16_t>(kReplacement);
        }
    }
    return out;
}

void WinAppendUtf16AsWide(std::wstring& strOut, const char16_t* pUnits, size_t nUnits) {
    for (size_t i = 0; i < nUnits; ++i) {
        uint32_t u = pUnits[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < nUnits && pUnits[i + 1] >= 0xDC00 &&
            pUnits[i + 1] <= 0xDFFF) {
            uint32_t lo = pUnits[++i];
            strOut += static_cast<wchar_t>(0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00));
        } else {
            strOut += static_cast<wchar_t>(u);
        }
    }
}

std::wstring WinUtf16ToWide(const char16_t* pUnits, size_t nUnits) {
    std::wstring out;
    out.reserve(nUnits);
    WinAppendUtf16AsWide(out, pUnits, nUnits);
    return out;
}
