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
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "BenchTable.h"
#include "zqk_vododuvod.h"

namespace {

using namespace bench;

struct COptions {
    int nRows = 200000;
    int nLookups = 20000;
    int nKeys = 0;
    int nRounds = 7;
    std::string strOnly;
    std::string strDb;
};

COptions ParseOptions(int argc, char** argv) {
    COptions o;
    ForEachOption(argc, argv, [&](const std::string& a, const std::string& v) {
        if (TakeRowsAndRounds(a, v, &o.nRows, &o.nRounds))
            return true;
        if (a == "--lookups")
            o.nLookups = std::atoi(v.c_str());
        else if (a == "--keys")
            o.nKeys = std::atoi(v.c_str());
        else if (a == "--only" && (v == "lib" || v == "raw"))
            o.strOnly = v;
        else if (a == "--db")
            o.strDb = v;
        else
            return false;
        return true;
    });
    if (o.nRows <= 0 || o.nLookups <= 0 || o.nKeys < 0 || o.nRounds <= 0)
        Die("rows, lookups and rounds must be positive");
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
    std::string strPath = o.strDb;
    CTemporaryFile temporary;
    if (strPath.empty()) {
        strPath = (std::filesystem::temp_directory_path() /
                   ("zqk_bench_lookup." + std::to_string(getpid()) + ".sqlite"))
                      .string();
        temporary.strPath = strPath;
    }
    if (!std::filesystem::exists(strPath))
        BuildTable(strPath, o.nRows);
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

    std::vector<double> lib[2], raw[2], ratio[2];
    for (int r = 0; r < o.nRounds; ++r) {
        CTimes tLib, tRaw;
        if (r % 2 == 0) {
            if (bLib)
                tLib = LookUpLib(server, libTexts, libResults);
            if (bRaw)
                tRaw = LookUpRaw(pDb, rawTexts, rawResults);
        } else {
            if (bRaw)
                tRaw = LookUpRaw(pDb, rawTexts, rawResults);
            if (bLib)
                tLib = LookUpLib(server, libTexts, libResults);
        }
        fnCheck();
        for (int c = 0; c < 2; ++c) {
            lib[c].push_back(tLib.Get(c));
            raw[c].push_back(tRaw.Get(c));
            if (bLib && bRaw)
                ratio[c].push_back(tLib.Get(c) / tRaw.Get(c));
        }
        std::printf("round %d: lib %7.1f ms  raw %7.1f ms", r + 1, tLib.dWall * 1e3,
                    tRaw.dWall * 1e3);
        if (bLib && bRaw)
            std::printf("  = %.2f (cpu %.2f)", ratio[0].back(), ratio[1].back());
        std::printf("\n");
    }
    double dLookups = o.nLookups;
    for (int c = 0; c < 2; ++c) {
        std::printf("%-5s: lib median %6.2f us/lookup  raw median %6.2f us/lookup",
                    c == 0 ? "clock" : "cpu", Median(lib[c]) * 1e6 / dLookups,
                    Median(raw[c]) * 1e6 / dLookups);
        if (bLib && bRaw)
            std::printf("  ratio: median of rounds %.2f, of medians %.2f (goal: at most 1.10)",
                        Median(ratio[c]), Median(lib[c]) / Median(raw[c]));
        std::printf("\n");
    }
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
