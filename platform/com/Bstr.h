// Automation strings: length-prefixed, terminated wide strings. A null BSTR is the empty
// string to every reader. Thread safety: any thread may free a string another made; each
// thread keeps its own few freed short blocks for reuse.
#pragma once

#include "platform/com/ComBase.h"

typedef OLECHAR* BSTR;

BSTR SysAllocString(const OLECHAR* psz);
BSTR SysAllocStringLen(const OLECHAR* strIn, UINT ui);
// A string of ui characters that the caller fills (only the terminator is set), for text made
// straight into the string.
BSTR ZqkSysAllocStringUnset(UINT ui);
INT SysReAllocString(BSTR* pbstr, const OLECHAR* psz);
INT SysReAllocStringLen(BSTR* pbstr, const OLECHAR* psz, UINT len);
void SysFreeString(BSTR bstrString);
UINT SysStringLen(BSTR pbstr);
// In bytes of wide characters (4 per character on this platform).
UINT SysStringByteLen(BSTR bstr);
