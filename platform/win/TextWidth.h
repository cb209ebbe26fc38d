// How many terminal columns text takes, for drawing aligned tables. Independent of the
// process locale, so a table looks the same whatever the host sets.
#pragma once

#include "platform/win/WinTypes.h"

// 0 for combining marks and other zero-width characters, 2 for East Asian wide and fullwidth
// characters (CJK, Hangul, kana, fullwidth forms, most emoji), 1 otherwise.
int ZqkCharDisplayWidth(wchar_t ch);
// The sum over the string's characters; a null string takes 0.
int ZqkDisplayWidth(LPCWSTR lpsz);
