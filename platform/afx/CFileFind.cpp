#include "platform/afx/CFileFind.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <string>

#include "platform/afx/Exceptions.h"
#include "platform/win/TextEncoding.h"

IMPLEMENT_DYNAMIC(CFileFind, CObject)

namespace {

// Windows wildcards: '*' is any run of characters, '?' exactly one, everything else (brackets
// and backslashes too) stands for itself. Compared as wide characters so that '?' takes a
// whole character however many bytes it needs on disk.
bool MatchesWildcard(const std::wstring& strPattern, const std::wstring& strName) {
    size_t p = 0, n = 0, nStar = std::wstring::npos, nResume = 0;
    while (n < strName.size()) {
        if (p < strPattern.size() && (strPattern[p] == L'?' || strPattern[p] == strName[n])) {
            ++p;
            ++n;
        } else if (p < strPattern.size() && strPattern[p] == L'*') {
            nStar = p++;
            nResume = n;
        } else if (nStar != std::wstring::npos) {
            p = nStar + 1; // let the last '*' take one more character
            n = ++nResume;
        } else {
            return false;
        }
    }
    while (p < strPattern.size() && strPattern[p] == L'*')
        ++p;
    return p == strPattern.size();
}

} // namespace

BOOL CFileFind::FindFile(LPCWSTR pstrName, DWORD) {
    Close();
    // Only a missing name means every file; an empty one names none.
    if (pstrName != nullptr && *pstrName == L'\0')
        return FALSE;
    std::string strSearch = WinWideToUtf8(pstrName ? pstrName : L"*.*");
    size_t nSlash = strSearch.find_last_of("/\\");
    std::string strDir =
        nSlash == std::string::npos ? std::string(".") : strSearch.substr(0, nSlash);
    if (strDir.empty())
        strDir = "/";
    std::string strPattern = nSlash == std::string::npos ? strSearch : strSearch.substr(nSlash + 1);
    std::wstring strWildcard = strPattern == "*.*" ? L"*" : WinUtf8ToWide(strPattern);

    char szReal[PATH_MAX];
    if (::realpath(strDir.c_str(), szReal) == nullptr)
        return FALSE;
    std::string strRoot = szReal;
    DIR* pDir = ::opendir(szReal);
    if (pDir == nullptr)
        return FALSE;
    std::vector<std::pair<std::string, CEntry>> found;
    while (dirent* pEnt = ::readdir(pDir)) {
        std::wstring strName = WinUtf8ToWide(pEnt->d_name);
        if (!MatchesWildcard(strWildcard, strName))
            continue;
        std::string strPath =
            strRoot == "/" ? "/" + std::string(pEnt->d_name) : strRoot + "/" + pEnt->d_name;
        struct stat st;
        bool bStat = ::stat(strPath.c_str(), &st) == 0;
        bool bDirectory = bStat && S_ISDIR(st.st_mode);
        // Folders report no length, as FindFirstFile does.
        CEntry e{CString(strName.c_str()),
                 bStat && !bDirectory ? static_cast<ULONGLONG>(st.st_size) : 0, bDirectory};
        found.emplace_back(pEnt->d_name, std::move(e));
    }
    ::closedir(pDir);
    std::sort(found.begin(), found.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto& f : found)
        m_entries.push_back(std::move(f.second));
    m_strRoot = CString(WinUtf8ToWide(strRoot).c_str());
    return m_entries.empty() ? FALSE : TRUE;
}

BOOL CFileFind::FindNextFile() {
    if (m_nNext >= m_entries.size())
        return FALSE;
    m_nCurrent = m_nNext++;
    return m_nNext < m_entries.size() ? TRUE : FALSE;
}

void CFileFind::Close() {
    m_entries.clear();
    m_strRoot.Empty();
    m_nNext = 0;
    m_nCurrent = static_cast<size_t>(-1);
}

const CFileFind::CEntry& CFileFind::Current() const {
    if (m_nCurrent >= m_entries.size())
        AfxThrowInvalidArgException(); // no match fetched yet
    return m_entries[m_nCurrent];
}

CString CFileFind::GetFilePath() const {
    const CEntry& e = Current();
    return m_strRoot == L"/" ? L"/" + e.strName : m_strRoot + L"/" + e.strName;
}

CString CFileFind::GetFileName() const {
    return Current().strName;
}

CString CFileFind::GetFileTitle() const {
    CString strName = Current().strName;
    int nDot = strName.ReverseFind(L'.');
    return nDot > 0 ? strName.Left(nDot) : strName;
}

ULONGLONG CFileFind::GetLength() const {
    return Current().nLength;
}
BOOL CFileFind::IsDirectory() const {
    return Current().bDirectory;
}

BOOL CFileFind::IsDots() const {
    const CString& s = Current().strName;
    return Current().bDirectory && (s == L"." || s == L"..");
}

BOOL CFileFind::IsHidden() const {
    return Current().strName.Left(1) == L".";
}
