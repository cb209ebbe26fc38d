// The framework's window object: a CWnd owns at most one window handle, from Create until
// DestroyWindow (or its own destruction). Thread safety: a window object belongs to one thread
// at a time; the handle table behind it is process-wide.
#pragma once

#include "platform/afx/CObject.h"
#include "platform/win/WindowHandles.h"
#include "platform/win/WinTypes.h"

struct RECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
};
typedef RECT* LPRECT;
typedef const RECT* LPCRECT;

class CRect : public RECT {
public:
    CRect() : RECT{0, 0, 0, 0} {}
    CRect(int l, int t, int r, int b) : RECT{l, t, r, b} {}
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
};

#define WS_CHILD 0x40000000L
#define WS_VISIBLE 0x10000000L
#define WS_BORDER 0x00800000L

class CWnd : public CObject {
    DECLARE_DYNAMIC(CWnd)
public:
    CWnd() = default;
    // Destroys the window if it still exists.
    ~CWnd() override;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    // Gives the object a new window. FALSE when it already has one.
    virtual BOOL Create(LPCWSTR lpszClassName, LPCWSTR lpszWindowName, DWORD dwStyle,
                        const RECT& rect, CWnd* pParentWnd, UINT nID);
    // Ends the window: afterwards IsWindow(old handle) is FALSE and m_hWnd is null. FALSE when
    // the object had no window.
    virtual BOOL DestroyWindow();

    HWND GetSafeHwnd() const { return m_hWnd; }
    CWnd* GetParent() const { return m_pParentWnd; }
    DWORD GetStyle() const { return m_dwStyle; }
    int GetDlgCtrlID() const { return static_cast<int>(m_nID); }
    void GetWindowRect(LPRECT lpRect) const;

    HWND m_hWnd = nullptr;

protected:
    CWnd* m_pParentWnd = nullptr;
    DWORD m_dwStyle = 0;
    UINT m_nID = 0;
    RECT m_rect{0, 0, 0, 0};
};
