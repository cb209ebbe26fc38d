// The shell's folder picker and the temporary folder. SHBrowseForFolderW asks a folder
// chooser: the host may install its own with ShellSetFolderChooser; the default one shows a
// graphical folder dialog (zenity, kdialog or yad) when a display is set and one of them is on
// PATH, otherwise asks on the terminal when standard input is one, otherwise cancels.
// An item list holds one folder path; it is a file-system path when it is absolute.
// Thread safety: the chooser setting is process-wide and safe to change from any thread; a
// chooser runs on the thread that asked.
#pragma once

#include <functional>

#include "platform/afx/CString.h"
#include "platform/com/ComBase.h"
#include "platform/win/WinTypes.h"

#ifndef MAX_PATH
#define MAX_PATH 260
#endif

#define BIF_RETURNONLYFSDIRS 0x00000001
#define BIF_DONTGOBELOWDOMAIN 0x00000002
#define BIF_STATUSTEXT 0x00000004
#define BIF_RETURNFSANCESTORS 0x00000008
#define BIF_EDITBOX 0x00000010
#define BIF_VALIDATE 0x00000020
#define BIF_NEWDIALOGSTYLE 0x00000040
#define BIF_USENEWUI (BIF_NEWDIALOGSTYLE | BIF_EDITBOX)
#define BIF_NONEWFOLDERBUTTON 0x00000200

// An item list: opaque to callers; freed with the shell allocator.
struct _ITEMIDLIST;
typedef _ITEMIDLIST ITEMIDLIST;
typedef ITEMIDLIST* LPITEMIDLIST;
typedef const ITEMIDLIST* LPCITEMIDLIST;
typedef ITEMIDLIST* PIDLIST_ABSOLUTE;
typedef const ITEMIDLIST* PCIDLIST_ABSOLUTE;

typedef int (*BFFCALLBACK)(HWND hwnd, UINT uMsg, LPARAM lParam, LPARAM lpData);

struct BROWSEINFOW {
    HWND hwndOwner;
    PCIDLIST_ABSOLUTE pidlRoot;
    LPWSTR pszDisplayName; // receives the chosen folder's name (MAX_PATH characters)
    LPCWSTR lpszTitle;
    UINT ulFlags;
    BFFCALLBACK lpfn;
    LPARAM lParam;
    int iImage;
};
typedef BROWSEINFOW* LPBROWSEINFOW;

// The task allocator the shell hands out.
struct IMalloc : IUnknown {
    virtual void* Alloc(SIZE_T cb) = 0;
    virtual void* Realloc(void* pv, SIZE_T cb) = 0;
    virtual void Free(void* pv) = 0;
    virtual SIZE_T GetSize(void* pv) = 0;
    virtual int DidAlloc(void* pv) = 0;
    virtual void HeapMinimize() = 0;

protected:
    ~IMalloc() = default;
};
ZQK_COM_INTERFACE(IMalloc, IUnknown, 0x00000002, 0x0000, 0x0000, 0xC0, 0, 0, 0, 0, 0, 0, 0x46)

// The shell's allocator, with one reference for the caller.
HRESULT SHGetMalloc(IMalloc** ppMalloc);
// Asks the chooser for a folder. The item list of the chosen folder (free it with the shell
// allocator), or null when the user cancelled. A null lpbi returns null.
PIDLIST_ABSOLUTE SHBrowseForFolderW(LPBROWSEINFOW lpbi);
// Writes the item's file-system path (at most MAX_PATH characters with the terminator) to
// pszPath. FALSE, with pszPath empty, for an item without a file-system path.
BOOL SHGetPathFromIDListW(PCIDLIST_ABSOLUTE pidl, LPWSTR pszPath);
// Frees an item list (as the shell allocator's Free).
void CoTaskMemFree(void* pv);

// A folder chooser: true with strPath set for a choice, false for "cancelled".
typedef std::function<bool(LPCWSTR lpszTitle, UINT ulFlags, CString& strPath)> ZqkFolderChooser;
// Installs a chooser and returns the previous one; an empty function restores the default.
ZqkFolderChooser ShellSetFolderChooser(ZqkFolderChooser fnChooser);

// The temporary-files folder ($TMPDIR, else /tmp/) with a trailing separator. Returns the
// characters written without the terminator, or, when nBufferLength is too small, the size
// needed with the terminator (nothing written).
DWORD GetTempPathW(DWORD nBufferLength, LPWSTR lpBuffer);
