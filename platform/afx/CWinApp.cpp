#include "platform/afx/CWinApp.h"

#include <atomic>
#include <cstdio>

#include "platform/win/TextEncoding.h"

IMPLEMENT_DYNAMIC(CWinApp, CObject)

namespace {

std::atomic<CWinApp*> g_pApp{nullptr};

void WriteToStandardError(LPCWSTR lpszText) {
    std::string s = WinWideToUtf8(lpszText ? lpszText : L"");
    s += '\n';
    std::fwrite(s.data(), 1, s.size(), stderr);
    std::fflush(stderr);
}

} // namespace

CWinApp::CWinApp(LPCWSTR lpszAppName) : m_strAppName(lpszAppName) {
    g_pApp.store(this);
}

CWinApp::~CWinApp() {
    CWinApp* pThis = this;
    g_pApp.compare_exchange_strong(pThis, nullptr);
}

int CWinApp::DoMessageBox(LPCWSTR lpszPrompt, UINT nType, UINT) {
    WriteToStandardError(lpszPrompt);
    return AfxDefaultMessageBoxAnswer(nType);
}

void CWinApp::DoWaitCursor(int nCode) {
    if (nCode == 0)
        return;
    m_nWaitCursorCount += nCode > 0 ? 1 : -1;
    if (m_nWaitCursorCount < 0)
        m_nWaitCursorCount = 0;
}

CWinApp* AfxGetApp() {
    return g_pApp.load();
}

CWnd* AfxGetMainWnd() {
    CWinApp* pApp = AfxGetApp();
    return pApp ? pApp->m_pMainWnd : nullptr;
}

int AfxDefaultMessageBoxAnswer(UINT nType) {
    static const int kButtons[][3] = {
        {IDOK, IDOK, IDOK},                 // MB_OK
        {IDOK, IDCANCEL, IDCANCEL},         // MB_OKCANCEL
        {IDABORT, IDRETRY, IDIGNORE},       // MB_ABORTRETRYIGNORE
        {IDYES, IDNO, IDCANCEL},            // MB_YESNOCANCEL
        {IDYES, IDNO, IDNO},                // MB_YESNO
        {IDRETRY, IDCANCEL, IDCANCEL},      // MB_RETRYCANCEL
        {IDCANCEL, IDTRYAGAIN, IDCONTINUE}, // MB_CANCELTRYCONTINUE
    };
    UINT nKind = nType & MB_TYPEMASK;
    UINT nDefault = (nType & MB_DEFMASK) >> 8;
    if (nKind >= sizeof kButtons / sizeof kButtons[0])
        nKind = 0;
    if (nDefault > 2)
        nDefault = 0;
    return kButtons[nKind][nDefault];
}

int AfxMessageBox(LPCWSTR lpszText, UINT nType, UINT nIDHelp) {
    if (CWinApp* pApp = AfxGetApp())
        return pApp->DoMessageBox(lpszText, nType, nIDHelp);
    WriteToStandardError(lpszText);
    return IDOK;
}

CWaitCursor::CWaitCursor() {
    if (CWinApp* pApp = AfxGetApp())
        pApp->DoWaitCursor(1);
}

CWaitCursor::~CWaitCursor() {
    if (CWinApp* pApp = AfxGetApp())
        pApp->DoWaitCursor(-1);
}

void CWaitCursor::Restore() {
    if (CWinApp* pApp = AfxGetApp())
        pApp->DoWaitCursor(0);
}
