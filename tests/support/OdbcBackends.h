// What the ODBC tests share: the private driver and data-source definitions and the PostgreSQL
// cluster that the "odbc" test fixture started (tests/support/odbc-backends.sh), and a fresh
// database on each back end for one test.
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/ado/AdoInterfaces.h"
#include "support/TempDir.h"

#ifndef ZQK_ODBC_DIR
#error "ODBC tests are built with ZQK_ODBC_DIR, the folder the odbc fixture makes"
#endif

// PostgreSQL's ODBC driver keeps a few hundred bytes for good after some failed statements
// (inside the driver, whose handles are all freed); the leak checker of sanitizer builds is
// told so, and nothing else.
extern "C" __attribute__((used)) inline const char* __lsan_default_suppressions() {
    return "leak:psqlodbcw.so\n";
}

// The fixture's folder; the driver manager is pointed at its definitions before first use.
inline const std::string& OdbcFolder() {
    static const std::string folder = [] {
        std::string dir = ZQK_ODBC_DIR;
        setenv("ODBCSYSINI", dir.c_str(), 1);
        setenv("ODBCINI", (dir + "/odbc.ini").c_str(), 1);
        return dir;
    }();
    return folder;
}

inline std::wstring Widen(const std::string& s) {
    return std::wstring(s.begin(), s.end());
}

// The cluster's password for its superuser "zqk".
inline std::wstring PostgresPassword() {
    std::ifstream in(OdbcFolder() + "/password");
    std::string line;
    std::getline(in, line);
    EXPECT_FALSE(line.empty()) << "the odbc fixture has not started the PostgreSQL cluster";
    return Widen(line);
}

// A connection string for the private cluster: the data source "zqk_pg" with a database.
inline std::wstring PostgresString(const std::wstring& strDatabase,
                                   const std::wstring& strExtra = L"") {
    return L"DSN=zqk_pg; UID=zqk; PWD=" + PostgresPassword() + L"; Database=" + strDatabase +
           strExtra;
}

// The back ends of the provider-conformance tests.
enum class Backend {
    kSqlite,     // the embedded provider
    kSqliteOdbc, // SQLite's ODBC driver
    kPostgres,   // PostgreSQL through psqlODBC
};

inline const char* BackendName(Backend n) {
    switch (n) {
    case Backend::kSqlite:
        return "SQLite";
    case Backend::kSqliteOdbc:
        return "SQLiteOdbc";
    default:
        return "PostgreSQL";
    }
}

// A fresh, empty database on a back end, dropped again with this object. COM must be
// initialised on the thread.
class BackendDatabase {
public:
    explicit BackendDatabase(Backend nBackend) : m_nBackend(nBackend) {
        static int s_nCount = 0;
        switch (nBackend) {
        case Backend::kSqlite:
            m_strConnection = L"Provider=SQLite; Data Source=" + m_dir.WideFile("db.sqlite");
            break;
        case Backend::kSqliteOdbc:
            OdbcFolder();
            m_strConnection = L"Driver=ZQK SQLite3; Database=" + m_dir.WideFile("db.sqlite");
            break;
        case Backend::kPostgres:
            m_strName = L"zqk_" + std::to_wstring(getpid()) + L"_" + std::to_wstring(++s_nCount);
            Admin(L"CREATE DATABASE " + m_strName);
            m_strConnection = PostgresString(m_strName);
            break;
        }
    }
    ~BackendDatabase() {
        if (!m_strName.empty())
            Admin(L"DROP DATABASE IF EXISTS " + m_strName + L" WITH (FORCE)");
    }
    BackendDatabase(const BackendDatabase&) = delete;
    BackendDatabase& operator=(const BackendDatabase&) = delete;

    const std::wstring& Connection() const { return m_strConnection; }
    Backend Kind() const { return m_nBackend; }
    const TempDir& Dir() const { return m_dir; }

    // Runs a statement on the cluster's maintenance database.
    static void Admin(const std::wstring& strSql) {
        _ConnectionPtr pAdmin;
        ASSERT_EQ(S_OK, pAdmin.CreateInstance(L"ADODB.Connection"));
        try {
            pAdmin->Open(PostgresString(L"postgres").c_str(), L"", L"", adConnectUnspecified);
            pAdmin->Execute(strSql.c_str(), nullptr, adCmdText);
        } catch (const _com_error& e) {
            const _bstr_t description = e.Description();
            ADD_FAILURE() << "PostgreSQL: " << std::hex << e.Error() << " "
                          << (description.length() ? static_cast<const char*>(description) : "");
        }
    }

private:
    Backend m_nBackend;
    TempDir m_dir;
    std::wstring m_strName;
    std::wstring m_strConnection;
};
