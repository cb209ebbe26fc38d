// The connection a command works on: which target the command line and environment name,
// the opened server, the database name the catalogue operations need, and --trace.
#pragma once

#include <string>

#include <zqk_vododuvod.h>

#include "Cli.h"

class CZqkApp;

// Where the connection string came from.
enum class TargetSource { Option, Dsn, Environment, Default };

struct ConnectionTarget {
    TargetSource source = TargetSource::Default;
    std::wstring strConnect; // complete connection string (not for Dsn)
    std::wstring strDsn;
    std::wstring strUser;
    std::wstring strPassword;
};

// Picks the target from the parsed options and the environment (asking for a DSN password
// on the terminal when ZQK_PASSWORD is not set). Raises UsageError for a wrong combination.
ConnectionTarget ResolveTarget(const ParsedArgs& args);

// The value of a key in a connection string (keys without regard to case), or empty.
std::wstring ConnectionStringValue(const std::wstring& strConnect, const std::wstring& strKey);

class Session {
public:
    explicit Session(CZqkApp& app) : m_app(app) {}
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Opens the target; on failure reports it (the library's boxes, then one line) and
    // returns false. Installs the trace when asked.
    bool Open(const ConnectionTarget& target, bool bTrace);

    CZORADORXServer& Server() { return m_server; }
    CZqkApp& App() { return m_app; }
    // The connection's data-access object, for what the exported classes do not read.
    _ConnectionPtr Connection();
    // The target as it may be shown (passwords masked).
    CString DisplayTarget() const;

    // The database the SQL Server catalogue operations name: the embedded database's; null
    // elsewhere, where they read the connection's current database.
    LPCWSTR Database() const {
        return m_strDatabase.IsEmpty() ? nullptr : m_strDatabase.GetString();
    }
    bool IsEmbedded() const { return !m_strDatabase.IsEmpty(); }

    // Whether the database takes SQL Server's dialect and has its catalogue: the embedded
    // database, through its bridge, and SQL Server. Other databases are asked once, quietly.
    bool SpeaksSqlServer();
    // The library's schema operations write SQL Server's dialect (bracketed names, its types,
    // GETDATE()) and read its catalogue (sysobjects, syscolumns). True where they serve;
    // otherwise reports that lpszWhat needs them and returns false.
    bool RequireSqlServerSchema(LPCWSTR lpszWhat);

private:
    CZqkApp& m_app;
    CZORADORXServer m_server;
    ConnectionTarget m_target;
    CString m_strDatabase;
    int m_nHasCatalogue = -1; // not asked yet
    bool m_bTraceInstalled = false;
};

// Opens the session a command's options ask for; false after reporting a failure.
bool OpenSession(Session& session, const ParsedArgs& args);
