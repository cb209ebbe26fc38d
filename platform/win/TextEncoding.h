// Conversions at the platform's edges. Wide characters are UTF-32 inside; archives and ODBC
// speak UTF-16, the terminal, file names and the narrow ("ANSI") code page speak UTF-8.
#pragma once

#include <string>

#include "platform/win/WinTypes.h"

// Decodes UTF-8; each byte of an invalid sequence becomes U+FFFD, so no input is rejected.
std::wstring WinUtf8ToWide(const char* pData, size_t nBytes);
std::wstring WinUtf8ToWide(const std::string& str);
// The same characters written to pOut, which has room for nBytes of them (never more are
// needed); returns how many were written.
size_t WinUtf8ToWideInto(const char* pData, size_t nBytes, wchar_t* pOut);
// The length WinUtf8ToWide gives the same bytes, without building the string.
size_t WinUtf8WideLength(const char* pData, size_t nBytes);

// The number of bytes below 0x80 that the text starts with (nBytes when all of it is ASCII).
size_t WinAsciiPrefix(const char* pData, size_t nBytes);
// Widens each byte to the character of the same value (ASCII text, where that is decoding);
// pOut has room for nBytes characters.
void WinWidenBytes(const char* pData, size_t nBytes, wchar_t* pOut);

// Encodes UTF-8; a value that is not a Unicode scalar (lone surrogate, above U+10FFFF)
// becomes U+FFFD.
std::string WinWideToUtf8(const wchar_t* pData, size_t nChars);
std::string WinWideToUtf8(const std::wstring& str);
std::string WinWideToUtf8(const wchar_t* psz);

// UTF-16 code units (host byte order). Characters above U+FFFF become surrogate pairs; a lone
// surrogate passes through as its own unit and survives a round trip. A high surrogate
// followed by a low one, held as two wide characters, is in UTF-16 the same two units as the
// character they encode, so it comes back as that one character (as such a pair already is
// one character where wide strings are UTF-16). Every string of Unicode scalar values, and
// every string without such an adjacent pair, survives unchanged.
std::u16string WinWideToUtf16(const wchar_t* pData, size_t nChars);
void WinAppendUtf16AsWide(std::wstring& strOut, const char16_t* pUnits, size_t nUnits);
std::wstring WinUtf16ToWide(const char16_t* pUnits, size_t nUnits);
// Number of UTF-16 code units needed for the characters.
size_t WinUtf16Length(const wchar_t* pData, size_t nChars);
