// What the benchmarks share: the generated table, the SQLite C API side's UTF-8 decoding,
// medians, the command line and the clean-up of the temporary file. Every benchmark reads the same
// table, so their numbers can be set side by side.
#pragma once

#include <sqlite3.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
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

// The options most benchmarks share, "--rows N" and "--rounds N": whether the pair was one.
inline bool TakeRowsAndRounds(const std::string& a, const std::string& v, int* pnRows,
                              int* pnRounds) {
    if (a == "--rows")
        *pnRows = std::atoi(v.c_str());
    else if (a == "--rounds")
        *pnRounds = std::atoi(v.c_str());
    else
        return false;
    return true;
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

} // namespace bench
