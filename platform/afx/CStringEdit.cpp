// CString's searching and editing in place: Trim, Find, Replace, Remove, Insert, Delete.
#include <algorithm>
#include <cstring>
#include <cwchar>
#include <cwctype>

#include "platform/afx/CString.h"
#include "platform/afx/CStringLength.h"

using ZqkCStringDetail::CheckedLength;
using ZqkCStringDetail::SafeLength;

namespace {

template <typename Pred> int CountLeading(LPCWSTR p, int n, Pred bTrim) {
    int i = 0;
    while (i < n && bTrim(p[i]))
        ++i;
    return i;
}

template <typename Pred> int CountTrailing(LPCWSTR p, int n, Pred bTrim) {
    int i = n;
    while (i > 0 && bTrim(p[i - 1]))
        --i;
    return n - i;
}

bool IsSpace(wchar_t ch) {
    return iswspace(static_cast<wint_t>(ch)) != 0;
}

} // namespace

#define ZQK_DEFINE_TRIMS(ARGDECL, PRED)                                                            \
    CString& CString::TrimLeft(ARGDECL) {                                                          \
        int n = CountLeading(m_pszData, GetLength(), PRED);                                        \
        if (n > 0)                                                                                 \
            Delete(0, n);                                                                          \
        return *this;                                                                              \
    }                                                                                              \
    CString& CString::TrimRight(ARGDECL) {                                                         \
        int n = CountTrailing(m_pszData, GetLength(), PRED);                                       \
        if (n > 0)                                                                                 \
            Delete(GetLength() - n, n);                                                            \
        return *this;                                                                              \
    }

ZQK_DEFINE_TRIMS(, IsSpace)
ZQK_DEFINE_TRIMS(wchar_t chTarget, [chTarget](wchar_t ch) { return ch == chTarget; })
ZQK_DEFINE_TRIMS(LPCWSTR pszTargets,
                 [pszTargets](wchar_t ch) { return pszTargets && ch && wcschr(pszTargets, ch); })
#undef ZQK_DEFINE_TRIMS

CString& CString::Trim() {
    return TrimRight().TrimLeft();
}
CString& CString::Trim(wchar_t chTarget) {
    return TrimRight(chTarget).TrimLeft(chTarget);
}
CString& CString::Trim(LPCWSTR pszTargets) {
    return TrimRight(pszTargets).TrimLeft(pszTargets);
}

int CString::Find(wchar_t ch, int nStart) const {
    int nLength = GetLength();
    if (nStart < 0)
        nStart = 0;
    if (nStart >= nLength)
        return -1;
    const wchar_t* p = wmemchr(m_pszData + nStart, ch, static_cast<size_t>(nLength - nStart));
    return p ? static_cast<int>(p - m_pszData) : -1;
}

int CString::Find(LPCWSTR pszSub, int nStart) const {
    if (pszSub == nullptr)
        return -1;
    if (nStart < 0)
        nStart = 0;
    if (nStart > GetLength())
        return -1;
    const wchar_t* p = wcsstr(m_pszData + nStart, pszSub);
    return p ? static_cast<int>(p - m_pszData) : -1;
}

int CString::FindOneOf(LPCWSTR pszCharSet) const {
    if (pszCharSet == nullptr)
        return -1;
    size_t n = wcscspn(m_pszData, pszCharSet);
    return m_pszData[n] ? static_cast<int>(n) : -1;
}

int CString::ReverseFind(wchar_t ch) const {
    for (int i = GetLength() - 1; i >= 0; --i)
        if (m_pszData[i] == ch)
            return i;
    return -1;
}

int CString::Replace(wchar_t chOld, wchar_t chNew) {
    int nCount = 0;
    int n = GetLength();
    for (int i = 0; i < n; ++i) {
        if (m_pszData[i] == chOld) {
            PrepareWrite(n)[i] = chNew;
            ++nCount;
        }
    }
    return nCount;
}

int CString::Replace(LPCWSTR pszOld, LPCWSTR pszNew) {
    int nOld = SafeLength(pszOld);
    if (nOld == 0)
        return 0;
    int nNew = SafeLength(pszNew);
    std::wstring out;
    int nCount = 0;
    const wchar_t* p = m_pszData;
    const wchar_t* pEnd = m_pszData + GetLength();
    while (p < pEnd) {
        const wchar_t* q = wcsstr(p, pszOld);
        if (!q || q >= pEnd) {
            out.append(p, pEnd);
            break;
        }
        out.append(p, q);
        out.append(pszNew ? pszNew : L"", static_cast<size_t>(nNew));
        p = q + nOld;
        ++nCount;
    }
    if (nCount > 0)
        AssignCopy(out.data(), CheckedLength(out.size()));
    return nCount;
}

int CString::Remove(wchar_t chRemove) {
    int n = GetLength();
    int nCount = static_cast<int>(std::count(m_pszData, m_pszData + n, chRemove));
    if (nCount > 0) {
        LPWSTR p = PrepareWrite(n);
        LPWSTR pEnd = std::remove(p, p + n, chRemove);
        SetLength(static_cast<int>(pEnd - p));
    }
    return nCount;
}

int CString::Insert(int nIndex, wchar_t ch) {
    wchar_t sz[2] = {ch, 0};
    return Insert(nIndex, sz);
}

int CString::Insert(int nIndex, LPCWSTR psz) {
    int nLength = GetLength();
    int nInsert = SafeLength(psz);
    nIndex = std::clamp(nIndex, 0, nLength);
    if (nInsert > 0) {
        std::wstring ins(psz, static_cast<size_t>(nInsert)); // psz may point into this string
        LPWSTR p = PrepareWrite(nLength + nInsert);
        wmemmove(p + nIndex + nInsert, p + nIndex, static_cast<size_t>(nLength - nIndex));
        wmemcpy(p + nIndex, ins.data(), ins.size());
        SetLength(nLength + nInsert);
    }
    return GetLength();
}

int CString::Delete(int nIndex, int nCount) {
    int nLength = GetLength();
    if (nIndex < 0)
        nIndex = 0;
    if (nCount > 0 && nIndex < nLength) {
        nCount = std::min(nCount, nLength - nIndex);
        LPWSTR p = PrepareWrite(nLength);
        wmemmove(p + nIndex, p + nIndex + nCount, static_cast<size_t>(nLength - nIndex - nCount));
        SetLength(nLength - nCount);
    }
    return GetLength();
}
