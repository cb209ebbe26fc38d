// CListCtrl: an in-memory report-view list control. Columns carry a heading, a format and a
// width; items carry a text, an image index, a state, a parameter and the texts of their
// sub-items. Items go where they are inserted (no sorting). Every operation needs the control's
// window (Create); without one it fails as the control would (-1, FALSE, empty text).
// ZqkRenderListCtrl draws the contents as an aligned text table.
// Thread safety: a control belongs to one thread at a time.
#pragma once

#include <vector>

#include "platform/afx/CString.h"
#include "platform/afx/CWnd.h"
#include "platform/win/TextWidth.h"

#define LVS_ICON 0x0000
#define LVS_REPORT 0x0001
#define LVS_SMALLICON 0x0002
#define LVS_LIST 0x0003
#define LVS_SINGLESEL 0x0004
#define LVS_SORTASCENDING 0x0010
#define LVS_SORTDESCENDING 0x0020

#define LVIF_TEXT 0x0001
#define LVIF_IMAGE 0x0002
#define LVIF_PARAM 0x0004
#define LVIF_STATE 0x0008
#define LVIF_INDENT 0x0010

#define LVIS_FOCUSED 0x0001
#define LVIS_SELECTED 0x0002
#define LVIS_CUT 0x0004
#define LVIS_DROPHILITED 0x0008

#define LVCF_FMT 0x0001
#define LVCF_WIDTH 0x0002
#define LVCF_TEXT 0x0004
#define LVCF_SUBITEM 0x0008

#define LVCFMT_LEFT 0x0000
#define LVCFMT_RIGHT 0x0001
#define LVCFMT_CENTER 0x0002

// The image index of an item inserted without LVIF_IMAGE.
#define I_IMAGENONE (-2)

struct LVITEMW {
    UINT mask;
    int iItem;
    int iSubItem;
    UINT state;
    UINT stateMask;
    LPWSTR pszText;
    int cchTextMax;
    int iImage;
    LPARAM lParam;
    int iIndent;
};
typedef LVITEMW LVITEM;

struct LVCOLUMNW {
    UINT mask;
    int fmt;
    int cx;
    LPWSTR pszText;
    int cchTextMax;
    int iSubItem;
};
typedef LVCOLUMNW LVCOLUMN;

// The column headers of a list control.
class CHeaderCtrl {
public:
    explicit CHeaderCtrl(const class CListCtrl& list) : m_list(list) {}
    // The number of columns.
    int GetItemCount() const;

private:
    const class CListCtrl& m_list;
};

class CListCtrl : public CWnd {
    DECLARE_DYNAMIC(CListCtrl)
public:
    CListCtrl();
    ~CListCtrl() override;

    // Creates the control's window (any view style; the contents are the same in each).
    virtual BOOL Create(DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID);
    using CWnd::Create;
    // Also forgets every column and item.
    BOOL DestroyWindow() override;

    // Columns. InsertColumn returns the new column's index (nCol clamped to the count), or -1.
    int InsertColumn(int nCol, const LVCOLUMN* pColumn);
    int InsertColumn(int nCol, LPCWSTR lpszColumnHeading, int nFormat = LVCFMT_LEFT,
                     int nWidth = -1, int nSubItem = -1);
    // Fills the members pColumn->mask asks for; LVCF_TEXT copies at most cchTextMax - 1
    // characters and a terminator.
    BOOL GetColumn(int nCol, LVCOLUMN* pColumn) const;
    BOOL SetColumn(int nCol, const LVCOLUMN* pColumn);
    BOOL DeleteColumn(int nCol);
    int GetColumnWidth(int nCol) const;
    BOOL SetColumnWidth(int nCol, int cx);
    CHeaderCtrl* GetHeaderCtrl();

    // Items. InsertItem returns the new item's index (iItem clamped to the count), or -1 for
    // a sub-item index other than 0 or a control without a window.
    int InsertItem(const LVITEM* pItem);
    int InsertItem(int nItem, LPCWSTR lpszItem);
    int InsertItem(int nItem, LPCWSTR lpszItem, int nImage);
    int InsertItem(UINT nMask, int nItem, LPCWSTR lpszItem, UINT nState, UINT nStateMask,
                   int nImage, LPARAM lParam);
    BOOL DeleteItem(int nItem);
    BOOL DeleteAllItems();
    int GetItemCount() const;

    // Sub-item 0 is the item's own text. A sub-item past the last column is not kept (FALSE).
    BOOL SetItemText(int nItem, int nSubItem, LPCWSTR lpszText);
    CString GetItemText(int nItem, int nSubItem) const;
    // Copies at most nLen - 1 characters and a terminator; returns the characters copied.
    int GetItemText(int nItem, int nSubItem, LPWSTR lpszText, int nLen) const;
    BOOL GetItem(LVITEM* pItem) const;
    BOOL SetItem(const LVITEM* pItem);
    UINT GetItemState(int nItem, UINT nMask) const;
    BOOL SetItemState(int nItem, UINT nState, UINT nMask);
    DWORD_PTR GetItemData(int nItem) const;
    BOOL SetItemData(int nItem, DWORD_PTR dwData);

    int GetColumnCount() const { return static_cast<int>(m_columns.size()); }

private:
    struct Column {
        CString strHeading;
        int nFormat;
        int nWidth;
        int nSubItem;
    };
    struct Item {
        std::vector<CString> texts; // [0] the item, [j] sub-item j
        UINT nState;
        int nImage;
        LPARAM lParam;
        int nIndent;
    };
    bool ValidItem(int nItem) const;
    // Takes the members lvc.mask names.
    static void ApplyColumn(Column& col, const LVCOLUMN& lvc);

    std::vector<Column> m_columns;
    std::vector<Item> m_items;
    CHeaderCtrl m_header;
};

// How ZqkRenderListCtrl draws a table.
struct ZqkListTextOptions {
    bool bHeadings = true;          // the column headings and a rule under them
    LPCWSTR lpszSeparator = L" | "; // between columns
};

// The control's columns, headings and item texts as an aligned text table, one line per row,
// each ending in '\n' without trailing blanks. Widths count terminal columns (East Asian wide
// characters take two); control characters in a text are drawn as spaces. A control without columns
// draws one column of item texts without a heading.
CString ZqkRenderListCtrl(const CListCtrl& list, const ZqkListTextOptions& options = {});
