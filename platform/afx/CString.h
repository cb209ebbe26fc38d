// The framework's wide string: one pointer to a shared, reference-counted buffer that is
// copied only when a sharer writes (copy on write). The characters are always terminated
// and the LPCWSTR of a string is never null. Strings that share a buffer may be used on
// different threads (the count is atomic); one string is not changed by two threads at once.
#pragma once

#include <atomic>
#include <cstdarg>
#include <cstdlib>

#include "platform/afx/StringFormat.h"
#include "platform/win/WinTypes.h"

// The buffer header right before the characters. A negative count marks the shared empty
// buffer, which is never freed or written. A buffer carved from a CStringPool chunk has
// kPooled added to its count: it is then never taken for unshared, so it is never written
// in place, and its last release goes back to the pool.
struct CStringData {
    static constexpr int kPooled = 0x40000000;
    std::atomic<int> nRefs;
    int nDataLength;
    wchar_t* Chars() noexcept { return reinterpret_cast<wchar_t*>(this + 1); }
};

class CString {
public:
    CString() noexcept;
    CString(const CString& stringSrc) noexcept;
    CString(CString&& stringSrc) noexcept;
    CString(LPCWSTR psz);
    CString(LPCWSTR pch, int nLength);
    // Narrow text is taken in the narrow code page (UTF-8 unless the host chose another,
    // see platform/win/CodePage.h).
    CString(LPCSTR psz);
    CString(LPCSTR pch, int nLength);
    explicit CString(wchar_t ch, int nRepeat = 1);
    // An unshared buffer, what nearly every string has, is freed right here: releasing a
    // container of strings makes no call into the library per string.
    ~CString() {
        CStringData* pData = reinterpret_cast<CStringData*>(m_pszData) - 1;
        if (pData->nRefs.load(std::memory_order_acquire) == 1)
            std::free(pData);
        else
            ReleaseShared();
    }

    CString& operator=(const CString& stringSrc) noexcept;
    CString& operator=(CString&& stringSrc) noexcept;
    CString& operator=(LPCWSTR psz);
    CString& operator=(LPCSTR psz);
    CString& operator=(wchar_t ch);

    int GetLength() const noexcept;
    bool IsEmpty() const noexcept { return GetLength() == 0; }
    void Empty() noexcept;

    operator LPCWSTR() const noexcept { return m_pszData; }
    LPCWSTR GetString() const noexcept { return m_pszData; }
    // Out-of-range indexes raise the invalid-argument exception.
    wchar_t GetAt(int nIndex) const;
    wchar_t operator[](int nIndex) const { return GetAt(nIndex); }
    void SetAt(int nIndex, wchar_t ch);

    CString& operator+=(const CString& str);
    CString& operator+=(LPCWSTR psz);
    CString& operator+=(wchar_t ch);
    void Append(LPCWSTR pch, int nLength);
    void AppendChar(wchar_t ch) { Append(&ch, 1); }

    // Ordinal comparison of the characters (negative, 0, positive).
    int Compare(LPCWSTR psz) const;
    // Comparison after lower-casing both sides in the current C locale.
    int CompareNoCase(LPCWSTR psz) const;

    // Windows semantics: a start or count outside the string is clamped, never an error.
    CString Mid(int nFirst) const;
    CString Mid(int nFirst, int nCount) const;
    CString Left(int nCount) const;
    CString Right(int nCount) const;

    CString& MakeUpper();
    CString& MakeLower();
    CString& MakeReverse();

    // White space is what iswspace says it is.
    CString& Trim();
    CString& TrimLeft();
    CString& TrimRight();
    CString& Trim(wchar_t chTarget);
    CString& TrimLeft(wchar_t chTarget);
    CString& TrimRight(wchar_t chTarget);
    CString& Trim(LPCWSTR pszTargets);
    CString& TrimLeft(LPCWSTR pszTargets);
    CString& TrimRight(LPCWSTR pszTargets);

    // Index of the first match at or after nStart, or -1.
    int Find(wchar_t ch, int nStart = 0) const;
    int Find(LPCWSTR pszSub, int nStart = 0) const;
    int FindOneOf(LPCWSTR pszCharSet) const;
    int ReverseFind(wchar_t ch) const;

    int Replace(wchar_t chOld, wchar_t chNew);
    int Replace(LPCWSTR pszOld, LPCWSTR pszNew);
    // Returns how many characters were removed.
    int Remove(wchar_t chRemove);
    int Insert(int nIndex, wchar_t ch);
    int Insert(int nIndex, LPCWSTR psz);
    int Delete(int nIndex, int nCount = 1);

    // Windows wide-printf formatting (see StringFormat.h). Arguments are checked against the
    // conversions: a mismatch or a missing argument raises the invalid-argument exception.
    template <typename... Args> void Format(LPCWSTR pszFormat, const Args&... args) {
        const CStringFormatArg argv[] = {CStringFormatArg(args)..., CStringFormatArg()};
        FormatArgs(false, pszFormat, argv, sizeof...(Args));
    }
    template <typename... Args> void AppendFormat(LPCWSTR pszFormat, const Args&... args) {
        const CStringFormatArg argv[] = {CStringFormatArg(args)..., CStringFormatArg()};
        FormatArgs(true, pszFormat, argv, sizeof...(Args));
    }
    void FormatV(LPCWSTR pszFormat, va_list args);
    void AppendFormatV(LPCWSTR pszFormat, va_list args);

    // A writable buffer of at least nMinBufLength characters plus the terminator; the string
    // becomes unshared. ReleaseBuffer(-1) takes the length from the terminator.
    LPWSTR GetBuffer();
    LPWSTR GetBuffer(int nMinBufLength);
    LPWSTR GetBufferSetLength(int nNewLength);
    void ReleaseBuffer(int nNewLength = -1);
    void Preallocate(int nLength);
    void FreeExtra();

    friend CString operator+(const CString& str1, const CString& str2);
    friend CString operator+(const CString& str, LPCWSTR psz);
    friend CString operator+(LPCWSTR psz, const CString& str);
    friend CString operator+(const CString& str, wchar_t ch);
    friend CString operator+(wchar_t ch, const CString& str);

private:
    friend class CStringPool;
    CStringData* GetData() const noexcept;
    void Release() noexcept;
    // Drops this string's reference to a shared (or the empty) buffer.
    void ReleaseShared() noexcept;
    void AssignCopy(LPCWSTR pch, int nLength);
    // Makes the buffer unshared with room for nLength characters, keeping the content.
    LPWSTR PrepareWrite(int nLength);
    void SetLength(int nLength) noexcept;
    void FormatArgs(bool bAppend, LPCWSTR pszFormat, const CStringFormatArg* pArgs, size_t nArgs);

    wchar_t* m_pszData;
};

bool operator==(const CString& s1, const CString& s2) noexcept;
bool operator==(const CString& s1, LPCWSTR s2) noexcept;
bool operator==(LPCWSTR s1, const CString& s2) noexcept;
bool operator!=(const CString& s1, const CString& s2) noexcept;
bool operator!=(const CString& s1, LPCWSTR s2) noexcept;
bool operator!=(LPCWSTR s1, const CString& s2) noexcept;
bool operator<(const CString& s1, const CString& s2) noexcept;
bool operator<(const CString& s1, LPCWSTR s2) noexcept;
bool operator<(LPCWSTR s1, const CString& s2) noexcept;
bool operator>(const CString& s1, const CString& s2) noexcept;
bool operator>(const CString& s1, LPCWSTR s2) noexcept;
bool operator>(LPCWSTR s1, const CString& s2) noexcept;
bool operator<=(const CString& s1, const CString& s2) noexcept;
bool operator<=(const CString& s1, LPCWSTR s2) noexcept;
bool operator<=(LPCWSTR s1, const CString& s2) noexcept;
bool operator>=(const CString& s1, const CString& s2) noexcept;
bool operator>=(const CString& s1, LPCWSTR s2) noexcept;
bool operator>=(LPCWSTR s1, const CString& s2) noexcept;

inline CStringFormatArg::CStringFormatArg(const CString& str) noexcept
    : m_nKind(kWide), m_pWide(str.GetString()) {}
