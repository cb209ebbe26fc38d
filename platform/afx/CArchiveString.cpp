// The archive's strings: the wide form it writes, and every form it reads.
#include <algorithm>
#include <cstring>
#include <string>

#include "platform/afx/CArchive.h"
#include "platform/afx/Exceptions.h"
#include "platform/win/TextEncoding.h"
#include "platform/win/WinError.h"

namespace {

// Strings are read piecewise so that a damaged length runs into the end of the data before
// much memory is taken.
const size_t kStringChunkBytes = 64 * 1024;

// The wide-string tag and the length form for nUnits UTF-16 units; returns the header's size.
size_t StringHeader(size_t nUnits, BYTE* p) {
    p[0] = 0xFF, p[1] = 0xFE, p[2] = 0xFF;
    if (nUnits < 0xFF) {
        p[3] = static_cast<BYTE>(nUnits);
        return 4;
    }
    p[3] = 0xFF;
    if (nUnits < 0xFFFE) {
        WORD w = static_cast<WORD>(nUnits);
        std::memcpy(p + 4, &w, 2);
        return 6;
    }
    WORD w = 0xFFFF;
    DWORD d = static_cast<DWORD>(nUnits);
    std::memcpy(p + 4, &w, 2);
    std::memcpy(p + 6, &d, 4);
    return 10;
}

// The characters as UTF-16LE units, as WinWideToUtf16 encodes them.
void PutUnits(const wchar_t* pChars, size_t nChars, BYTE* p) {
    for (size_t i = 0; i < nChars; ++i) {
        uint32_t c = static_cast<uint32_t>(pChars[i]);
        char16_t u[2] = {static_cast<char16_t>(c), 0};
        size_t n = 1;
        if (c > 0x10FFFF) {
            u[0] = 0xFFFD;
        } else if (c > 0xFFFF) {
            u[0] = static_cast<char16_t>(0xD800 | ((c - 0x10000) >> 10));
            u[1] = static_cast<char16_t>(0xDC00 | ((c - 0x10000) & 0x3FF));
            n = 2;
        }
        std::memcpy(p, u, n * 2);
        p += n * 2;
    }
}

} // namespace

CArchive& CArchive::operator<<(const CString& str) {
    // A string that fits the buffer's free room goes straight into it (most values do).
    const wchar_t* pChars = str.GetString();
    size_t nChars = static_cast<size_t>(str.GetLength());
    if (m_pFile && IsStoring() && nChars < m_nBufSize / 2) {
        size_t nUnits = WinUtf16Length(pChars, nChars);
        BYTE header[10];
        size_t nHeader = StringHeader(nUnits, header);
        if (nHeader + nUnits * 2 <= m_nBufSize - m_nBufPos) {
            BYTE* p = m_lpBuf + m_nBufPos;
            std::memcpy(p, header, nHeader);
            PutUnits(pChars, nChars, p + nHeader);
            m_nBufPos += static_cast<UINT>(nHeader + nUnits * 2);
            return *this;
        }
    }
    std::u16string units = WinWideToUtf16(pChars, nChars);
    size_t nLength = units.size();
    *this << static_cast<BYTE>(0xFF) << static_cast<WORD>(0xFFFE);
    if (nLength < 0xFF) {
        *this << static_cast<BYTE>(nLength);
    } else if (nLength < 0xFFFE) {
        *this << static_cast<BYTE>(0xFF) << static_cast<WORD>(nLength);
    } else {
        *this << static_cast<BYTE>(0xFF) << static_cast<WORD>(0xFFFF)
              << static_cast<DWORD>(nLength);
    }
    Write(units.data(), static_cast<UINT>(nLength * sizeof(char16_t)));
    return *this;
}

CArchive& CArchive::operator>>(CString& str) {
    // A short wide string wholly in the buffer (most values) is decoded from there.
    const UINT kShort = 0xFE;
    if (IsLoading() && m_nBufEnd - m_nBufPos >= 4) {
        const BYTE* p = m_lpBuf + m_nBufPos;
        UINT nUnits = p[3];
        if (p[0] == 0xFF && p[1] == 0xFE && p[2] == 0xFF && nUnits <= kShort &&
            m_nBufEnd - m_nBufPos - 4 >= nUnits * 2) {
            char16_t units[kShort];
            std::memcpy(units, p + 4, nUnits * 2);
            wchar_t chars[kShort];
            size_t nChars = 0;
            for (UINT i = 0; i < nUnits; ++i) {
                uint32_t u = units[i];
                if (u >= 0xD800 && u <= 0xDBFF && i + 1 < nUnits && units[i + 1] >= 0xDC00 &&
                    units[i + 1] <= 0xDFFF)
                    u = 0x10000 + ((u - 0xD800) << 10) + (units[++i] - 0xDC00u);
                chars[nChars++] = static_cast<wchar_t>(u);
            }
            str = CString(chars, static_cast<int>(nChars));
            m_nBufPos += 4 + nUnits * 2;
            return *this;
        }
    }
    BYTE b = 0;
    *this >> b;
    ULONGLONG nLength = b;
    bool bWide = false;
    if (b == 0xFF) {
        WORD w = 0;
        *this >> w;
        bool bLong = true;
        if (w == 0xFFFE) {
            bWide = true;
            *this >> b;
            if (b < 0xFF) {
                nLength = b;
                bLong = false;
            } else {
                *this >> w;
            }
        }
        if (bLong) {
            if (w < 0xFFFF) {
                nLength = w;
            } else {
                DWORD d = 0;
                *this >> d;
                if (d < 0xFFFFFFFF) {
                    nLength = d;
                } else {
                    *this >> nLength;
                }
            }
        }
    }
    ULONGLONG nBytes = bWide ? nLength * 2 : nLength;
    if (nLength > 0xFFFFFFFFull || nBytes > 0xFFFFFFFFull)
        AfxThrowOleException(E_INVALIDARG);

    if (bWide) {
        std::u16string units;
        units.reserve(static_cast<size_t>(std::min<ULONGLONG>(nBytes, kStringChunkBytes)) / 2);
        ULONGLONG nLeft = nLength;
        while (nLeft > 0) {
            size_t nChunk = static_cast<size_t>(std::min<ULONGLONG>(nLeft, kStringChunkBytes / 2));
            size_t nOld = units.size();
            units.resize(nOld + nChunk);
            EnsureRead(&units[nOld], static_cast<UINT>(nChunk * 2));
            nLeft -= nChunk;
        }
        std::wstring wide = WinUtf16ToWide(units.data(), units.size());
        if (wide.size() > static_cast<size_t>(INT32_MAX / 2))
            AfxThrowMemoryException();
        str = CString(wide.data(), static_cast<int>(wide.size()));
    } else {
        std::string bytes;
        ULONGLONG nLeft = nLength;
        while (nLeft > 0) {
            size_t nChunk = static_cast<size_t>(std::min<ULONGLONG>(nLeft, kStringChunkBytes));
            size_t nOld = bytes.size();
            bytes.resize(nOld + nChunk);
            EnsureRead(&bytes[nOld], static_cast<UINT>(nChunk));
            nLeft -= nChunk;
        }
        str = CString(bytes.data(), static_cast<int>(bytes.size()));
    }
    return *this;
}
