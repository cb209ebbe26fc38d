#include "platform/afx/CArchive.h"

#include <algorithm>
#include <cstring>

#include "platform/afx/Exceptions.h"

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
