// Saving a value table to a file through its archive format and loading it back, against a
// plain loop that writes and reads the same bytes with fwrite and fread, in one process.
//
//   lib save: CFile + CArchive (store) + CZORValueTable::Serialize, then Close;
//   raw save: fopen, then per record its 32-bit count and per string the tag, the length and
//             the UTF-16 units (converted from the wide string) through fwrite, then fclose;
//   lib load: CFile + CArchive (load) + Serialize into an empty table;
//   raw load: fread of the same fields into a std::vector of rows of std::wstring.
//
// The table is the readers' table (BenchTable.h: 200,000 rows of 6 values, read once through
// the SQLite C API), with the field names as its label record. Both sides must write the same
// bytes and load the same strings; otherwise the program exits with status 1.
//
//   zqk_bench_archive [--rows N] [--rounds N] [--only lib|raw] [--dir DIR] [--db FILE]
//
// --rows    rows of the table (200000)
// --rounds  timed rounds; in each, save then load on both sides, the library first in odd
//           rounds (7)
// --only    runs one side only (for a profiler); no ratio
// --dir     works in DIR (kept) instead of a temporary folder
// --db      reads the table from FILE (built there when it does not exist) instead of DIR's

#include <sqlite3.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "BenchTable.h"
#include "zqk_vododuvod.h"

namespace {

using namespace bench;

const wchar_t* const kNames[] = {L"id", L"name", L"amount", L"created", L"big", L"code"};

struct COptions : CTableOptions {
    std::string strOnly;
    std::string strDir;
};

// The rows as raw holds them.
typedef std::vector<std::vector<std::wstring>> CRows;

// ---- The raw side ---------------------------------------------------------------------------

void PutBytes(FILE* f, const void* p, size_t n) {
    if (std::fwrite(p, 1, n, f) != n)
        Die("cannot write the raw file");
}

void PutRecord(FILE* f, const std::vector<std::wstring>& values, std::u16string& units) {
    int32_t nCount = static_cast<int32_t>(values.size());
    PutBytes(f, &nCount, 4);
    for (const std::wstring& s : values) {
        units.clear();
        for (wchar_t ch : s) {
            uint32_t c = static_cast<uint32_t>(ch);
            if (c <= 0xFFFF) {
                units += static_cast<char16_t>(c);
            } else if (c <= 0x10FFFF) {
                units += static_cast<char16_t>(0xD800 | ((c - 0x10000) >> 10));
                units += static_cast<char16_t>(0xDC00 | ((c - 0x10000) & 0x3FF));
            } else {
                units += static_cast<char16_t>(0xFFFD);
            }
        }
        unsigned char header[10] = {0xFF, 0xFE, 0xFF};
        size_t nHeader = 4, n = units.size();
        if (n < 0xFF) {
            header[3] = static_cast<unsigned char>(n);
        } else if (n < 0xFFFE) {
            header[3] = 0xFF;
            uint16_t w = static_cast<uint16_t>(n);
            std::memcpy(header + 4, &w, 2);
            nHeader = 6;
        } else {
            Die("a value too long for this benchmark");
        }
        PutBytes(f, header, nHeader);
        PutBytes(f, units.data(), n * 2);
    }
}

void SaveRaw(const std::string& strPath, const std::vector<std::wstring>& labels,
             const CRows& rows) {
    FILE* f = std::fopen(strPath.c_str(), "wb");
    if (f == nullptr)
        Die("cannot create", strPath.c_str());
    std::u16string units;
    PutRecord(f, labels, units);
    static const std::vector<std::wstring> kEmpty;
    for (int i = 0; i < 3; ++i)
        PutRecord(f, kEmpty, units);
    int32_t nRows = static_cast<int32_t>(rows.size());
    PutBytes(f, &nRows, 4);
    for (const std::vector<std::wstring>& row : rows)
        PutRecord(f, row, units);
    if (std::fclose(f) != 0)
        Die("cannot close the raw file");
}

void GetBytes(FILE* f, void* p, size_t n) {
    if (std::fread(p, 1, n, f) != n)
        Die("the raw file ends early");
}

void GetRecord(FILE* f, std::vector<std::wstring>& values, std::u16string& units) {
    int32_t nCount = 0;
    GetBytes(f, &nCount, 4);
    values.clear();
    for (int32_t i = 0; i < nCount; ++i) {
        unsigned char header[4];
        GetBytes(f, header, 4);
        if (header[0] != 0xFF || header[1] != 0xFE || header[2] != 0xFF)
            Die("the raw loader meets a string it does not read");
        size_t n = header[3];
        if (n == 0xFF) {
            uint16_t w = 0;
            GetBytes(f, &w, 2);
            n = w;
        }
        units.resize(n);
        GetBytes(f, &units[0], n * 2);
        values.emplace_back();
        std::wstring& s = values.back();
        s.reserve(n);
        for (size_t k = 0; k < n; ++k) {
            uint32_t u = units[k];
            if (u >= 0xD800 && u <= 0xDBFF && k + 1 < n && units[k + 1] >= 0xDC00 &&
                units[k + 1] <= 0xDFFF)
                s += static_cast<wchar_t>(0x10000 + ((u - 0xD800) << 10) + (units[++k] - 0xDC00));
            else
                s += static_cast<wchar_t>(u);
        }
    }
}

void LoadRaw(const std::string& strPath, std::vector<std::wstring>& labels, CRows& rows) {
    FILE* f = std::fopen(strPath.c_str(), "rb");
    if (f == nullptr)
        Die("cannot open", strPath.c_str());
    std::u16string units;
    GetRecord(f, labels, units);
    std::vector<std::wstring> header;
    for (int i = 0; i < 3; ++i)
        GetRecord(f, header, units);
    int32_t nRows = 0;
    GetBytes(f, &nRows, 4);
    rows.clear();
    for (int32_t i = 0; i < nRows; ++i) {
        rows.emplace_back();
        GetRecord(f, rows.back(), units);
    }
    std::fclose(f);
}

// ---- The library side -----------------------------------------------------------------------

void SaveLib(const std::string& strPath, CZORValueTable& table) {
    CFile file;
    if (!file.Open(CString(strPath.c_str()), CFile::modeCreate | CFile::modeWrite))
        Die("cannot create", strPath.c_str());
    CArchive ar(&file, CArchive::store);
    table.Serialize(ar);
    ar.Close();
    file.Close();
}

void LoadLib(const std::string& strPath, CZORValueTable& table) {
    CFile file;
    if (!file.Open(CString(strPath.c_str()), CFile::modeRead))
        Die("cannot open", strPath.c_str());
    CArchive ar(&file, CArchive::load);
    table.Serialize(ar);
    ar.Close();
    file.Close();
}

// ---- Checks ---------------------------------------------------------------------------------

std::vector<char> FileBytes(const std::string& strPath) {
    std::vector<char> bytes;
    FILE* f = std::fopen(strPath.c_str(), "rb");
    if (f == nullptr)
        Die("cannot open", strPath.c_str());
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        bytes.insert(bytes.end(), buf, buf + n);
    std::fclose(f);
    return bytes;
}

bool SameValues(const CStringArray& arr, const std::vector<std::wstring>& values) {
    if (arr.GetSize() != static_cast<INT_PTR>(values.size()))
        return false;
    for (size_t i = 0; i < values.size(); ++i) {
        const CString& s = arr[static_cast<INT_PTR>(i)];
        if (values[i].compare(0, std::wstring::npos, s.GetString(),
                              static_cast<size_t>(s.GetLength())) != 0)
            return false;
    }
    return true;
}

bool SameTable(CZORValueTable& table, const std::vector<std::wstring>& labels, const CRows& rows) {
    if (!SameValues(table.m_LableRecord.m_LableValueAr, labels) ||
        table.m_RecordAr.GetSize() != static_cast<INT_PTR>(rows.size()))
        return false;
    for (size_t i = 0; i < rows.size(); ++i)
        if (!SameValues(table.m_RecordAr[static_cast<INT_PTR>(i)].m_LableValueAr, rows[i]))
            return false;
    return true;
}

// ---- Driver ---------------------------------------------------------------------------------

COptions ParseOptions(int argc, char** argv) {
    COptions o = ParseTableOptions<COptions>(
        argc, argv, [](COptions& o, const std::string& a, const std::string& v) {
            if (a == "--only" && (v == "lib" || v == "raw"))
                o.strOnly = v;
            else if (a == "--dir")
                o.strDir = v;
            else
                return false;
            return true;
        });
    return o;
}

// The generated table's rows, read once through the SQLite C API and trimmed as the readers
// trim them.
CRows ReadRows(const std::string& strDb) {
    sqlite3* pDb = nullptr;
    sqlite3_stmt* pStmt = nullptr;
    if (sqlite3_open_v2(strDb.c_str(), &pDb, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK ||
        sqlite3_prepare_v2(pDb, kSelectUtf8, -1, &pStmt, nullptr) != SQLITE_OK)
        Die("cannot read", strDb.c_str());
    CRows rows;
    while (sqlite3_step(pStmt) == SQLITE_ROW) {
        rows.emplace_back(kColumns);
        for (int c = 0; c < kColumns; ++c) {
            const unsigned char* p = sqlite3_column_text(pStmt, c);
            size_t n = static_cast<size_t>(sqlite3_column_bytes(pStmt, c)), b = 0;
            while (b < n && p[b] == ' ')
                ++b;
            while (n > b && p[n - 1] == ' ')
                --n;
            AssignUtf8(rows.back()[static_cast<size_t>(c)], p + b, n - b);
        }
    }
    sqlite3_finalize(pStmt);
    sqlite3_close(pDb);
    return rows;
}

int Run(const COptions& o) {
    // As the readers' benchmark: freed memory stays with the process, so that no side waits for
    // the kernel to hand it fresh pages after the warm-up.
    KeepHeap();
    std::string strDir = o.strDir;
    bool bTemporary = strDir.empty();
    if (bTemporary) {
        strDir = (std::filesystem::temp_directory_path() /
                  ("zqk_bench_archive." + std::to_string(getpid())))
                     .string();
    }
    std::filesystem::create_directories(strDir);
    struct CCleanUp {
        std::string strDir;
        ~CCleanUp() {
            if (!strDir.empty())
                std::filesystem::remove_all(strDir);
        }
    } cleanUp{bTemporary ? strDir : std::string()};
    CTableFile tableFile(o.strDb.empty() ? strDir + "/table.sqlite" : o.strDb, o.nRows);
    const std::string& strDb = tableFile.strPath;
    std::string strLib = strDir + "/lib.bin", strRaw = strDir + "/raw.bin";
    std::vector<std::wstring> labels(kNames, kNames + kColumns);
    const CRows rows = ReadRows(strDb);
    CZORValueTable table;
    {
        CStringArray arr;
        for (const wchar_t* psz : kNames)
            arr.Add(psz);
        table.SetLableRecord(arr);
        for (const std::vector<std::wstring>& row : rows) {
            arr.RemoveAll();
            for (const std::wstring& s : row)
                arr.Add(CString(s.data(), static_cast<int>(s.size())));
            table.AddValueRecord(arr);
        }
    }
    std::printf("table: %zu rows x %d values; file %s\n", rows.size(), kColumns, strDir.c_str());

    bool bLib = o.strOnly != "raw", bRaw = o.strOnly != "lib";
    CZORValueTable loaded;
    std::vector<std::wstring> rawLabels;
    CRows rawRows;
    // One save and one load on each side: returns the times [save, load].
    auto fnLib = [&](CTimes* pTimes) {
        CTimes t0 = CTimes::Now();
        SaveLib(strLib, table);
        CTimes t1 = CTimes::Now();
        pTimes[0] = t1 - t0;
        loaded.RemoveAll(TRUE); // emptied outside the timing, as raw's rows are
        t1 = CTimes::Now();
        LoadLib(strLib, loaded);
        pTimes[1] = CTimes::Now() - t1;
    };
    auto fnRaw = [&](CTimes* pTimes) {
        CTimes t0 = CTimes::Now();
        SaveRaw(strRaw, labels, rows);
        CTimes t1 = CTimes::Now();
        pTimes[0] = t1 - t0;
        CRows().swap(rawRows);
        t1 = CTimes::Now();
        LoadRaw(strRaw, rawLabels, rawRows);
        pTimes[1] = CTimes::Now() - t1;
    };
    auto fnCheck = [&] {
        if (bLib && !SameTable(loaded, labels, rows)) {
            std::fprintf(stderr, "the library loaded a table that differs from the one saved\n");
            std::exit(1);
        }
        if (bRaw && (rawLabels != labels || rawRows != rows)) {
            std::fprintf(stderr, "raw loaded rows that differ from the ones saved\n");
            std::exit(1);
        }
        if (bLib && bRaw && FileBytes(strLib) != FileBytes(strRaw)) {
            std::fprintf(stderr, "the two sides wrote different bytes\n");
            std::exit(1);
        }
    };

    CTimes warm[2];
    if (bLib)
        fnLib(warm);
    if (bRaw)
        fnRaw(warm);
    fnCheck();
    std::printf("file: %ju bytes\n",
                static_cast<uintmax_t>(std::filesystem::file_size(bLib ? strLib : strRaw)));

    CSeries series[2]; // save, load
    for (CSeries& one : series) {
        one.bLib = bLib;
        one.bRaw = bRaw;
    }
    for (int r = 0; r < o.nRounds; ++r) {
        CTimes tLib[2], tRaw[2];
        RunRound(
            r, bLib, bRaw, [&] { fnLib(tLib); }, [&] { fnRaw(tRaw); });
        fnCheck();
        std::printf("round %d:", r + 1);
        for (int d = 0; d < 2; ++d) {
            series[d].Add(tLib[d], tRaw[d]);
            series[d].PrintRound(d == 0 ? "save" : "load");
        }
        std::printf("\n");
    }
    for (int d = 0; d < 2; ++d)
        series[d].PrintMedians(d == 0 ? "save" : "load", 1e3, "ms", 1.50);
    // The goals are reported, not enforced: a timing is no verdict on a shared machine.
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    g_pszProgram = "zqk_bench_archive";
    NoteBuild();
    COptions o = ParseOptions(argc, argv);
    try {
        return Run(o);
    } catch (CException* e) {
        e->Delete();
        Die("the archive raised an exception");
    }
}
