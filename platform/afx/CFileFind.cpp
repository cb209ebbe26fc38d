#include "platform/afx/CFileFind.h"

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <string>

#include "platform/afx/Exceptions.h"
#include "platform/win/TextEncoding.h"

IMPLEMENT_DYNAMIC(CFileFind, CObject)

BOOL CFileFind::FindFile(LPCWSTR pstrName, DWORD) {
    Close();
    std::string strSearch = WinWideToUtf8(pstrName && *pstrName ? pstrName : L"*.*");
    size_t nSlash = strSearch.rfind('/');
    std::string strDir = nSlash == std::string::npos ? std::string(".") : strSearch.substr(0, nSlash);
    if (strDir.empty())
        strDir = "/";
    std::string strPattern = nSlash == std::string::npos ? strSearch : strSearch.substr(nSlash + 1);
    if (strPattern == "*.*")
        strPattern = "*";

    char szReal[PATH_MAX];
    if (::realpath(strDir.c_str(), szReal) == nullptr)
        return FALSE;
    std::string strRoot = szReal;
    DIR* pDir = ::opendir(szReal);
    if (pDir == nullptr)
        return FALSE;
    std::vector<std::pair<std::string, CEntry>> found;
    while (dirent* pEnt = ::readdir(pDir)) {
        if (::fnmatch(strPattern.c_str(), pEnt->d_name, 0) != 0)
            continue;
        std::string strPath = strRoot == "/" ? "/" + std::string(pEnt->d_name) : strRoot + "/" + pEnt->d_name;
        struct stat st;
        bool bStat = ::stat(strPath.c_str(), &st) == 0;
        CEntry e{CString(WinUtf8ToWide(pEnt->d_name).c_str()),
                 bStat ? static_cast<ULONGLONG>(st.st_size) : 0, bStat && S_ISDIR(st.st_mode)};
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

CString CFileFind::GetFileName() const { return Current().strName; }

CString CFileFind::GetFileTitle() const {
    CString strName = Current().strName;
    int nDot = strName.ReverseFind(L'.');
    return nDot > 0 ? strName.Left(nDot) : strName;
}

ULONGLONG CFileFind::GetLength() const { return Current().nLength; }
BOOL CFileFind::IsDirectory() const { return Current().bDirectory; }

BOOL CFileFind::IsDots() const {
    const CString& s = Current().strName;
    return Current().bDirectory && (s == L"." || s == L"..");
}

BOOL CFileFind::IsHidden() const { return Current().strName.Left(1) == L"."; }
