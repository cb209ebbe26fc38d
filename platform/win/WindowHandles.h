// Window handles: a handle exists from its creation until DestroyWindow, and IsWindow answers
// exactly that. There is no drawing here; the framework's window objects own the handles.
// Thread safety: the handle table is process-wide and safe to use from any thread.
#pragma once

#include "platform/win/WinTypes.h"

// A new handle that no other window has had in this process.
HWND ZqkCreateWindowHandle();
// Ends the handle's life: TRUE when it was a window, FALSE (nothing happens) otherwise.
BOOL DestroyWindow(HWND hWnd);
// TRUE (exactly 1) for a handle between its creation and its destruction, else FALSE.
BOOL IsWindow(HWND hWnd);
