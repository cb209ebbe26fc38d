#include "platform/ado/odbc/OdbcSession.h"

#include <algorithm>
#include <cwchar>
#include <cwctype>

#include "platform/win/TextEncoding.h"

namespace {

const wchar_t kSource[] = L"ODBC";
const wchar_t kMask[] = L"********";
const size_t kShortestMaskedAnywhere = 4;

struct CStateRule {
    const wchar_t* pszPrefix;
    HRESULT hr;
};

// First match wins; longer prefixes stand before the classes they refine.
const CStateRule kStatementRules[] = {
    {L"08", E_FAIL},                  // the connection is gone
    {L"57P", E_FAIL},                 // the server shut down or cancelled the session
    {L"HYT", E_FAIL},                 // a timeout
    {L"23", DB_E_INTEGRITYVIOLATION}, // constraint violations
    {L"42", DB_E_ERRORSINCOMMAND},    // syntax errors and access rules
};

bool StartsWith(const std::wstring& s, const wchar_t* pszPrefix) {
    return s.compare(0, std::wcslen(pszPrefix), pszPrefix) == 0;
}

std::wstring Lower(std::wstring s) {
    for (wchar_t& c : s)
        c = static_cast<wchar_t>(towlower(static_cast<wint_t>(c)));
    return s;
}

// Masks what follows "pwd=" or "password=" up to the next ';' (or the closing brace).
std::wstring MaskKeyValues(std::wstring text) {
    std::wstring lower = Lower(text);
    for (const wchar_t* pszKey : {L"pwd", L"password"}) {
        size_t nFrom = 0;
        for (;;) {
            size_t nKey = lower.find(pszKey, nFrom);
            if (nKey == std::wstring::npos)
                break;
            size_t i = nKey + std::wcslen(pszKey);
            while (i < lower.size() && lower[i] == L' ')
                ++i;
            nFrom = i;
            if (i >= lower.size() || lower[i] != L'=')
                continue;
            ++i;
            while (i < lower.size() && lower[i] == L' ')
                ++i;
            size_t nEnd = i;
            if (nEnd < lower.size() && lower[nEnd] == L'{')
                nEnd = lower.find(L'}', nEnd);
            else
                nEnd = lower.find(L';', nEnd);
            if (nEnd == std::wstring::npos)
                nEnd = lower.size();
            else if (lower[nEnd] == L'}')
                ++nEnd;
            if (nEnd > i) {
                text.replace(i, nEnd - i, kMask);
                lower.replace(i, nEnd - i, kMask);
            }
            nFrom = i + std::wcslen(kMask);
        }
    }
    return text;
}

} // namespace

HRESULT OdbcResultForState(const std::wstring& strState, EOdbcFailure nFailure) {
    if (nFailure == EOdbcFailure::kConnect)
        return E_FAIL;
    // A table that is not there: SQL's own state and PostgreSQL's.
    if (nFailure == EOdbcFailure::kOpenTable && (strState == L"42S02" || strState == L"42P01"))
        return DB_E_NOTABLE;
    for (const CStateRule& rule : kStatementRules)
        if (StartsWith(strState, rule.pszPrefix))
            return rule.hr;
    return DB_E_ERRORSINCOMMAND;
}

std::wstring OdbcMaskSecret(const std::wstring& strText, const std::wstring& strSecret) {
    std::wstring text = MaskKeyValues(strText);
    if (strSecret.size() < kShortestMaskedAnywhere)
        return text;
    for (size_t i = text.find(strSecret); i != std::wstring::npos;
         i = text.find(strSecret, i + std::wcslen(kMask)))
        text.replace(i, strSecret.size(), kMask);
    return text;
}

void COdbcSession::RemoveCursor(CAdoCursor* pCursor) {
    m_cursors.erase(std::remove(m_cursors.begin(), m_cursors.end(), pCursor), m_cursors.end());
}

void COdbcSession::Disconnect() {
    std::vector<CAdoCursor*> cursors;
    cursors.swap(m_cursors);
    for (CAdoCursor* p : cursors)
        p->Detach();
    if (m_bConnected) {
        // A transaction still open is given up, as closing a connection does everywhere.
        if (m_bInTransaction)
            SQLEndTran(SQL_HANDLE_DBC, m_dbc.Get(), SQL_ROLLBACK);
        SQLDisconnect(m_dbc.Get());
    }
    m_bConnected = false;
    m_bInTransaction = false;
    m_dbc.Free();
    m_env.Free();
}

CAdoError COdbcSession::Error(HRESULT hr, const std::wstring& strDescription) const {
    return CAdoError::Make(hr, OdbcMaskSecret(strDescription, m_strSecret), kSource);
}

CAdoError COdbcSession::Error(SQLSMALLINT nHandleType, SQLHANDLE h, EOdbcFailure nFailure) const {
    std::wstring strState, strText;
    long nNative = 0;
    bool bFound = false;
    SQLWCHAR szState[6];
    SQLINTEGER nRecordNative = 0;
    std::u16string message(1024, u'\0');
    for (SQLSMALLINT nRecord = 1;; ++nRecord) {
        SQLSMALLINT nLength = 0;
        SQLRETURN rc =
            SQLGetDiagRecW(nHandleType, h, nRecord, szState, &nRecordNative, message.data(),
                           static_cast<SQLSMALLINT>(message.size()), &nLength);
        if (rc == SQL_SUCCESS_WITH_INFO && nLength >= static_cast<SQLSMALLINT>(message.size())) {
            message.assign(static_cast<size_t>(nLength) + 1, u'\0');
            --nRecord; // the same record again, with room for all of it
            continue;
        }
        if (!OdbcOk(rc))
            break;
        std::wstring state = OdbcWide(szState, 5);
        std::wstring text = OdbcWide(message.data(), nLength);
        // Trailing line ends some drivers add carry nothing.
        while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r'))
            text.pop_back();
        // Warnings (class 01) only describe; the error records decide.
        if (StartsWith(state, L"01"))
            continue;
        if (!bFound) {
            strState = state;
            nNative = nRecordNative;
            bFound = true;
        } else {
            strText += L"\n";
        }
        strText += text;
    }
    if (!bFound) {
        strState = L"HY000";
        strText = L"The ODBC driver reported a failure without describing it.";
    }
    return CAdoError::Make(OdbcResultForState(strState, nFailure),
                           OdbcMaskSecret(strText, m_strSecret), kSource, nNative);
}

std::u16string OdbcText(const std::wstring& str) {
    return WinWideToUtf16(str.data(), str.size());
}

std::wstring OdbcWide(const SQLWCHAR* pUnits, SQLLEN nUnits) {
    if (pUnits == nullptr)
        return std::wstring();
    size_t n = 0;
    if (nUnits == SQL_NTS) {
        while (pUnits[n])
            ++n;
    } else {
        // Up to the first null within the count: some drivers count the terminator.
        while (n < static_cast<size_t>(nUnits) && pUnits[n])
            ++n;
    }
    return WinUtf16ToWide(pUnits, n);
}
