// The shell's allocator, item lists, the folder picker's entry points and the temporary folder.
#include "platform/shell/Shell.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <mutex>
#include <string>

#include "platform/com/ComObject.h"
#include "platform/shell/FolderChooser.h"
#include "platform/win/TextEncoding.h"

// An item list here names one folder by its path.
struct _ITEMIDLIST {
    DWORD dwMagic;
    DWORD cchPath;
    wchar_t szPath[1];
};

namespace {

const DWORD kItemMagic = 0x4C444950; // "PIDL"

// The task allocator: plain heap memory, so item lists may also go to CoTaskMemFree.
class CShellMalloc : public CComObjectRoot<IMalloc> {
public:
    void* Alloc(SIZE_T cb) override { return std::malloc(cb ? cb : 1); }
    void* Realloc(void* pv, SIZE_T cb) override {
        if (cb == 0) {
            std::free(pv);
            return nullptr;
        }
        return std::realloc(pv, cb);
    }
    void Free(void* pv) override { std::free(pv); }
    // The heap does not say how big a block is.
    SIZE_T GetSize(void*) override { return static_cast<SIZE_T>(-1); }
    int DidAlloc(void* pv) override { return pv ? -1 : 0; }
    void HeapMinimize() override {}
};

std::mutex g_chooserMutex;
ZqkFolderChooser g_chooser; // empty: the default chooser

ZqkFolderChooser CurrentChooser() {
    std::lock_guard<std::mutex> lock(g_chooserMutex);
    return g_chooser;
}

PIDLIST_ABSOLUTE MakeItemList(const CString& strPath) {
    size_t cch = static_cast<size_t>(strPath.GetLength());
    auto* pidl = static_cast<_ITEMIDLIST*>(
        std::malloc(offsetof(_ITEMIDLIST, szPath) + (cch + 1) * sizeof(wchar_t)));
    if (pidl == nullptr)
        return nullptr;
    pidl->dwMagic = kItemMagic;
    pidl->cchPath = static_cast<DWORD>(cch);
    std::wmemcpy(pidl->szPath, strPath.GetString(), cch + 1);
    return pidl;
}

// The folder's own name, as the picker reports it beside the item list.
void CopyDisplayName(const CString& strPath, LPWSTR pszDisplayName) {
    if (pszDisplayName == nullptr)
        return;
    CString strName = strPath;
    while (strName.GetLength() > 1 && strName[strName.GetLength() - 1] == L'/')
        strName = strName.Left(strName.GetLength() - 1);
    int nSlash = strName.ReverseFind(L'/');
    if (nSlash >= 0 && strName.GetLength() > 1)
        strName = strName.Mid(nSlash + 1);
    int n = std::min(strName.GetLength(), MAX_PATH - 1);
    std::wmemcpy(pszDisplayName, strName.GetString(), static_cast<size_t>(n));
    pszDisplayName[n] = L'\0';
}

} // namespace

HRESULT SHGetMalloc(IMalloc** ppMalloc) {
    if (ppMalloc == nullptr)
        return E_INVALIDARG;
    static CShellMalloc* pMalloc = new CShellMalloc; // one for the process, never released
    pMalloc->AddRef();
    *ppMalloc = pMalloc;
    return S_OK;
}

void CoTaskMemFree(void* pv) {
    std::free(pv);
}

PIDLIST_ABSOLUTE SHBrowseForFolderW(LPBROWSEINFOW lpbi) {
    if (lpbi == nullptr)
        return nullptr;
    ZqkFolderChooser fnChooser = CurrentChooser();
    LPCWSTR lpszTitle = lpbi->lpszTitle ? lpbi->lpszTitle : L"";
    CString strPath;
    bool bChosen = fnChooser ? fnChooser(lpszTitle, lpbi->ulFlags, strPath)
                             : ZqkDefaultFolderChooser(lpszTitle, lpbi->ulFlags, strPath);
    if (!bChosen)
        return nullptr;
    CopyDisplayName(strPath, lpbi->pszDisplayName);
    return MakeItemList(strPath);
}

BOOL SHGetPathFromIDListW(PCIDLIST_ABSOLUTE pidl, LPWSTR pszPath) {
    if (pszPath == nullptr)
        return FALSE;
    pszPath[0] = L'\0';
    if (pidl == nullptr || pidl->dwMagic != kItemMagic)
        return FALSE;
    // A chosen item without an absolute path is not in the file system; an empty path is the
    // root of the picker, which converts to empty text.
    if (pidl->cchPath == 0)
        return TRUE;
    if (pidl->szPath[0] != L'/' || pidl->cchPath >= MAX_PATH)
        return FALSE;
    std::wmemcpy(pszPath, pidl->szPath, pidl->cchPath + 1);
    return TRUE;
}

ZqkFolderChooser ShellSetFolderChooser(ZqkFolderChooser fnChooser) {
    std::lock_guard<std::mutex> lock(g_chooserMutex);
    ZqkFolderChooser previous = std::move(g_chooser);
    g_chooser = std::move(fnChooser);
    return previous;
}

DWORD GetTempPathW(DWORD nBufferLength, LPWSTR lpBuffer) {
    const char* pszDir = std::getenv("TMPDIR");
    std::wstring strDir = WinUtf8ToWide(pszDir && *pszDir ? pszDir : "/tmp/");
    if (strDir.back() != L'/')
        strDir += L'/';
    DWORD cch = static_cast<DWORD>(strDir.size());
    if (lpBuffer == nullptr || nBufferLength <= cch)
        return cch + 1;
    std::wmemcpy(lpBuffer, strDir.c_str(), cch + 1);
    return cch;
}
