// Reading a table cell by cell through the data-access objects, against the SQLite C API
// reading the same cells, in one process. Both readers turn every cell into a std::wstring
// trimmed of blanks at both ends; the figure of merit is the ratio of their times.
//
//   zqk_bench_ado_read [--rows N] [--rounds N] [--sink slots|scratch] [--only ado|raw]
//                      [--db FILE]
//
// --rows    rows in the generated table (200000)
// --rounds  timed rounds; each round runs both readers, alternating which goes first (7)
// --sink    slots: every cell lands in its own std::wstring of a table that lives across
//                  rounds, so after the warm-up no reader allocates for its results;
//           scratch: every cell lands in one std::wstring per reader, checksummed
// --only    runs one reader only (for a profiler); the ratio is not printed
// --db      reads FILE (its table t) instead of a temporary file; a FILE that does not exist
//           is generated and kept, for profiling runs

#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/ado/AdoInterfaces.h"

namespace {

const int kColumns = 6;
const char kSelectUtf8[] = "SELECT id, name, amount, created, big, code FROM t";
const wchar_t kSelectWide[] = L"SELECT id, name, amount, created, big, code FROM t";

typedef std::chrono::steady_clock Clock;

[[noreturn]] void Die(const char* pszWhat, const char* pszDetail = "") {
    std::fprintf(stderr, "zqk_bench_ado_read: %s %s\n", pszWhat, pszDetail);
    std::exit(2);
}

// ---- The data ---------------------------------------------------------------------------

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

void Exec(sqlite3* pDb, const char* pszSql) {
    char* pszError = nullptr;
    if (sqlite3_exec(pDb, pszSql, nullptr, nullptr, &pszError) != SQLITE_OK)
        Die("cannot build the table:", pszError ? pszError : "");
}

// Six columns the way the product's tables declare them. Values are chosen so that both
// readers yield the same text: no NULLs, amounts with a nonzero fraction of cents, times that
// are never midnight. One name in eight has blanks around it, one in ten non-ASCII letters.
void BuildTable(const std::string& strPath, int nRows) {
    sqlite3* pDb = nullptr;
    if (sqlite3_open(strPath.c_str(), &pDb) != SQLITE_OK)
        Die("cannot create", strPath.c_str());
    Exec(pDb, "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF;");
    Exec(pDb, "CREATE TABLE t(id int, name nvarchar(40), amount float, created datetime, "
              "big bigint, code varchar(20))");
    Exec(pDb, "BEGIN");
    sqlite3_stmt* pStmt = nullptr;
    if (sqlite3_prepare_v2(pDb, "INSERT INTO t VALUES (?1, ?2, ?3, ?4, ?5, ?6)", -1, &pStmt, nullptr) != SQLITE_OK)
        Die("cannot prepare the insert:", sqlite3_errmsg(pDb));
    static const char* const kFirst[] = {"Anna", "Boris", "Clara", "Dmitri", "Elena", "Fjodor", "Galina", "Igor"};
    static const char* const kLast[] = {"Petrova", "Ivanov", "Schmidt", "Nowak", "Larsen", "Rossi", "Kowalski"};
    static const char* const kForeign[] = {"Müller", "Ærøskøbing", "Łódź", "Ģirts", "Смирнов", "Zoë"};
    CRandom rnd;
    char szName[96], szDate[32], szCode[32];
    for (int i = 1; i <= nRows; ++i) {
        const char* pszLast = i % 10 == 3 ? kForeign[rnd.Below(6)] : kLast[rnd.Below(7)];
        const char* pszPad = i % 8 == 5 ? "   " : "";
        const char* pszTail = i % 8 == 5 ? "  " : (i % 16 == 1 ? " " : "");
        std::snprintf(szName, sizeof szName, "%s%s %s %u%s", pszPad, kFirst[rnd.Below(8)], pszLast,
                      rnd.Below(100000), pszTail);
        double dAmount = static_cast<double>(static_cast<int>(rnd.Below(2000000)) - 1000000) + (1 + rnd.Below(99)) / 100.0;
        std::snprintf(szDate, sizeof szDate, "%04u-%02u-%02u %02u:%02u:%02u", 1990 + rnd.Below(40), 1 + rnd.Below(12),
                      1 + rnd.Below(28), 1 + rnd.Below(23), rnd.Below(60), rnd.Below(60));
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

// ---- Where the cells go -----------------------------------------------------------------

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

// Both readers end every cell here: either a slot of a table kept across rounds or one
// scratch string per reader, whose contents are folded into a checksum.
class CSink {
public:
    CSink(bool bSlots, size_t nCells) : m_bSlots(bSlots) {
        if (bSlots)
            m_slots.resize(nCells);
    }
    void Reset() {
        m_nCell = 0;
        m_nSum = 0;
    }
    std::wstring& Next() { return m_bSlots ? m_slots.at(m_nCell++) : (++m_nCell, m_scratch); }
    // Called after each cell; only the scratch sink works on it here.
    void Done(const std::wstring& s) {
        if (!m_bSlots)
            m_nSum = Fold(m_nSum, s);
    }
    // The checksum of everything read this round (the slots are summed outside the timing).
    uint64_t Checksum() const {
        if (!m_bSlots)
            return m_nSum;
        uint64_t n = 0;
        for (size_t i = 0; i < m_nCell; ++i)
            n = Fold(n, m_slots[i]);
        return n;
    }
    size_t Cells() const { return m_nCell; }
    const std::wstring& Slot(size_t i) const { return m_slots[i]; }
    bool Slots() const { return m_bSlots; }

private:
    static uint64_t Fold(uint64_t n, const std::wstring& s) {
        n = (n ^ s.size()) * 0x100000001B3ull;
        for (wchar_t c : s)
            n = (n ^ static_cast<uint32_t>(c)) * 0x100000001B3ull;
        return n;
    }

    bool m_bSlots;
    std::vector<std::wstring> m_slots;
    std::wstring m_scratch;
    size_t m_nCell = 0;
    uint64_t m_nSum = 0;
};

// ---- The SQLite C API reader ------------------------------------------------------------

// Decodes UTF-8 into the string, reusing its storage; a malformed byte becomes U+FFFD.
void AssignUtf8(std::wstring& out, const unsigned char* p, size_t n) {
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
        bool bOk = nMore && k == nMore + 1 && !(nMore == 2 && (v < 0x800 || (v >= 0xD800 && v < 0xE000))) &&
                   !(nMore == 3 && (v < 0x10000 || v > 0x10FFFF));
        w[o++] = bOk ? static_cast<wchar_t>(v) : static_cast<wchar_t>(0xFFFD);
        i += bOk ? k : 1;
    }
    out.resize(o);
}

double ReadRaw(sqlite3* pDb, CSink& sink) {
    sink.Reset();
    Clock::time_point t0 = Clock::now();
    sqlite3_stmt* pStmt = nullptr;
    if (sqlite3_prepare_v2(pDb, kSelectUtf8, -1, &pStmt, nullptr) != SQLITE_OK)
        Die("cannot prepare the select:", sqlite3_errmsg(pDb));
    int rc;
    while ((rc = sqlite3_step(pStmt)) == SQLITE_ROW) {
        for (int c = 0; c < kColumns; ++c) {
            const unsigned char* p = sqlite3_column_text(pStmt, c);
            size_t n = static_cast<size_t>(sqlite3_column_bytes(pStmt, c));
            // Blanks are ASCII, so the bytes can be trimmed before decoding.
            size_t b = 0;
            while (b < n && (p[b] == ' ' || p[b] == '\t'))
                ++b;
            while (n > b && (p[n - 1] == ' ' || p[n - 1] == '\t'))
                --n;
            std::wstring& s = sink.Next();
            AssignUtf8(s, p + b, n - b);
            sink.Done(s);
        }
    }
    if (rc != SQLITE_DONE)
        Die("cannot read:", sqlite3_errmsg(pDb));
    sqlite3_finalize(pStmt);
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

// ---- The data-access reader -------------------------------------------------------------

double ReadAdo(_Connection* pConn, CSink& sink) {
    sink.Reset();
    Clock::time_point t0 = Clock::now();
    _RecordsetPtr pRs = pConn->Execute(kSelectWide, nullptr, adCmdText);
    while (!pRs->GetadoEOF()) {
        for (LONG c = 0; c < kColumns; ++c) {
            FieldsPtr pFields = pRs->GetFields();
            FieldPtr pField = pFields->GetItem(_variant_t(static_cast<LONG>(c)));
            _variant_t value = pField->GetValue();
            VARIANT text;
            VariantInit(&text);
            HRESULT hr = VariantChangeType(&text, &value, 0, VT_BSTR);
            if (FAILED(hr))
                _com_issue_error(hr);
            const wchar_t* p = text.bstrVal ? text.bstrVal : L"";
            size_t n = SysStringLen(text.bstrVal);
            size_t b = 0;
            while (b < n && IsBlank(p[b]))
                ++b;
            while (n > b && IsBlank(p[n - 1]))
                --n;
            std::wstring& s = sink.Next();
            s.assign(p + b, n - b);
            VariantClear(&text);
            sink.Done(s);
        }
        pRs->MoveNext();
    }
    pRs->Close();
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

// ---- Driver -----------------------------------------------------------------------------

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

std::string Narrow(const std::wstring& s) {
    std::string r;
    for (wchar_t c : s)
        r += c < 0x80 ? static_cast<char>(c) : '?';
    return r;
}

// Both readers must have produced the same cells, or the comparison means nothing.
bool Same(const CSink& ado, const CSink& raw) {
    uint64_t nAdo = ado.Checksum(), nRaw = raw.Checksum();
    if (ado.Cells() == raw.Cells() && nAdo == nRaw)
        return true;
    std::fprintf(stderr, "the readers disagree: %zu cells (checksum %016llx) against %zu (%016llx)\n", ado.Cells(),
                 static_cast<unsigned long long>(nAdo), raw.Cells(), static_cast<unsigned long long>(nRaw));
    if (ado.Slots())
        for (size_t i = 0, nShown = 0; i < std::min(ado.Cells(), raw.Cells()) && nShown < 5; ++i)
            if (ado.Slot(i) != raw.Slot(i)) {
                std::fprintf(stderr, "  cell %zu (row %zu, column %zu): [%s] against [%s]\n", i, i / kColumns,
                             i % kColumns, Narrow(ado.Slot(i)).c_str(), Narrow(raw.Slot(i)).c_str());
                ++nShown;
            }
    return false;
}

struct COptions {
    int nRows = 200000;
    int nRounds = 7;
    bool bSlots = true;
    std::string strOnly;
    std::string strDb;
};

COptions ParseOptions(int argc, char** argv) {
    COptions o;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        const char* pszValue = i + 1 < argc ? argv[i + 1] : nullptr;
        if (pszValue == nullptr)
            Die("missing value after", a.c_str());
        if (a == "--rows")
            o.nRows = std::atoi(pszValue);
        else if (a == "--rounds")
            o.nRounds = std::atoi(pszValue);
        else if (a == "--sink" && (std::strcmp(pszValue, "slots") == 0 || std::strcmp(pszValue, "scratch") == 0))
            o.bSlots = std::strcmp(pszValue, "slots") == 0;
        else if (a == "--only" && (std::strcmp(pszValue, "ado") == 0 || std::strcmp(pszValue, "raw") == 0))
            o.strOnly = pszValue;
        else if (a == "--db")
            o.strDb = pszValue;
        else
            Die("unknown option", a.c_str());
        ++i;
    }
    if (o.nRows <= 0 || o.nRounds <= 0)
        Die("rows and rounds must be positive");
    return o;
}

// Removes the generated file however the run ends.
struct CTemporaryFile {
    std::string strPath;
    ~CTemporaryFile() {
        if (!strPath.empty())
            std::remove(strPath.c_str());
    }
};

int Run(const COptions& o) {
    std::string strPath = o.strDb;
    CTemporaryFile temporary;
    bool bBuild = strPath.empty() || !std::filesystem::exists(strPath);
    if (strPath.empty()) {
        strPath = (std::filesystem::temp_directory_path() /
                   ("zqk_bench_ado_read." + std::to_string(getpid()) + ".sqlite"))
                      .string();
        temporary.strPath = strPath;
    }
    if (bBuild) {
        Clock::time_point t0 = Clock::now();
        BuildTable(strPath, o.nRows);
        std::printf("table: %d rows x %d columns in %s (built in %.2f s)\n", o.nRows, kColumns, strPath.c_str(),
                    std::chrono::duration<double>(Clock::now() - t0).count());
    }
    {
        sqlite3* pDb = nullptr;
        if (sqlite3_open_v2(strPath.c_str(), &pDb, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK)
            Die("cannot open", strPath.c_str());
        _ConnectionPtr pConn;
        if (FAILED(pConn.CreateInstance(L"ADODB.Connection")))
            Die("cannot create ADODB.Connection");
        pConn->PutMode(adModeRead);
        std::wstring strConnection = L"Provider=SQLite; Data Source=" + std::wstring(strPath.begin(), strPath.end());
        pConn->Open(strConnection.c_str(), L"", L"", -1); // no open options

        size_t nCells = static_cast<size_t>(o.nRows) * kColumns;
        if (!bBuild) {
            // A file from an earlier run: count its rows for the slots.
            sqlite3_stmt* pStmt = nullptr;
            sqlite3_prepare_v2(pDb, "SELECT count(*) FROM t", -1, &pStmt, nullptr);
            if (pStmt && sqlite3_step(pStmt) == SQLITE_ROW)
                nCells = static_cast<size_t>(sqlite3_column_int64(pStmt, 0)) * kColumns;
            sqlite3_finalize(pStmt);
        }
        CSink adoSink(o.bSlots, nCells), rawSink(o.bSlots, nCells);
        bool bAdo = o.strOnly != "raw", bRaw = o.strOnly != "ado";

        // Warm-up: the file in the page cache, both sinks at full size, both code paths run.
        if (bAdo)
            ReadAdo(pConn, adoSink);
        if (bRaw)
            ReadRaw(pDb, rawSink);
        if (bAdo && bRaw && !Same(adoSink, rawSink))
            return 1;

        std::vector<double> ado, raw, ratio;
        for (int r = 0; r < o.nRounds; ++r) {
            double tAdo = 0, tRaw = 0;
            if (r % 2 == 0) {
                if (bAdo)
                    tAdo = ReadAdo(pConn, adoSink);
                if (bRaw)
                    tRaw = ReadRaw(pDb, rawSink);
            } else {
                if (bRaw)
                    tRaw = ReadRaw(pDb, rawSink);
                if (bAdo)
                    tAdo = ReadAdo(pConn, adoSink);
            }
            if (bAdo && bRaw) {
                if (!Same(adoSink, rawSink))
                    return 1;
                ado.push_back(tAdo);
                raw.push_back(tRaw);
                ratio.push_back(tAdo / tRaw);
                std::printf("round %d: ado %8.1f ms   raw %8.1f ms   ratio %.2f\n", r + 1, tAdo * 1e3, tRaw * 1e3,
                            tAdo / tRaw);
            } else {
                double t = bAdo ? tAdo : tRaw;
                (bAdo ? ado : raw).push_back(t);
                std::printf("round %d: %s %8.1f ms\n", r + 1, bAdo ? "ado" : "raw", t * 1e3);
            }
        }
        double dCells = static_cast<double>(adoSink.Cells() ? adoSink.Cells() : rawSink.Cells());
        std::printf("cells per round: %.0f, sink: %s\n", dCells, o.bSlots ? "slots" : "scratch");
        if (bAdo)
            std::printf("ado median: %8.1f ms  (%.0f ns/cell)\n", Median(ado) * 1e3, Median(ado) * 1e9 / dCells);
        if (bRaw)
            std::printf("raw median: %8.1f ms  (%.0f ns/cell)\n", Median(raw) * 1e3, Median(raw) * 1e9 / dCells);
        if (bAdo && bRaw) {
            double dRatio = Median(ratio);
            std::printf("ratio ado/raw: median of rounds %.2f, of medians %.2f (goal: at most 1.30)\n", dRatio,
                        Median(ado) / Median(raw));
        }
        pConn->Close();
        sqlite3_close(pDb);
    }
    // The goal is reported, not enforced: a timing is no verdict on a shared machine.
    return 0;
}

} // namespace

int main(int argc, char** argv) {
#ifndef NDEBUG
    std::printf("note: built without NDEBUG; quote numbers from an optimised build only\n");
#endif
    COptions o = ParseOptions(argc, argv);
    CoInitialize(nullptr);
    int nResult = 0;
    try {
        nResult = Run(o);
    } catch (_com_error& e) {
        _bstr_t description = e.Description();
        std::fprintf(stderr, "zqk_bench_ado_read: data-access error %08x: %s\n", static_cast<unsigned>(e.Error()),
                     Narrow(description.length() ? static_cast<const wchar_t*>(description) : L"").c_str());
        nResult = 2;
    }
    CoUninitialize();
    return nResult;
}
