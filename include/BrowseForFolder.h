// CBrowseForFolder: asks the user for a folder through the shell's folder picker and returns
// its file-system path. The picker's answer comes from the process's folder chooser
// (ShellSetFolderChooser in platform/shell/Shell.h).
// Thread safety: no state; the picker runs modally on the calling thread.
#pragma once

#include "platform/afx/CString.h"
#include "platform/afx/ExtensionModule.h"
#include "platform/shell/Shell.h"
#include "platform/win/WinTypes.h"

class AFX_EXT_CLASS CBrowseForFolder {
public:
    CBrowseForFolder();
    CBrowseForFolder(const CBrowseForFolder& src);
    CBrowseForFolder& operator=(const CBrowseForFolder& src);
    virtual ~CBrowseForFolder();

    // Shows the folder picker owned by hWndOwner with lpszTitle above the folders and the
    // shell's BIF_ flags ulFlags passed through. 1 with strPath set to the chosen folder; 0
    // when cancelled (strPath untouched) or when the choice has no file-system path (a stop
    // box, strPath emptied).
    static int BrowseForFolder(HWND hWndOwner, CString& strPath, LPCWSTR lpszTitle, UINT ulFlags);
};
