// The process's narrow ("ANSI") code page: how narrow strings handed to the framework and COM
// types (CString from char text, archives' narrow strings, %S arguments, _bstr_t's narrow
// form) are read and written. UTF-8 unless the host chooses another one. File names, the
// terminal and the databases stay UTF-8 whatever is chosen.
// Thread safety: the setting is process-wide and may be changed from any thread; conversions
// on several threads at once are safe (each thread keeps its own converters).
#pragma once

#include <string>

#include "platform/win/WinTypes.h"

#define CP_ACP 0
#define CP_UTF8 65001

// The narrow code page now in force (65001 by default).
UINT GetACP();
// Chooses the narrow code page by its Windows number: 65001 (UTF-8), 936 (GBK), 1252
// (Windows Latin-1), and any other Windows code page the system's converter knows (932, 949,
// 950, 1250-1258, ...). FALSE, with the setting unchanged, for one it does not know.
BOOL ZqkSetNarrowCodePage(UINT nCodePage);

// Narrow text in the narrow code page to wide characters; a byte that starts no valid
// character becomes U+FFFD and decoding goes on after it.
std::wstring WinNarrowToWide(const char* pData, size_t nBytes);
// Wide characters to the narrow code page; a character it cannot hold becomes '?'.
std::string WinWideToNarrow(const wchar_t* pData, size_t nChars);
