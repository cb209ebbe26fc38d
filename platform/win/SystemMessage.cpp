#include "platform/win/SystemMessage.h"

#include <cstdlib>
#include <cwchar>

namespace {

struct CMessage {
    DWORD nCode;
    const wchar_t* pszText;
};

// The usual system codes a COM program meets.
const CMessage kMessages[] = {
    {0x00000000, L"The operation completed successfully.\r\n"},
    {0x00000001, L"Incorrect function.\r\n"},
    {0x80004001, L"Not implemented\r\n"},
    {0x80004002, L"No such interface supported\r\n"},
    {0x80004003, L"Invalid pointer\r\n"},
    {0x80004004, L"Operation aborted\r\n"},
    {0x80004005, L"Unspecified error\r\n"},
    {0x8000FFFF, L"Catastrophic failure\r\n"},
    {0x80070002, L"The system cannot find the file specified.\r\n"},
    {0x80070003, L"The system cannot find the path specified.\r\n"},
    {0x80070005, L"Access is denied.\r\n"},
    {0x80070006, L"The handle is invalid.\r\n"},
    {0x8007000E, L"Not enough storage is available to complete this operation.\r\n"},
    {0x80070057, L"The parameter is incorrect.\r\n"},
    {0x80040110, L"Class does not support aggregation (or class object is remote)\r\n"},
    {0x80040154, L"Class not registered\r\n"},
    {0x800401F0, L"CoInitialize has not been called.\r\n"},
    {0x800401F3, L"Invalid class string\r\n"},
    {0x80020001, L"Unknown interface.\r\n"},
    {0x80020003, L"Member not found.\r\n"},
    {0x80020004, L"Parameter not found.\r\n"},
    {0x80020005, L"Type mismatch.\r\n"},
    {0x80020006, L"Unknown name.\r\n"},
    {0x80020008, L"Bad variable type.\r\n"},
    {0x80020009, L"Exception occurred.\r\n"},
    {0x8002000A, L"Out of present range.\r\n"},
    {0x8002000B, L"Invalid index.\r\n"},
    {0x8002000D, L"Memory is locked.\r\n"},
    {0x8002000E, L"Invalid number of parameters.\r\n"},
    {0x8002000F, L"Parameter not optional.\r\n"},
    {0x80020012, L"Division by zero.\r\n"},
    {0x80028CA0, L"Type mismatch.\r\n"},
};

} // namespace

DWORD FormatMessageW(DWORD dwFlags, LPCVOID, DWORD dwMessageId, DWORD, LPWSTR lpBuffer, DWORD nSize,
                     va_list*) {
    if (!(dwFlags & FORMAT_MESSAGE_FROM_SYSTEM) || lpBuffer == nullptr)
        return 0;
    const wchar_t* pszText = nullptr;
    for (const CMessage& m : kMessages)
        if (m.nCode == dwMessageId)
            pszText = m.pszText;
    if (pszText == nullptr)
        return 0;
    size_t n = wcslen(pszText);
    if (dwFlags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
        auto* p = static_cast<wchar_t*>(std::malloc((n + 1) * sizeof(wchar_t)));
        if (p == nullptr)
            return 0;
        wmemcpy(p, pszText, n + 1);
        *reinterpret_cast<LPWSTR*>(lpBuffer) = p;
        return static_cast<DWORD>(n);
    }
    if (nSize <= n)
        return 0;
    wmemcpy(lpBuffer, pszText, n + 1);
    return static_cast<DWORD>(n);
}

HLOCAL LocalFree(HLOCAL hMem) {
    std::free(hMem);
    return nullptr;
}
