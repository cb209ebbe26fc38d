#include "platform/afx/CArchive.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/afx/Exceptions.h"
#include "platform/win/TextEncoding.h"
#include "platform/win/WinError.h"

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "archives are little-endian and are copied to and from memory as they are");

namespace {

// Tags of the persistent-object framing.
const WORD wNullTag = 0;
const WORD wNewClassTag = 0xFFFF;
const WORD wClassTag = 0x8000;
const DWORD dwBigClassTag = 0x80000000;
const WORD wBigObjectTag = 0x7FFF;
const DWORD nMaxMapCount = 0x3FFFFFFE;

// Strings are read piecewise so that a damaged length runs into the end of the data before
// much memory is taken.
const size_t kStringChunkBytes = 64 * 1024;

} // namespace

CArchive::CArchive(CFile* pFile, UINT nMode, int nBufSize, void* lpBuf)
    : m_pFile(pFile), m_nMode(nMode) {
    if (pFile == nullptr)
        AfxThrowInvalidArgException();
    if (lpBuf) {
        // The caller's buffer is used at exactly its size: rounding it up would write past it.
        if (nBufSize <= 0)
            AfxThrowInvalidArgException();
        m_nBufSize = static_cast<UINT>(nBufSize);
        m_lpBuf = static_cast<BYTE*>(lpBuf);
    } else {
        m_nBufSize = static_cast<UINT>(std::max(nBufSize, 128));
        m_ownBuffer.resize(m_nBufSize);
        m_lpBuf = m_ownBuffer.data();
    }
    m_strFileName = pFile->GetFilePath();
    m_loadArray.push_back({nullptr, nullptr, 0}); // index 0 is the null reference
}

CArchive::~CArchive() {
    if (m_pFile && !(m_nMode & bNoFlushOnDelete)) {
        try {
            Flush();
        } catch (CException* e) {
            e->Delete(); // a destructor cannot report; Close() is the way to see the error
        }
    }
}

void CArchive::Throw(int nCause) const {
    AfxThrowArchiveException(nCause, m_strFileName);
}

UINT CArchive::GetObjectSchema() {
    UINT n = m_nObjectSchema;
    m_nObjectSchema = static_cast<UINT>(-1); // read once
    return n;
}

void CArchive::FillBuffer() {
    m_nBufPos = 0;
    m_nBufEnd = m_pFile->Read(m_lpBuf, m_nBufSize);
}

UINT CArchive::Read(void* lpBuf, UINT nMax) {
    if (m_pFile == nullptr)
        Throw(CArchiveException::genericException);
    if (!IsLoading())
        Throw(CArchiveException::writeOnly);
    auto* pOut = static_cast<BYTE*>(lpBuf);
    UINT nDone = 0;
    while (nDone < nMax) {
        if (m_nBufPos == m_nBufEnd) {
            UINT nLeft = nMax - nDone;
            if (nLeft >= m_nBufSize) {
                // Large reads go straight to the caller.
                UINT n = m_pFile->Read(pOut + nDone, nLeft);
                nDone += n;
                break;
            }
            FillBuffer();
            if (m_nBufEnd == 0)
                break;
        }
        UINT n = std::min(nMax - nDone, m_nBufEnd - m_nBufPos);
        std::memcpy(pOut + nDone, m_lpBuf + m_nBufPos, n);
        m_nBufPos += n;
        nDone += n;
    }
    return nDone;
}

void CArchive::EnsureRead(void* lpBuf, UINT nCount) {
    if (Read(lpBuf, nCount) != nCount)
        Throw(CArchiveException::endOfFile);
}

void CArchive::Write(const void* lpBuf, UINT nMax) {
    if (m_pFile == nullptr)
        Throw(CArchiveException::genericException);
    if (!IsStoring())
        Throw(CArchiveException::readOnly);
    auto* pIn = static_cast<const BYTE*>(lpBuf);
    if (nMax >= m_nBufSize) {
        Flush();
        m_pFile->Write(pIn, nMax);
        return;
    }
    if (m_nBufPos + nMax > m_nBufSize)
        Flush();
    std::memcpy(m_lpBuf + m_nBufPos, pIn, nMax);
    m_nBufPos += nMax;
}

void CArchive::Flush() {
    if (m_pFile == nullptr)
        return;
    if (IsLoading()) {
        // Hands the bytes read ahead but not consumed back to the file, so that whatever reads
        // the file next starts right after this archive's data.
        UINT nUnread = m_nBufEnd - m_nBufPos;
        m_nBufPos = m_nBufEnd = 0;
        if (nUnread > 0)
            m_pFile->Seek(-static_cast<LONGLONG>(nUnread), CFile::current);
        return;
    }
    if (m_nBufPos > 0) {
        UINT n = m_nBufPos;
        m_nBufPos = 0;
        m_pFile->Write(m_lpBuf, n);
    }
}

void CArchive::Close() {
    Flush();
    m_pFile = nullptr;
}

void CArchive::Abort() noexcept {
    m_nBufPos = m_nBufEnd = 0;
    m_pFile = nullptr;
}

template <typename T> CArchive& CArchive::WriteValue(T v) {
    Write(&v, sizeof v);
    return *this;
}

template <typename T> CArchive& CArchive::ReadValue(T& v) {
    if (IsLoading() && m_nBufEnd - m_nBufPos >= sizeof v) { // the common case: in the buffer
        std::memcpy(&v, m_lpBuf + m_nBufPos, sizeof v);
        m_nBufPos += sizeof v;
        return *this;
    }
    T tmp;
    EnsureRead(&tmp, sizeof tmp);
    v = tmp;
    return *this;
}

CArchive& CArchive::operator<<(BYTE by) {
    return WriteValue(by);
}
CArchive& CArchive::operator<<(WORD w) {
    return WriteValue(w);
}
CArchive& CArchive::operator<<(int i) {
    return WriteValue(static_cast<int32_t>(i));
}
CArchive& CArchive::operator<<(unsigned int u) {
    return WriteValue(static_cast<uint32_t>(u));
}
CArchive& CArchive::operator<<(short w) {
    return WriteValue(w);
}
CArchive& CArchive::operator<<(char ch) {
    return WriteValue(ch);
}
CArchive& CArchive::operator<<(signed char ch) {
    return WriteValue(ch);
}
CArchive& CArchive::operator<<(bool b) {
    return WriteValue(static_cast<BYTE>(b ? 1 : 0));
}
CArchive& CArchive::operator<<(long l) {
    return WriteValue(static_cast<int64_t>(l));
}
CArchive& CArchive::operator<<(unsigned long l) {
    return WriteValue(static_cast<uint64_t>(l));
}
CArchive& CArchive::operator<<(long long l) {
    return WriteValue(static_cast<int64_t>(l));
}
CArchive& CArchive::operator<<(unsigned long long l) {
    return WriteValue(static_cast<uint64_t>(l));
}
CArchive& CArchive::operator<<(float f) {
    return WriteValue(f);
}
CArchive& CArchive::operator<<(double d) {
    return WriteValue(d);
}

CArchive& CArchive::operator>>(BYTE& by) {
    return ReadValue(by);
}
CArchive& CArchive::operator>>(WORD& w) {
    return ReadValue(w);
}
CArchive& CArchive::operator>>(int& i) {
    return ReadValue(i);
}
CArchive& CArchive::operator>>(unsigned int& u) {
    return ReadValue(u);
}
CArchive& CArchive::operator>>(short& w) {
    return ReadValue(w);
}
CArchive& CArchive::operator>>(char& ch) {
    return ReadValue(ch);
}
CArchive& CArchive::operator>>(signed char& ch) {
    return ReadValue(ch);
}
CArchive& CArchive::operator>>(bool& b) {
    BYTE by = 0;
    ReadValue(by);
    b = by != 0;
    return *this;
}
CArchive& CArchive::operator>>(long& l) {
    return ReadValue(l);
}
CArchive& CArchive::operator>>(unsigned long& l) {
    return ReadValue(l);
}
CArchive& CArchive::operator>>(long long& l) {
    return ReadValue(l);
}
CArchive& CArchive::operator>>(unsigned long long& l) {
    return ReadValue(l);
}
CArchive& CArchive::operator>>(float& f) {
    return ReadValue(f);
}
CArchive& CArchive::operator>>(double& d) {
    return ReadValue(d);
}

namespace {

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

void CArchive::WriteCount(DWORD_PTR dwCount) {
    if (dwCount < 0xFFFF) {
        *this << static_cast<WORD>(dwCount);
        return;
    }
    *this << static_cast<WORD>(0xFFFF);
    if (dwCount < 0xFFFFFFFF) {
        *this << static_cast<DWORD>(dwCount);
        return;
    }
    *this << static_cast<DWORD>(0xFFFFFFFF) << static_cast<ULONGLONG>(dwCount);
}

DWORD_PTR CArchive::ReadCount() {
    WORD w = 0;
    *this >> w;
    if (w != 0xFFFF)
        return w;
    DWORD d = 0;
    *this >> d;
    if (d != 0xFFFFFFFF)
        return d;
    ULONGLONG q = 0;
    *this >> q;
    return static_cast<DWORD_PTR>(q);
}

void CArchive::CheckCount() {
    if (m_nMapCount >= nMaxMapCount)
        Throw(CArchiveException::badIndex);
}

void CArchive::MapObject(const CObject* pOb) {
    CheckCount();
    if (IsStoring()) {
        if (pOb && m_storeMap.emplace(pOb, m_nMapCount).second)
            ++m_nMapCount;
    } else {
        m_loadArray.push_back({const_cast<CObject*>(pOb), nullptr, 0});
        ++m_nMapCount;
    }
}

void CArchive::WriteClass(const CRuntimeClass* pClassRef) {
    if (pClassRef == nullptr)
        AfxThrowInvalidArgException();
    if (!IsStoring())
        Throw(CArchiveException::readOnly);
    if (pClassRef->m_wSchema == 0xFFFF)
        Throw(CArchiveException::badClass); // the class has no serialisation
    auto it = m_storeMap.find(pClassRef);
    if (it != m_storeMap.end()) {
        DWORD nClassIndex = it->second;
        if (nClassIndex < wBigObjectTag)
            *this << static_cast<WORD>(wClassTag | nClassIndex);
        else
            *this << wBigObjectTag << static_cast<DWORD>(dwBigClassTag | nClassIndex);
        return;
    }
    *this << wNewClassTag;
    pClassRef->Store(*this);
    CheckCount();
    m_storeMap.emplace(pClassRef, m_nMapCount++);
}

void CArchive::WriteObject(const CObject* pOb) {
    if (!IsStoring())
        Throw(CArchiveException::readOnly);
    if (pOb == nullptr) {
        *this << wNullTag;
        return;
    }
    auto it = m_storeMap.find(pOb);
    if (it != m_storeMap.end()) {
        DWORD nObIndex = it->second;
        if (nObIndex < wBigObjectTag)
            *this << static_cast<WORD>(nObIndex);
        else
            *this << wBigObjectTag << nObIndex;
        return;
    }
    WriteClass(pOb->GetRuntimeClass());
    CheckCount();
    m_storeMap.emplace(pOb, m_nMapCount++);
    const_cast<CObject*>(pOb)->Serialize(*this);
}

CRuntimeClass* CArchive::ReadClass(const CRuntimeClass* pClassRefRequested, UINT* pSchema,
                                   DWORD* pObTag) {
    if (!IsLoading())
        Throw(CArchiveException::writeOnly);
    WORD wTag = 0;
    *this >> wTag;
    DWORD obTag;
    if (wTag == wBigObjectTag)
        *this >> obTag;
    else
        obTag = (static_cast<DWORD>(wTag & wClassTag) << 16) | (wTag & ~wClassTag);

    CRuntimeClass* pClassRef;
    UINT nSchema;
    if (wTag == wNewClassTag) {
        pClassRef = CRuntimeClass::Load(*this, &nSchema);
        if (pClassRef == nullptr)
            Throw(CArchiveException::badClass);
        if ((pClassRef->m_wSchema & ~VERSIONABLE_SCHEMA) != nSchema &&
            !(pClassRef->m_wSchema & VERSIONABLE_SCHEMA))
            Throw(CArchiveException::badSchema);
        CheckCount();
        m_loadArray.push_back({nullptr, pClassRef, nSchema});
        ++m_nMapCount;
    } else if (obTag & dwBigClassTag) {
        DWORD nClassIndex = obTag & ~dwBigClassTag;
        if (nClassIndex == 0 || nClassIndex >= m_loadArray.size() ||
            m_loadArray[nClassIndex].pClass == nullptr)
            Throw(CArchiveException::badIndex);
        pClassRef = m_loadArray[nClassIndex].pClass;
        nSchema = m_loadArray[nClassIndex].nSchema;
    } else {
        // Not a class: a back-reference to an object (or null); the caller resolves it.
        if (pObTag)
            *pObTag = obTag;
        return nullptr;
    }
    if (pClassRefRequested && !pClassRef->IsDerivedFrom(pClassRefRequested))
        Throw(CArchiveException::badClass);
    if (pSchema)
        *pSchema = nSchema;
    return pClassRef;
}

CObject* CArchive::ReadObject(const CRuntimeClass* pClassRefRequested) {
    UINT nSchema = 0;
    DWORD obTag = 0;
    CRuntimeClass* pClassRef = ReadClass(pClassRefRequested, &nSchema, &obTag);
    if (pClassRef == nullptr) {
        if (obTag >= m_loadArray.size())
            Throw(CArchiveException::badIndex);
        CObject* pOb = m_loadArray[obTag].pOb;
        if (obTag != 0 && pOb == nullptr)
            Throw(CArchiveException::badIndex); // the index names a class, not an object
        if (pOb && pClassRefRequested && !pOb->IsKindOf(pClassRefRequested))
            Throw(CArchiveException::badClass);
        return pOb;
    }
    CObject* pOb = pClassRef->CreateObject();
    if (pOb == nullptr)
        AfxThrowMemoryException();
    // Mapped before its contents so that objects inside it can refer back to it.
    CheckCount();
    size_t nEntry = m_loadArray.size();
    m_loadArray.push_back({pOb, nullptr, 0});
    ++m_nMapCount;
    UINT nSchemaSave = m_nObjectSchema;
    m_nObjectSchema = nSchema;
    try {
        pOb->Serialize(*this);
    } catch (...) {
        // The caller never receives the object, so it is freed here.
        m_loadArray[nEntry].pOb = nullptr;
        m_nObjectSchema = nSchemaSave;
        delete pOb;
        throw;
    }
    m_nObjectSchema = nSchemaSave;
    return pOb;
}

CObject* AfxReadObject(CArchive& ar, const CRuntimeClass* pClassRefRequested) {
    return ar.ReadObject(pClassRefRequested);
}

CArchive& operator<<(CArchive& ar, const CObject* pOb) {
    ar.WriteObject(pOb);
    return ar;
}

CArchive& operator>>(CArchive& ar, CObject*& pOb) {
    pOb = ar.ReadObject(nullptr);
    return ar;
}

CArchive& operator>>(CArchive& ar, const CObject*& pOb) {
    pOb = ar.ReadObject(nullptr);
    return ar;
}
