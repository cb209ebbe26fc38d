#include "platform/afx/CString.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <malloc.h>
#include <new>
#include <string>

#include "platform/afx/CStringLength.h"
#include "platform/afx/CStringPool.h"
#include "platform/afx/Exceptions.h"
#include "platform/win/CodePage.h"
#include "platform/win/TextEncoding.h"

// The header is 8 bytes, so that a string's block is at most one malloc size class above that
// of its characters alone (freeing a million strings costs by the memory they span). The
// capacity is not stored: the block's usable size gives it (CapacityOf).
static_assert(sizeof(CStringData) == 8, "the header is what keeps blocks small");

namespace {

using ZqkCStringDetail::CheckedLength;
using ZqkCStringDetail::SafeLength;

struct CNilString {
    CStringData header;
    wchar_t chTerminator;
};
static_assert(offsetof(CNilString, chTerminator) == sizeof(CStringData), "nil layout");

// Constant-initialised, so strings made during static initialisation anywhere are safe.
CNilString g_nil{{{-1}, 0}, 0};

inline wchar_t* NilChars() noexcept {
    return g_nil.header.Chars();
}

inline CStringData* AllocData(int nLength) {
    const size_t nMax = (static_cast<size_t>(INT_MAX) - sizeof(CStringData)) / sizeof(wchar_t) - 1;
    if (nLength < 0 || static_cast<size_t>(nLength) > nMax)
        AfxThrowMemoryException();
    void* p =
        std::malloc(sizeof(CStringData) + (static_cast<size_t>(nLength) + 1) * sizeof(wchar_t));
    if (!p)
        AfxThrowMemoryException();
    auto* pData = new (p) CStringData{{1}, 0};
    pData->Chars()[0] = 0;
    return pData;
}

// Characters the buffer holds besides its terminator: at least what AllocData was asked for,
// and whatever malloc's size class adds (0 for the empty buffer).
inline int CapacityOf(CStringData* pData) noexcept {
    int nRefs = pData->nRefs.load(std::memory_order_relaxed);
    if (nRefs < 0)
        return 0;
    if (nRefs & CStringData::kPooled)
        return pData->nDataLength; // carved to fit
    size_t nBytes = malloc_usable_size(pData);
    return static_cast<int>((nBytes - sizeof(CStringData)) / sizeof(wchar_t) - 1);
}

// The members' building blocks, local so that the compiler may inline them: members of a
// shared library are called through its symbol table, even from this file.
inline CStringData* DataOf(const wchar_t* psz) noexcept {
    return reinterpret_cast<CStringData*>(const_cast<wchar_t*>(psz)) - 1;
}

// A buffer shared past kMaxShares is never freed: its count stays clear of the pooled flag
// (the bit above), which a count that kept growing would reach and be taken for.
constexpr int kMaxShares = CStringData::kPooled / 2;
constexpr int kImmortal = INT_MIN / 2; // negative, far from where increments could lift it

inline void AddRefData(CStringData* pData) noexcept {
    int nRefs = pData->nRefs.load(std::memory_order_acquire);
    if (nRefs < 0)
        return;
    if ((nRefs & ~CStringData::kPooled) >= kMaxShares)
        pData->nRefs.store(kImmortal, std::memory_order_relaxed);
    else
        pData->nRefs.fetch_add(1, std::memory_order_relaxed);
}

inline void ReleaseData(CStringData* pData) noexcept {
    int nRefs = pData->nRefs.load(std::memory_order_acquire);
    // The only reference is ours, so no other thread can take one meanwhile: the buffer is
    // freed without the locked decrement (most strings are never shared).
    if (nRefs == 1) {
        std::free(pData);
        return;
    }
    if (nRefs < 0)
        return;
    int nLast = (nRefs & CStringData::kPooled) | 1;
    if (nRefs != nLast && pData->nRefs.fetch_sub(1, std::memory_order_acq_rel) != nLast)
        return;
    if (nLast == 1)
        std::free(pData);
    else
        CStringPool::ReleaseBlock(pData);
}

// A new unshared buffer holding a copy of nLength (> 0) characters.
inline wchar_t* NewCopy(LPCWSTR pch, int nLength) {
    CStringData* pData = AllocData(nLength);
    // memcpy itself: the C library's wmemcpy is one more call, on every cell a reader copies.
    std::memcpy(pData->Chars(), pch, static_cast<size_t>(nLength) * sizeof(wchar_t));
    pData->Chars()[nLength] = 0;
    pData->nDataLength = nLength;
    return pData->Chars();
}

} // namespace

CStringData* CString::GetData() const noexcept {
    return DataOf(m_pszData);
}

CString::CString() noexcept : m_pszData(NilChars()) {}

CString::CString(const CString& stringSrc) noexcept : m_pszData(stringSrc.m_pszData) {
    AddRefData(DataOf(m_pszData));
}

CString::CString(CString&& stringSrc) noexcept : m_pszData(stringSrc.m_pszData) {
    stringSrc.m_pszData = NilChars();
}

CString::CString(LPCWSTR psz) : m_pszData(NilChars()) {
    AssignCopy(psz, SafeLength(psz));
}

CString::CString(LPCWSTR pch, int nLength) : m_pszData(NilChars()) {
    if (nLength < 0 || (pch == nullptr && nLength > 0))
        AfxThrowInvalidArgException();
    if (nLength > 0)
        m_pszData = NewCopy(pch, nLength);
}

CString::CString(LPCSTR psz) : m_pszData(NilChars()) {
    if (psz)
        *this = CString(psz, CheckedLength(strlen(psz)));
}

CString::CString(LPCSTR pch, int nLength) : m_pszData(NilChars()) {
    if (nLength < 0 || (pch == nullptr && nLength > 0))
        AfxThrowInvalidArgException();
    std::wstring w = WinNarrowToWide(pch, static_cast<size_t>(nLength));
    AssignCopy(w.data(), CheckedLength(w.size()));
}

CString::CString(wchar_t ch, int nRepeat) : m_pszData(NilChars()) {
    if (nRepeat > 0) {
        LPWSTR p = PrepareWrite(nRepeat);
        std::fill(p, p + nRepeat, ch);
        SetLength(nRepeat);
    }
}

void CString::ReleaseShared() noexcept {
    ReleaseData(DataOf(m_pszData));
}

void CString::Release() noexcept {
    ReleaseData(DataOf(m_pszData));
    m_pszData = NilChars();
}

CString& CString::operator=(const CString& stringSrc) noexcept {
    if (m_pszData != stringSrc.m_pszData) {
        AddRefData(DataOf(stringSrc.m_pszData));
        ReleaseData(DataOf(m_pszData));
        m_pszData = stringSrc.m_pszData;
    }
    return *this;
}

CString& CString::operator=(CString&& stringSrc) noexcept {
    if (this != &stringSrc) {
        ReleaseData(DataOf(m_pszData));
        m_pszData = stringSrc.m_pszData;
        stringSrc.m_pszData = NilChars();
    }
    return *this;
}

CString& CString::operator=(LPCWSTR psz) {
    AssignCopy(psz, SafeLength(psz));
    return *this;
}

CString& CString::operator=(LPCSTR psz) {
    *this = CString(psz);
    return *this;
}

CString& CString::operator=(wchar_t ch) {
    AssignCopy(&ch, 1);
    return *this;
}

int CString::GetLength() const noexcept {
    return DataOf(m_pszData)->nDataLength;
}

void CString::Empty() noexcept {
    Release();
}

void CString::AssignCopy(LPCWSTR pch, int nLength) {
    CStringData* pOld = DataOf(m_pszData);
    if (nLength == 0) {
        ReleaseData(pOld);
        m_pszData = NilChars();
        return;
    }
    // The source may live inside our own buffer (s = s.GetString() + 1).
    bool bAliased = pch >= m_pszData && pch <= m_pszData + pOld->nDataLength;
    if (!bAliased && pOld->nRefs.load(std::memory_order_acquire) == 1 &&
        (nLength <= pOld->nDataLength || CapacityOf(pOld) >= nLength)) {
        wmemcpy(m_pszData, pch, static_cast<size_t>(nLength));
        pOld->nDataLength = nLength;
        m_pszData[nLength] = 0;
        return;
    }
    wchar_t* pszNew = NewCopy(pch, nLength);
    ReleaseData(pOld);
    m_pszData = pszNew;
}

LPWSTR CString::PrepareWrite(int nLength) {
    CStringData* pOld = GetData();
    bool bShared = pOld->nRefs.load(std::memory_order_acquire) != 1;
    // The text's own length needs no look at the block.
    if (!bShared && nLength <= pOld->nDataLength)
        return m_pszData;
    int nCapacity = bShared ? 0 : CapacityOf(pOld);
    if (!bShared && nCapacity >= nLength)
        return m_pszData;
    int nAlloc = nLength;
    if (!bShared) {
        // Grow geometrically so repeated appends stay amortised linear.
        long long nGrow = static_cast<long long>(nCapacity) + nCapacity / 2;
        if (nGrow > nAlloc)
            nAlloc = static_cast<int>(std::min<long long>(nGrow, INT_MAX / 4));
    }
    CStringData* pNew = AllocData(nAlloc);
    int nKeep = std::min(pOld->nDataLength, nLength);
    wmemcpy(pNew->Chars(), m_pszData, static_cast<size_t>(nKeep));
    pNew->Chars()[nKeep] = 0;
    pNew->nDataLength = nKeep;
    Release();
    m_pszData = pNew->Chars();
    return m_pszData;
}

void CString::SetLength(int nLength) noexcept {
    CStringData* pData = GetData();
    if (pData->nRefs.load(std::memory_order_acquire) < 0)
        return; // the nil buffer stays empty
    pData->nDataLength = nLength;
    m_pszData[nLength] = 0;
}

wchar_t CString::GetAt(int nIndex) const {
    if (nIndex < 0 || nIndex >= GetLength())
        AfxThrowInvalidArgException();
    return m_pszData[nIndex];
}

void CString::SetAt(int nIndex, wchar_t ch) {
    if (nIndex < 0 || nIndex >= GetLength())
        AfxThrowInvalidArgException();
    PrepareWrite(GetLength())[nIndex] = ch;
}

void CString::Append(LPCWSTR pch, int nLength) {
    if (nLength < 0 || (pch == nullptr && nLength > 0))
        AfxThrowInvalidArgException();
    if (nLength == 0)
        return;
    int nOld = GetLength();
    if (nLength > INT_MAX / 2 - nOld)
        AfxThrowMemoryException();
    // Appending a piece of ourselves: keep the source alive across a reallocation.
    CString keep;
    if (pch >= m_pszData && pch <= m_pszData + nOld)
        keep = *this;
    LPWSTR p = PrepareWrite(nOld + nLength);
    wmemcpy(p + nOld, pch, static_cast<size_t>(nLength));
    SetLength(nOld + nLength);
}

CString& CString::operator+=(const CString& str) {
    Append(str.m_pszData, str.GetLength());
    return *this;
}

CString& CString::operator+=(LPCWSTR psz) {
    Append(psz, SafeLength(psz));
    return *this;
}

CString& CString::operator+=(wchar_t ch) {
    Append(&ch, 1);
    return *this;
}

int CString::Compare(LPCWSTR psz) const {
    return wcscmp(m_pszData, psz ? psz : L"");
}

int CString::CompareNoCase(LPCWSTR psz) const {
    return wcscasecmp(m_pszData, psz ? psz : L"");
}

CString CString::Mid(int nFirst) const {
    return Mid(nFirst, GetLength() - std::max(nFirst, 0));
}

CString CString::Mid(int nFirst, int nCount) const {
    int nLength = GetLength();
    nFirst = std::clamp(nFirst, 0, nLength);
    nCount = std::clamp(nCount, 0, nLength - nFirst);
    if (nFirst == 0 && nCount == nLength)
        return *this;
    return CString(m_pszData + nFirst, nCount);
}

CString CString::Left(int nCount) const {
    return Mid(0, nCount);
}

CString CString::Right(int nCount) const {
    int nLength = GetLength();
    nCount = std::clamp(nCount, 0, nLength);
    return Mid(nLength - nCount, nCount);
}

CString& CString::MakeUpper() {
    int n = GetLength();
    if (n > 0) {
        LPWSTR p = PrepareWrite(n);
        for (int i = 0; i < n; ++i)
            p[i] = static_cast<wchar_t>(towupper(static_cast<wint_t>(p[i])));
    }
    return *this;
}

CString& CString::MakeLower() {
    int n = GetLength();
    if (n > 0) {
        LPWSTR p = PrepareWrite(n);
        for (int i = 0; i < n; ++i)
            p[i] = static_cast<wchar_t>(towlower(static_cast<wint_t>(p[i])));
    }
    return *this;
}

CString& CString::MakeReverse() {
    int n = GetLength();
    if (n > 1) {
        LPWSTR p = PrepareWrite(n);
        std::reverse(p, p + n);
    }
    return *this;
}

void CString::FormatArgs(bool bAppend, LPCWSTR pszFormat, const CStringFormatArg* pArgs,
                         size_t nArgs) {
    std::wstring out;
    AfxFormatStringArgs(out, pszFormat, pArgs, nArgs);
    if (bAppend)
        Append(out.data(), CheckedLength(out.size()));
    else
        AssignCopy(out.data(), CheckedLength(out.size()));
}

void CString::FormatV(LPCWSTR pszFormat, va_list args) {
    std::wstring out;
    AfxFormatStringV(out, pszFormat, args);
    AssignCopy(out.data(), CheckedLength(out.size()));
}

void CString::AppendFormatV(LPCWSTR pszFormat, va_list args) {
    std::wstring out;
    AfxFormatStringV(out, pszFormat, args);
    Append(out.data(), CheckedLength(out.size()));
}

LPWSTR CString::GetBuffer() {
    return PrepareWrite(GetLength());
}

LPWSTR CString::GetBuffer(int nMinBufLength) {
    if (nMinBufLength < 0)
        AfxThrowInvalidArgException();
    int nLength = GetLength();
    LPWSTR p = PrepareWrite(std::max(nMinBufLength, nLength));
    // Terminated at the requested end, whether the buffer is new, grown or reused:
    // ReleaseBuffer(-1) after a caller filled exactly the requested characters finds that
    // length, not what the buffer's slack or old text happens to hold.
    if (nMinBufLength > nLength)
        p[nMinBufLength] = 0;
    return p;
}

LPWSTR CString::GetBufferSetLength(int nNewLength) {
    LPWSTR p = GetBuffer(nNewLength);
    SetLength(nNewLength);
    return p;
}

void CString::ReleaseBuffer(int nNewLength) {
    CStringData* pData = GetData();
    if (pData->nRefs.load(std::memory_order_acquire) < 0)
        return;
    // The bound is the buffer's real capacity: at least what GetBuffer was asked for.
    int nCapacity = CapacityOf(pData);
    if (nNewLength < 0)
        nNewLength = static_cast<int>(wcsnlen(m_pszData, static_cast<size_t>(nCapacity)));
    if (nNewLength > nCapacity)
        AfxThrowInvalidArgException();
    // Without GetBuffer first the buffer may still be shared; the other owners keep their text.
    if (pData->nRefs.load(std::memory_order_acquire) > 1) {
        if (nNewLength != pData->nDataLength)
            AssignCopy(m_pszData, nNewLength);
        return;
    }
    SetLength(nNewLength);
}

void CString::Preallocate(int nLength) {
    if (nLength < 0)
        AfxThrowInvalidArgException();
    PrepareWrite(std::max(nLength, GetLength()));
}

void CString::FreeExtra() {
    CStringData* pData = GetData();
    if (pData->nRefs.load(std::memory_order_acquire) != 1 ||
        CapacityOf(pData) == pData->nDataLength)
        return;
    if (pData->nDataLength == 0) {
        Release();
        return;
    }
    // A block made for the text alone may still fall in the same size class: keep the smaller.
    CString copy(m_pszData, pData->nDataLength);
    if (malloc_usable_size(DataOf(copy.m_pszData)) < malloc_usable_size(pData))
        *this = std::move(copy);
}

CString operator+(const CString& str1, const CString& str2) {
    CString s;
    s.Preallocate(str1.GetLength() + str2.GetLength());
    s += str1;
    s += str2;
    return s;
}

CString operator+(const CString& str, LPCWSTR psz) {
    CString s(str);
    s += psz;
    return s;
}

CString operator+(LPCWSTR psz, const CString& str) {
    CString s(psz);
    s += str;
    return s;
}

CString operator+(const CString& str, wchar_t ch) {
    CString s(str);
    s += ch;
    return s;
}

CString operator+(wchar_t ch, const CString& str) {
    CString s(ch);
    s += str;
    return s;
}

namespace {

int Cmp(LPCWSTR a, LPCWSTR b) noexcept {
    return wcscmp(a ? a : L"", b ? b : L"");
}

} // namespace

bool operator==(const CString& s1, const CString& s2) noexcept {
    return s1.GetLength() == s2.GetLength() &&
           wmemcmp(s1.GetString(), s2.GetString(), static_cast<size_t>(s1.GetLength())) == 0;
}
bool operator==(const CString& s1, LPCWSTR s2) noexcept {
    return Cmp(s1, s2) == 0;
}
bool operator==(LPCWSTR s1, const CString& s2) noexcept {
    return Cmp(s1, s2) == 0;
}
bool operator!=(const CString& s1, const CString& s2) noexcept {
    return !(s1 == s2);
}
bool operator!=(const CString& s1, LPCWSTR s2) noexcept {
    return Cmp(s1, s2) != 0;
}
bool operator!=(LPCWSTR s1, const CString& s2) noexcept {
    return Cmp(s1, s2) != 0;
}
bool operator<(const CString& s1, const CString& s2) noexcept {
    return Cmp(s1, s2) < 0;
}
bool operator<(const CString& s1, LPCWSTR s2) noexcept {
    return Cmp(s1, s2) < 0;
}
bool operator<(LPCWSTR s1, const CString& s2) noexcept {
    return Cmp(s1, s2) < 0;
}
bool operator>(const CString& s1, const CString& s2) noexcept {
    return Cmp(s1, s2) > 0;
}
bool operator>(const CString& s1, LPCWSTR s2) noexcept {
    return Cmp(s1, s2) > 0;
}
bool operator>(LPCWSTR s1, const CString& s2) noexcept {
    return Cmp(s1, s2) > 0;
}
bool operator<=(const CString& s1, const CString& s2) noexcept {
    return Cmp(s1, s2) <= 0;
}
bool operator<=(const CString& s1, LPCWSTR s2) noexcept {
    return Cmp(s1, s2) <= 0;
}
bool operator<=(LPCWSTR s1, const CString& s2) noexcept {
    return Cmp(s1, s2) <= 0;
}
bool operator>=(const CString& s1, const CString& s2) noexcept {
    return Cmp(s1, s2) >= 0;
}
bool operator>=(const CString& s1, LPCWSTR s2) noexcept {
    return Cmp(s1, s2) >= 0;
}
bool operator>=(LPCWSTR s1, const CString& s2) noexcept {
    return Cmp(s1, s2) >= 0;
}
