#include "platform/afx/CWnd.h"

IMPLEMENT_DYNAMIC(CWnd, CObject)

CWnd::~CWnd() {
    if (m_hWnd)
        ::DestroyWindow(m_hWnd);
}

BOOL CWnd::Create(LPCWSTR, LPCWSTR, DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID) {
    if (m_hWnd)
        return FALSE;
    m_hWnd = ZqkCreateWindowHandle();
    m_dwStyle = dwStyle;
    m_rect = rect;
    m_pParentWnd = pParentWnd;
    m_nID = nID;
    return TRUE;
}

BOOL CWnd::DestroyWindow() {
    if (!m_hWnd)
        return FALSE;
    HWND hWnd = m_hWnd;
    m_hWnd = nullptr;
    return ::DestroyWindow(hWnd);
}

void CWnd::GetWindowRect(LPRECT lpRect) const {
    if (lpRect)
        *lpRect = m_rect;
}
