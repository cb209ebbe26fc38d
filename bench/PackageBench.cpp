// Packing a file into a table row and unpacking it again through CZORPackageDbOper, against
// the SQLite C API doing the same work, in one process:
//
//   put: PutPackageToDb(file, "docs", "data") against reading the file and an INSERT with
//        sqlite3_bind_blob;
//   out: OutPackageToFile(file, "SELECT data FROM src WHERE id = 1", "data") against the same
//        SELECT, sqlite3_column_blob and fwrite;
//   insert: the value alone, already in memory, through the data-access objects: a recordset
//        opened on docs by name, AddNew, AppendChunk of the byte array, Update; against the
//        INSERT with sqlite3_bind_blob of the same bytes;
//   read: Execute of the SELECT, ActualSize and GetChunk of the whole value (an array the
//        caller owns); against the SELECT and a copy of sqlite3_column_blob into a
//        std::vector the caller owns.
//
// Every call is timed on the clock and in processor time (see CTimes); every row and file
// written is compared byte by byte with the input. Afterwards child processes measure the
// peak memory of one put and one out each (see MeasureMemory).
//
//   zqk_bench_package [--size N] [--rounds N] [--only lib|raw] [--direction put|out|insert|read]
//                     [--memory on|off] [--sync full|off] [--heap keep|return] [--dir DIR]
//
// --size    bytes of the file (20000000)
// --rounds  timed rounds; the library runs first in odd rounds, raw first in even ones (7)
// --only    runs one side only (for a profiler); no ratio and no memory measurement
// --direction  times one direction only (all four); no memory measurement
// --memory  off skips the memory measurement (on)
// --sync    SQLite's synchronous setting on both connections: full, SQLite's default and the
//           product's, waits for the disk at every commit; off leaves the library's own costs
//           (full)
// --heap    keep: freed memory stays with the process (no mmap, no trimming), as in the
//                 readers' benchmark: otherwise malloc's moving thresholds decide, from one call
//                 to the next, whether a 20 MB block comes from reused memory or from fresh pages
//                 that fault in, and the two sides' interleaved calls do not land alike;
//           return: malloc's defaults (keep). The memory children always run with malloc's
//           defaults, as a host would.
// --dir     works in DIR (kept) instead of a temporary folder

#include <sqlite3.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "BenchProcess.h"
#include "BenchCom.h"
#include "BenchTable.h"
#include "zqk_vododuvod.h"

namespace {

using namespace bench;

const char kOutSelectUtf8[] = "SELECT data FROM src WHERE id = 1";
const wchar_t kOutSelectWide[] = L"SELECT data FROM src WHERE id = 1";
// The small row the memory children unpack first, so that code and schema are in memory.
const char kSmallSelectUtf8[] = "SELECT data FROM src WHERE id = 2";
const wchar_t kSmallSelectWide[] = L"SELECT data FROM src WHERE id = 2";
const size_t kSmallSize = 100;

const char* const kDirections[] = {"put", "out", "insert", "read"};
const int kDirectionCount = 4;
// The goals, by direction: the ratio of the times, and the peak memory in file sizes.
const double kTimeGoals[] = {1.15, 1.15, 1.10, 1.10};
const double kMemoryGoals[] = {3.0, 3.0, 2.0, 2.0};
const char* const kSides[] = {"lib", "raw"};

struct COptions {
    size_t nSize = 20000000;
    int nRounds = 7;
    std::string strOnly;
    int nDirection = -1; // all
    bool bMemory = true;
    bool bSyncFull = true;
    bool bKeepHeap = true;
    std::string strDir;
    std::string strMemoryChild;
};

// The files of one run: the input, a small input for warming up, the database and the file
// the unpacking writes.
struct CPaths {
    std::string strDir, strIn, strSmall, strDb, strOut;
    explicit CPaths(const std::string& strFolder)
        : strDir(strFolder), strIn(strFolder + "/in.bin"), strSmall(strFolder + "/small.bin"),
          strDb(strFolder + "/pack.sqlite"), strOut(strFolder + "/out.bin") {}
};

CString Wide(const std::string& s) {
    return CString(std::wstring(s.begin(), s.end()).c_str());
}

std::vector<unsigned char> ReadWhole(const std::string& strPath) {
    std::vector<unsigned char> bytes;
    FILE* f = std::fopen(strPath.c_str(), "rb");
    if (f == nullptr)
        return bytes;
    unsigned char buf[1 << 16];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        bytes.insert(bytes.end(), buf, buf + n);
    std::fclose(f);
    return bytes;
}

void WriteWhole(const std::string& strPath, const std::vector<unsigned char>& bytes) {
    FILE* f = std::fopen(strPath.c_str(), "wb");
    if (f == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() ||
        std::fclose(f) != 0)
        Die("cannot write", strPath.c_str());
}

// Deterministic bytes without runs, so that nothing downstream can shortcut them.
std::vector<unsigned char> Pattern(size_t nSize) {
    std::vector<unsigned char> bytes(nSize);
    CRandom rnd;
    for (size_t i = 0; i < nSize; ++i)
        bytes[i] = static_cast<unsigned char>(rnd.Next() >> 7);
    return bytes;
}

sqlite3* OpenRaw(const std::string& strDb, bool bSyncFull) {
    sqlite3* pDb = nullptr;
    if (sqlite3_open_v2(strDb.c_str(), &pDb, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK)
        Die("cannot open", strDb.c_str());
    sqlite3_busy_timeout(pDb, 5000);
    Exec(pDb, bSyncFull ? "PRAGMA synchronous=FULL" : "PRAGMA synchronous=OFF");
    return pDb;
}

void OpenServer(CZORADORXServer& server, const std::string& strDb, bool bSyncFull) {
    std::wstring strConnection =
        L"Provider=SQLite; Data Source=" + std::wstring(strDb.begin(), strDb.end());
    if (!server.InitADOServer(strConnection.c_str()))
        Die("cannot open", strDb.c_str());
    if (!bSyncFull && server.ExecuteSQL(L"PRAGMA synchronous=OFF") != 1)
        Die("cannot turn synchronous writes off through the server");
}

// The input, the table the packing fills (docs) and the one the unpacking reads (src: the
// input as row 1, a small value as row 2).
void Prepare(const CPaths& paths, const std::vector<unsigned char>& bytes) {
    WriteWhole(paths.strIn, bytes);
    WriteWhole(paths.strSmall,
               std::vector<unsigned char>(bytes.begin(),
                                          bytes.begin() + std::min(kSmallSize, bytes.size())));
    std::remove(paths.strDb.c_str());
    sqlite3* pDb = nullptr;
    if (sqlite3_open(paths.strDb.c_str(), &pDb) != SQLITE_OK)
        Die("cannot create", paths.strDb.c_str());
    Exec(pDb, "CREATE TABLE docs(id integer PRIMARY KEY, name varchar(50), data image);"
              "CREATE TABLE src(id integer PRIMARY KEY, data image)");
    sqlite3_stmt* pStmt = nullptr;
    if (sqlite3_prepare_v2(pDb, "INSERT INTO src VALUES (?1, ?2)", -1, &pStmt, nullptr) !=
        SQLITE_OK)
        Die("cannot prepare the insert:", sqlite3_errmsg(pDb));
    for (int nId = 1; nId <= 2; ++nId) {
        size_t n = nId == 1 ? bytes.size() : std::min(kSmallSize, bytes.size());
        sqlite3_bind_int(pStmt, 1, nId);
        sqlite3_bind_blob64(pStmt, 2, bytes.data(), n, SQLITE_STATIC);
        if (sqlite3_step(pStmt) != SQLITE_DONE)
            Die("cannot insert:", sqlite3_errmsg(pDb));
        sqlite3_reset(pStmt);
    }
    sqlite3_finalize(pStmt);
    sqlite3_close(pDb);
}

// ---- The two sides ------------------------------------------------------------------------

// Reads the file and inserts it as a new row of docs.
void PutRaw(sqlite3* pDb, const std::string& strFile) {
    FILE* f = std::fopen(strFile.c_str(), "rb");
    struct stat st;
    if (f == nullptr || fstat(fileno(f), &st) != 0)
        Die("cannot open", strFile.c_str());
    size_t n = static_cast<size_t>(st.st_size);
    std::unique_ptr<unsigned char[]> bytes(new unsigned char[n ? n : 1]);
    if (std::fread(bytes.get(), 1, n, f) != n)
        Die("cannot read", strFile.c_str());
    std::fclose(f);
    sqlite3_stmt* pStmt = nullptr;
    if (sqlite3_prepare_v2(pDb, "INSERT INTO docs (data) VALUES (?1)", -1, &pStmt, nullptr) !=
        SQLITE_OK)
        Die("cannot prepare the insert:", sqlite3_errmsg(pDb));
    sqlite3_bind_blob64(pStmt, 1, bytes.get(), n, SQLITE_STATIC);
    if (sqlite3_step(pStmt) != SQLITE_DONE)
        Die("cannot insert:", sqlite3_errmsg(pDb));
    sqlite3_finalize(pStmt);
}

// Selects the value and writes it to the file.
void OutRaw(sqlite3* pDb, const char* pszSelect, const std::string& strFile) {
    sqlite3_stmt* pStmt = nullptr;
    if (sqlite3_prepare_v2(pDb, pszSelect, -1, &pStmt, nullptr) != SQLITE_OK)
        Die("cannot prepare the select:", sqlite3_errmsg(pDb));
    if (sqlite3_step(pStmt) != SQLITE_ROW)
        Die("the select found no row");
    const void* p = sqlite3_column_blob(pStmt, 0);
    size_t n = static_cast<size_t>(sqlite3_column_bytes(pStmt, 0));
    FILE* f = std::fopen(strFile.c_str(), "wb");
    if (f == nullptr || std::fwrite(p, 1, n, f) != n || std::fclose(f) != 0)
        Die("cannot write", strFile.c_str());
    sqlite3_finalize(pStmt);
}

void PutLib(CZORPackageDbOper& packer, const std::string& strFile) {
    CString str = Wide(strFile);
    CZORValueTable none;
    if (packer.PutPackageToDb(str, L"docs", L"data", none) != 1)
        Die("PutPackageToDb failed");
}

void OutLib(CZORPackageDbOper& packer, const wchar_t* pszSelect, const std::string& strFile) {
    CString str = Wide(strFile);
    if (packer.OutPackageToFile(str, pszSelect, L"data", 1) != 1)
        Die("OutPackageToFile failed");
}

// The value alone: a byte array the caller holds, stored through the data-access objects.
void InsertLib(_Connection* pConn, const _variant_t& value) {
    _RecordsetPtr pRs;
    if (FAILED(pRs.CreateInstance(L"ADODB.Recordset")))
        Die("cannot create ADODB.Recordset");
    pRs->Open(_variant_t(L"docs"), _variant_t(static_cast<IDispatch*>(pConn)), adOpenKeyset,
              adLockOptimistic, adCmdTable);
    pRs->AddNew();
    pRs->GetFields()->GetItem(L"data")->AppendChunk(value);
    pRs->Update();
    pRs->Close();
}

void InsertRaw(sqlite3* pDb, const std::vector<unsigned char>& bytes) {
    sqlite3_stmt* pStmt = nullptr;
    if (sqlite3_prepare_v2(pDb, "INSERT INTO docs (data) VALUES (?1)", -1, &pStmt, nullptr) !=
        SQLITE_OK)
        Die("cannot prepare the insert:", sqlite3_errmsg(pDb));
    sqlite3_bind_blob64(pStmt, 1, bytes.data(), bytes.size(), SQLITE_STATIC);
    if (sqlite3_step(pStmt) != SQLITE_DONE)
        Die("cannot insert:", sqlite3_errmsg(pDb));
    sqlite3_finalize(pStmt);
}

// The value read whole into an array the caller then owns.
void ReadLib(_Connection* pConn, const wchar_t* pszSelect, _variant_t& value) {
    _RecordsetPtr pRs = pConn->Execute(pszSelect, nullptr, adCmdText);
    FieldPtr pField = pRs->GetFields()->GetItem(L"data");
    value = pField->GetChunk(pField->GetActualSize());
    pRs->Close();
}

void ReadRaw(sqlite3* pDb, const char* pszSelect, std::vector<unsigned char>& value) {
    sqlite3_stmt* pStmt = nullptr;
    if (sqlite3_prepare_v2(pDb, pszSelect, -1, &pStmt, nullptr) != SQLITE_OK)
        Die("cannot prepare the select:", sqlite3_errmsg(pDb));
    if (sqlite3_step(pStmt) != SQLITE_ROW)
        Die("the select found no row");
    const auto* p = static_cast<const unsigned char*>(sqlite3_column_blob(pStmt, 0));
    value.assign(p, p + sqlite3_column_bytes(pStmt, 0));
    sqlite3_finalize(pStmt);
}

_ConnectionPtr OpenConnection(const std::string& strDb, bool bSyncFull) {
    _ConnectionPtr pConn;
    if (FAILED(pConn.CreateInstance(L"ADODB.Connection")))
        Die("cannot create ADODB.Connection");
    std::wstring strConnection =
        L"Provider=SQLite; Data Source=" + std::wstring(strDb.begin(), strDb.end());
    pConn->Open(strConnection.c_str(), L"", L"", -1);
    if (!bSyncFull)
        pConn->Execute(L"PRAGMA synchronous=OFF", nullptr, adCmdText);
    return pConn;
}

_variant_t ByteArray(const std::vector<unsigned char>& bytes) {
    SAFEARRAY* psa = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
    if (psa == nullptr)
        Die("cannot make the byte array");
    std::memcpy(psa->pvData, bytes.data(), bytes.size());
    VARIANT v;
    v.vt = VT_ARRAY | VT_UI1;
    v.parray = psa;
    return _variant_t(v, false);
}

bool SameBytes(const _variant_t& value, const std::vector<unsigned char>& bytes) {
    return value.vt == (VT_ARRAY | VT_UI1) &&
           value.parray->rgsabound[0].cElements == bytes.size() &&
           std::memcmp(value.parray->pvData, bytes.data(), bytes.size()) == 0;
}

// ---- Checks -------------------------------------------------------------------------------

// docs holds exactly one row, and its value is the input.
bool PackedRight(sqlite3* pDb, const std::vector<unsigned char>& bytes) {
    sqlite3_stmt* pStmt = nullptr;
    sqlite3_prepare_v2(pDb, "SELECT data FROM docs", -1, &pStmt, nullptr);
    int nRows = 0;
    bool bSame = false;
    while (pStmt && sqlite3_step(pStmt) == SQLITE_ROW) {
        ++nRows;
        size_t n = static_cast<size_t>(sqlite3_column_bytes(pStmt, 0));
        const void* p = sqlite3_column_blob(pStmt, 0);
        bSame = n == bytes.size() && (n == 0 || std::memcmp(p, bytes.data(), n) == 0);
    }
    sqlite3_finalize(pStmt);
    return nRows == 1 && bSame;
}

bool UnpackedRight(const std::string& strFile, const std::vector<unsigned char>& bytes) {
    return ReadWhole(strFile) == bytes;
}

// Any call of either side, with what it needs: both connections (the server's for the packer,
// a connection of the data-access objects for the value alone, and raw's), the input as bytes
// and as a byte array, and where the reads leave the value.
struct CCalls {
    const CPaths& paths;
    CZORADORXServer server;
    CZORPackageDbOper packer;
    _ConnectionPtr pConn;
    sqlite3* pDb = nullptr;
    std::vector<unsigned char> bytes, small;
    _variant_t value, smallValue, readValue;
    std::vector<unsigned char> readBytes;

    CCalls(const CPaths& p, bool bSyncFull, std::vector<unsigned char> input) : paths(p) {
        bytes = std::move(input);
        small.assign(bytes.begin(), bytes.begin() + std::min(kSmallSize, bytes.size()));
        value = ByteArray(bytes);
        smallValue = ByteArray(small);
        pDb = OpenRaw(paths.strDb, bSyncFull);
        OpenServer(server, paths.strDb, bSyncFull);
        packer.SetDbSrv(&server);
        pConn = OpenConnection(paths.strDb, bSyncFull);
    }
    ~CCalls() {
        pConn->Close();
        sqlite3_close(pDb);
    }
    // Empties what a call of direction d writes (outside any timing).
    void Reset(int d) {
        if (d == 0 || d == 2)
            Exec(pDb, "DELETE FROM docs");
        else if (d == 1)
            std::remove(paths.strOut.c_str());
        else
            readValue.Clear(), std::vector<unsigned char>().swap(readBytes);
    }
    void Call(int d, bool bLib, bool bSmall) {
        const std::string& strIn = bSmall ? paths.strSmall : paths.strIn;
        if (d == 0)
            bLib ? PutLib(packer, strIn) : PutRaw(pDb, strIn);
        else if (d == 1 && bLib)
            OutLib(packer, bSmall ? kSmallSelectWide : kOutSelectWide, paths.strOut);
        else if (d == 1)
            OutRaw(pDb, bSmall ? kSmallSelectUtf8 : kOutSelectUtf8, paths.strOut);
        else if (d == 2)
            bLib ? InsertLib(pConn, bSmall ? smallValue : value)
                 : InsertRaw(pDb, bSmall ? small : bytes);
        else if (bLib)
            ReadLib(pConn, bSmall ? kSmallSelectWide : kOutSelectWide, readValue);
        else
            ReadRaw(pDb, bSmall ? kSmallSelectUtf8 : kOutSelectUtf8, readBytes);
    }
    // Whether the call of direction d wrote the input whole.
    bool Right(int d, bool bLib) {
        if (d == 0 || d == 2)
            return PackedRight(pDb, bytes);
        if (d == 1)
            return UnpackedRight(paths.strOut, bytes);
        return bLib ? SameBytes(readValue, bytes) : readBytes == bytes;
    }
};

// ---- Memory -------------------------------------------------------------------------------

// One put or out in a fresh process ("put-lib", "out-raw", ...): the growth of the peak
// resident set during it, and SQLite's growth to its own peak. A small put or out first brings
// code and schema into memory.
int MemoryChild(const COptions& o) {
    CPaths paths(o.strDir);
    int d = 0;
    while (d < kDirectionCount &&
           o.strMemoryChild.compare(0, o.strMemoryChild.find('-'), kDirections[d]) != 0)
        ++d;
    bool bLib = o.strMemoryChild.compare(o.strMemoryChild.find('-') + 1, 3, "lib") == 0;
    CCalls calls(paths, o.bSyncFull, ReadWhole(paths.strIn));
    calls.Call(d, bLib, true);
    calls.Reset(d);

    sqlite3_int64 nCurrent = 0, nHigh = 0;
    sqlite3_status64(SQLITE_STATUS_MEMORY_USED, &nCurrent, &nHigh, 1); // restarts the peak
    if (!ResetPeakRss())
        Die("cannot restart the peak resident set (/proc/self/clear_refs)");
    long long nRssBefore = StatusBytes("VmRSS");
    sqlite3_int64 nSqliteBefore = sqlite3_memory_used();
    calls.Call(d, bLib, false);
    long long nPeak = StatusBytes("VmHWM");
    sqlite3_status64(SQLITE_STATUS_MEMORY_USED, &nCurrent, &nHigh, 0);
    std::printf("memory %s rss_growth=%lld sqlite_growth=%lld\n", o.strMemoryChild.c_str(),
                nPeak - nRssBefore, static_cast<long long>(nHigh - nSqliteBefore));
    calls.Reset(d);
    return 0;
}

// Each direction's peak on both sides, each in a fresh child; the library's against the goal
// of three times the file's size.
void MeasureMemory(const COptions& o, const CPaths& paths) {
    std::printf("\nmemory of one put or out (a fresh child process each; growth during it):\n");
    std::printf("  %-10s %12s %10s %12s\n", "", "rss peak", "x file", "sqlite");
    for (int d = 0; d < kDirectionCount; ++d)
        for (const char* pszSide : kSides) {
            std::string strKind = std::string(kDirections[d]) + "-" + pszSide;
            std::string strOut;
            long long nRss = 0, nSqlite = 0;
            char szKind[16];
            if (!RunSelf({"--memory-child", strKind, "--dir", paths.strDir, "--sync",
                          o.bSyncFull ? "full" : "off"},
                         &strOut) ||
                std::sscanf(strOut.c_str(), "memory %15s rss_growth=%lld sqlite_growth=%lld",
                            szKind, &nRss, &nSqlite) != 3) {
                std::printf("  %-10s the child failed\n", strKind.c_str());
                continue;
            }
            double dTimes = static_cast<double>(nRss) / static_cast<double>(o.nSize);
            std::printf("  %-10s %8.1f MiB %10.2f %8.1f MiB", strKind.c_str(), Mb(nRss), dTimes,
                        Mb(nSqlite));
            double dGoal = kMemoryGoals[d];
            if (std::strcmp(pszSide, "lib") == 0)
                std::printf("  (goal: at most %.2f) %s", dGoal,
                            dTimes <= dGoal ? "met" : "NOT MET");
            std::printf("\n");
        }
    std::printf("  rss peak: growth of the peak resident set during the call; sqlite: SQLite's\n"
                "  growth to its peak (part of the rss peak).\n");
}

// ---- Driver -----------------------------------------------------------------------------

COptions ParseOptions(int argc, char** argv) {
    COptions o;
    ForEachOption(argc, argv, [&](const std::string& a, const std::string& v) {
        if (a == "--size")
            o.nSize = static_cast<size_t>(std::atoll(v.c_str()));
        else if (a == "--rounds")
            o.nRounds = std::atoi(v.c_str());
        else if (a == "--only" && (v == "lib" || v == "raw"))
            o.strOnly = v;
        else if (a == "--direction" && (v == "put" || v == "out" || v == "insert" || v == "read"))
            o.nDirection = v == "put" ? 0 : v == "out" ? 1 : v == "insert" ? 2 : 3;
        else if (a == "--memory" && (v == "on" || v == "off"))
            o.bMemory = v == "on";
        else if (a == "--sync" && (v == "full" || v == "off"))
            o.bSyncFull = v == "full";
        else if (a == "--heap" && (v == "keep" || v == "return"))
            o.bKeepHeap = v == "keep";
        else if (a == "--dir")
            o.strDir = v;
        else if (a == "--memory-child" && v.find('-') != std::string::npos)
            o.strMemoryChild = v;
        else
            return false;
        return true;
    });
    if (o.nSize == 0 || o.nRounds <= 0)
        Die("size and rounds must be positive");
    return o;
}

// Removes the generated folder however the run ends.
struct CTemporaryFolder {
    std::string strPath;
    ~CTemporaryFolder() {
        std::error_code ec;
        if (!strPath.empty())
            std::filesystem::remove_all(strPath, ec);
    }
};

int Run(const COptions& o) {
    CTemporaryFolder temporary;
    std::string strDir = o.strDir;
    if (strDir.empty()) {
        strDir = (std::filesystem::temp_directory_path() /
                  ("zqk_bench_package." + std::to_string(getpid())))
                     .string();
        temporary.strPath = strDir;
    }
    std::filesystem::create_directories(strDir);
    CPaths paths(strDir);
    std::vector<unsigned char> bytes = Pattern(o.nSize);
    Prepare(paths, bytes);
    std::printf("file: %zu bytes in %s; synchronous=%s\n", o.nSize, strDir.c_str(),
                o.bSyncFull ? "full" : "off");

    {
        CCalls calls(paths, o.bSyncFull, bytes);
        bool bLib = o.strOnly != "raw", bRaw = o.strOnly != "lib";
        // One timed call, then its result compared with the input outside the timing.
        auto fnTimed = [&](int nDirection, bool bLibSide) {
            calls.Reset(nDirection);
            CTimes t = CTimes::Now();
            calls.Call(nDirection, bLibSide, false);
            t = CTimes::Now() - t;
            if (!calls.Right(nDirection, bLibSide)) {
                std::fprintf(stderr, "%s %s: what was written differs from the input\n",
                             kDirections[nDirection], bLibSide ? "lib" : "raw");
                std::exit(1);
            }
            return t;
        };

        // Warm-up: every path run once and checked, the input and database in the page cache.
        std::vector<int> directions;
        for (int d = 0; d < kDirectionCount; ++d)
            if (o.nDirection < 0 || o.nDirection == d)
                directions.push_back(d);
        for (int d : directions) {
            if (bLib)
                fnTimed(d, true);
            if (bRaw)
                fnTimed(d, false);
        }

        CSeries series[kDirectionCount];
        for (CSeries& one : series) {
            one.bLib = bLib;
            one.bRaw = bRaw;
        }
        for (int nRound = 0; nRound < o.nRounds; ++nRound) {
            std::printf("round %d:", nRound + 1);
            for (int d : directions) {
                CTimes tLib, tRaw;
                RunRound(
                    nRound, bLib, bRaw, [&] { tLib = fnTimed(d, true); },
                    [&] { tRaw = fnTimed(d, false); });
                series[d].Add(tLib, tRaw);
                series[d].PrintRound(kDirections[d]);
            }
            std::printf("\n");
        }
        for (int d : directions)
            series[d].PrintMedians(kDirections[d], 1e3, "ms", kTimeGoals[d]);
        calls.Reset(0);
    }
    if (o.bMemory && o.strOnly.empty() && o.nDirection < 0)
        MeasureMemory(o, paths);
    // The goals are reported, not enforced: a timing is no verdict on a shared machine.
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    g_pszProgram = "zqk_bench_package";
    COptions o = ParseOptions(argc, argv);
    if (o.bKeepHeap && o.strMemoryChild.empty())
        KeepHeap();
    return RunWithCom([&] {
        if (!o.strMemoryChild.empty())
            return MemoryChild(o);
        NoteBuild();
        return Run(o);
    });
}
