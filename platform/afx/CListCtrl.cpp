#include "platform/afx/CListCtrl.h"

#include <algorithm>
#include <cwchar>

IMPLEMENT_DYNAMIC(CListCtrl, CWnd)

namespace {

// Copies at most nMax - 1 characters and a terminator; returns the characters copied.
int CopyText(const CString& str, LPWSTR pszOut, int nMax) {
    if (pszOut == nullptr || nMax <= 0)
        return 0;
    int n = std::min(str.GetLength(), nMax - 1);
    std::wmemcpy(pszOut, str.GetString(), static_cast<size_t>(n));
    pszOut[n] = L'\0';
    return n;
}

} // namespace

int CHeaderCtrl::GetItemCount() const {
    return IsWindow(m_list.m_hWnd) ? m_list.GetColumnCount() : -1;
}

CListCtrl::CListCtrl() : m_header(*this) {}

CListCtrl::~CListCtrl() = default;

BOOL CListCtrl::Create(DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID) {
    return CWnd::Create(L"SysListView32", nullptr, dwStyle, rect, pParentWnd, nID);
}

BOOL CListCtrl::DestroyWindow() {
    m_columns.clear();
    m_items.clear();
    return CWnd::DestroyWindow();
}

bool CListCtrl::ValidItem(int nItem) const {
    return IsWindow(m_hWnd) && nItem >= 0 && nItem < static_cast<int>(m_items.size());
}

// ---- Columns ----------------------------------------------------------------------------------

void CListCtrl::ApplyColumn(Column& col, const LVCOLUMN& lvc) {
    if (lvc.mask & LVCF_TEXT)
        col.strHeading = lvc.pszText;
    if (lvc.mask & LVCF_FMT)
        col.nFormat = lvc.fmt;
    if (lvc.mask & LVCF_WIDTH)
        col.nWidth = lvc.cx;
    if (lvc.mask & LVCF_SUBITEM)
        col.nSubItem = lvc.iSubItem;
}

int CListCtrl::InsertColumn(int nCol, const LVCOLUMN* pColumn) {
    if (!IsWindow(m_hWnd) || pColumn == nullptr || nCol < 0)
        return -1;
    int nIndex = std::min(nCol, GetColumnCount());
    Column col{CString(), LVCFMT_LEFT, 0, nIndex};
    ApplyColumn(col, *pColumn);
    m_columns.insert(m_columns.begin() + nIndex, col);
    return nIndex;
}

int CListCtrl::InsertColumn(int nCol, LPCWSTR lpszColumnHeading, int nFormat, int nWidth,
                            int nSubItem) {
    LVCOLUMN col{};
    col.mask = LVCF_TEXT | LVCF_FMT;
    col.pszText = const_cast<LPWSTR>(lpszColumnHeading ? lpszColumnHeading : L"");
    col.fmt = nFormat;
    if (nWidth != -1) {
        col.mask |= LVCF_WIDTH;
        col.cx = nWidth;
    }
    if (nSubItem != -1) {
        col.mask |= LVCF_SUBITEM;
        col.iSubItem = nSubItem;
    }
    return InsertColumn(nCol, &col);
}

BOOL CListCtrl::GetColumn(int nCol, LVCOLUMN* pColumn) const {
    if (!IsWindow(m_hWnd) || pColumn == nullptr || nCol < 0 || nCol >= GetColumnCount())
        return FALSE;
    const Column& col = m_columns[static_cast<size_t>(nCol)];
    if (pColumn->mask & LVCF_TEXT)
        CopyText(col.strHeading, pColumn->pszText, pColumn->cchTextMax);
    if (pColumn->mask & LVCF_FMT)
        pColumn->fmt = col.nFormat;
    if (pColumn->mask & LVCF_WIDTH)
        pColumn->cx = col.nWidth;
    if (pColumn->mask & LVCF_SUBITEM)
        pColumn->iSubItem = col.nSubItem;
    return TRUE;
}

BOOL CListCtrl::SetColumn(int nCol, const LVCOLUMN* pColumn) {
    if (!IsWindow(m_hWnd) || pColumn == nullptr || nCol < 0 || nCol >= GetColumnCount())
        return FALSE;
    ApplyColumn(m_columns[static_cast<size_t>(nCol)], *pColumn);
    return TRUE;
}

BOOL CListCtrl::DeleteColumn(int nCol) {
    if (!IsWindow(m_hWnd) || nCol < 0 || nCol >= GetColumnCount())
        return FALSE;
    m_columns.erase(m_columns.begin() + nCol);
    return TRUE;
}

int CListCtrl::GetColumnWidth(int nCol) const {
    if (!IsWindow(m_hWnd) || nCol < 0 || nCol >= GetColumnCount())
        return 0;
    return m_columns[static_cast<size_t>(nCol)].nWidth;
}

BOOL CListCtrl::SetColumnWidth(int nCol, int cx) {
    if (!IsWindow(m_hWnd) || nCol < 0 || nCol >= GetColumnCount())
        return FALSE;
    m_columns[static_cast<size_t>(nCol)].nWidth = cx;
    return TRUE;
}

CHeaderCtrl* CListCtrl::GetHeaderCtrl() {
    return IsWindow(m_hWnd) ? &m_header : nullptr;
}

// ---- Items ------------------------------------------------------------------------------------

int CListCtrl::InsertItem(const LVITEM* pItem) {
    if (!IsWindow(m_hWnd) || pItem == nullptr || pItem->iSubItem != 0 || pItem->iItem < 0)
        return -1;
    Item item{{CString()}, 0, I_IMAGENONE, 0, 0};
    if ((pItem->mask & LVIF_TEXT) && pItem->pszText)
        item.texts[0] = pItem->pszText;
    if (pItem->mask & LVIF_IMAGE)
        item.nImage = pItem->iImage;
    if (pItem->mask & LVIF_STATE)
        item.nState = pItem->state & pItem->stateMask;
    if (pItem->mask & LVIF_PARAM)
        item.lParam = pItem->lParam;
    if (pItem->mask & LVIF_INDENT)
        item.nIndent = pItem->iIndent;
    int nIndex = std::min(pItem->iItem, GetItemCount());
    m_items.insert(m_items.begin() + nIndex, std::move(item));
    return nIndex;
}

int CListCtrl::InsertItem(int nItem, LPCWSTR lpszItem) {
    return InsertItem(LVIF_TEXT, nItem, lpszItem, 0, 0, 0, 0);
}

int CListCtrl::InsertItem(int nItem, LPCWSTR lpszItem, int nImage) {
    return InsertItem(LVIF_TEXT | LVIF_IMAGE, nItem, lpszItem, 0, 0, nImage, 0);
}

int CListCtrl::InsertItem(UINT nMask, int nItem, LPCWSTR lpszItem, UINT nState, UINT nStateMask,
                          int nImage, LPARAM lParam) {
    LVITEM item{};
    item.mask = nMask;
    item.iItem = nItem;
    item.pszText = const_cast<LPWSTR>(lpszItem);
    item.state = nState;
    item.stateMask = nStateMask;
    item.iImage = nImage;
    item.lParam = lParam;
    return InsertItem(&item);
}

BOOL CListCtrl::DeleteItem(int nItem) {
    if (!ValidItem(nItem))
        return FALSE;
    m_items.erase(m_items.begin() + nItem);
    return TRUE;
}

BOOL CListCtrl::DeleteAllItems() {
    if (!IsWindow(m_hWnd))
        return FALSE;
    m_items.clear();
    return TRUE;
}

int CListCtrl::GetItemCount() const {
    return IsWindow(m_hWnd) ? static_cast<int>(m_items.size()) : 0;
}

BOOL CListCtrl::SetItemText(int nItem, int nSubItem, LPCWSTR lpszText) {
    // Sub-item 0 is the item itself; the others exist only as far as the columns go.
    if (!ValidItem(nItem) || nSubItem < 0 || (nSubItem > 0 && nSubItem >= GetColumnCount()))
        return FALSE;
    std::vector<CString>& texts = m_items[static_cast<size_t>(nItem)].texts;
    if (static_cast<size_t>(nSubItem) >= texts.size())
        texts.resize(static_cast<size_t>(nSubItem) + 1);
    texts[static_cast<size_t>(nSubItem)] = lpszText ? lpszText : L"";
    return TRUE;
}

CString CListCtrl::GetItemText(int nItem, int nSubItem) const {
    if (!ValidItem(nItem) || nSubItem < 0)
        return CString();
    const std::vector<CString>& texts = m_items[static_cast<size_t>(nItem)].texts;
    return static_cast<size_t>(nSubItem) < texts.size() ? texts[static_cast<size_t>(nSubItem)]
                                                        : CString();
}

int CListCtrl::GetItemText(int nItem, int nSubItem, LPWSTR lpszText, int nLen) const {
    return CopyText(GetItemText(nItem, nSubItem), lpszText, nLen);
}

BOOL CListCtrl::GetItem(LVITEM* pItem) const {
    if (pItem == nullptr || !ValidItem(pItem->iItem) || pItem->iSubItem < 0)
        return FALSE;
    const Item& item = m_items[static_cast<size_t>(pItem->iItem)];
    if (pItem->mask & LVIF_TEXT)
        CopyText(GetItemText(pItem->iItem, pItem->iSubItem), pItem->pszText, pItem->cchTextMax);
    if (pItem->mask & LVIF_IMAGE)
        pItem->iImage = item.nImage;
    if (pItem->mask & LVIF_STATE)
        pItem->state = item.nState & pItem->stateMask;
    if (pItem->mask & LVIF_PARAM)
        pItem->lParam = item.lParam;
    if (pItem->mask & LVIF_INDENT)
        pItem->iIndent = item.nIndent;
    return TRUE;
}

BOOL CListCtrl::SetItem(const LVITEM* pItem) {
    if (pItem == nullptr || !ValidItem(pItem->iItem))
        return FALSE;
    if ((pItem->mask & LVIF_TEXT) &&
        !SetItemText(pItem->iItem, pItem->iSubItem, pItem->pszText ? pItem->pszText : L""))
        return FALSE;
    // Image, state, parameter and indent belong to the item, not to its sub-items.
    Item& item = m_items[static_cast<size_t>(pItem->iItem)];
    if (pItem->mask & LVIF_IMAGE)
        item.nImage = pItem->iImage;
    if (pItem->mask & LVIF_STATE)
        item.nState = (item.nState & ~pItem->stateMask) | (pItem->state & pItem->stateMask);
    if (pItem->mask & LVIF_PARAM)
        item.lParam = pItem->lParam;
    if (pItem->mask & LVIF_INDENT)
        item.nIndent = pItem->iIndent;
    return TRUE;
}

UINT CListCtrl::GetItemState(int nItem, UINT nMask) const {
    return ValidItem(nItem) ? m_items[static_cast<size_t>(nItem)].nState & nMask : 0;
}

BOOL CListCtrl::SetItemState(int nItem, UINT nState, UINT nMask) {
    LVITEM item{};
    item.mask = LVIF_STATE;
    item.iItem = nItem;
    item.state = nState;
    item.stateMask = nMask;
    return SetItem(&item);
}

DWORD_PTR CListCtrl::GetItemData(int nItem) const {
    return ValidItem(nItem) ? static_cast<DWORD_PTR>(m_items[static_cast<size_t>(nItem)].lParam)
                            : 0;
}

BOOL CListCtrl::SetItemData(int nItem, DWORD_PTR dwData) {
    LVITEM item{};
    item.mask = LVIF_PARAM;
    item.iItem = nItem;
    item.lParam = static_cast<LPARAM>(dwData);
    return SetItem(&item);
}
