// Reading through the ODBC provider against a raw ODBC loop on the same driver, in one process:
// the 200,000-row, six-column table into a CStringArray with GetSelData, against SQLExecDirect,
// SQLFetch and SQLGetData per cell into trimmed std::wstrings; and one 20,000,000-byte binary
// value through Field.Value, against SQLGetData in pieces. Rounds alternate which side goes
// first; medians are compared.
//
//   zqk_bench_odbc_read --odbc-dir DIR [--backend sqlite|postgres] [--rows N] [--rounds N]
//
// DIR is a folder made by tests/support/odbc-backends.sh start DIR (driver definitions and the
// PostgreSQL cluster); the bench builds its tables there.

#include <cstring>
#include <filesystem>
#include <map>
#include <fstream>
#include <string>
#include <vector>

#include "BenchTable.h"
#include "platform/ado/ConnectionString.h"
#include "platform/ado/odbc/OdbcProvider.h"
#include "platform/win/TextEncoding.h"
#include "zqk_vododuvod.h"

namespace {

using namespace bench;

const size_t kBlobBytes = 20000000;

void Check(SQLRETURN rc, SQLSMALLINT nType, SQLHANDLE h, const char* pszWhat) {
    if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO || rc == SQL_NO_DATA)
        return;
    SQLWCHAR szState[6] = {}, szText[512] = {};
    SQLINTEGER nNative = 0;
    SQLSMALLINT n = 0;
    SQLGetDiagRecW(nType, h, 1, szState, &nNative, szText, 512, &n);
    Die(pszWhat, WinWideToUtf8(OdbcWide(szText, n)).c_str());
}

// The raw side: one connection for the whole run.
class CRaw {
public:
    explicit CRaw(const std::wstring& strConnection) {
        SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &m_hEnv);
        SQLSetEnvAttr(m_hEnv, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        SQLAllocHandle(SQL_HANDLE_DBC, m_hEnv, &m_hDbc);
        std::u16string s = OdbcText(strConnection);
        Check(SQLDriverConnectW(m_hDbc, nullptr, s.data(), static_cast<SQLSMALLINT>(s.size()),
                                nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT),
              SQL_HANDLE_DBC, m_hDbc, "raw connect:");
    }
    ~CRaw() {
        SQLDisconnect(m_hDbc);
        SQLFreeHandle(SQL_HANDLE_DBC, m_hDbc);
        SQLFreeHandle(SQL_HANDLE_ENV, m_hEnv);
    }
    // Every cell as trimmed text, appended to cells (empty on entry).
    double ReadCells(const wchar_t* pszSelect, std::vector<std::wstring>& cells) {
        Clock::time_point t0 = Clock::now();
        SQLHSTMT h = nullptr;
        SQLAllocHandle(SQL_HANDLE_STMT, m_hDbc, &h);
        std::u16string s = OdbcText(pszSelect);
        Check(SQLExecDirectW(h, s.data(), static_cast<SQLINTEGER>(s.size())), SQL_HANDLE_STMT, h,
              "raw select:");
        SQLSMALLINT nColumns = 0;
        SQLNumResultCols(h, &nColumns);
        SQLWCHAR buf[512];
        while (SQLFetch(h) == SQL_SUCCESS) {
            for (SQLUSMALLINT c = 1; c <= static_cast<SQLUSMALLINT>(nColumns); ++c) {
                SQLLEN n = 0;
                SQLGetData(h, c, SQL_C_WCHAR, buf, sizeof buf, &n);
                size_t e = n > 0 ? static_cast<size_t>(n) / 2 : 0, b = 0;
                while (b < e && (buf[b] == u' ' || (buf[b] >= u'\t' && buf[b] <= u'\r')))
                    ++b;
                while (e > b &&
                       (buf[e - 1] == u' ' || (buf[e - 1] >= u'\t' && buf[e - 1] <= u'\r')))
                    --e;
                cells.emplace_back();
                WinAppendUtf16AsWide(cells.back(), buf + b, e - b);
            }
        }
        SQLFreeHandle(SQL_HANDLE_STMT, h);
        return Seconds(t0);
    }
    // The first row's only column as bytes, read in pieces.
    double ReadBlob(const wchar_t* pszSelect, std::vector<BYTE>& bytes) {
        Clock::time_point t0 = Clock::now();
        SQLHSTMT h = nullptr;
        SQLAllocHandle(SQL_HANDLE_STMT, m_hDbc, &h);
        std::u16string s = OdbcText(pszSelect);
        Check(SQLExecDirectW(h, s.data(), static_cast<SQLINTEGER>(s.size())), SQL_HANDLE_STMT, h,
              "raw blob:");
        if (SQLFetch(h) != SQL_SUCCESS)
            Die("raw blob: no row");
        std::vector<BYTE> piece(1 << 20);
        for (;;) {
            SQLLEN n = 0;
            SQLRETURN rc =
                SQLGetData(h, 1, SQL_C_BINARY, piece.data(), static_cast<SQLLEN>(piece.size()), &n);
            if (rc == SQL_NO_DATA)
                break;
            Check(rc, SQL_HANDLE_STMT, h, "raw blob piece:");
            size_t nGot = rc == SQL_SUCCESS_WITH_INFO ? piece.size() : static_cast<size_t>(n);
            bytes.insert(bytes.end(), piece.data(), piece.data() + nGot);
            if (rc == SQL_SUCCESS)
                break;
        }
        SQLFreeHandle(SQL_HANDLE_STMT, h);
        return Seconds(t0);
    }

private:
    SQLHENV m_hEnv = nullptr;
    SQLHDBC m_hDbc = nullptr;
};

double ReadReader(CZORADORXServer& server, CStringArray& arr) {
    Clock::time_point t0 = Clock::now();
    if (server.GetSelData(kSelectWide, arr) < 0)
        Die("GetSelData failed");
    return Seconds(t0);
}

double ReadProviderBlob(CZORADORXServer& server, size_t* pnBytes) {
    Clock::time_point t0 = Clock::now();
    IDispatch* pDisp = server.GetConnectionPtr();
    {
        _ConnectionPtr pConn(pDisp);
        _variant_t v = pConn->Execute(L"SELECT data FROM b", nullptr, adCmdText)
                           ->GetFields()
                           ->GetItem(0L)
                           ->GetValue();
        *pnBytes = v.vt == (VT_ARRAY | VT_UI1) ? v.parray->rgsabound[0].cElements : 0;
    }
    pDisp->Release();
    return Seconds(t0);
}

void Run(CZORADORXServer& server, CRaw& raw, int nRounds) {
    std::vector<double> reader, rawCells, blob, rawBlob;
    size_t nCells = 0, nRawCells = 0;
    for (int r = 0; r <= nRounds; ++r) { // round 0 warms up
        double a, b, c, d;
        CStringArray arr;
        std::vector<std::wstring> cells;
        size_t nBytes = 0;
        std::vector<BYTE> bytes;
        if (r % 2) {
            a = ReadReader(server, arr);
            b = raw.ReadCells(kSelectWide, cells);
            c = ReadProviderBlob(server, &nBytes);
            d = raw.ReadBlob(L"SELECT data FROM b", bytes);
        } else {
            b = raw.ReadCells(kSelectWide, cells);
            a = ReadReader(server, arr);
            d = raw.ReadBlob(L"SELECT data FROM b", bytes);
            c = ReadProviderBlob(server, &nBytes);
        }
        if (nBytes != kBlobBytes || bytes.size() != kBlobBytes)
            Die("the binary value came back short");
        nCells = static_cast<size_t>(arr.GetSize());
        nRawCells = cells.size();
        if (r == 0)
            continue;
        reader.push_back(a);
        rawCells.push_back(b);
        blob.push_back(c);
        rawBlob.push_back(d);
    }
    if (nCells != nRawCells)
        Die("the two sides read different numbers of cells");
    double dReader = Median(reader), dRaw = Median(rawCells);
    double dBlob = Median(blob), dRawBlob = Median(rawBlob);
    std::printf("  table: GetSelData %.3f s, raw %.3f s, ratio %.2f (%zu cells)\n", dReader, dRaw,
                dReader / dRaw, nCells);
    std::printf("  blob:  Field.Value %.3f s, raw %.3f s, ratio %.2f\n", dBlob, dRawBlob,
                dBlob / dRawBlob);
}

std::wstring ReadPassword(const std::string& strDir) {
    std::ifstream in(strDir + "/password");
    std::string line;
    std::getline(in, line);
    return std::wstring(line.begin(), line.end());
}

} // namespace

int main(int argc, char** argv) {
    g_pszProgram = "zqk_bench_odbc_read";
    std::string strDir, strBackend = "sqlite";
    int nRows = 200000, nRounds = 5;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string key = argv[i];
        if (key == "--odbc-dir")
            strDir = argv[i + 1];
        else if (key == "--backend")
            strBackend = argv[i + 1];
        else if (key == "--rows")
            nRows = std::atoi(argv[i + 1]);
        else if (key == "--rounds")
            nRounds = std::atoi(argv[i + 1]);
        else
            Die("unknown option", argv[i]);
    }
    if (strDir.empty())
        Die("--odbc-dir DIR is needed (tests/support/odbc-backends.sh start DIR)");
    setenv("ODBCSYSINI", strDir.c_str(), 1);
    setenv("ODBCINI", (strDir + "/odbc.ini").c_str(), 1);

    CZORADORXServer server;
    std::wstring strConnection;
    std::string strFile = strDir + "/bench.sqlite";
    if (strBackend == "sqlite") {
        std::filesystem::remove(strFile);
        BuildTable(strFile, nRows);
        sqlite3* pDb = nullptr;
        sqlite3_open(strFile.c_str(), &pDb);
        Exec(pDb, "CREATE TABLE b(id int, data blob)");
        sqlite3_stmt* pStmt = nullptr;
        sqlite3_prepare_v2(pDb, "INSERT INTO b VALUES (1, ?1)", -1, &pStmt, nullptr);
        std::vector<BYTE> bytes(kBlobBytes);
        for (size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<BYTE>(i * 131);
        sqlite3_bind_blob(pStmt, 1, bytes.data(), static_cast<int>(bytes.size()), SQLITE_STATIC);
        sqlite3_step(pStmt);
        sqlite3_finalize(pStmt);
        sqlite3_close(pDb);
        strConnection = L"Driver=ZQK SQLite3; Database=" + WinUtf8ToWide(strFile);
        if (server.InitADOServer(strConnection.c_str()) != 1)
            Die("cannot open SQLite's ODBC driver");
    } else {
        const std::wstring strPassword = ReadPassword(strDir);
        strConnection =
            L"DSN=zqk_pg; UID=zqk; PWD=" + strPassword + L"; UseDeclareFetch=1; Fetch=10000";
        if (server.InitADOServer(strConnection.c_str()) != 1)
            Die("cannot open the PostgreSQL data source");
        server.ExecuteSQL(L"DROP TABLE IF EXISTS t; DROP TABLE IF EXISTS b");
        server.ExecuteSQL(L"CREATE TABLE t(id int, name varchar(40), amount float8, created "
                          L"timestamp, big bigint, code varchar(20))");
        CString strFill;
        strFill.Format(L"INSERT INTO t SELECT i, CASE WHEN i %% 8 = 5 THEN '   Anna Nowak ' || i "
                       L"|| '  ' ELSE 'Boris M\u00fcller ' || i END, (i %% 2000000) - 1000000 + "
                       L"0.25, timestamp '1990-01-01 01:02:03' + i * interval '17 minutes', "
                       L"5000000000 + i, 'K-' || lpad((i * 7919 %% 1000000)::text, 6, '0') "
                       L"FROM generate_series(1, %d) AS i",
                       nRows);
        if (server.ExecuteSQL(strFill) != 1)
            Die("cannot fill the table");
        server.ExecuteSQL(L"CREATE TABLE b(id int, data bytea)");
        IDispatch* pDisp = server.GetConnectionPtr();
        {
            _ConnectionPtr pConn(pDisp);
            _RecordsetPtr pRs;
            pRs.CreateInstance(L"ADODB.Recordset");
            pRs->Open(L"b", _variant_t(pDisp), adOpenKeyset, adLockOptimistic, adCmdTable);
            pRs->AddNew();
            pRs->GetFields()->GetItem(L"id")->PutValue(_variant_t(1L));
            _variant_t chunk;
            chunk.parray = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(kBlobBytes));
            chunk.vt = VT_ARRAY | VT_UI1;
            for (size_t i = 0; i < kBlobBytes; ++i)
                static_cast<BYTE*>(chunk.parray->pvData)[i] = static_cast<BYTE>(i * 131);
            pRs->GetFields()->GetItem(L"data")->AppendChunk(chunk);
            pRs->Update();
        }
        pDisp->Release();
    }
    // The raw side gets what the provider hands the driver manager.
    std::map<std::wstring, std::wstring> pairs;
    AdoParseConnectionString(strConnection, &pairs);
    SQLULEN nTimeout = 0;
    CRaw raw(OdbcConnectionString(pairs, &nTimeout));
    std::printf("%s, %d rows, %d rounds (medians):\n", strBackend.c_str(), nRows, nRounds);
    Run(server, raw, nRounds);
    if (strBackend == "sqlite")
        std::filesystem::remove(strFile);
    else
        server.ExecuteSQL(L"DROP TABLE t; DROP TABLE b");
    return 0;
}
