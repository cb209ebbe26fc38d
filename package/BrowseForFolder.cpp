#include "BrowseForFolder.h"

#include "PackageMessages.h"
#include "platform/afx/CWinApp.h"
#include "platform/com/ComPtr.h"

CBrowseForFolder::CBrowseForFolder() = default;
CBrowseForFolder::CBrowseForFolder(const CBrowseForFolder&) = default;
CBrowseForFolder& CBrowseForFolder::operator=(const CBrowseForFolder&) = default;
CBrowseForFolder::~CBrowseForFolder() = default;

namespace {

// The item list the picker returned, given back to the shell's allocator on every way out.
class CItemList {
public:
    CItemList(IMalloc* pMalloc, PIDLIST_ABSOLUTE pidl) : m_pMalloc(pMalloc), m_pidl(pidl) {}
    ~CItemList() {
        if (m_pidl)
            m_pMalloc->Free(m_pidl);
    }
    CItemList(const CItemList&) = delete;
    CItemList& operator=(const CItemList&) = delete;
    PIDLIST_ABSOLUTE Get() const { return m_pidl; }

private:
    IMalloc* m_pMalloc;
    PIDLIST_ABSOLUTE m_pidl;
};

} // namespace

int CBrowseForFolder::BrowseForFolder(HWND hWndOwner, CString& strPath, LPCWSTR lpszTitle,
                                      UINT ulFlags) {
    IMalloc* pRawMalloc = nullptr;
    if (FAILED(SHGetMalloc(&pRawMalloc)) || pRawMalloc == nullptr)
        return 0;
    _com_ptr_t<IMalloc> pMalloc(pRawMalloc, false);

    wchar_t szDisplayName[MAX_PATH] = L"";
    BROWSEINFOW bi{};
    bi.hwndOwner = hWndOwner;
    bi.pidlRoot = nullptr;
    bi.pszDisplayName = szDisplayName;
    bi.lpszTitle = lpszTitle;
    bi.ulFlags = ulFlags;
    bi.lpfn = nullptr;
    bi.lParam = 0;
    CItemList items(pMalloc, SHBrowseForFolderW(&bi));
    if (items.Get() == nullptr)
        return 0; // cancelled: not an error, strPath kept

    wchar_t szPath[MAX_PATH] = L"";
    if (!SHGetPathFromIDListW(items.Get(), szPath)) {
        AfxMessageBox(kMsgNoFolderPath, MB_ICONERROR);
        strPath.Empty();
        return 0;
    }
    if (szPath[0] == L'\0') {
        AfxMessageBox(kMsgEmptyFolderPath, MB_ICONERROR);
        strPath.Empty();
        return 0;
    }
    strPath = szPath;
    return 1;
}
