#include "platform/com/Bstr.h"

#include <cstdlib>
#include <cwchar>

namespace {

// The length sits in front of the characters, as the string's header.
struct BstrHeader {
    size_t nChars;
};

BstrHeader* Header(BSTR bstr) {
    return reinterpret_cast<BstrHeader*>(bstr) - 1;
}

} // namespace

BSTR SysAllocStringLen(const OLECHAR* strIn, UINT ui) {
    void* p = std::malloc(sizeof(BstrHeader) + (static_cast<size_t>(ui) + 1) * sizeof(OLECHAR));
    if (p == nullptr)
        return nullptr;
    auto* pHeader = static_cast<BstrHeader*>(p);
    pHeader->nChars = ui;
    auto* psz = reinterpret_cast<BSTR>(pHeader + 1);
    if (strIn)
        wmemcpy(psz, strIn, ui);
    else
        wmemset(psz, 0, ui);
    psz[ui] = 0;
    return psz;
}

BSTR SysAllocString(const OLECHAR* psz) {
    if (psz == nullptr)
        return nullptr;
    return SysAllocStringLen(psz, static_cast<UINT>(wcslen(psz)));
}

INT SysReAllocStringLen(BSTR* pbstr, const OLECHAR* psz, UINT len) {
    if (pbstr == nullptr)
        return FALSE;
    BSTR bstrNew = SysAllocStringLen(psz, len);
    if (bstrNew == nullptr)
        return FALSE;
    SysFreeString(*pbstr);
    *pbstr = bstrNew;
    return TRUE;
}

INT SysReAllocString(BSTR* pbstr, const OLECHAR* psz) {
    return SysReAllocStringLen(pbstr, psz, psz ? static_cast<UINT>(wcslen(psz)) : 0);
}

void SysFreeString(BSTR bstrString) {
    if (bstrString)
        std::free(Header(bstrString));
}

UINT SysStringLen(BSTR pbstr) {
    return pbstr ? static_cast<UINT>(Header(pbstr)->nChars) : 0;
}

UINT SysStringByteLen(BSTR bstr) {
    return SysStringLen(bstr) * static_cast<UINT>(sizeof(OLECHAR));
}
