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
#include <string>
#include <vector>

#include "BenchCom.h"
#include "BenchTable.h"
#include "platform/ado/AdoInterfaces.h"

namespace {

using namespace bench;

// ---- Where the cells go -----------------------------------------------------------------

bool IsBlank(wchar_t c) {
    return c == L' ' || c == L'\t';
}

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
    bool m_bSlots;
    std::vector<std::wstring> m_slots;
    std::wstring m_scratch;
    size_t m_nCell = 0;
    uint64_t m_nSum = 0;
};

// ---- The SQLite C API reader ------------------------------------------------------------

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

// Both readers must have produced the same cells, or the comparison means nothing.
bool Same(const CSink& ado, const CSink& raw) {
    uint64_t nAdo = ado.Checksum(), nRaw = raw.Checksum();
    if (ado.Cells() == raw.Cells() && nAdo == nRaw)
        return true;
    std::fprintf(stderr,
                 "the readers disagree: %zu cells (checksum %016llx) against %zu (%016llx)\n",
                 ado.Cells(), static_cast<unsigned long long>(nAdo), raw.Cells(),
                 static_cast<unsigned long long>(nRaw));
    if (ado.Slots())
        for (size_t i = 0, nShown = 0; i < std::min(ado.Cells(), raw.Cells()) && nShown < 5; ++i)
            if (ado.Slot(i) != raw.Slot(i)) {
                std::fprintf(stderr, "  cell %zu (row %zu, column %zu): [%s] against [%s]\n", i,
                             i / kColumns, i % kColumns, Narrow(ado.Slot(i)).c_str(),
                             Narrow(raw.Slot(i)).c_str());
                ++nShown;
            }
    return false;
}

struct COptions : CTableOptions {
    bool bSlots = true;
    std::string strOnly;
};

COptions ParseOptions(int argc, char** argv) {
    COptions o = ParseTableOptions<COptions>(
        argc, argv, [](COptions& o, const std::string& a, const std::string& v) {
            if (a == "--sink" && (v == "slots" || v == "scratch"))
                o.bSlots = v == "slots";
            else if (a == "--only" && (v == "ado" || v == "raw"))
                o.strOnly = v;
            else
                return false;
            return true;
        });
    return o;
}

int Run(const COptions& o) {
    CTableFile table(o.strDb, o.nRows);
    const std::string& strPath = table.strPath;
    {
        sqlite3* pDb = nullptr;
        if (sqlite3_open_v2(strPath.c_str(), &pDb, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX,
                            nullptr) != SQLITE_OK)
            Die("cannot open", strPath.c_str());
        _ConnectionPtr pConn;
        if (FAILED(pConn.CreateInstance(L"ADODB.Connection")))
            Die("cannot create ADODB.Connection");
        pConn->PutMode(adModeRead);
        std::wstring strConnection =
            L"Provider=SQLite; Data Source=" + std::wstring(strPath.begin(), strPath.end());
        pConn->Open(strConnection.c_str(), L"", L"", -1); // no open options

        size_t nCells = static_cast<size_t>(o.nRows) * kColumns;
        if (!table.bBuilt) // a file from an earlier run: count its rows for the slots
            nCells = static_cast<size_t>(CountRows(pDb)) * kColumns;
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
            RunRound(
                r, bAdo, bRaw, [&] { tAdo = ReadAdo(pConn, adoSink); },
                [&] { tRaw = ReadRaw(pDb, rawSink); });
            if (bAdo && bRaw) {
                if (!Same(adoSink, rawSink))
                    return 1;
                ado.push_back(tAdo);
                raw.push_back(tRaw);
                ratio.push_back(tAdo / tRaw);
                std::printf("round %d: ado %8.1f ms   raw %8.1f ms   ratio %.2f\n", r + 1,
                            tAdo * 1e3, tRaw * 1e3, tAdo / tRaw);
            } else {
                double t = bAdo ? tAdo : tRaw;
                (bAdo ? ado : raw).push_back(t);
                std::printf("round %d: %s %8.1f ms\n", r + 1, bAdo ? "ado" : "raw", t * 1e3);
            }
        }
        double dCells = static_cast<double>(adoSink.Cells() ? adoSink.Cells() : rawSink.Cells());
        std::printf("cells per round: %.0f, sink: %s\n", dCells, o.bSlots ? "slots" : "scratch");
        if (bAdo)
            std::printf("ado median: %8.1f ms  (%.0f ns/cell)\n", Median(ado) * 1e3,
                        Median(ado) * 1e9 / dCells);
        if (bRaw)
            std::printf("raw median: %8.1f ms  (%.0f ns/cell)\n", Median(raw) * 1e3,
                        Median(raw) * 1e9 / dCells);
        if (bAdo && bRaw) {
            std::printf("ado/raw ");
            PrintRatio(ratio, ado, raw, 1.30);
            std::printf("\n");
        }
        pConn->Close();
        sqlite3_close(pDb);
    }
    // The goal is reported, not enforced: a timing is no verdict on a shared machine.
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    g_pszProgram = "zqk_bench_ado_read";
    NoteBuild();
    COptions o = ParseOptions(argc, argv);
    return RunWithCom([&] { return Run(o); });
}
