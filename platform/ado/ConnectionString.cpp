#include "platform/ado/ConnectionString.h"

#include <cwctype>

namespace {

bool IsBlank(wchar_t c) {
    return iswspace(static_cast<wint_t>(c)) != 0;
}

std::wstring Trim(const std::wstring& s) {
    size_t b = 0, e = s.size();
    while (b < e && IsBlank(s[b]))
        ++b;
    while (e > b && IsBlank(s[e - 1]))
        --e;
    return s.substr(b, e - b);
}

} // namespace

bool AdoParseConnectionString(const std::wstring& strText,
                              std::map<std::wstring, std::wstring>* pPairs) {
    pPairs->clear();
    size_t i = 0, n = strText.size();
    while (i < n) {
        size_t nEq = strText.find(L'=', i);
        size_t nSemi = strText.find(L';', i);
        if (nSemi != std::wstring::npos && (nEq == std::wstring::npos || nSemi < nEq)) {
            // An empty piece between separators is allowed; anything else needs a value.
            if (!Trim(strText.substr(i, nSemi - i)).empty())
                return false;
            i = nSemi + 1;
            continue;
        }
        if (nEq == std::wstring::npos)
            return Trim(strText.substr(i)).empty();
        std::wstring strKey = Trim(strText.substr(i, nEq - i));
        if (strKey.empty())
            return false;
        for (wchar_t& c : strKey)
            c = static_cast<wchar_t>(towlower(static_cast<wint_t>(c)));
        i = nEq + 1;
        while (i < n && IsBlank(strText[i]))
            ++i;
        std::wstring strValue;
        if (i < n && (strText[i] == L'\'' || strText[i] == L'"')) {
            wchar_t q = strText[i++];
            for (;;) {
                if (i >= n)
                    return false; // unclosed quote
                if (strText[i] == q) {
                    if (i + 1 < n && strText[i + 1] == q) {
                        strValue += q;
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                strValue += strText[i++];
            }
            while (i < n && IsBlank(strText[i]))
                ++i;
            if (i < n && strText[i] != L';')
                return false;
        } else {
            size_t nEnd = strText.find(L';', i);
            if (nEnd == std::wstring::npos)
                nEnd = n;
            strValue = Trim(strText.substr(i, nEnd - i));
            i = nEnd;
        }
        (*pPairs)[strKey] = strValue;
        if (i < n && strText[i] == L';')
            ++i;
    }
    return true;
}
