#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/afx/CWinApp.h"
#include "platform/com/ComObject.h"
#include "server/ComErrorReport.h"
#include "support/RecordingApp.h"

namespace {

// An error as a failed data-access call leaves it: code plus the provider's description.
_com_error ErrorWithInfo(HRESULT hr, LPCOLESTR pszSource, LPCOLESTR pszDescription) {
    EXPECT_EQ(S_OK, ZqkSetErrorInfo(pszSource, pszDescription));
    IErrorInfo* pInfo = nullptr;
    EXPECT_EQ(S_OK, GetErrorInfo(0, &pInfo));
    return _com_error(hr, pInfo);
}

} // namespace

TEST(ComErrorReport, TextWithoutErrorInformation) {
    _com_error e(E_POINTER);
    EXPECT_STREQ(L"Error:\n\tCode = 80004003\n\tCode meaning = Invalid pointer\n"
                 L"\tSource = (null)\n\tDescription = (null)\n",
                 FormatComErrorReport(e));

    // Codes without system text: lower-case padded code, the fallback meanings.
    _com_error dispatch(static_cast<HRESULT>(0x80040E14));
    EXPECT_STREQ(L"Error:\n\tCode = 80040e14\n\tCode meaning = IDispatch error #3092\n"
                 L"\tSource = (null)\n\tDescription = (null)\n",
                 FormatComErrorReport(dispatch));
    _com_error unknown(static_cast<HRESULT>(0x80040200));
    EXPECT_STREQ(L"Error:\n\tCode = 80040200\n\tCode meaning = Unknown error 0x80040200\n"
                 L"\tSource = (null)\n\tDescription = (null)\n",
                 FormatComErrorReport(unknown));
    _com_error small(0x2A);
    EXPECT_STREQ(L"Error:\n\tCode = 0000002a\n\tCode meaning = Unknown error 0x2A\n"
                 L"\tSource = (null)\n\tDescription = (null)\n",
                 FormatComErrorReport(small));
}

TEST(ComErrorReport, TextWithErrorInformation) {
    _com_error e = ErrorWithInfo(static_cast<HRESULT>(0x80040E14), L"Microsoft OLE DB Provider",
                                 L"Incorrect syntax near 'SELEC'.");
    EXPECT_STREQ(L"Error:\n\tCode = 80040e14\n\tCode meaning = IDispatch error #3092\n"
                 L"\tSource = Microsoft OLE DB Provider\n"
                 L"\tDescription = Incorrect syntax near 'SELEC'.\n",
                 FormatComErrorReport(e));

    // Only one of the two present; the other is still an absent string.
    _com_error partial = ErrorWithInfo(E_FAIL, L"Zqk.Provider", nullptr);
    EXPECT_STREQ(L"Error:\n\tCode = 80004005\n\tCode meaning = Unspecified error\n"
                 L"\tSource = Zqk.Provider\n\tDescription = (null)\n",
                 FormatComErrorReport(partial));

    // Building the report neither consumes nor leaks the error information.
    IErrorInfo* pInfo = e.ErrorInfo();
    EXPECT_EQ(2u, ComRefCount(pInfo));
    pInfo->Release();
}

TEST(ComErrorReport, ShowsExactlyOneBoxOnlyWhenAsked) {
    RecordingApp app;
    _com_error e(E_POINTER);
    ReportComError(e, false);
    EXPECT_TRUE(app.m_boxes.empty());

    ReportComError(e, true);
    ASSERT_EQ(1u, app.m_boxes.size());
    EXPECT_EQ(L"Error:\n\tCode = 80004003\n\tCode meaning = Invalid pointer\n"
              L"\tSource = (null)\n\tDescription = (null)\n",
              app.m_boxes[0].strText);
    EXPECT_EQ(0u, app.m_boxes[0].nType);
    EXPECT_EQ(0u, app.m_boxes[0].nIDHelp);

    _com_error withInfo = ErrorWithInfo(E_INVALIDARG, L"Src", L"Desc");
    ReportComError(withInfo, true);
    ASSERT_EQ(2u, app.m_boxes.size());
    EXPECT_EQ(L"Error:\n\tCode = 80070057\n\tCode meaning = The parameter is incorrect.\n"
              L"\tSource = Src\n\tDescription = Desc\n",
              app.m_boxes[1].strText);
}
