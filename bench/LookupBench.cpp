// One-value lookups: GetSelData into a CString with the key written into the SQL text, against
// the SQLite C API preparing, stepping and finalizing the same text, in one process.
//
//   lib: server.GetSelData(L"SELECT name FROM t WHERE id = <key>", str) per lookup;
//   raw: sqlite3_prepare_v2, sqlite3_step, sqlite3_column_text (trimmed, decoded into a
//        std::wstring) and sqlite3_finalize per lookup.
//
// The table is the readers' (BenchTable.h) with an index on id. The SQL texts are built before
// the timing. Every lookup's text is compared between the sides after each round.
//
//   zqk_bench_lookup [--rows N] [--lookups N] [--keys N] [--rounds N] [--only lib|raw] [--db FILE]
//
// --rows     rows in the generated table (200000)
// --lookups  lookups per round (20000)
// --keys     distinct keys the lookups cycle through; 0: every lookup its own key, so that no
//            text repeats (0)
// --rounds   timed rounds, the library first in odd rounds (7)
// --only     runs one side only (for a profiler); no ratio
// --db       uses FILE (its table t) instead of a temporary file; a FILE that does not exist is
//            generated and kept

#include <sqlite3.h>

#include <string>
#include <vector>

#include "BenchTable.h"
#include "zqk_vododuvod.h"

namespace {

using namespace bench;

struct COptions : CTableOptions {
    int nLookups = 20000;
    int nKeys = 0;
    std::string strOnly;
};

COptions ParseOptions(int argc, char** argv) {
    COptions o = ParseTableOptions<COptions>(
        argc, argv, [](COptions& o, const std::string& a, const std::string& v) {
            if (a == "--lookups")
                o.nLookups = std::atoi(v.c_str());
            else if (a == "--keys")
                o.nKeys = std::atoi(v.c_str());
            else if (a == "--only" && (v == "lib" || v == "raw"))
                o.strOnly = v;
            else
                return false;
            return true;
        });
    if (o.nLookups <= 0 || o.nKeys < 0)
        Die("lookups must be positive and keys not negative");
    return o;
}

CTimes LookUpRaw(sqlite3* pDb, const std::vector<std::string>& texts,
                 std::vector<std::wstring>& results) {
    CTimes t0 = CTimes::Now();
    for (size_t i = 0; i < texts.size(); ++i) {
        sqlite3_stmt* pStmt = nullptr;
        if (sqlite3_prepare_v2(pDb, texts[i].c_str(), static_cast<int>(texts[i].size()), &pStmt,
                               nullptr) != SQLITE_OK)
            Die("cannot prepare:", sqlite3_errmsg(pDb));
        if (sqlite3_step(pStmt) != SQLITE_ROW)
            Die("a key without its row:", texts[i].c_str());
        const unsigned char* p = sqlite3_column_text(pStmt, 0);
        size_t n = static_cast<size_t>(sqlite3_column_bytes(pStmt, 0)), b = 0;
        while (b < n && p[b] == ' ')
            ++b;
        while (n > b && p[n - 1] == ' ')
            --n;
        AssignUtf8(results[i], p + b, n - b);
        sqlite3_finalize(pStmt);
    }
    return CTimes::Now() - t0;
}

CTimes LookUpLib(CZORADORXServer& server, const std::vector<std::wstring>& texts,
                 std::vector<CString>& results) {
    CTimes t0 = CTimes::Now();
    for (size_t i = 0; i < texts.size(); ++i)
        if (server.GetSelData(texts[i].c_str(), results[i]) != 1)
            Die("the lookup failed");
    return CTimes::Now() - t0;
}

int Run(const COptions& o) {
    CTableFile table(o.strDb, o.nRows);
    const std::string& strPath = table.strPath;
    sqlite3* pDb = nullptr;
    if (sqlite3_open_v2(strPath.c_str(), &pDb, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
        Die("cannot open", strPath.c_str());
    Exec(pDb, "CREATE INDEX IF NOT EXISTS t_id ON t(id)");
    int nRows = CountRows(pDb);

    // Keys spread over the table; a prime step visits every row once before repeating.
    std::vector<std::string> rawTexts;
    std::vector<std::wstring> libTexts;
    int nCycle = o.nKeys > 0 ? o.nKeys : o.nLookups;
    for (int i = 0; i < o.nLookups; ++i) {
        long long nKey = 1 + (static_cast<long long>(i % nCycle) * 7919) % nRows;
        rawTexts.push_back("SELECT name FROM t WHERE id = " + std::to_string(nKey));
        libTexts.push_back(L"SELECT name FROM t WHERE id = " + std::to_wstring(nKey));
    }
    std::printf("table: %d rows; %d lookups per round over %d distinct keys\n", nRows, o.nLookups,
                std::min(nCycle, o.nLookups));

    CZORADORXServer server;
    std::wstring strConnection =
        L"Provider=SQLite; Data Source=" + std::wstring(strPath.begin(), strPath.end());
    if (!server.InitADOServer(strConnection.c_str()))
        Die("cannot open", strPath.c_str());
    bool bLib = o.strOnly != "raw", bRaw = o.strOnly != "lib";
    std::vector<std::wstring> rawResults(rawTexts.size());
    std::vector<CString> libResults(libTexts.size());
    auto fnCheck = [&] {
        if (!bLib || !bRaw)
            return;
        for (size_t i = 0; i < rawResults.size(); ++i)
            if (rawResults[i] != libResults[i].GetString()) {
                std::fprintf(stderr, "lookup %zu: [%s] against [%s]\n", i,
                             Narrow(libResults[i].GetString()).c_str(),
                             Narrow(rawResults[i]).c_str());
                std::exit(1);
            }
    };
    if (bLib)
        LookUpLib(server, libTexts, libResults);
    if (bRaw)
        LookUpRaw(pDb, rawTexts, rawResults);
    fnCheck();

    CSeries series;
    series.bLib = bLib;
    series.bRaw = bRaw;
    for (int r = 0; r < o.nRounds; ++r) {
        CTimes tLib, tRaw;
        RunRound(
            r, bLib, bRaw, [&] { tLib = LookUpLib(server, libTexts, libResults); },
            [&] { tRaw = LookUpRaw(pDb, rawTexts, rawResults); });
        fnCheck();
        series.Add(tLib, tRaw);
        std::printf("round %d:", r + 1);
        series.PrintRound("lookups");
        std::printf("\n");
    }
    series.PrintMedians("us/lookup", 1e6 / o.nLookups, "us", 1.10);
    sqlite3_close(pDb);
    // The goal is reported, not enforced: a timing is no verdict on a shared machine.
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    g_pszProgram = "zqk_bench_lookup";
    NoteBuild();
    return Run(ParseOptions(argc, argv));
}
