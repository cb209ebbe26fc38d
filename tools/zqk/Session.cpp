#include "Session.h"

#include <cstdio>
#include <cstdlib>
#include <cwctype>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include "App.h"
#include "Output.h"

namespace {

std::wstring Widen(const std::string& str) {
    return std::wstring(CString(str.c_str()).GetString());
}

std::wstring Lower(std::wstring str) {
    for (wchar_t& ch : str)
        ch = static_cast<wchar_t>(std::towlower(ch));
    return str;
}

std::wstring Trim(const std::wstring& str) {
    size_t nFirst = str.find_first_not_of(L" \t");
    if (nFirst == std::wstring::npos)
        return std::wstring();
    return str.substr(nFirst, str.find_last_not_of(L" \t") - nFirst + 1);
}

// Reads a line from the terminal with echo off; false when there is no terminal.
bool AskPassword(const std::wstring& strPrompt, std::wstring* pstrPassword) {
    int fd = ::open("/dev/tty", O_RDWR | O_NOCTTY);
    if (fd < 0)
        return false;
    // Echo goes off before the prompt shows, so nothing typed after it is echoed or lost.
    termios saved{};
    bool bRestore = ::tcgetattr(fd, &saved) == 0;
    if (bRestore) {
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        ::tcsetattr(fd, TCSAFLUSH, &quiet);
    }
    std::string strPromptUtf8 = ToUtf8(strPrompt.c_str());
    ssize_t nIgnored = ::write(fd, strPromptUtf8.data(), strPromptUtf8.size());
    std::string strLine;
    char ch = 0;
    while (::read(fd, &ch, 1) == 1 && ch != '\n')
        strLine += ch;
    if (bRestore)
        ::tcsetattr(fd, TCSAFLUSH, &saved);
    nIgnored = ::write(fd, "\n", 1);
    (void)nIgnored;
    ::close(fd);
    if (!strLine.empty() && strLine.back() == '\r')
        strLine.pop_back();
    *pstrPassword = Widen(strLine);
    return true;
}

// The database a SQLite target's SQL names: its Initial Catalog, else the file's name
// without folder and extension, "main" for a memory database.
std::wstring SqliteDatabaseName(const std::wstring& strConnect) {
    std::wstring strCatalog = ConnectionStringValue(strConnect, L"initial catalog");
    if (!strCatalog.empty())
        return strCatalog;
    std::wstring strSource = ConnectionStringValue(strConnect, L"data source");
    if (strSource.empty() || strSource == L":memory:")
        return L"main";
    size_t nSlash = strSource.find_last_of(L"/\\");
    std::wstring strName = nSlash == std::wstring::npos ? strSource : strSource.substr(nSlash + 1);
    size_t nDot = strName.rfind(L'.');
    return nDot == std::wstring::npos || nDot == 0 ? strName : strName.substr(0, nDot);
}

} // namespace

std::wstring ConnectionStringValue(const std::wstring& strConnect, const std::wstring& strKey) {
    std::wstring strWanted = Lower(strKey);
    size_t nPos = 0;
    while (nPos < strConnect.size()) {
        size_t nEq = strConnect.find(L'=', nPos);
        if (nEq == std::wstring::npos)
            break;
        std::wstring strName = Lower(Trim(strConnect.substr(nPos, nEq - nPos)));
        size_t nValue = strConnect.find_first_not_of(L" \t", nEq + 1);
        std::wstring strValue;
        size_t nNext = std::wstring::npos;
        if (nValue != std::wstring::npos &&
            (strConnect[nValue] == L'"' || strConnect[nValue] == L'\'')) {
            size_t nClose = strConnect.find(strConnect[nValue], nValue + 1);
            strValue =
                strConnect.substr(nValue + 1, nClose == std::wstring::npos ? std::wstring::npos
                                                                           : nClose - nValue - 1);
            nNext = nClose == std::wstring::npos ? nClose : strConnect.find(L';', nClose);
        } else {
            nNext = strConnect.find(L';', nEq);
            strValue = Trim(strConnect.substr(
                nEq + 1, nNext == std::wstring::npos ? std::wstring::npos : nNext - nEq - 1));
        }
        if (strName == strWanted)
            return strValue;
        if (nNext == std::wstring::npos)
            break;
        nPos = nNext + 1;
    }
    return std::wstring();
}

ConnectionTarget ResolveTarget(const ParsedArgs& args) {
    ConnectionTarget target;
    bool bDsn = args.Has("dsn") || args.Has("user");
    if (args.Has("connect") && bDsn)
        throw UsageError("give either -c STRING or -d NAME -u NAME, not both");
    if (args.Has("connect")) {
        target.source = TargetSource::Option;
        target.strConnect = Widen(args.Value("connect"));
        return target;
    }
    if (bDsn) {
        if (!args.Has("dsn") || !args.Has("user"))
            throw UsageError("a data source needs both -d NAME and -u NAME");
        target.source = TargetSource::Dsn;
        target.strDsn = Widen(args.Value("dsn"));
        target.strUser = Widen(args.Value("user"));
        if (const char* pszPassword = std::getenv("ZQK_PASSWORD")) {
            target.strPassword = Widen(pszPassword);
        } else {
            // Without a terminal the password stays empty, as for a data source without one.
            AskPassword(L"Password for " + target.strUser + L"@" + target.strDsn + L": ",
                        &target.strPassword);
        }
        return target;
    }
    const char* pszEnv = std::getenv("ZQK_CONNECT");
    if (pszEnv && *pszEnv) {
        target.source = TargetSource::Environment;
        target.strConnect = Widen(pszEnv);
        return target;
    }
    target.source = TargetSource::Default;
    target.strConnect = L"Provider=SQLite; Data Source=zqk.db; Initial Catalog=zqk";
    return target;
}

Session::~Session() {
    if (m_bTraceInstalled)
        AdoSetCommandTrace(nullptr);
}

bool Session::Open(const ConnectionTarget& target, bool bTrace) {
    m_target = target;
    Redactor& secrets = m_app.Secrets();
    secrets.AddSecret(target.strPassword);
    secrets.AddSecret(ConnectionStringValue(target.strConnect, L"pwd"));
    secrets.AddSecret(ConnectionStringValue(target.strConnect, L"password"));
    if (bTrace) {
        CZqkApp* pApp = &m_app;
        AdoSetCommandTrace([pApp](LPCWSTR lpszText) {
            WriteErr(L"trace: " + pApp->Secrets().Redact(lpszText, Redactor::TextKind::Statement) +
                     L"\n");
        });
        m_bTraceInstalled = true;
    }
    int nOpened = 0;
    if (target.source == TargetSource::Dsn) {
        nOpened =
            m_server.InitADOServer(target.strDsn.c_str(), target.strUser.c_str(),
                                   target.strPassword.c_str(), adModeUnknown, adConnectUnspecified);
    } else {
        nOpened = m_server.InitADOServer(target.strConnect.c_str(), true, adConnectUnspecified);
    }
    if (nOpened != 1) {
        ReportProblem(L"cannot open " + DisplayTarget());
        return false;
    }
    // Only the embedded provider is known to speak SQL Server's catalogue (through its
    // bridge); other providers are described through their schema rowsets.
    std::wstring strProvider = Lower(ConnectionStringValue(target.strConnect, L"provider"));
    if (target.source != TargetSource::Dsn && strProvider == L"sqlite")
        m_strDatabase = SqliteDatabaseName(target.strConnect).c_str();
    return true;
}

bool Session::SpeaksSqlServer() {
    if (IsEmbedded())
        return true;
    if (m_nHasCatalogue < 0) {
        // SQL Server keeps sysobjects in every database; a database without it refuses the
        // question, and that refusal is an answer, not a failure to show.
        size_t nMark = m_app.BoxCount();
        bool bWasQuiet = m_app.IsQuiet();
        m_app.SetQuiet(true);
        CString strCount;
        m_server.GetSelData(L"SELECT COUNT(*) FROM sysobjects WHERE 1 = 0", strCount);
        m_app.SetQuiet(bWasQuiet);
        m_nHasCatalogue = m_app.BoxCount() == nMark ? 1 : 0;
    }
    return m_nHasCatalogue == 1;
}

bool Session::RequireSqlServerSchema(LPCWSTR lpszWhat) {
    if (SpeaksSqlServer())
        return true;
    ReportProblem(CString(lpszWhat) +
                  L" needs the embedded database or SQL Server, whose catalogue and dialect it "
                  L"uses; this database is neither (use 'zqk sql' with its own statements)");
    return false;
}

_ConnectionPtr Session::Connection() {
    IDispatch* pDispatch = m_server.GetConnectionPtr();
    _ConnectionPtr pConnection(pDispatch);
    if (pDispatch)
        pDispatch->Release();
    return pConnection;
}

CString Session::DisplayTarget() const {
    if (m_target.source == TargetSource::Dsn)
        return CString(
            (L"DSN=" + m_target.strDsn + L"; UID=" + m_target.strUser + L"; PWD=***").c_str());
    return m_app.Secrets().Redact(Redactor::MaskConnectionString(m_target.strConnect.c_str()),
                                  Redactor::TextKind::Message);
}

bool OpenSession(Session& session, const ParsedArgs& args) {
    return session.Open(ResolveTarget(args), args.Has("trace"));
}
