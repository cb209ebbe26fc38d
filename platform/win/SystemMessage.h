// The system's message table for result codes, reached the way Windows programs reach it
// (FormatMessageW). Texts end with "\r\n" as the system's do.
#pragma once

#include <cstdarg>

#include "platform/win/WinTypes.h"

#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200
#define FORMAT_MESSAGE_FROM_STRING 0x00000400
#define FORMAT_MESSAGE_FROM_HMODULE 0x00000800
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000
#define LANG_NEUTRAL 0x00
#define SUBLANG_DEFAULT 0x01
#define MAKELANGID(p, s) ((((WORD)(s)) << 10) | (WORD)(p))

typedef void* HLOCAL;

// Only FORMAT_MESSAGE_FROM_SYSTEM is served. With FORMAT_MESSAGE_ALLOCATE_BUFFER, lpBuffer
// receives a pointer to a buffer that the caller frees with LocalFree. Returns the length
// written (without the terminator), or 0 when the table has no text for the code.
DWORD FormatMessageW(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD dwLanguageId,
                     LPWSTR lpBuffer, DWORD nSize, va_list* Arguments);
HLOCAL LocalFree(HLOCAL hMem);
