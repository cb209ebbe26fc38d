// Windows that live from Create to DestroyWindow, and the report-view list control.
#include <gtest/gtest.h>

#include "support/PrintCString.h"

#include <string>

#include "platform/afx/CListCtrl.h"

namespace {

void CreateReport(CListCtrl& list) {
    ASSERT_TRUE(list.Create(LVS_REPORT, CRect(0, 0, 200, 100), nullptr, 1));
}

TEST(CWndTest, AHandleLivesFromCreateToDestroyWindow) {
    EXPECT_EQ(FALSE, IsWindow(nullptr));
    HWND hOld;
    {
        CWnd wnd;
        EXPECT_EQ(nullptr, wnd.GetSafeHwnd());
        EXPECT_EQ(FALSE, wnd.DestroyWindow());
        ASSERT_EQ(TRUE, wnd.Create(nullptr, L"w", WS_CHILD, CRect(1, 2, 3, 4), nullptr, 7));
        EXPECT_EQ(FALSE, wnd.Create(nullptr, L"w", 0, CRect(), nullptr, 0)); // already has one
        hOld = wnd.GetSafeHwnd();
        EXPECT_EQ(1, IsWindow(hOld));
        EXPECT_EQ(7, wnd.GetDlgCtrlID());
        RECT rc;
        wnd.GetWindowRect(&rc);
        EXPECT_EQ(3, rc.right);
        EXPECT_EQ(TRUE, wnd.DestroyWindow());
        EXPECT_EQ(FALSE, IsWindow(hOld));
        EXPECT_EQ(nullptr, wnd.GetSafeHwnd());
        // A new window never reuses an old handle.
        ASSERT_EQ(TRUE, wnd.Create(nullptr, nullptr, 0, CRect(), nullptr, 0));
        EXPECT_NE(hOld, wnd.GetSafeHwnd());
        hOld = wnd.GetSafeHwnd();
    }
    // The object's destruction ends its window; destroying a dead handle does nothing.
    EXPECT_EQ(FALSE, IsWindow(hOld));
    EXPECT_EQ(FALSE, DestroyWindow(hOld));
}

TEST(CListCtrlTest, ColumnsKeepHeadingFormatAndWidth) {
    CListCtrl list;
    EXPECT_EQ(-1, list.InsertColumn(0, L"no window"));
    EXPECT_EQ(nullptr, list.GetHeaderCtrl());
    CreateReport(list);
    EXPECT_EQ(0, list.InsertColumn(0, L"Name", LVCFMT_LEFT, 80));
    EXPECT_EQ(1, list.InsertColumn(5, L"Size", LVCFMT_RIGHT)); // clamped to the end
    EXPECT_EQ(0, list.InsertColumn(0, L"Id", LVCFMT_LEFT, 30, 2));
    EXPECT_EQ(-1, list.InsertColumn(-1, L"bad"));
    EXPECT_EQ(3, list.GetHeaderCtrl()->GetItemCount());

    wchar_t sz[3];
    LVCOLUMN col{};
    col.mask = LVCF_TEXT | LVCF_FMT | LVCF_WIDTH | LVCF_SUBITEM;
    col.pszText = sz;
    col.cchTextMax = 3;
    ASSERT_TRUE(list.GetColumn(1, &col));
    EXPECT_EQ(std::wstring(L"Na"), sz); // cut to the buffer, terminated
    EXPECT_EQ(80, col.cx);
    EXPECT_EQ(LVCFMT_LEFT, col.fmt);
    ASSERT_TRUE(list.GetColumn(0, &col));
    EXPECT_EQ(2, col.iSubItem);
    EXPECT_EQ(30, list.GetColumnWidth(0));
    EXPECT_TRUE(list.SetColumnWidth(2, 44));
    EXPECT_EQ(44, list.GetColumnWidth(2));
    EXPECT_FALSE(list.GetColumn(3, &col));
    EXPECT_TRUE(list.DeleteColumn(0));
    EXPECT_EQ(2, list.GetColumnCount());
}

TEST(CListCtrlTest, ItemsCarryTextImageStateParameterAndSubItems) {
    CListCtrl list;
    CreateReport(list);
    list.InsertColumn(0, L"A");
    list.InsertColumn(1, L"B");
    EXPECT_EQ(0, list.InsertItem(0, L"first"));
    EXPECT_EQ(1, list.InsertItem(9, L"last", 4)); // past the end: appended
    EXPECT_EQ(1, list.InsertItem(LVIF_TEXT | LVIF_STATE | LVIF_PARAM, 1, L"middle",
                                 LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED, 0, 1234));
    EXPECT_EQ(3, list.GetItemCount());
    EXPECT_EQ(CString(L"middle"), list.GetItemText(1, 0));
    EXPECT_EQ(CString(L"last"), list.GetItemText(2, 0));

    LVITEM item{};
    item.mask = LVIF_IMAGE | LVIF_STATE | LVIF_PARAM;
    item.iItem = 1;
    item.stateMask = ~0u;
    ASSERT_TRUE(list.GetItem(&item));
    EXPECT_EQ(UINT(LVIS_SELECTED), item.state); // only the masked state bits were taken
    EXPECT_EQ(1234, item.lParam);
    EXPECT_EQ(I_IMAGENONE, item.iImage); // inserted without LVIF_IMAGE
    item.iItem = 2;
    ASSERT_TRUE(list.GetItem(&item));
    EXPECT_EQ(4, item.iImage);
    EXPECT_EQ(1234u, list.GetItemData(1));
    EXPECT_TRUE(list.SetItemState(0, LVIS_FOCUSED, LVIS_FOCUSED));
    EXPECT_EQ(UINT(LVIS_FOCUSED), list.GetItemState(0, ~0u));

    // Sub-items exist as far as the columns go.
    EXPECT_TRUE(list.SetItemText(0, 1, L"b0"));
    EXPECT_FALSE(list.SetItemText(0, 2, L"beyond"));
    EXPECT_FALSE(list.SetItemText(3, 0, L"no item"));
    EXPECT_FALSE(list.SetItemText(-1, 0, L"no item"));
    EXPECT_EQ(CString(L"b0"), list.GetItemText(0, 1));
    EXPECT_EQ(CString(), list.GetItemText(0, 2));
    EXPECT_EQ(CString(), list.GetItemText(1, 1));
    wchar_t sz[2];
    EXPECT_EQ(1, list.GetItemText(0, 1, sz, 2));
    EXPECT_EQ(std::wstring(L"b"), sz);

    LVITEM sub{};
    sub.mask = LVIF_TEXT;
    sub.iSubItem = 1;
    EXPECT_EQ(-1, list.InsertItem(&sub)); // an item is inserted through sub-item 0 only
    EXPECT_EQ(-1, list.InsertItem(-1, L"negative"));

    EXPECT_TRUE(list.DeleteItem(0));
    EXPECT_EQ(CString(L"middle"), list.GetItemText(0, 0));
    EXPECT_FALSE(list.DeleteItem(2));
    EXPECT_TRUE(list.DeleteAllItems());
    EXPECT_EQ(0, list.GetItemCount());
}

TEST(CListCtrlTest, ADestroyedControlRefusesEverything) {
    CListCtrl list;
    CreateReport(list);
    list.InsertColumn(0, L"A");
    list.InsertItem(0, L"x");
    HWND hWnd = list.GetSafeHwnd();
    DestroyWindow(hWnd); // ended behind the object's back
    EXPECT_EQ(0, list.GetItemCount());
    EXPECT_EQ(-1, list.InsertItem(0, L"y"));
    EXPECT_FALSE(list.SetItemText(0, 0, L"z"));
    EXPECT_EQ(CString(), list.GetItemText(0, 0));
    EXPECT_FALSE(list.DeleteAllItems());

    // A new window starts empty.
    CListCtrl other;
    CreateReport(other);
    other.InsertItem(0, L"x");
    EXPECT_TRUE(other.DestroyWindow());
    CreateReport(other);
    EXPECT_EQ(0, other.GetItemCount());
}

TEST(ListCtrlTextTest, AlignsColumnsByTerminalWidth) {
    CListCtrl list;
    CreateReport(list);
    list.InsertColumn(0, L"id", LVCFMT_RIGHT);
    list.InsertColumn(1, L"name");
    list.InsertColumn(2, L"note");
    list.InsertItem(0, L"1");
    list.SetItemText(0, 1, L"中文");
    list.SetItemText(0, 2, L"a\tb");
    list.InsertItem(1, L"22");
    list.SetItemText(1, 1, L"e\u0301x");
    EXPECT_EQ(CString(L"id | name | note\n"
                      L"---+------+-----\n"
                      L" 1 | 中文 | a b\n"
                      L"22 | e\u0301x   |\n"),
              ZqkRenderListCtrl(list));

    ZqkListTextOptions csvLike;
    csvLike.bHeadings = false;
    csvLike.lpszSeparator = L",";
    EXPECT_EQ(CString(L" 1,中文,a b\n22,e\u0301x  ,\n"), ZqkRenderListCtrl(list, csvLike));

    // Columns show the sub-item they are bound to.
    CListCtrl bound;
    CreateReport(bound);
    bound.InsertColumn(0, L"second", LVCFMT_LEFT, -1, 1);
    bound.InsertColumn(1, L"first", LVCFMT_LEFT, -1, 0);
    bound.InsertItem(0, L"item");
    bound.SetItemText(0, 1, L"sub");
    EXPECT_EQ(CString(L"second | first\n-------+------\nsub    | item\n"),
              ZqkRenderListCtrl(bound));

    // Without columns: one column of item texts, no heading.
    CListCtrl bare;
    CreateReport(bare);
    bare.InsertItem(0, L"x");
    bare.InsertItem(1, L"yy");
    EXPECT_EQ(CString(L"x\nyy\n"), ZqkRenderListCtrl(bare));
}

TEST(ListCtrlTextTest, DisplayWidths) {
    EXPECT_EQ(1, ZqkCharDisplayWidth(L'a'));
    EXPECT_EQ(2, ZqkCharDisplayWidth(L'中'));
    EXPECT_EQ(2, ZqkCharDisplayWidth(L'\uAC00'));     // Hangul
    EXPECT_EQ(2, ZqkCharDisplayWidth(L'\uFF21'));     // fullwidth A
    EXPECT_EQ(2, ZqkCharDisplayWidth(L'\U0001F600')); // emoji
    EXPECT_EQ(2, ZqkCharDisplayWidth(L'\U00020000')); // CJK extension B
    EXPECT_EQ(0, ZqkCharDisplayWidth(L'\u0301'));
    EXPECT_EQ(0, ZqkCharDisplayWidth(L'\u200B'));
    EXPECT_EQ(1, ZqkCharDisplayWidth(L'\u00E9'));
    EXPECT_EQ(1, ZqkCharDisplayWidth(L'\uFF61')); // halfwidth katakana punctuation
    EXPECT_EQ(5, ZqkDisplayWidth(L"a中文"));
    EXPECT_EQ(0, ZqkDisplayWidth(nullptr));
}

} // namespace
