// Automation strings: length-prefixed, terminated wide strings. A null BSTR is the empty
// string to every reader.
#pragma once

#include "platform/com/ComBase.h"

typedef OLECHAR* BSTR;

BSTR SysAllocString(const OLECHAR* psz);
BSTR SysAllocStringLen(const OLECHAR* strIn, UINT ui);
INT SysReAllocString(BSTR* pbstr, const OLECHAR* psz);
INT SysReAllocStringLen(BSTR* pbstr, const OLECHAR* psz, UINT len);
void SysFreeString(BSTR bstrString);
UINT SysStringLen(BSTR pbstr);
// In bytes of wide characters (4 per character on this platform).
UINT SysStringByteLen(BSTR bstr);
