// Several threads, each with its own server on one database file, reading and writing at once
// while they hand copies of strings, _bstr_t values, value tables and row arrays to each other.
// Run under the thread sanitizer (make test TSAN=1) it must report no race; everywhere every
// committed row must be there exactly once and no rolled-back one.
#include <gtest/gtest.h>

#include "support/PrintCString.h"

#include <chrono>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/win/TextEncoding.h"
#include "support/FileBytes.h"
#include "support/TempDir.h"
#include "zqk_vododuvod.h"

namespace {

const int kThreads = 4;
const size_t kPackageBytes = 64 * 1024;

std::wstring Connect(const TempDir& dir) {
    return L"Provider=SQLite; Data Source=" + dir.WideFile("shared.db") + L"; Initial Catalog=x";
}

// How long the threads run: a few seconds unless ZQK_STRESS_SECONDS says otherwise.
std::chrono::milliseconds Duration() {
    const char* psz = std::getenv("ZQK_STRESS_SECONDS");
    int n = psz ? std::atoi(psz) : 0;
    return std::chrono::seconds(n > 0 ? n : 3);
}

// What one thread hands to another: copies that share their buffers with the sender's own,
// which the sender goes on reading and changing after the handover.
struct Parcel {
    CString str;
    _bstr_t bstr;
    CZORValueTable table;
    _variant_t rows;
};

class Mailbox {
public:
    void Post(Parcel parcel) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_parcels.push_back(std::move(parcel));
        if (m_parcels.size() > 32)
            m_parcels.pop_front(); // destroyed here, while its sender may read its originals
    }
    bool Take(Parcel* pParcel) {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_parcels.empty())
            return false;
        *pParcel = std::move(m_parcels.front());
        m_parcels.pop_front();
        return true;
    }

private:
    std::mutex m_mutex;
    std::deque<Parcel> m_parcels;
};

// What one thread did and what went wrong, read by the test after the threads are joined.
struct Outcome {
    std::vector<int> committed; // n of the rows it committed (a rolled-back one would show as
                                // an extra row in the file)
    int nPackages = 0;
    int nParcelsRead = 0;
    std::vector<std::string> failures;
};

// Reads a parcel from another thread as a host would, and says what is wrong with it.
std::string CheckParcel(Parcel& parcel) {
    std::string strNarrow = static_cast<const char*>(parcel.bstr);
    if (strNarrow != WinWideToUtf8(parcel.str.GetString()))
        return "string and _bstr_t differ: " + strNarrow;
    CStringArray row;
    for (int i = 0; i < parcel.table.GetTableLogicSize(); ++i) {
        parcel.table.GetValueRecord(i, row);
        if (row.GetSize() != 3)
            return "a table row of " + std::to_string(row.GetSize()) + " values";
        parcel.table.m_RecordAr[i].m_LableValueAr[2] += L"!"; // the receiver's own copy
    }
    if (parcel.rows.vt != (VT_ARRAY | VT_VARIANT))
        return parcel.rows.vt == VT_EMPTY ? std::string() : "rows of the wrong type";
    LONG nCols = 0, nRows = 0;
    SafeArrayGetUBound(parcel.rows.parray, 1, &nCols);
    SafeArrayGetUBound(parcel.rows.parray, 2, &nRows);
    for (LONG r = 0; r <= nRows; ++r) {
        LONG index[2] = {2, r};
        _variant_t cell;
        if (FAILED(SafeArrayGetElement(parcel.rows.parray, index, &cell)) || cell.vt != VT_BSTR)
            return "a row without its text";
    }
    return nCols == 2 ? std::string() : "rows of " + std::to_string(nCols + 1) + " columns";
}

void Work(const TempDir& dir, int nThread, std::chrono::steady_clock::time_point until,
          Mailbox& mailbox, Outcome& out) {
    // A failure names the step and how long it took (a lock wait gives up after seconds).
    auto start = std::chrono::steady_clock::now();
    auto fail = [&](const std::string& what) {
        auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - start);
        out.failures.push_back(what + " after " + std::to_string(ms.count()) + " ms");
    };
    CZORADORXServer server;
    if (server.InitADOServer(Connect(dir).c_str()) != 1)
        return fail("no connection");
    CZORPackageDbOper packer;
    packer.SetDbSrv(&server);
    CString strFile(dir.WideFile("pack" + std::to_string(nThread) + ".bin").c_str());
    CString strKept(L"kept");
    _bstr_t bstrKept(L"kept");
    CZORValueTable tableKept;

    for (int i = 0; std::chrono::steady_clock::now() < until; ++i) {
        start = std::chrono::steady_clock::now();
        std::wstring who = std::to_wstring(nThread), n = std::to_wstring(i);
        std::wstring insert = L"INSERT INTO t(who, n, txt) VALUES(" + who + L", " + n + L", 'row " +
                              who + L"-" + n + L" 行')";
        switch (i % 5) {
        case 0:
            if (server.ExecuteSQL(insert.c_str()) == 1)
                out.committed.push_back(i);
            else
                fail("insert " + std::to_string(i));
            break;
        case 1:
            try {
                server.BeginTrans();
                bool bOk = server.ExecuteSQL(insert.c_str()) == 1;
                if (i % 3 == 1) {
                    server.RollbackTrans();
                } else {
                    server.CommitTrans();
                    if (bOk)
                        out.committed.push_back(i);
                }
                if (!bOk)
                    fail("insert in a transaction " + std::to_string(i));
            } catch (_com_error& e) {
                fail("transaction: " + WinWideToUtf8(static_cast<const wchar_t*>(e.Description())));
            }
            break;
        case 2: {
            CZORValueTable values;
            CStringArray ar;
            ar.Add(L"name");
            ar.Add((L"p" + who + L"-" + n).c_str());
            ar.Add(L"varchar");
            values.AddValueRecord(ar);
            try {
                if (packer.PutPackageToDb(strFile, L"docs", L"data", values) == 1)
                    ++out.nPackages;
                else
                    fail("package " + std::to_string(i));
            } catch (_com_error& e) {
                fail("package: " + WinWideToUtf8(static_cast<const wchar_t*>(e.Description())));
            }
            break;
        }
        case 3: {
            // This thread's own committed rows are all visible to it.
            std::wstring sql = L"SELECT who, n, txt FROM t WHERE who = " + who;
            _variant_t rows;
            LONG nRows = 0, nCols = 0;
            if (server.GetSelData(sql.c_str(), rows, nRows, nCols) != 1 ||
                nRows != static_cast<LONG>(out.committed.size()))
                fail("rows read " + std::to_string(nRows));
            tableKept.RemoveAll(1);
            if (server.GetSelData(L"SELECT who, n, txt FROM t ORDER BY id DESC LIMIT 20", tableKept,
                                  0) < 1)
                fail("table read");
            strKept.Format(L"from %d at %d: 文字", nThread, i);
            bstrKept = static_cast<const wchar_t*>(strKept);
            mailbox.Post({strKept, bstrKept, tableKept, rows});
            // The sender keeps using what it shared.
            strKept.SetAt(0, L'F');
            if (std::string(static_cast<const char*>(bstrKept)).compare(0, 4, "from") != 0)
                fail("own _bstr_t changed");
            if (tableKept.GetTableLogicSize() > 0)
                tableKept.m_RecordAr[0].m_LableValueAr[0] = L"changed";
            break;
        }
        default: {
            CString strCount;
            if (server.GetSelData(L"SELECT count(*) FROM docs", strCount) != 1)
                fail("count");
            Parcel parcel;
            if (mailbox.Take(&parcel)) {
                std::string problem = CheckParcel(parcel);
                if (!problem.empty())
                    fail(problem);
                ++out.nParcelsRead;
            }
            break;
        }
        }
    }
}

TEST(ConcurrentServers, ThreadsReadAndWriteOneFileWithoutLosingRows) {
    TempDir dir;
    {
        CZORADORXServer server;
        ASSERT_EQ(1, server.InitADOServer(Connect(dir).c_str()));
        ASSERT_EQ(1, server.ExecuteSQL(L"CREATE TABLE t(id integer PRIMARY KEY, who int, n int, "
                                       L"txt varchar(50))"));
        ASSERT_EQ(1,
                  server.ExecuteSQL(
                      L"CREATE TABLE docs(id integer PRIMARY KEY, name varchar(50), data image)"));
    }
    std::vector<unsigned char> bytes(kPackageBytes);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<unsigned char>(i * 7);
    for (int t = 0; t < kThreads; ++t)
        WriteFile(dir.File("pack" + std::to_string(t) + ".bin"), bytes);

    Mailbox mailbox;
    std::vector<Outcome> outcomes(kThreads);
    auto until = std::chrono::steady_clock::now() + Duration();
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back(Work, std::cref(dir), t, until, std::ref(mailbox),
                             std::ref(outcomes[t]));
    for (auto& th : threads)
        th.join();

    CZORADORXServer server;
    ASSERT_EQ(1, server.InitADOServer(Connect(dir).c_str()));
    int nPackages = 0, nParcels = 0;
    for (int t = 0; t < kThreads; ++t) {
        SCOPED_TRACE(t);
        const Outcome& out = outcomes[t];
        EXPECT_EQ(std::vector<std::string>(), out.failures);
        EXPECT_FALSE(out.committed.empty());
        std::wstring sql = L"SELECT n FROM t WHERE who = " + std::to_wstring(t) + L" ORDER BY n";
        CStringArray found;
        ASSERT_EQ(static_cast<int>(out.committed.size()), server.GetSelData(sql.c_str(), found));
        std::vector<int> stored;
        for (int i = 0; i < found.GetSize(); ++i)
            stored.push_back(std::stoi(std::wstring(found[i].GetString())));
        EXPECT_EQ(out.committed, stored); // each once, none rolled back
        nPackages += out.nPackages;
        nParcels += out.nParcelsRead;
    }
    CString strCount, strBytes;
    ASSERT_EQ(1, server.GetSelData(L"SELECT count(*) FROM docs", strCount));
    EXPECT_EQ(std::to_wstring(nPackages), strCount.GetString());
    ASSERT_EQ(1, server.GetSelData(L"SELECT count(*) FROM docs WHERE length(data) = " +
                                       CString(std::to_wstring(kPackageBytes).c_str()),
                                   strBytes));
    EXPECT_EQ(strCount, strBytes);
    EXPECT_GT(nParcels, 0);
}

} // namespace
