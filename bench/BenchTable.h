// What the benchmarks share: the generated table and its file, the SQLite C API side's UTF-8
// decoding, medians and ratios, the command line and the heap setting. Every benchmark reads the
// same table, so their numbers can be set side by side.
#pragma once

#include <malloc.h>
#include <sqlite3.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace bench {

const int kColumns = 6;
const char kSelectUtf8[] = "SELECT id, name, amount, created, big, code FROM t";
const wchar_t kSelectWide[] = L"SELECT id, name, amount, created, big, code FROM t";

typedef std::chrono::steady_clock Clock;

inline double Seconds(Clock::time_point t0) {
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

// The time a call took on the clock, and the processor time this process spent in it (user
// and kernel: page faults and copies count, waiting for the disk or for a processor that
// another process holds does not). On a shared machine the second varies far less.
struct CTimes {
    double dWall = 0, dCpu = 0;
    static CTimes Now() {
        CTimes t;
        t.dWall = std::chrono::duration<double>(Clock::now().time_since_epoch()).count();
        timespec ts;
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
        t.dCpu = static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
        return t;
    }
    CTimes operator-(const CTimes& o) const {
        CTimes t;
        t.dWall = dWall - o.dWall;
        t.dCpu = dCpu - o.dCpu;
        return t;
    }
    double Get(int nClock) const { return nClock == 0 ? dWall : dCpu; }
};

// The program's name for messages, set by main.
inline const char* g_pszProgram = "bench";

[[noreturn]] inline void Die(const char* pszWhat, const char* pszDetail = "") {
    std::fprintf(stderr, "%s: %s %s\n", g_pszProgram, pszWhat, pszDetail);
    std::exit(2);
}

// Says so when the program was built for debugging: only optimised builds give figures.
inline void NoteBuild() {
#ifndef NDEBUG
    std::printf("note: built without NDEBUG; quote numbers from an optimised build only\n");
#endif
}

// The options most benchmarks share: "--rows N", "--rounds N" and "--db FILE" (the table's file,
// built there when it does not exist). A benchmark's options derive from these.
struct CTableOptions {
    int nRows = 200000;
    int nRounds = 7;
    std::string strDb;

    // Whether the pair was one of these.
    bool TakeTableOption(const std::string& a, const std::string& v) {
        if (a == "--rows")
            nRows = std::atoi(v.c_str());
        else if (a == "--rounds")
            nRounds = std::atoi(v.c_str());
        else if (a == "--db")
            strDb = v;
        else
            return false;
        return true;
    }
    // Ends the program when a count is not positive.
    void CheckCounts() const {
        if (nRows <= 0 || nRounds <= 0)
            Die("rows and rounds must be positive");
    }
};

// One round of the sides that run: the library first in even rounds and raw first in odd ones,
// so that neither side always runs in the other's wake.
template <typename Lib, typename Raw>
void RunRound(int nRound, bool bLib, bool bRaw, Lib fnLib, Raw fnRaw) {
    if (nRound % 2 == 0) {
        if (bLib)
            fnLib();
        if (bRaw)
            fnRaw();
    } else {
        if (bRaw)
            fnRaw();
        if (bLib)
            fnLib();
    }
}

// Keeps the memory the process frees (no mmap, no trimming): page faults cost both sides alike
// but vary a lot on a shared machine, so a kept heap leaves the code's own cost.
inline void KeepHeap() {
    mallopt(M_MMAP_MAX, 0);
    mallopt(M_TRIM_THRESHOLD, INT_MAX);
}

// Walks the command line as "--name value" pairs. fn(name, value) says whether it took the
// pair; a name without a value or a pair not taken ends the program.
template <typename Fn> void ForEachOption(int argc, char** argv, Fn fn) {
    for (int i = 1; i < argc; i += 2) {
        if (i + 1 >= argc)
            Die("missing value after", argv[i]);
        if (!fn(std::string(argv[i]), std::string(argv[i + 1])))
            Die("unknown option", argv[i]);
    }
}

// The command line into Options (derived from CTableOptions): the shared options, and
// fnOwn(o, name, value) for the benchmark's own, saying whether it took the pair; the counts
// checked.
template <typename Options, typename Fn>
Options ParseTableOptions(int argc, char** argv, Fn fnOwn) {
    Options o;
    ForEachOption(argc, argv, [&](const std::string& a, const std::string& v) {
        return o.TakeTableOption(a, v) || fnOwn(o, a, v);
    });
    o.CheckCounts();
    return o;
}

// A small deterministic generator, so that every run reads the same table.
struct CRandom {
    uint64_t s = 0x9E3779B97F4A7C15ull;
    uint32_t Next() {
        s ^= s << 13;
        s ^= s >> 7;
        s ^= s << 17;
        return static_cast<uint32_t>(s >> 11);
    }
    uint32_t Below(uint32_t n) { return Next() % n; }
};

inline void Exec(sqlite3* pDb, const char* pszSql) {
    char* pszError = nullptr;
    if (sqlite3_exec(pDb, pszSql, nullptr, nullptr, &pszError) != SQLITE_OK)
        Die("cannot build the table:", pszError ? pszError : "");
}

// Six columns the way the product's tables declare them. Values are chosen so that every
// reader yields the same text: no NULLs, amounts with a nonzero fraction of cents, times that
// are never midnight. One name in eight has blanks around it, one in ten non-ASCII letters.
inline void BuildTable(const std::string& strPath, int nRows) {
    sqlite3* pDb = nullptr;
    if (sqlite3_open(strPath.c_str(), &pDb) != SQLITE_OK)
        Die("cannot create", strPath.c_str());
    Exec(pDb, "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF;");
    Exec(pDb, "CREATE TABLE t(id int, name nvarchar(40), amount float, created datetime, "
              "big bigint, code varchar(20))");
    Exec(pDb, "BEGIN");
    sqlite3_stmt* pStmt = nullptr;
    if (sqlite3_prepare_v2(pDb, "INSERT INTO t VALUES (?1, ?2, ?3, ?4, ?5, ?6)", -1, &pStmt,
                           nullptr) != SQLITE_OK)
        Die("cannot prepare the insert:", sqlite3_errmsg(pDb));
    static const char* const kFirst[] = {"Anna",  "Boris",  "Clara",  "Dmitri",
                                         "Elena", "Fjodor", "Galina", "Igor"};
    static const char* const kLast[] = {"Petrova", "Ivanov", "Schmidt", "Nowak",
                                        "Larsen",  "Rossi",  "Kowalski"};
    static const char* const kForeign[] = {"Müller", "Ærøskøbing", "Łódź",
                                           "Ģirts",  "Смирнов",    "Zoë"};
    CRandom rnd;
    char szName[96], szDate[32], szCode[32];
    for (int i = 1; i <= nRows; ++i) {
        const char* pszLast = i % 10 == 3 ? kForeign[rnd.Below(6)] : kLast[rnd.Below(7)];
        const char* pszPad = i % 8 == 5 ? "   " : "";
        const char* pszTail = i % 8 == 5 ? "  " : (i % 16 == 1 ? " " : "");
        std::snprintf(szName, sizeof szName, "%s%s %s %u%s", pszPad, kFirst[rnd.Below(8)], pszLast,
                      rnd.Below(100000), pszTail);
        double dAmount = static_cast<double>(static_cast<int>(rnd.Below(2000000)) - 1000000) +
                         (1 + rnd.Below(99)) / 100.0;
        std::snprintf(szDate, sizeof szDate, "%04u-%02u-%02u %02u:%02u:%02u", 1990 + rnd.Below(40),
                      1 + rnd.Below(12), 1 + rnd.Below(28), 1 + rnd.Below(23), rnd.Below(60),
                      rnd.Below(60));
        int64_t nBig = 5000000000ll + static_cast<int64_t>(rnd.Next()) * 1000 + i;
        std::snprintf(szCode, sizeof szCode, "K-%06u/%02u", rnd.Below(1000000), i % 97);
        sqlite3_bind_int(pStmt, 1, i);
        sqlite3_bind_text(pStmt, 2, szName, -1, SQLITE_TRANSIENT);
        sqlite3_bind_double(pStmt, 3, dAmount);
        sqlite3_bind_text(pStmt, 4, szDate, -1, SQLITE_TRANSIENT);
        sqlite3_bind_int64(pStmt, 5, nBig);
        sqlite3_bind_text(pStmt, 6, szCode, -1, SQLITE_TRANSIENT);
        if (sqlite3_step(pStmt) != SQLITE_DONE)
            Die("cannot insert:", sqlite3_errmsg(pDb));
        sqlite3_reset(pStmt);
    }
    sqlite3_finalize(pStmt);
    Exec(pDb, "COMMIT");
    sqlite3_close(pDb);
}

// The rows of the table in FILE (for a file kept from an earlier run).
inline int CountRows(sqlite3* pDb) {
    sqlite3_stmt* pStmt = nullptr;
    int nRows = 0;
    sqlite3_prepare_v2(pDb, "SELECT count(*) FROM t", -1, &pStmt, nullptr);
    if (pStmt && sqlite3_step(pStmt) == SQLITE_ROW)
        nRows = sqlite3_column_int(pStmt, 0);
    sqlite3_finalize(pStmt);
    return nRows;
}

// Decodes UTF-8 into the string, reusing its storage; a malformed byte becomes U+FFFD.
inline void AssignUtf8(std::wstring& out, const unsigned char* p, size_t n) {
    out.resize(n); // never more characters than bytes
    wchar_t* w = &out[0];
    size_t o = 0;
    for (size_t i = 0; i < n;) {
        unsigned c = p[i];
        if (c < 0x80) {
            w[o++] = static_cast<wchar_t>(c);
            ++i;
            continue;
        }
        size_t nMore = c >= 0xF0 && c < 0xF5 ? 3 : c >= 0xE0 ? 2 : c >= 0xC2 && c < 0xE0 ? 1 : 0;
        if (c >= 0xF5)
            nMore = 0;
        unsigned v = nMore == 3 ? c & 0x07 : nMore == 2 ? c & 0x0F : c & 0x1F;
        size_t k = 1;
        for (; nMore && k <= nMore && i + k < n && (p[i + k] & 0xC0) == 0x80; ++k)
            v = (v << 6) | (p[i + k] & 0x3F);
        bool bOk = nMore && k == nMore + 1 &&
                   !(nMore == 2 && (v < 0x800 || (v >= 0xD800 && v < 0xE000))) &&
                   !(nMore == 3 && (v < 0x10000 || v > 0x10FFFF));
        w[o++] = bOk ? static_cast<wchar_t>(v) : static_cast<wchar_t>(0xFFFD);
        i += bOk ? k : 1;
    }
    out.resize(o);
}

// FNV-1a over a string's length and characters, chained: equal checksums mean equal cells.
inline uint64_t Fold(uint64_t n, const wchar_t* p, size_t nChars) {
    n = (n ^ nChars) * 0x100000001B3ull;
    for (size_t i = 0; i < nChars; ++i)
        n = (n ^ static_cast<uint32_t>(p[i])) * 0x100000001B3ull;
    return n;
}
inline uint64_t Fold(uint64_t n, const std::wstring& s) {
    return Fold(n, s.data(), s.size());
}

inline double Median(std::vector<double> v) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

inline std::string Narrow(const std::wstring& s) {
    std::string r;
    for (wchar_t c : s)
        r += c < 0x80 ? static_cast<char>(c) : '?';
    return r;
}

// Removes the generated file however the run ends.
struct CTemporaryFile {
    std::string strPath;
    ~CTemporaryFile() {
        if (!strPath.empty())
            std::remove(strPath.c_str());
    }
};

// The table's file: strDb when given (built there of nRows rows when it does not exist yet),
// otherwise a temporary one named after the program, built now and removed at the end.
struct CTableFile {
    std::string strPath;
    bool bBuilt = false;
    CTemporaryFile temporary;

    CTableFile(const std::string& strDb, int nRows) : strPath(strDb) {
        bBuilt = strPath.empty() || !std::filesystem::exists(strPath);
        if (strPath.empty()) {
            strPath = (std::filesystem::temp_directory_path() /
                       (std::string(g_pszProgram) + "." + std::to_string(getpid()) + ".sqlite"))
                          .string();
            temporary.strPath = strPath;
        }
        if (bBuilt) {
            Clock::time_point t0 = Clock::now();
            BuildTable(strPath, nRows);
            std::printf("table: %d rows x %d columns in %s (built in %.2f s)\n", nRows, kColumns,
                        strPath.c_str(), Seconds(t0));
        }
    }
};

// "ratio: median of rounds R, of medians M (goal: at most G) met", one side against the other:
// R from the rounds' own ratios, M from the two sides' medians; the goal (none when not
// positive) is judged on R.
inline void PrintRatio(const std::vector<double>& ratios, const std::vector<double>& lib,
                       const std::vector<double>& raw, double dGoal) {
    double dRounds = Median(ratios);
    std::printf("ratio: median of rounds %.3f, of medians %.3f", dRounds,
                Median(lib) / Median(raw));
    if (dGoal > 0)
        std::printf(" (goal: at most %.2f) %s", dGoal, dRounds <= dGoal ? "met" : "NOT MET");
}

// One measure over the rounds on both clocks (CTimes::Get: 0 the wall clock, 1 processor time):
// each side's times and, where both sides run, each round's ratio.
struct CSeries {
    bool bLib = true, bRaw = true;
    std::vector<double> lib[2], raw[2], ratio[2];

    void Add(const CTimes& tLib, const CTimes& tRaw) {
        for (int c = 0; c < 2; ++c) {
            lib[c].push_back(tLib.Get(c));
            raw[c].push_back(tRaw.Get(c));
            if (bLib && bRaw)
                ratio[c].push_back(tLib.Get(c) / tRaw.Get(c));
        }
    }
    // The round added last: "  NAME lib X / raw Y ms = R (cpu C)", or the side that ran alone.
    void PrintRound(const char* pszName) const {
        if (bLib && bRaw)
            std::printf("  %s lib %6.1f / raw %6.1f ms = %.2f (cpu %.2f)", pszName,
                        lib[0].back() * 1e3, raw[0].back() * 1e3, ratio[0].back(), ratio[1].back());
        else
            std::printf("  %s %s %6.1f ms (cpu %6.1f)", pszName, bLib ? "lib" : "raw",
                        (bLib ? lib : raw)[0].back() * 1e3, (bLib ? lib : raw)[1].back() * 1e3);
    }
    // A line per clock: "NAME wall: lib median X UNIT  raw median Y UNIT  ratio: ...", the times
    // multiplied by dScale to be in UNIT.
    void PrintMedians(const char* pszName, double dScale, const char* pszUnit, double dGoal) const {
        static const char* const kClocks[] = {"wall", "cpu "};
        for (int c = 0; c < 2; ++c) {
            std::printf("%s %s:", pszName, kClocks[c]);
            if (bLib)
                std::printf("  lib median %7.2f %s", Median(lib[c]) * dScale, pszUnit);
            if (bRaw)
                std::printf("  raw median %7.2f %s", Median(raw[c]) * dScale, pszUnit);
            if (bLib && bRaw) {
                std::printf("  ");
                PrintRatio(ratio[c], lib[c], raw[c], dGoal);
            }
            std::printf("\n");
        }
    }
};

} // namespace bench
