// Lists the entries of one folder that match a name with wildcards (* and ?) in its last
// component, as FindFirstFile does; the folder part ends at the last '/' or '\'. "*.*" matches
// every entry; other characters stand for themselves and match case-sensitively, as this
// system's file names do. Entries come in name order, "." and ".." included; folders report
// length 0.
#pragma once

#include <vector>

#include "platform/afx/CObject.h"
#include "platform/afx/CString.h"

class CFileFind : public CObject {
    DECLARE_DYNAMIC(CFileFind)
public:
    CFileFind() = default;
    ~CFileFind() override = default;

    // Starts a search (a null name is "*.*" in the current folder); FALSE when nothing matches,
    // as for an empty name.
    BOOL FindFile(LPCWSTR pstrName = nullptr, DWORD dwUnused = 0);
    // Moves to the next match; FALSE when the match it moved to is the last one.
    BOOL FindNextFile();
    void Close();

    // Accessors of the current match (after FindNextFile).
    CString GetFilePath() const;
    CString GetFileName() const;
    CString GetFileTitle() const;
    CString GetRoot() const { return m_strRoot; }
    ULONGLONG GetLength() const;
    BOOL IsDirectory() const;
    BOOL IsDots() const;
    BOOL IsHidden() const;

private:
    struct CEntry {
        CString strName;
        ULONGLONG nLength;
        BOOL bDirectory;
    };
    const CEntry& Current() const;

    CString m_strRoot;
    std::vector<CEntry> m_entries;
    size_t m_nNext = 0;
    size_t m_nCurrent = static_cast<size_t>(-1);
};
