// A value table shown in a report-view list control.
#include <gtest/gtest.h>

#include "support/PrintCString.h"

#include "zqk_vododuvod.h"

namespace {

void AddRow(CZORValueTable& table, std::initializer_list<const wchar_t*> values) {
    CZORValueRecord rec;
    for (const wchar_t* v : values)
        rec.m_LableValueAr.Add(v);
    table.m_RecordAr.Add(rec);
}

int ImageOf(CListCtrl& list, int nItem) {
    LVITEM item{};
    item.mask = LVIF_IMAGE;
    item.iItem = nItem;
    EXPECT_TRUE(list.GetItem(&item));
    return item.iImage;
}

class ValueTableDisplayTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_list.Create(LVS_REPORT, CRect(0, 0, 100, 100), nullptr, 1));
        m_list.InsertColumn(0, L"id");
        m_list.InsertColumn(1, L"name");
    }
    CListCtrl m_list;
};

TEST_F(ValueTableDisplayTest, RowsBecomeItemsAndSubItems) {
    CZORValueTable table;
    AddRow(table, {L"1", L"a"});
    AddRow(table, {L"2", L"b", L"beyond the columns"});
    CStringArray label;
    label.Add(L"id");
    table.SetLableRecord(label); // the label record is not a row

    table.ShowToListCtrl(&m_list, 0);
    ASSERT_EQ(2, m_list.GetItemCount());
    EXPECT_EQ(CString(L"1"), m_list.GetItemText(0, 0));
    EXPECT_EQ(CString(L"a"), m_list.GetItemText(0, 1));
    EXPECT_EQ(CString(L"2"), m_list.GetItemText(1, 0));
    EXPECT_EQ(CString(L"b"), m_list.GetItemText(1, 1));
    EXPECT_EQ(CString(), m_list.GetItemText(1, 2));
    EXPECT_EQ(0, ImageOf(m_list, 0));
    EXPECT_EQ(0, ImageOf(m_list, 1));

    // Shown again into a control that is not cleared: the rows go in at their own index.
    table.ShowToListCtrl(&m_list, -1);
    ASSERT_EQ(4, m_list.GetItemCount());
    EXPECT_EQ(CString(L"1"), m_list.GetItemText(0, 0));
    EXPECT_EQ(I_IMAGENONE, ImageOf(m_list, 0));
    EXPECT_EQ(CString(L"a"), m_list.GetItemText(0, 1));
    EXPECT_EQ(CString(L"2"), m_list.GetItemText(1, 0));
    EXPECT_EQ(CString(L"1"), m_list.GetItemText(2, 0)); // the first showing, moved down
    EXPECT_EQ(CString(L"a"), m_list.GetItemText(2, 1));
    EXPECT_EQ(0, ImageOf(m_list, 2));
}

TEST_F(ValueTableDisplayTest, EmptyRowsAndImages) {
    CZORValueTable table;
    AddRow(table, {L"1", L"a"});
    AddRow(table, {});
    AddRow(table, {L"3", L"c"});
    table.ShowToListCtrl(&m_list, 7);
    // The empty row inserts nothing; the next row still uses its own index (clamped on
    // insertion, so its sub-item goes to the item at index 2, which does not exist).
    ASSERT_EQ(2, m_list.GetItemCount());
    EXPECT_EQ(CString(L"3"), m_list.GetItemText(1, 0));
    EXPECT_EQ(CString(), m_list.GetItemText(1, 1));
    EXPECT_EQ(7, ImageOf(m_list, 1));

    CZORValueTable empty;
    m_list.DeleteAllItems();
    empty.ShowToListCtrl(&m_list, 0);
    EXPECT_EQ(0, m_list.GetItemCount());
}

TEST_F(ValueTableDisplayTest, ADestroyedWindowIsLeftAlone) {
    CZORValueTable table;
    AddRow(table, {L"1", L"a"});
    m_list.DestroyWindow();
    table.ShowToListCtrl(&m_list, 0);
    EXPECT_EQ(0, m_list.GetItemCount());
    table.ShowToListCtrl(nullptr, 0);
    CListCtrl never;
    table.ShowToListCtrl(&never, -1);
    EXPECT_EQ(0, never.GetItemCount());
}

} // namespace
