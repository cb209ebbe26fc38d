// What only the ODBC provider does: the connection string it hands the driver manager, failed
// logins within the timeout, block fetching, sessions the server ends, and secrets kept out of
// error texts.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <map>
#include <string>

#include "platform/ado/AdoTestSupport.h"
#include "platform/ado/ConnectionString.h"
#include "platform/ado/odbc/OdbcCursor.h"
#include "platform/ado/odbc/OdbcProvider.h"
#include "support/OdbcBackends.h"

namespace {

typedef std::map<std::wstring, std::wstring> Pairs;

// A provider opened on a connection string; the test fails when it does not open.
std::unique_ptr<CAdoProvider> OpenProvider(const std::wstring& strConnection) {
    Pairs pairs;
    EXPECT_TRUE(AdoParseConnectionString(strConnection, &pairs));
    std::unique_ptr<CAdoProvider> pProvider = AdoCreateProvider(L"odbc");
    CAdoError error;
    EXPECT_EQ(S_OK, pProvider->Open(pairs, adModeUnknown, &error)) << error.strDescription.c_str();
    return pProvider;
}

// A Unix socket that takes connections and never answers, as a server that hangs would.
class SilentServer {
public:
    SilentServer(const std::string& strFolder, int nPort) {
        m_fd = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr = {};
        addr.sun_family = AF_UNIX;
        std::string path = strFolder + "/.s.PGSQL." + std::to_string(nPort);
        std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
        EXPECT_EQ(0, bind(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr));
        EXPECT_EQ(0, listen(m_fd, 8));
    }
    ~SilentServer() { close(m_fd); }

private:
    int m_fd;
};

class OdbcProvider : public AdoTest {
protected:
    static double SecondsSince(std::chrono::steady_clock::time_point start) {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    // Opening fails with the connection failure's code and the driver's text.
    AdoRaised FailedOpen(const std::wstring& strConnection, double* pdSeconds) {
        _ConnectionPtr pConn;
        EXPECT_EQ(S_OK, pConn.CreateInstance(L"ADODB.Connection"));
        auto start = std::chrono::steady_clock::now();
        AdoRaised r = AdoCatch([&] { pConn->Open(strConnection.c_str(), L"", L"", -1); });
        *pdSeconds = SecondsSince(start);
        EXPECT_EQ(adStateClosed, pConn->GetState());
        return r;
    }
};

TEST_F(OdbcProvider, ConnectionStringMappingAndMasking) {
    SQLULEN nTimeout = 0;
    EXPECT_EQ(L"database={ sp };dsn=x;pwd={a;b}}c};uid=u;",
              OdbcConnectionString({{L"provider", L"ODBC"},
                                    {L"dsn", L"x"},
                                    {L"uid", L"u"},
                                    {L"pwd", L"a;b}c"},
                                    {L"database", L" sp "},
                                    {L"connect timeout", L"3"}},
                                   &nTimeout));
    EXPECT_EQ(3u, nTimeout);
    EXPECT_EQ(L"dsn=x;", OdbcConnectionString({{L"dsn", L"x"}}, &nTimeout));
    EXPECT_EQ(15u, nTimeout);

    EXPECT_EQ(L"DSN=a; PWD=********; UID=u", OdbcMaskSecret(L"DSN=a; PWD=zz; UID=u", L"zz"));
    EXPECT_EQ(L"password = ********", OdbcMaskSecret(L"password = {x;y}", L""));
    EXPECT_EQ(L"bad value \"********\" here",
              OdbcMaskSecret(L"bad value \"hunter22\" here", L"hunter22"));
    // A short secret would hide parts of ordinary words; only key values are masked then.
    EXPECT_EQ(L"about", OdbcMaskSecret(L"about", L"ab"));

    EXPECT_EQ(DB_E_ERRORSINCOMMAND, OdbcResultForState(L"42601", EOdbcFailure::kStatement));
    EXPECT_EQ(DB_E_ERRORSINCOMMAND, OdbcResultForState(L"42P01", EOdbcFailure::kStatement));
    EXPECT_EQ(DB_E_NOTABLE, OdbcResultForState(L"42P01", EOdbcFailure::kOpenTable));
    EXPECT_EQ(DB_E_NOTABLE, OdbcResultForState(L"42S02", EOdbcFailure::kOpenTable));
    EXPECT_EQ(DB_E_INTEGRITYVIOLATION, OdbcResultForState(L"23505", EOdbcFailure::kOpenTable));
    EXPECT_EQ(E_FAIL, OdbcResultForState(L"08S01", EOdbcFailure::kStatement));
    EXPECT_EQ(E_FAIL, OdbcResultForState(L"57P01", EOdbcFailure::kStatement));
    EXPECT_EQ(DB_E_ERRORSINCOMMAND, OdbcResultForState(L"HY000", EOdbcFailure::kStatement));
    EXPECT_EQ(E_FAIL, OdbcResultForState(L"42000", EOdbcFailure::kConnect));
}

TEST_F(OdbcProvider, FailedLoginsReturnTheDriversTextWithinTheTimeout) {
    OdbcFolder();
    double dSeconds = 0;
    AdoRaised r = FailedOpen(L"DSN=zqk_nosuch; UID=zqk; PWD=x", &dSeconds);
    EXPECT_EQ(E_FAIL, r.hr);
    EXPECT_EQ(L"ODBC", r.source);
    EXPECT_NE(std::wstring::npos, r.description.find(L"Data source name not found"))
        << r.description;

    r = FailedOpen(L"DSN=zqk_pg; UID=zqk; PWD=wrong-secret-42", &dSeconds);
    EXPECT_EQ(E_FAIL, r.hr);
    EXPECT_NE(std::wstring::npos, r.description.find(L"password authentication failed"))
        << r.description;
    EXPECT_EQ(std::wstring::npos, r.description.find(L"wrong-secret-42"));

    r = FailedOpen(L"DSN=zqk_pg_stopped; UID=zqk; PWD=x", &dSeconds);
    EXPECT_EQ(E_FAIL, r.hr);
    EXPECT_FALSE(r.description.empty());
    EXPECT_LT(dSeconds, 5.0);

    // A server that takes the connection and never answers: the login timeout ends the wait.
    TempDir dir;
    SilentServer silent(dir.Path(), 6001);
    r = FailedOpen(L"Driver=ZQK PostgreSQL; Servername=" + dir.WideFile("") +
                       L"; Port=6001; Database=postgres; UID=zqk; PWD=x; Connect Timeout=2",
                   &dSeconds);
    EXPECT_EQ(E_FAIL, r.hr);
    EXPECT_FALSE(r.description.empty());
    EXPECT_GE(dSeconds, 1.5);
    EXPECT_LT(dSeconds, 10.0);
}

TEST_F(OdbcProvider, ShortColumnsComeInBlocksLongOnesOneRowAtATime) {
    BackendDatabase db(Backend::kPostgres);
    for (const wchar_t* pszExtra : {L"", L"; UseDeclareFetch=1; Fetch=100"}) {
        std::unique_ptr<CAdoProvider> pProvider = OpenProvider(db.Connection() + pszExtra);
        std::unique_ptr<CAdoCursor> pCursor;
        LONG nAffected = 0;
        CAdoError error;
        if (*pszExtra == 0) {
            ASSERT_EQ(S_OK, pProvider->Execute(L"CREATE TABLE b(id int, name varchar(10), note "
                                               L"text); INSERT INTO b SELECT i, 'n' || i, "
                                               L"repeat('x', i * 10) FROM generate_series(1, "
                                               L"1000) AS i",
                                               &pCursor, &nAffected, &error))
                << error.strDescription.c_str();
            EXPECT_EQ(1000, nAffected);
            // A batch counts every statement's rows, also after one that changed none.
            ASSERT_EQ(S_OK, pProvider->Execute(L"UPDATE b SET id = id WHERE id < 0; UPDATE b SET "
                                               L"name = name WHERE id <= 10",
                                               &pCursor, &nAffected, &error));
            EXPECT_EQ(nullptr, pCursor);
            EXPECT_EQ(10, nAffected);
        }
        for (const wchar_t* pszSql :
             {L"SELECT id, name FROM b ORDER BY id", L"SELECT id, note FROM b ORDER BY id"}) {
            ASSERT_EQ(S_OK, pProvider->Execute(pszSql, &pCursor, &nAffected, &error));
            auto* pOdbc = dynamic_cast<COdbcCursor*>(pCursor.get());
            ASSERT_NE(nullptr, pOdbc);
            bool bLong = std::wstring(pszSql).find(L"note") != std::wstring::npos;
            if (bLong)
                EXPECT_EQ(1u, pOdbc->RowsPerBlock());
            else
                EXPECT_GT(pOdbc->RowsPerBlock(), 100u);
            LONG nRows = 0;
            bool bRow = false;
            while (SUCCEEDED(pCursor->Next(&bRow, &error)) && bRow) {
                ++nRows;
                _variant_t id, value;
                ASSERT_EQ(S_OK, pCursor->GetValue(0, &id, &error));
                ASSERT_EQ(S_OK, pCursor->GetValue(1, &value, &error));
                ASSERT_EQ(nRows, id.lVal);
                ASSERT_EQ(VT_BSTR, value.vt);
                EXPECT_EQ(bLong ? nRows * 10 : static_cast<LONG>(std::to_wstring(nRows).size() + 1),
                          pCursor->ActualSize(1));
            }
            EXPECT_EQ(1000, nRows);
        }
    }
}

TEST_F(OdbcProvider, SqliteKeepsValuesLongerThanDeclaredAndItsNativeCodes) {
    BackendDatabase db(Backend::kSqliteOdbc);
    std::unique_ptr<CAdoProvider> pProvider = OpenProvider(db.Connection());
    std::unique_ptr<CAdoCursor> pCursor;
    LONG nAffected = 0;
    CAdoError error;
    ASSERT_EQ(S_OK, pProvider->Execute(L"CREATE TABLE s(id int PRIMARY KEY, v varchar(3))",
                                       &pCursor, &nAffected, &error));
    const std::wstring strLong(5000, L'z');
    ASSERT_EQ(S_OK, pProvider->Execute(L"INSERT INTO s VALUES (1, '" + strLong + L"')", &pCursor,
                                       &nAffected, &error));
    ASSERT_EQ(S_OK, pProvider->Execute(L"SELECT v FROM s", &pCursor, &nAffected, &error));
    bool bRow = false;
    ASSERT_EQ(S_OK, pCursor->Next(&bRow, &error));
    _variant_t v;
    ASSERT_EQ(S_OK, pCursor->GetValue(0, &v, &error));
    EXPECT_EQ(strLong, std::wstring(v.bstrVal));
    EXPECT_EQ(3, pCursor->Column(0).nDefinedSize);

    EXPECT_EQ(DB_E_ERRORSINCOMMAND,
              pProvider->Execute(L"INSERT INTO s VALUES (1, 'a')", &pCursor, &nAffected, &error));
    EXPECT_EQ(19, error.nNativeError); // SQLite's constraint code
    EXPECT_EQ(L"ODBC", error.strSource);
}

TEST_F(OdbcProvider, TheServerEndingTheSessionFailsTheNextStatementAndReopeningWorks) {
    BackendDatabase db(Backend::kPostgres);
    _ConnectionPtr pConn = Open(db.Connection());
    LONG nPid = static_cast<LONG>(pConn->Execute(L"SELECT pg_backend_pid()", nullptr, adCmdText)
                                      ->GetFields()
                                      ->GetItem(0L)
                                      ->GetValue());
    BackendDatabase::Admin(L"SELECT pg_terminate_backend(" + std::to_wstring(nPid) + L")");
    AdoRaised r = AdoCatch([&] { pConn->Execute(L"SELECT 1", nullptr, adCmdText); });
    EXPECT_TRUE(FAILED(r.hr));
    EXPECT_EQ(L"ODBC", r.source);
    EXPECT_FALSE(r.description.empty());
    pConn->Close();
    pConn->Open(L"", L"", L"", adConnectUnspecified);
    EXPECT_EQ(
        2,
        static_cast<LONG>(
            pConn->Execute(L"SELECT 2", nullptr, adCmdText)->GetFields()->GetItem(0L)->GetValue()));
}

TEST_F(OdbcProvider, RejectedValuesAndStatementsKeepThePasswordOut) {
    BackendDatabase db(Backend::kPostgres);
    _ConnectionPtr pConn = Open(db.Connection());
    pConn->Execute(L"CREATE TABLE r(n smallint)", nullptr, adCmdText);
    AdoRaised r = AdoCatch([&] { pConn->Execute(L"INSERT INTO r VALUES (70000)", nullptr, 1); });
    EXPECT_EQ(DB_E_ERRORSINCOMMAND, r.hr);
    EXPECT_NE(std::wstring::npos, r.description.find(L"out of range")) << r.description;

    _RecordsetPtr pRs;
    ASSERT_EQ(S_OK, pRs.CreateInstance(L"ADODB.Recordset"));
    pRs->Open(L"r", _variant_t(static_cast<IDispatch*>(pConn.GetInterfacePtr())), adOpenKeyset,
              adLockOptimistic, adCmdTable);
    pRs->AddNew();
    pRs->GetFields()->GetItem(0L)->PutValue(_variant_t(-40000L));
    EXPECT_EQ(DB_E_ERRORSINCOMMAND, AdoCatch([&] { pRs->Update(); }).hr);

    // The database quotes what it was given; the password among it is masked.
    const std::wstring strPassword = PostgresPassword();
    r = AdoCatch([&] {
        pConn->Execute((L"SELECT CAST('" + strPassword + L"' AS int)").c_str(), nullptr, 1);
    });
    EXPECT_EQ(DB_E_ERRORSINCOMMAND, r.hr);
    EXPECT_EQ(std::wstring::npos, r.description.find(strPassword)) << r.description;
    EXPECT_NE(std::wstring::npos, r.description.find(L"********")) << r.description;
}

} // namespace
