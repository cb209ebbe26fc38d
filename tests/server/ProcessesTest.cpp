// Other processes on the same database file: writing at the same time, killed in the middle of
// a transaction or of packing a file, and stopped by a full disk. The child program
// (DatabaseChild.cpp) does the writing; these tests start, kill and check it.
#include <gtest/gtest.h>

#include "support/PrintCString.h"

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "DatabaseChild.h"
#include "support/ChildProcess.h"
#include "support/RecordingApp.h"
#include "support/FileBytes.h"
#include "support/TempDir.h"
#include "zqk_vododuvod.h"

namespace {

std::vector<unsigned char> Pattern(size_t n, unsigned nSeed) {
    std::vector<unsigned char> bytes(n);
    for (size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<unsigned char>((i * 131 + i / 4093 + nSeed) % 251);
    return bytes;
}

long long FileSize(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? st.st_size : -1;
}

// The number at the end of a line such as "committed 12".
int NumberOf(const std::string& line) {
    return std::stoi(line.substr(line.rfind(' ') + 1));
}

class ProcessesTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_strDb = m_dir.File("shared.db");
        ASSERT_EQ(1, Open(m_server));
        ASSERT_EQ(1, m_server.ExecuteSQL(L"CREATE TABLE t(id integer PRIMARY KEY, batch int, "
                                         L"n int, txt text)"));
        ASSERT_EQ(1, m_server.ExecuteSQL(L"CREATE TABLE docs(id integer PRIMARY KEY, "
                                         L"name varchar(50), data image)"));
    }

    int Open(CZORADORXServer& server) {
        return server.InitADOServer(ChildConnection(m_strDb).c_str());
    }

    // The child program in role args[0] on this test's database, with the rest of args.
    std::unique_ptr<ChildProcess> Start(std::vector<std::string> args) {
        args.insert(args.begin() + 1, m_strDb);
        args.insert(args.begin(), ZQK_DATABASE_CHILD);
        auto pChild = std::make_unique<ChildProcess>(args, m_dir.File("child.err"));
        EXPECT_TRUE(pChild->Started());
        return pChild;
    }

    // Kills the child inside its transaction: once the rollback journal appears, after up to
    // nSpreadMs more. True when the journal outlived the child, so the kill did land inside
    // the transaction; every line the child wrote is appended to *pOut.
    bool KillWhileWriting(ChildProcess& child, int nSpreadMs, std::vector<std::string>* pOut) {
        std::string strJournal = m_strDb + "-journal";
        auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (FileSize(strJournal) <= 0 && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        std::this_thread::sleep_for(std::chrono::milliseconds(m_random() % nSpreadMs));
        child.Kill(SIGKILL);
        std::vector<std::string> rest = child.RestOfOutput();
        pOut->insert(pOut->end(), rest.begin(), rest.end());
        int nStatus = child.Wait();
        EXPECT_TRUE(WIFSIGNALED(nStatus) && WTERMSIG(nStatus) == SIGKILL);
        return FileSize(strJournal) > 0;
    }

    // What the last child wrote to its standard error, for failure messages.
    std::string ChildErrors() {
        std::vector<unsigned char> bytes = ReadFile(m_dir.File("child.err"));
        return std::string(bytes.begin(), bytes.end());
    }

    CString Cell(const wchar_t* lpszSQL) {
        CString str;
        EXPECT_EQ(1, m_server.GetSelData(lpszSQL, str)) << lpszSQL;
        return str;
    }
    int Number(const wchar_t* lpszSQL) { return std::stoi(std::wstring(Cell(lpszSQL))); }

    // The file's own check of its pages and indexes.
    void ExpectIntact() { EXPECT_EQ(CString(L"ok"), Cell(L"PRAGMA integrity_check")); }

    TempDir m_dir;
    std::string m_strDb;
    RecordingApp m_app;
    CZORADORXServer m_server;
    std::mt19937 m_random{20240517};
};

// Kills until this many kills landed inside a transaction, trying at most kMaxKills times.
const int kWantedCuts = 3, kMaxKills = 10;

TEST_F(ProcessesTest, TwoWritersShareTheFileAndALockHeldTooLongFailsClearly) {
    // Both write at once: each waits for the other's short locks, and no row is lost.
    auto pChild = Start({"write", "1000", "150"});
    for (int n = 2000; n < 2150; ++n)
        ASSERT_EQ(1, m_server.ExecuteSQL((L"INSERT INTO t(batch, n, txt) VALUES(-1, " +
                                          std::to_wstring(n) + L", 'p')")
                                             .c_str()));
    std::vector<std::string> out = pChild->RestOfOutput();
    int nStatus = pChild->Wait();
    ASSERT_TRUE(WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 0) << out.back();
    EXPECT_EQ(300, Number(L"SELECT count(DISTINCT n) FROM t"));
    EXPECT_EQ(150, Number(L"SELECT count(*) FROM t WHERE n BETWEEN 1000 AND 1149"));

    // A transaction left open here: the other process waits for the timeout, then gives up
    // with a message that says why.
    m_server.BeginTrans();
    ASSERT_EQ(1, m_server.ExecuteSQL(L"INSERT INTO t(batch, n, txt) VALUES(-1, 1, 'held')"));
    auto start = std::chrono::steady_clock::now();
    pChild = Start({"write", "5000", "1"});
    out = pChild->RestOfOutput();
    nStatus = pChild->Wait();
    auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_TRUE(WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 2);
    EXPECT_GE(waited, std::chrono::milliseconds(4900));
    EXPECT_LT(waited, std::chrono::seconds(30));
    ASSERT_EQ(2u, out.size());
    EXPECT_NE(std::string::npos, out[0].find("Code = 80040e31")) << out[0];
    EXPECT_NE(std::string::npos, out[0].find("locked by another connection")) << out[0];
    EXPECT_EQ("failed 5000", out[1]);
    m_server.CommitTrans();
    EXPECT_EQ(1, Number(L"SELECT count(*) FROM t WHERE txt = 'held'"));
    EXPECT_EQ(0, Number(L"SELECT count(*) FROM t WHERE n = 5000"));

    // Once the lock is gone the same write goes through.
    pChild = Start({"write", "5000", "1"});
    EXPECT_EQ(std::vector<std::string>{"ok 5000"}, pChild->RestOfOutput());
    EXPECT_EQ(1, Number(L"SELECT count(*) FROM t WHERE n = 5000"));
    ExpectIntact();
}

TEST_F(ProcessesTest, AWriterKilledInATransactionLeavesOnlyWholeCommittedBatches) {
    std::set<int> committed;
    int nNextBatch = 0, nCuts = 0;
    for (int nKill = 0; nKill < kMaxKills && nCuts < kWantedCuts; ++nKill) {
        auto pChild = Start({"transactions", std::to_string(nNextBatch)});
        std::vector<std::string> out;
        ASSERT_TRUE(pChild->WaitFor("committed " + std::to_string(nNextBatch), &out));
        if (KillWhileWriting(*pChild, 30, &out))
            ++nCuts;
        for (const std::string& line : out)
            if (line.rfind("committed ", 0) == 0)
                committed.insert(NumberOf(line));
        nNextBatch = *committed.rbegin() + 2; // past the batch that may have been cut short

        // Reopened: every batch reported is there whole, every other batch is absent or
        // whole (killed after committing but before saying so), and no row is torn.
        CZORADORXServer server;
        ASSERT_EQ(1, Open(server));
        CStringArray batches;
        server.GetSelData(L"SELECT batch FROM t WHERE batch >= 0 GROUP BY batch ORDER BY batch",
                          batches);
        std::set<int> stored;
        for (int i = 0; i < batches.GetSize(); ++i)
            stored.insert(std::stoi(std::wstring(batches[i])));
        for (int nBatch : committed)
            EXPECT_EQ(1u, stored.count(nBatch)) << nBatch;
        for (int nBatch : stored) {
            SCOPED_TRACE(nBatch);
            CStringArray texts;
            std::wstring sql =
                L"SELECT txt FROM t WHERE batch = " + std::to_wstring(nBatch) + L" ORDER BY n";
            ASSERT_EQ(kChildRowsPerBatch, server.GetSelData(sql.c_str(), texts));
            for (int n = 0; n < kChildRowsPerBatch; ++n)
                ASSERT_EQ(ChildPayload(nBatch, n), std::wstring(texts[n])) << n;
            committed.insert(nBatch);
        }
    }
    EXPECT_EQ(kWantedCuts, nCuts);
    ExpectIntact();
}

TEST_F(ProcessesTest, APackerKilledMidFileLeavesOnlyWholePackages) {
    const size_t kBytes = 8 << 20;
    std::vector<unsigned char> bytes = Pattern(kBytes, 7);
    WriteFile(m_dir.File("large.bin"), bytes);
    std::set<int> packed;
    int nCuts = 0;
    for (int nKill = 0; nKill < kMaxKills && nCuts < kWantedCuts; ++nKill) {
        int nFirst = nKill * 100;
        auto pChild = Start({"pack", m_dir.File("large.bin"), std::to_string(nFirst)});
        std::vector<std::string> out;
        ASSERT_TRUE(pChild->WaitFor("packing " + std::to_string(nFirst + 1), &out));
        if (KillWhileWriting(*pChild, 20, &out))
            ++nCuts;
        for (const std::string& line : out)
            if (line.rfind("packed ", 0) == 0)
                packed.insert(NumberOf(line));
    }
    EXPECT_EQ(kWantedCuts, nCuts);
    ASSERT_FALSE(packed.empty());
    CStringArray names;
    m_server.GetSelData(L"SELECT name FROM docs ORDER BY id", names);
    std::set<int> stored;
    for (int i = 0; i < names.GetSize(); ++i)
        stored.insert(std::stoi(std::wstring(names[i])));
    for (int nName : packed)
        EXPECT_EQ(1u, stored.count(nName)) << nName;
    EXPECT_EQ(static_cast<int>(stored.size()),
              Number(L"SELECT count(*) FROM docs WHERE length(data) = 8388608"));
    // Each stored file comes back byte for byte.
    CZORPackageDbOper packer;
    packer.SetDbSrv(&m_server);
    for (int nName : stored) {
        CString strFile(m_dir.WideFile("back.bin").c_str());
        std::wstring sql = L"SELECT data FROM docs WHERE name = '" + std::to_wstring(nName) + L"'";
        ASSERT_EQ(1, packer.OutPackageToFile(strFile, sql.c_str(), L"data", 1));
        EXPECT_TRUE(ReadFile(m_dir.File("back.bin")) == bytes) << nName;
    }
    ExpectIntact();
}

TEST_F(ProcessesTest, AFullDiskRefusesTheWriteAndLeavesTheFileUsable) {
    ASSERT_EQ(1, m_server.ExecuteSQL(L"INSERT INTO t(batch, n, txt) VALUES(-1, 1, 'before')"));
    std::vector<unsigned char> bytes = Pattern(1 << 20, 3);
    WriteFile(m_dir.File("large.bin"), bytes);
    long long nLimit = FileSize(m_strDb) + 64 * 1024;
    auto pChild = Start({"full", std::to_string(nLimit), m_dir.File("large.bin")});
    std::vector<std::string> out = pChild->RestOfOutput();
    int nStatus = pChild->Wait();
    EXPECT_TRUE(WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 0);
    ASSERT_EQ(4u, out.size());
    EXPECT_NE(std::string::npos, out[0].find("The database file could not be written"))
        << out[0] << ChildErrors();
    EXPECT_EQ("large row refused", out[1]);
    EXPECT_EQ("package refused", out[2]);
    EXPECT_EQ("small row stored", out[3]);
    EXPECT_LE(FileSize(m_strDb), nLimit);

    ExpectIntact();
    EXPECT_EQ(CString(L"before"), Cell(L"SELECT txt FROM t WHERE n = 1"));
    EXPECT_EQ(CString(L"small"), Cell(L"SELECT txt FROM t WHERE batch = -2"));
    EXPECT_EQ(0, Number(L"SELECT count(*) FROM docs"));
    ASSERT_EQ(1, m_server.ExecuteSQL(L"INSERT INTO t(batch, n, txt) VALUES(-1, 2, 'after')"));
    EXPECT_TRUE(m_app.m_boxes.empty());

    // Unpacking into a file that may not grow so far raises the file exception, nothing else.
    CZORPackageDbOper packer;
    packer.SetDbSrv(&m_server);
    CString strFile(m_dir.WideFile("large.bin").c_str());
    CZORValueTable values;
    ASSERT_EQ(1, packer.PutPackageToDb(strFile, L"docs", L"data", values));
    pChild = Start({"outfile", "100000", m_dir.File("out.bin")});
    out = pChild->RestOfOutput();
    nStatus = pChild->Wait();
    EXPECT_TRUE(WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 0);
    EXPECT_EQ(
        std::vector<std::string>{"CFileException " + std::to_string(CFileException::diskFull)},
        out);
    EXPECT_EQ(100000, FileSize(m_dir.File("out.bin")));
}

} // namespace
