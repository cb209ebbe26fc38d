#include "App.h"

#include <cwctype>

#include "Output.h"

namespace {

// Where a password key ("pwd" or "password", any case, not inside a longer word) followed by
// '=' starts at nAt: the range of its value, or false.
bool PasswordValueAt(const std::wstring& str, size_t nAt, size_t* pnValue, size_t* pnEnd) {
    static const wchar_t* const kKeys[] = {L"password", L"pwd"};
    if (nAt > 0 && std::iswalnum(str[nAt - 1]))
        return false;
    for (const wchar_t* pszKey : kKeys) {
        size_t n = 0;
        while (pszKey[n] && nAt + n < str.size() &&
               static_cast<wchar_t>(std::towlower(str[nAt + n])) == pszKey[n])
            ++n;
        if (pszKey[n] != 0)
            continue;
        size_t j = nAt + n;
        while (j < str.size() && (str[j] == L' ' || str[j] == L'\t'))
            ++j;
        if (j >= str.size() || str[j] != L'=')
            continue;
        ++j;
        while (j < str.size() && (str[j] == L' ' || str[j] == L'\t'))
            ++j;
        size_t nEnd = j;
        if (j < str.size() && (str[j] == L'"' || str[j] == L'\'')) {
            size_t nClose = str.find(str[j], j + 1);
            nEnd = nClose == std::wstring::npos ? str.size() : nClose + 1;
        } else {
            nEnd = str.find_first_of(L";\r\n", j);
            if (nEnd == std::wstring::npos)
                nEnd = str.size();
        }
        *pnValue = j;
        *pnEnd = nEnd;
        return true;
    }
    return false;
}

CZqkApp* g_pApp = nullptr;

} // namespace

void Redactor::AddSecret(const std::wstring& strSecret) {
    if (!strSecret.empty())
        m_secrets.push_back(strSecret);
}

CString Redactor::MaskConnectionString(LPCWSTR lpszConnect) {
    std::wstring str = lpszConnect ? lpszConnect : L"";
    for (size_t nAt = 0; nAt < str.size(); ++nAt) {
        size_t nValue = 0, nEnd = 0;
        if (PasswordValueAt(str, nAt, &nValue, &nEnd) && nEnd > nValue) {
            str.replace(nValue, nEnd - nValue, L"***");
            nAt = nValue + 2;
        }
    }
    return CString(str.c_str());
}

CString Redactor::Redact(LPCWSTR lpszText, TextKind kind) const {
    std::wstring str = lpszText ? lpszText : L"";
    for (const std::wstring& strSecret : m_secrets) {
        if (strSecret.size() < kMinLiteralLength)
            continue;
        for (size_t nAt = str.find(strSecret); nAt != std::wstring::npos;
             nAt = str.find(strSecret, nAt + 3))
            str.replace(nAt, strSecret.size(), L"***");
    }
    // A driver may echo a connection string in its messages; SQL keeps its own text.
    if (kind == TextKind::Message)
        return MaskConnectionString(str.c_str());
    return CString(str.c_str());
}

CZqkApp::CZqkApp() : CWinApp(L"zqk") {
    g_pApp = this;
}

CZqkApp& TheApp() {
    return *g_pApp;
}

const char* CZqkApp::BoxKind(UINT nType) {
    switch (nType & MB_ICONMASK) {
    case MB_ICONHAND:
        return "error";
    case MB_ICONEXCLAMATION:
        return "warning";
    case MB_ICONQUESTION:
        return "question";
    case MB_ICONASTERISK:
        return "information";
    default:
        return "message";
    }
}

int CZqkApp::DoMessageBox(LPCWSTR lpszPrompt, UINT nType, UINT /*nIDPrompt*/) {
    CString strText = m_redactor.Redact(lpszPrompt, Redactor::TextKind::Message);
    m_boxes.push_back(strText);
    if (!m_bQuiet) {
        CString strLine = CString(L"[") + CString(BoxKind(nType)) + L"] " + strText;
        if (strLine.IsEmpty() || strLine[strLine.GetLength() - 1] != L'\n')
            strLine += L'\n';
        WriteErr(strLine);
    }
    // Nobody is there to press a button: the box answers as if its default were pressed.
    return AfxDefaultMessageBoxAnswer(nType);
}

std::vector<CString> CZqkApp::BoxesSince(size_t nMark) const {
    if (nMark >= m_boxes.size())
        return {};
    return std::vector<CString>(m_boxes.begin() + static_cast<long>(nMark), m_boxes.end());
}
