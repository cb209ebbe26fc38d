// The host's seams: the application object owns message boxes, the wait cursor and the main
// window. A host (or a test) derives its own application object to show, record or answer
// message boxes; without one, AfxMessageBox writes to standard error and answers IDOK.
#pragma once

#include "platform/afx/CObject.h"
#include "platform/afx/CString.h"
#include "platform/afx/CWnd.h"
#include "platform/win/WinTypes.h"

#define MB_OK 0x00000000L
#define MB_OKCANCEL 0x00000001L
#define MB_ABORTRETRYIGNORE 0x00000002L
#define MB_YESNOCANCEL 0x00000003L
#define MB_YESNO 0x00000004L
#define MB_RETRYCANCEL 0x00000005L
#define MB_CANCELTRYCONTINUE 0x00000006L
#define MB_TYPEMASK 0x0000000FL
#define MB_ICONHAND 0x00000010L
#define MB_ICONQUESTION 0x00000020L
#define MB_ICONEXCLAMATION 0x00000030L
#define MB_ICONASTERISK 0x00000040L
#define MB_ICONERROR MB_ICONHAND
#define MB_ICONSTOP MB_ICONHAND
#define MB_ICONWARNING MB_ICONEXCLAMATION
#define MB_ICONINFORMATION MB_ICONASTERISK
#define MB_ICONMASK 0x000000F0L
#define MB_DEFBUTTON1 0x00000000L
#define MB_DEFBUTTON2 0x00000100L
#define MB_DEFBUTTON3 0x00000200L
#define MB_DEFMASK 0x00000F00L

#define IDOK 1
#define IDCANCEL 2
#define IDABORT 3
#define IDRETRY 4
#define IDIGNORE 5
#define IDYES 6
#define IDNO 7
#define IDTRYAGAIN 10
#define IDCONTINUE 11

class CWinApp : public CObject {
    DECLARE_DYNAMIC(CWinApp)
public:
    // Becomes the process's application object (AfxGetApp) until it is destroyed.
    explicit CWinApp(LPCWSTR lpszAppName = nullptr);
    ~CWinApp() override;

    // Every AfxMessageBox goes through here. The default writes the text to standard error
    // and answers the type's default button.
    virtual int DoMessageBox(LPCWSTR lpszPrompt, UINT nType, UINT nIDPrompt);
    // nCode 1 shows the wait cursor (counting), -1 takes one back, 0 restores it.
    virtual void DoWaitCursor(int nCode);

    CWnd* m_pMainWnd = nullptr;
    CString m_strAppName;
    int m_nWaitCursorCount = 0;
};

CWinApp* AfxGetApp();
CWnd* AfxGetMainWnd();

int AfxMessageBox(LPCWSTR lpszText, UINT nType = MB_OK, UINT nIDHelp = 0);

// The button a message box of this type answers when nobody is there to press one.
int AfxDefaultMessageBoxAnswer(UINT nType);

// Shows the wait cursor for its lifetime.
class CWaitCursor {
public:
    CWaitCursor();
    ~CWaitCursor();
    void Restore();

    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;
};
