// Files into table rows and back, against real embedded databases.
#include <gtest/gtest.h>

#include "support/PrintCString.h"

#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "support/RecordingApp.h"
#include "support/FileBytes.h"
#include "support/TempDir.h"
#include "zqk_vododuvod.h"

namespace {

const wchar_t kPackError[] = L"数据打包入库出现错误!";
const wchar_t kTooLarge[] = L"选择的附件文件过大!建议压缩后再作附件!";
const wchar_t kPickTitle[] = L"请选择放置文件路径,然后确定.";

std::vector<unsigned char> Pattern(size_t n) {
    std::vector<unsigned char> bytes(n);
    for (size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<unsigned char>((i * 131 + i / 4093) % 256);
    return bytes;
}

bool Exists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

CString Wide(const std::string& s) {
    return CString(std::wstring(s.begin(), s.end()).c_str());
}

// A table of value rows, each exactly as given.
CZORValueTable Values(std::initializer_list<std::vector<const wchar_t*>> rows) {
    CZORValueTable table;
    for (const auto& row : rows) {
        CStringArray ar;
        for (const wchar_t* v : row)
            ar.Add(v);
        table.AddValueRecord(ar);
    }
    return table;
}

// The HRESULT of the _com_error that fn raises, or S_OK when it raises none.
template <class Fn> HRESULT ComErrorOf(Fn fn) {
    try {
        fn();
    } catch (_com_error& e) {
        return e.Error();
    }
    return S_OK;
}

class PackageTransferTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string db = m_dir.File("pack.db");
        std::wstring conn = L"Provider=SQLite; Data Source=" + std::wstring(db.begin(), db.end()) +
                            L"; Initial Catalog=pack";
        ASSERT_EQ(1, m_server.InitADOServer(conn.c_str()));
        ASSERT_EQ(1, m_server.ExecuteSQL(
                         L"CREATE TABLE docs(id integer PRIMARY KEY, name varchar(50), note text, "
                         L"qty int DEFAULT 5, price float, made datetime, data image)"));
        ASSERT_EQ(1, m_server.ExecuteSQL(
                         L"CREATE TABLE strict(name varchar(10) NOT NULL UNIQUE, data image)"));
        m_packer.SetDbSrv(&m_server);
    }

    int Rows(const wchar_t* pszTable = L"docs") {
        CString str;
        std::wstring sql = std::wstring(L"SELECT count(*) FROM ") + pszTable;
        EXPECT_EQ(1, m_server.GetSelData(sql.c_str(), str));
        return std::stoi(std::wstring(str.GetString()));
    }

    std::vector<std::wstring> Boxes() const {
        std::vector<std::wstring> texts;
        for (const auto& box : m_app.m_boxes)
            texts.push_back(box.strText);
        return texts;
    }

    int Put(const std::string& file, CZORValueTable values = CZORValueTable(),
            const wchar_t* pszTable = L"docs", const wchar_t* pszField = L"data") {
        CString strFile = Wide(file);
        return m_packer.PutPackageToDb(strFile, pszTable, pszField, values);
    }

    TempDir m_dir;
    RecordingApp m_app;
    CZORADORXServer m_server;
    CZORPackageDbOper m_packer;
};

TEST_F(PackageTransferTest, FilesGoInAndComeBackByteIdentical) {
    ::setenv("TMPDIR", m_dir.Path().c_str(), 1);
    for (size_t n : {size_t(1), size_t(4097), size_t(20000000)}) {
        SCOPED_TRACE(n);
        std::vector<unsigned char> bytes = Pattern(n);
        WriteFile(m_dir.File("in.bin"), bytes);
        ASSERT_EQ(1, Put(m_dir.File("in.bin")));
        CString strFile = L"out.bin";
        std::wstring sql = L"SELECT data FROM docs WHERE id = " + std::to_wstring(Rows());
        ASSERT_EQ(1, m_packer.OutPackageToFile(strFile, sql.c_str(), L"data", 0));
        EXPECT_EQ(Wide(m_dir.File("out.bin")), strFile);
        EXPECT_TRUE(ReadFile(m_dir.File("out.bin")) == bytes);
    }
    EXPECT_EQ(3, Rows());
    EXPECT_TRUE(m_app.m_boxes.empty());
    // The file was read under the wait cursor, which is given back.
    EXPECT_EQ(0, m_app.m_nWaitCursorCount);
    EXPECT_FALSE(m_app.m_waitCodes.empty());
    ::unsetenv("TMPDIR");
}

TEST_F(PackageTransferTest, AnEmptyFileIsStoredButNotWrittenBack) {
    WriteFile(m_dir.File("empty.bin"), {});
    ASSERT_EQ(1, Put(m_dir.File("empty.bin")));
    CString strLength;
    ASSERT_EQ(1, m_server.GetSelData(L"SELECT length(data) FROM docs", strLength));
    EXPECT_EQ(CString(L"0"), strLength);
    // Other columns take their defaults.
    CString strQty;
    ASSERT_EQ(1, m_server.GetSelData(L"SELECT qty FROM docs", strQty));
    EXPECT_EQ(CString(L"5"), strQty);

    CString strFile = Wide(m_dir.File("back.bin"));
    EXPECT_EQ(0, m_packer.OutPackageToFile(strFile, L"SELECT data FROM docs", L"data", 1));
    EXPECT_FALSE(Exists(m_dir.File("back.bin")));
}

TEST_F(PackageTransferTest, FurtherColumnsComeFromTheValueTable) {
    WriteFile(m_dir.File("f.bin"), Pattern(10));
    CZORValueTable values = Values({
        {L"name", L"first", L"varchar"},
        {L"note", L"a longer note", L"text"},
        {L"qty", L" 42abc", L"int"},
        {L"price", L"3.25", L"float"},
        {L"made", L"2024-01-02 03:04:05", L"datetime"},
        {L"qty", L"12", L"bigint"}, // unknown type: skipped
        {L"qty", L"13"},            // not three values: skipped
        {L"price", L"1", L"float", L"extra"},
        {L"name", L"later", L"varchar"}, // a column named twice takes the later value
    });
    // The label records play no part.
    CStringArray label;
    label.Add(L"qty");
    label.Add(L"99");
    label.Add(L"int");
    values.SetLableRecord(label);
    ASSERT_EQ(1, Put(m_dir.File("f.bin"), values));

    CStringArray row;
    ASSERT_EQ(1, m_server.GetSelData(L"SELECT name, note, qty, price, made, typeof(qty), "
                                     L"length(data) FROM docs",
                                     row));
    ASSERT_EQ(7, row.GetSize());
    EXPECT_EQ(CString(L"later"), row[0]);
    EXPECT_EQ(CString(L"a longer note"), row[1]);
    EXPECT_EQ(CString(L"42"), row[2]);
    EXPECT_EQ(CString(L"3.25"), row[3]);
    EXPECT_EQ(CString(L"2024-01-02 03:04:05"), row[4]);
    EXPECT_EQ(CString(L"integer"), row[5]);
    EXPECT_EQ(CString(L"10"), row[6]);
}

TEST_F(PackageTransferTest, FailuresLeaveNoRowBehind) {
    WriteFile(m_dir.File("f.bin"), Pattern(100));

    // A missing file: the packing message, nothing stored.
    EXPECT_EQ(0, Put(m_dir.File("missing.bin")));
    EXPECT_EQ(std::vector<std::wstring>({kPackError}), Boxes());
    EXPECT_EQ(MB_OK, m_app.m_boxes[0].nType);
    EXPECT_EQ(0u, m_app.m_boxes[0].nIDHelp);
    // An empty name is a missing file too, wherever the process runs.
    m_app.m_boxes.clear();
    EXPECT_EQ(0, Put(""));
    EXPECT_EQ(std::vector<std::wstring>({kPackError}), Boxes());

    // Over the size limit: the size message first, then the packing message.
    m_app.m_boxes.clear();
    WriteFile(m_dir.File("big.bin"), {});
    ASSERT_EQ(0, ::truncate(m_dir.File("big.bin").c_str(), 20020001));
    EXPECT_EQ(0, Put(m_dir.File("big.bin")));
    EXPECT_EQ(std::vector<std::wstring>({kTooLarge, kPackError}), Boxes());

    // Data-access failures are raised: no such table, binary column or value column.
    m_app.m_boxes.clear();
    EXPECT_EQ(DB_E_NOTABLE, ComErrorOf([&] { Put(m_dir.File("f.bin"), {}, L"nosuch"); }));
    EXPECT_EQ(static_cast<HRESULT>(0x800A0CC1),
              ComErrorOf([&] { Put(m_dir.File("f.bin"), {}, L"docs", L"nosuch"); }));
    EXPECT_EQ(static_cast<HRESULT>(0x800A0CC1), ComErrorOf([&] {
                  Put(m_dir.File("f.bin"), Values({{L"nosuch", L"1", L"int"}}));
              }));
    EXPECT_EQ(0, Rows());

    // A row the database refuses: 0, no message, nothing stored; a later good row still goes in.
    EXPECT_EQ(0, Put(m_dir.File("f.bin"), {}, L"strict"));
    EXPECT_EQ(1, Put(m_dir.File("f.bin"), Values({{L"name", L"x", L"varchar"}}), L"strict"));
    EXPECT_EQ(0, Put(m_dir.File("f.bin"), Values({{L"name", L"x", L"varchar"}}), L"strict"));
    EXPECT_EQ(1, Rows(L"strict"));
    EXPECT_TRUE(m_app.m_boxes.empty());

    // A name that exists but cannot be read as a file raises the file exception, after the
    // new row was begun: the row goes nowhere. A folder fails to read even for root; a file
    // without read permission only for others.
    ::mkdir(m_dir.File("folder.bin").c_str(), 0700);
    std::vector<std::string> unreadable = {m_dir.File("folder.bin")};
    if (::geteuid() != 0 && ::chmod(m_dir.File("f.bin").c_str(), 0) == 0)
        unreadable.push_back(m_dir.File("f.bin"));
    for (const std::string& path : unreadable) {
        bool bRaised = false;
        try {
            Put(path);
        } catch (CFileException* e) {
            bRaised = true;
            e->Delete();
        }
        EXPECT_TRUE(bRaised) << path;
    }
    EXPECT_TRUE(m_app.m_boxes.empty());
    EXPECT_EQ(0, Rows());
}

TEST_F(PackageTransferTest, WithoutAServerNothingHappens) {
    WriteFile(m_dir.File("f.bin"), Pattern(3));
    CZORPackageDbOper packer;
    CZORValueTable values;
    CString strFile = Wide(m_dir.File("f.bin"));
    EXPECT_EQ(0, packer.PutPackageToDb(strFile, L"docs", L"data", values));
    // The folder is still worked out first.
    CString strOut = Wide(m_dir.File("o.bin"));
    EXPECT_EQ(0, packer.OutPackageToFile(strOut, L"SELECT data FROM docs", L"data", 1));
    EXPECT_EQ(Wide(m_dir.File("o.bin")), strOut);
    EXPECT_FALSE(Exists(m_dir.File("o.bin")));

    // A server that was never connected: the data-access failure reaches the caller.
    CZORADORXServer idle;
    packer.SetDbSrv(&idle);
    // The recordset cannot use a missing connection (0x800A0E7D); Execute has no object at all.
    EXPECT_EQ(static_cast<HRESULT>(0x800A0E7D),
              ComErrorOf([&] { packer.PutPackageToDb(strFile, L"docs", L"data", values); }));
    EXPECT_EQ(E_POINTER, ComErrorOf([&] {
                  packer.OutPackageToFile(strOut, L"SELECT data FROM docs", L"data", 1);
              }));
    EXPECT_TRUE(m_app.m_boxes.empty());
}

TEST_F(PackageTransferTest, UnpackingWritesWhereItIsToldOrAsked) {
    std::vector<unsigned char> first = Pattern(5000), second = Pattern(77);
    WriteFile(m_dir.File("a.bin"), first);
    WriteFile(m_dir.File("b.bin"), second);
    ASSERT_EQ(1, Put(m_dir.File("a.bin"), Values({{L"name", L"a", L"varchar"}})));
    ASSERT_EQ(1, Put(m_dir.File("b.bin"), Values({{L"name", L"b", L"varchar"}})));
    ASSERT_EQ(1, m_server.ExecuteSQL(L"INSERT INTO docs(name) VALUES ('null')"));
    ::mkdir(m_dir.File("picked").c_str(), 0700);

    std::vector<std::pair<std::wstring, UINT>> asked;
    bool bAnswer = true;
    ShellSetFolderChooser([&](LPCWSTR lpszTitle, UINT ulFlags, CString& strPath) {
        asked.emplace_back(lpszTitle, ulFlags);
        strPath = Wide(m_dir.File("picked"));
        return bAnswer;
    });

    // A given folder: written there without asking; only the first row counts.
    CString strFile = Wide(m_dir.File("given.bin"));
    EXPECT_EQ(1,
              m_packer.OutPackageToFile(strFile, L"SELECT data FROM docs ORDER BY id", L"DATA", 1));
    EXPECT_EQ(Wide(m_dir.File("given.bin")), strFile);
    EXPECT_TRUE(ReadFile(m_dir.File("given.bin")) == first);
    EXPECT_TRUE(asked.empty());

    // No folder: the picker is asked, with the packer's title and no flags.
    strFile = L"b.out";
    EXPECT_EQ(1, m_packer.OutPackageToFile(strFile, L"SELECT data FROM docs WHERE name = 'b'",
                                           L"data", 1));
    EXPECT_EQ(Wide(m_dir.File("picked/b.out")), strFile);
    EXPECT_TRUE(ReadFile(m_dir.File("picked/b.out")) == second);
    ASSERT_EQ(1u, asked.size());
    EXPECT_EQ(std::wstring(kPickTitle), asked[0].first);
    EXPECT_EQ(0u, asked[0].second);

    // Cancelled: 0, the name unchanged, nothing written, no message.
    bAnswer = false;
    strFile = L"c.out";
    EXPECT_EQ(0, m_packer.OutPackageToFile(strFile, L"SELECT data FROM docs", L"data", 1));
    EXPECT_EQ(CString(L"c.out"), strFile);
    EXPECT_FALSE(Exists(m_dir.File("picked/c.out")));

    // No row, or a NULL value: 0 and no file.
    strFile = Wide(m_dir.File("none.bin"));
    EXPECT_EQ(
        0, m_packer.OutPackageToFile(strFile, L"SELECT data FROM docs WHERE id = 99", L"data", 1));
    EXPECT_EQ(0, m_packer.OutPackageToFile(strFile, L"SELECT data FROM docs WHERE name = 'null'",
                                           L"data", 1));
    EXPECT_FALSE(Exists(m_dir.File("none.bin")));
    // A statement without rows at all.
    EXPECT_EQ(0,
              m_packer.OutPackageToFile(strFile, L"UPDATE docs SET qty = 1 WHERE 0", L"data", 1));

    // A folder that does not exist: nothing can be created, and the result is still 1.
    strFile = Wide(m_dir.File("no/such/x.bin"));
    EXPECT_EQ(1, m_packer.OutPackageToFile(strFile, L"SELECT data FROM docs", L"data", 1));
    EXPECT_FALSE(Exists(m_dir.File("no/such/x.bin")));

    // Bad SQL and a column not in the result raise.
    EXPECT_EQ(DB_E_ERRORSINCOMMAND, ComErrorOf([&] {
                  m_packer.OutPackageToFile(strFile, L"SELEC data FROM docs", L"data", 1);
              }));
    EXPECT_EQ(static_cast<HRESULT>(0x800A0CC1), ComErrorOf([&] {
                  m_packer.OutPackageToFile(strFile, L"SELECT data FROM docs", L"nosuch", 1);
              }));
    EXPECT_TRUE(m_app.m_boxes.empty());
    ShellSetFolderChooser(nullptr);
}

TEST_F(PackageTransferTest, ConvertedTextIsStoredAndReadAsItsBytes) {
    // SQL Server's explicit conversions give bytes: varchar's one per character, nvarchar's
    // UTF-16LE; the image column takes them, and they come back as they went in.
    ASSERT_EQ(1,
              m_server.ExecuteSQL(L"INSERT INTO docs(id, data) VALUES (1, CAST('hello' AS "
                                  L"varbinary(max))), (2, CONVERT(varbinary(max), N'h\x20AC'))"));
    CString strFile = Wide(m_dir.File("one.bin"));
    ASSERT_EQ(
        1, m_packer.OutPackageToFile(strFile, L"SELECT data FROM docs WHERE id = 1", L"data", 1));
    EXPECT_TRUE(ReadFile(m_dir.File("one.bin")) ==
                std::vector<unsigned char>({'h', 'e', 'l', 'l', 'o'}));
    strFile = Wide(m_dir.File("two.bin"));
    ASSERT_EQ(
        1, m_packer.OutPackageToFile(strFile, L"SELECT data FROM docs WHERE id = 2", L"data", 1));
    EXPECT_TRUE(ReadFile(m_dir.File("two.bin")) ==
                std::vector<unsigned char>({'h', 0, 0xAC, 0x20}));

    // The variant reader hands the same bytes out as a byte array.
    _variant_t var;
    LONG nRows = 0, nCols = 0;
    ASSERT_EQ(1, m_server.GetSelData(L"SELECT CAST('hi' AS binary(3))", var, nRows, nCols));
    ASSERT_EQ(VT_ARRAY | VT_VARIANT, var.vt);
    LONG indices[2] = {0, 0};
    _variant_t cell;
    ASSERT_EQ(S_OK, SafeArrayGetElement(var.parray, indices, &cell));
    ASSERT_EQ(VT_ARRAY | VT_UI1, cell.vt);
    ASSERT_EQ(3u, cell.parray->rgsabound[0].cElements);
    const unsigned char* pBytes = static_cast<const unsigned char*>(cell.parray->pvData);
    EXPECT_TRUE(std::vector<unsigned char>(pBytes, pBytes + 3) ==
                std::vector<unsigned char>({'h', 'i', 0}));
    EXPECT_TRUE(m_app.m_boxes.empty());
}

TEST_F(PackageTransferTest, TheTemporaryFolderTakesTheWholeName) {
    ::setenv("TMPDIR", m_dir.Path().c_str(), 1); // no trailing separator: one is added
    ::mkdir(m_dir.File("sub").c_str(), 0700);
    WriteFile(m_dir.File("a.bin"), Pattern(9));
    ASSERT_EQ(1, Put(m_dir.File("a.bin")));
    CString strFile = L"sub/t.bin";
    EXPECT_EQ(1, m_packer.OutPackageToFile(strFile, L"SELECT data FROM docs", L"data", 0));
    EXPECT_EQ(Wide(m_dir.File("sub/t.bin")), strFile);
    EXPECT_TRUE(ReadFile(m_dir.File("sub/t.bin")) == Pattern(9));
    ::unsetenv("TMPDIR");
}

TEST_F(PackageTransferTest, RowsFollowTheConnectionsTransaction) {
    WriteFile(m_dir.File("a.bin"), Pattern(9));
    m_server.BeginTrans();
    ASSERT_EQ(1, Put(m_dir.File("a.bin")));
    EXPECT_EQ(1, Rows());
    m_server.RollbackTrans();
    EXPECT_EQ(0, Rows());
}

} // namespace
