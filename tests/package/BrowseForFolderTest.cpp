// The folder browser over the shell's picker.
#include <gtest/gtest.h>

#include <string>

#include "support/PrintCString.h"
#include "support/RecordingApp.h"
#include "zqk_vododuvod.h"

namespace {

class BrowseForFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        ShellSetFolderChooser([this](LPCWSTR lpszTitle, UINT ulFlags, CString& strPath) {
            m_strTitle = lpszTitle;
            m_nFlags = ulFlags;
            strPath = m_strAnswer;
            return m_bAnswer;
        });
    }
    void TearDown() override { ShellSetFolderChooser(nullptr); }

    RecordingApp m_app;
    std::wstring m_strTitle;
    UINT m_nFlags = 0;
    CString m_strAnswer = L"/home/user/out";
    bool m_bAnswer = true;
};

TEST_F(BrowseForFolderTest, TheChosenFolderComesBack) {
    CWnd owner;
    owner.Create(nullptr, nullptr, 0, CRect(), nullptr, 0);
    CString strPath = L"old";
    EXPECT_EQ(1, CBrowseForFolder::BrowseForFolder(owner.GetSafeHwnd(), strPath, L"标题",
                                                   BIF_RETURNONLYFSDIRS));
    EXPECT_EQ(CString(L"/home/user/out"), strPath);
    EXPECT_EQ(L"标题", m_strTitle);
    EXPECT_EQ(UINT(BIF_RETURNONLYFSDIRS), m_nFlags);
    EXPECT_TRUE(m_app.m_boxes.empty());
}

TEST_F(BrowseForFolderTest, CancelKeepsThePathAndSaysNothing) {
    m_bAnswer = false;
    CString strPath = L"kept";
    EXPECT_EQ(0, CBrowseForFolder::BrowseForFolder(nullptr, strPath, L"t", 0));
    EXPECT_EQ(CString(L"kept"), strPath);
    EXPECT_TRUE(m_app.m_boxes.empty());
}

TEST_F(BrowseForFolderTest, AChoiceWithoutAPathIsReported) {
    // Not in the file system: the first message.
    m_strAnswer = L"::{network}";
    CString strPath = L"old";
    EXPECT_EQ(0, CBrowseForFolder::BrowseForFolder(nullptr, strPath, L"t", 0));
    EXPECT_EQ(CString(), strPath);
    ASSERT_EQ(1u, m_app.m_boxes.size());
    EXPECT_EQ(L"获取路径失败", m_app.m_boxes[0].strText);
    EXPECT_EQ(UINT(MB_ICONERROR), m_app.m_boxes[0].nType);
    EXPECT_EQ(0u, m_app.m_boxes[0].nIDHelp);

    // An empty path: the second message.
    m_strAnswer = L"";
    strPath = L"old";
    EXPECT_EQ(0, CBrowseForFolder::BrowseForFolder(nullptr, strPath, L"t", 0));
    EXPECT_EQ(CString(), strPath);
    ASSERT_EQ(2u, m_app.m_boxes.size());
    EXPECT_EQ(L"获取路径失败!", m_app.m_boxes[1].strText);
    EXPECT_EQ(UINT(0x10), m_app.m_boxes[1].nType);
}

TEST_F(BrowseForFolderTest, ObjectsCopyAndAssign) {
    CBrowseForFolder a;
    CBrowseForFolder b(a);
    CBrowseForFolder* p = &(b = a);
    EXPECT_EQ(&b, p);
}

} // namespace
