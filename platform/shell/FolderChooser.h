// The folder chooser used when the host installs none. Inside the platform only.
#pragma once

#include "platform/afx/CString.h"

// A graphical folder dialog (zenity, kdialog or yad on PATH) when DISPLAY or WAYLAND_DISPLAY is
// set; otherwise a prompt on the terminal when standard input is one (a path; empty text or
// the end of input cancels; a folder that does not exist is asked again; a relative path is
// taken from the current folder); otherwise cancel. true with strPath set for a choice.
bool ZqkDefaultFolderChooser(LPCWSTR lpszTitle, UINT ulFlags, CString& strPath);
