#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/afx/afx.h"
#include "support/RecordingApp.h"

TEST(CWinApp, MessageBoxesGoThroughTheApplicationObject) {
    ASSERT_EQ(nullptr, AfxGetApp());
    testing::internal::CaptureStderr();
    EXPECT_EQ(IDOK, AfxMessageBox(L"nobody to ask \u00e9", MB_YESNO));
    EXPECT_EQ("nobody to ask \xc3\xa9\n", testing::internal::GetCapturedStderr());

    {
        RecordingApp app;
        EXPECT_EQ(&app, AfxGetApp());
        app.m_nAnswer = IDNO;
        EXPECT_EQ(IDNO, AfxMessageBox(L"Delete it?", MB_YESNO | MB_ICONQUESTION, 42));
        app.m_nAnswer = IDOK;
        EXPECT_EQ(IDOK, AfxMessageBox(L"Done."));
        CFileException e(CFileException::fileNotFound, ENOENT, L"a.txt");
        EXPECT_EQ(IDOK, e.ReportError());
        ASSERT_EQ(3u, app.m_boxes.size());
        EXPECT_EQ(L"Delete it?", app.m_boxes[0].strText);
        EXPECT_EQ(static_cast<UINT>(MB_YESNO | MB_ICONQUESTION), app.m_boxes[0].nType);
        EXPECT_EQ(42u, app.m_boxes[0].nIDHelp);
        EXPECT_EQ(L"Done.", app.m_boxes[1].strText);
        EXPECT_EQ(0u, app.m_boxes[1].nType); // MB_OK
        EXPECT_EQ(0u, app.m_boxes[1].nIDHelp);
        EXPECT_EQ(L"The file could not be found. (a.txt)", app.m_boxes[2].strText);
        EXPECT_EQ(static_cast<UINT>(MB_ICONEXCLAMATION), app.m_boxes[2].nType);
    }
    EXPECT_EQ(nullptr, AfxGetApp());
}

TEST(CWinApp, TheNewestApplicationObjectIsCurrent) {
    auto* pOld = new RecordingApp;
    auto* pNew = new RecordingApp;
    EXPECT_EQ(pNew, AfxGetApp());
    AfxMessageBox(L"to the newest");
    EXPECT_EQ(1u, pNew->m_boxes.size());
    EXPECT_TRUE(pOld->m_boxes.empty());
    delete pOld; // an older object going away leaves the current one in place
    EXPECT_EQ(pNew, AfxGetApp());
    delete pNew;
    EXPECT_EQ(nullptr, AfxGetApp());
}

TEST(CWinApp, BaseMessageBoxAnswersTheDefaultButton) {
    CWinApp app(L"zqk");
    EXPECT_STREQ(L"zqk", app.m_strAppName);
    testing::internal::CaptureStderr();
    EXPECT_EQ(IDOK, AfxMessageBox(L"plain"));
    EXPECT_EQ(IDYES, AfxMessageBox(L"q", MB_YESNO));
    EXPECT_EQ(IDNO, AfxMessageBox(L"q", MB_YESNO | MB_DEFBUTTON2 | MB_ICONQUESTION));
    EXPECT_EQ(IDOK, AfxMessageBox(L"q", MB_OKCANCEL));
    EXPECT_EQ(IDCANCEL, AfxMessageBox(L"q", MB_OKCANCEL | MB_DEFBUTTON2));
    EXPECT_EQ(IDCANCEL, AfxMessageBox(L"q", MB_YESNOCANCEL | MB_DEFBUTTON3));
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(0u, err.find("plain\nq\n")); // the text still reaches standard error
}

TEST(CWinApp, WaitCursorAndMainWindow) {
    {
        CWaitCursor nobody; // without an application object: nothing to call
        nobody.Restore();
    }
    EXPECT_EQ(nullptr, AfxGetMainWnd());

    RecordingApp app;
    {
        CWaitCursor outer;
        CWaitCursor inner;
        inner.Restore();
        EXPECT_EQ(2, app.m_nWaitCursorCount); // the base counts nested cursors
    }
    EXPECT_EQ(0, app.m_nWaitCursorCount);
    EXPECT_EQ((std::vector<int>{1, 1, 0, -1, -1}), app.m_waitCodes);

    EXPECT_EQ(nullptr, AfxGetMainWnd());
    CWnd wnd;
    app.m_pMainWnd = &wnd;
    EXPECT_EQ(&wnd, AfxGetMainWnd());
}
