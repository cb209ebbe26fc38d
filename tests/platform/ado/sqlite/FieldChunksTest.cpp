// A field's whole binary value without copies (IZqkFieldChunks): lent stored bytes where GetChunk
// would hand the value out whole, and a caller's byte array taken over as the first chunk.
// Every case is checked against what GetChunk and AppendChunk give.
#include <cstring>
#include <string>
#include <vector>

#include <sqlite3.h>

#include "platform/ado/AdoTestSupport.h"
#include "platform/ado/AdoCells.h"

namespace {

std::vector<BYTE> Pattern(size_t n) {
    std::vector<BYTE> bytes(n);
    for (size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<BYTE>((i * 31 + i / 257) % 256);
    return bytes;
}

class FieldChunksTest : public AdoTest {
protected:
    void SetUp() override {
        AdoTest::SetUp();
        m_pConn = OpenFile("f.db");
        m_pConn->Execute(L"CREATE TABLE f(id integer PRIMARY KEY, data image, note nvarchar(20), "
                         L"n int)",
                         nullptr, adCmdText);
    }
    void TearDown() override {
        m_pConn = nullptr;
        AdoTest::TearDown();
    }
    _RecordsetPtr Query(const std::wstring& sql) {
        return m_pConn->Execute(sql.c_str(), nullptr, adCmdText);
    }
    _RecordsetPtr OpenTable() { return OpenForAdding(m_pConn, L"f"); }
    static IZqkFieldChunksPtr Chunks(Field* pField) {
        IZqkFieldChunks* p = nullptr;
        EXPECT_EQ(S_OK,
                  pField->QueryInterface(__uuidof(IZqkFieldChunks), reinterpret_cast<void**>(&p)));
        return IZqkFieldChunksPtr(p, false);
    }
    // The row's data as a byte array, or its type when it is none.
    std::vector<BYTE> Stored(int nId) {
        return AdoBytesOf(Query(L"SELECT data FROM f WHERE id = " + std::to_wstring(nId))
                              ->GetFields()
                              ->GetItem(L"data")
                              ->GetValue());
    }

    _ConnectionPtr m_pConn;
};

TEST_F(FieldChunksTest, WholeValuesAreLentWhereGetChunkWouldHandThemOutWhole) {
    const size_t kSizes[] = {1, 4097, 3000001};
    _RecordsetPtr pAdd = OpenTable();
    for (size_t n : kSizes) {
        pAdd->AddNew();
        pAdd->GetFields()->GetItem(L"data")->AppendChunk(AdoBytes(Pattern(n).data(), n));
        pAdd->Update();
    }
    pAdd->Close();

    _RecordsetPtr pRs = Query(L"SELECT data FROM f ORDER BY id");
    FieldPtr pField = pRs->GetFields()->GetItem(L"data");
    IZqkFieldChunksPtr pChunks = Chunks(pField);
    const BYTE* p = nullptr;
    LONG nBytes = 0;
    for (size_t n : kSizes) {
        SCOPED_TRACE(n);
        LONG nSize = pField->GetActualSize();
        ASSERT_EQ(static_cast<LONG>(n), nSize);
        // Less than the whole value is GetChunk's to copy out.
        EXPECT_EQ(S_FALSE, pChunks->GetWholeChunk(nSize - 1, &p, &nBytes));
        ASSERT_EQ(S_OK, pChunks->GetWholeChunk(nSize + 10, &p, &nBytes));
        ASSERT_EQ(nSize, nBytes);
        EXPECT_TRUE(std::vector<BYTE>(p, p + nBytes) == Pattern(n));
        // The value counts as read, as after GetChunk of all of it; once more is not lent.
        EXPECT_EQ(VT_NULL, pField->GetChunk(nSize).vt);
        EXPECT_EQ(S_FALSE, pChunks->GetWholeChunk(nSize, &p, &nBytes));
        pRs->MoveNext(); // the next row starts again
    }
    EXPECT_EQ(S_FALSE, pChunks->GetWholeChunk(10, &p, &nBytes)); // past the end
    EXPECT_EQ(E_POINTER, pChunks->GetWholeChunk(10, nullptr, &nBytes));
    EXPECT_EQ(E_POINTER, pChunks->GetWholeChunk(10, &p, nullptr));
    pRs->Close();
    EXPECT_EQ(S_FALSE, pChunks->GetWholeChunk(10, &p, &nBytes));
}

TEST_F(FieldChunksTest, TheLentBytesAreThoseOfTheValueAndTheRestIsLeftToGetChunk) {
    // id 1: empty; 2: NULL; 3: text in the binary column; 4: an integer there; 5: a blob in
    // the integer column; 6: text in the text column.
    // Written with SQLite itself: SQL Server would convert them or refuse them.
    sqlite3* pDb = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open(m_dir.File("f.db").c_str(), &pDb));
    EXPECT_EQ(SQLITE_OK,
              sqlite3_exec(
                  pDb,
                  "CREATE TABLE g(id integer PRIMARY KEY, data image, note nvarchar(20), n int); "
                  "INSERT INTO g VALUES (1, X'', NULL, NULL), "
                  "(2, NULL, NULL, NULL), (3, 'd\xC3\xA9j\xC3\xA0', NULL, NULL), "
                  "(4, 12345, NULL, NULL), (5, NULL, NULL, X'00FF10'), "
                  "(6, NULL, 'abc', NULL), (7, X'0102030405', NULL, NULL)",
                  nullptr, nullptr, nullptr));
    sqlite3_close(pDb);
    struct CCase {
        int nId;
        const wchar_t* pszColumn;
        bool bLent;
    };
    const CCase kCases[] = {{1, L"data", false}, {2, L"data", false}, {3, L"data", true},
                            {4, L"data", true},  {5, L"n", true},     {6, L"note", false}};
    for (const CCase& c : kCases) {
        SCOPED_TRACE(c.nId);
        std::wstring sql = std::wstring(L"SELECT ") + c.pszColumn + L" FROM g WHERE id = ";
        _RecordsetPtr pRs = Query(sql + std::to_wstring(c.nId));
        FieldPtr pField = pRs->GetFields()->GetItem(0L);
        const BYTE* p = nullptr;
        LONG nBytes = -1;
        HRESULT hr = Chunks(pField)->GetWholeChunk(1000, &p, &nBytes);
        EXPECT_EQ(c.bLent ? S_OK : S_FALSE, hr);
        if (hr != S_OK) {
            EXPECT_EQ(-1, nBytes); // nothing given
            continue;
        }
        // Exactly the bytes of the value's byte array.
        _variant_t value =
            Query(sql + std::to_wstring(c.nId))->GetFields()->GetItem(0L)->GetValue();
        EXPECT_TRUE(std::vector<BYTE>(p, p + nBytes) == AdoBytesOf(value));
    }

    // Text counts in characters: an ActualSize shorter than its bytes is GetChunk's to cut.
    _RecordsetPtr pRs = Query(L"SELECT data FROM g WHERE id = 3");
    FieldPtr pText = pRs->GetFields()->GetItem(0L);
    LONG nChars = pText->GetActualSize();
    const BYTE* p = nullptr;
    LONG nBytes = 0;
    EXPECT_EQ(S_FALSE, Chunks(pText)->GetWholeChunk(nChars, &p, &nBytes));
    EXPECT_EQ(std::vector<BYTE>({'d', 0xC3}), AdoBytesOf(pText->GetChunk(2)));

    // A value read in pieces goes on in pieces.
    pRs = Query(L"SELECT data FROM g WHERE id = 7");
    FieldPtr pPieces = pRs->GetFields()->GetItem(0L);
    EXPECT_EQ(std::vector<BYTE>({1, 2}), AdoBytesOf(pPieces->GetChunk(2)));
    EXPECT_EQ(S_FALSE, Chunks(pPieces)->GetWholeChunk(100, &p, &nBytes));
    EXPECT_EQ(std::vector<BYTE>({3, 4, 5}), AdoBytesOf(pPieces->GetChunk(100)));
    // Nor is a length of zero or less lent.
    pRs = Query(L"SELECT data FROM g WHERE id = 7");
    FieldPtr pAgain = pRs->GetFields()->GetItem(0L);
    EXPECT_EQ(S_FALSE, Chunks(pAgain)->GetWholeChunk(0, &p, &nBytes));
    EXPECT_EQ(S_FALSE, Chunks(pAgain)->GetWholeChunk(-1, &p, &nBytes));

    // A row being added is not the cursor's.
    _RecordsetPtr pAdd = OpenTable();
    pAdd->AddNew();
    FieldPtr pNew = pAdd->GetFields()->GetItem(L"data");
    pNew->AppendChunk(AdoBytes(Pattern(3).data(), 3));
    EXPECT_EQ(S_FALSE, Chunks(pNew)->GetWholeChunk(100, &p, &nBytes));
    pAdd->Close();
}

TEST_F(FieldChunksTest, FirstChunksAreTakenOverWhenTheArrayCanBeTheRecordsetsOwn) {
    _RecordsetPtr pRs = OpenTable();
    FieldPtr pField = pRs->GetFields()->GetItem(L"data");
    IZqkFieldChunksPtr pChunks = Chunks(pField);
    std::vector<BYTE> first = Pattern(5000), second = Pattern(7);

    // Taken, then grown by a chunk that is copied.
    pRs->AddNew();
    _variant_t v = AdoBytes(first.data(), first.size());
    ASSERT_EQ(S_OK, pChunks->AdoptChunk(&v));
    EXPECT_EQ(VT_EMPTY, v.vt);
    _variant_t w = AdoBytes(second.data(), second.size());
    ASSERT_EQ(S_OK, pChunks->AdoptChunk(&w));
    EXPECT_TRUE(AdoBytesOf(w) == second); // not the first chunk: copied
    std::vector<BYTE> both = first;
    both.insert(both.end(), second.begin(), second.end());
    EXPECT_TRUE(AdoBytesOf(pField->GetValue()) == both);
    pRs->Update();
    EXPECT_TRUE(Stored(1) == both);

    // Arrays the recordset cannot own are copied and stay the caller's.
    SAFEARRAY* psaLocked = SafeArrayCreateVector(VT_UI1, 0, 3);
    SafeArrayLock(psaLocked);
    SAFEARRAY* psaFrom1 = SafeArrayCreateVector(VT_UI1, 1, 3);
    SAFEARRAY* psaFixed = SafeArrayCreateVector(VT_UI1, 0, 3);
    psaFixed->fFeatures |= FADF_FIXEDSIZE;
    SAFEARRAY* psaReferred = SafeArrayCreateVector(VT_UI1, 0, 3);
    int nId = 2;
    for (SAFEARRAY* psa : {psaLocked, psaFrom1, psaFixed, psaReferred}) {
        SCOPED_TRACE(nId);
        std::memcpy(psa->pvData, second.data(), 3);
        VARIANT var;
        if (psa == psaReferred) {
            var.vt = VT_BYREF | VT_ARRAY | VT_UI1;
            var.pparray = &psaReferred;
        } else {
            var.vt = VT_ARRAY | VT_UI1;
            var.parray = psa;
        }
        VARIANT before = var;
        pRs->AddNew();
        ASSERT_EQ(S_OK, pChunks->AdoptChunk(&var));
        EXPECT_EQ(before.vt, var.vt);
        EXPECT_EQ(before.parray, var.parray);
        pRs->Update();
        EXPECT_TRUE(Stored(nId++) == std::vector<BYTE>(second.begin(), second.begin() + 3));
    }
    SafeArrayUnlock(psaLocked);
    psaFixed->fFeatures &= ~FADF_FIXEDSIZE;
    for (SAFEARRAY* psa : {psaLocked, psaFrom1, psaFixed, psaReferred})
        SafeArrayDestroy(psa);

    // Failures are AppendChunk's, and leave the caller's array.
    _variant_t text(L"text");
    _variant_t bytes = AdoBytes(first.data(), 10);
    for (bool bAdding : {false, true}) {
        if (bAdding)
            pRs->AddNew();
        for (_variant_t* pv : {&text, &bytes}) {
            if (bAdding && pv == &bytes)
                continue; // that one succeeds
            HRESULT hrAppend = pField->raw_AppendChunk(*pv);
            AdoRaised append = AdoTakeErrorInfo(hrAppend);
            HRESULT hrAdopt = pChunks->AdoptChunk(pv);
            AdoRaised adopt = AdoTakeErrorInfo(hrAdopt);
            EXPECT_TRUE(FAILED(hrAdopt));
            EXPECT_EQ(hrAppend, hrAdopt);
            EXPECT_EQ(append.description, adopt.description);
            EXPECT_EQ(append.source, adopt.source);
        }
    }
    EXPECT_EQ(VT_BSTR, text.vt);
    EXPECT_TRUE(AdoBytesOf(bytes) == std::vector<BYTE>(first.begin(), first.begin() + 10));
    EXPECT_EQ(E_POINTER, pChunks->AdoptChunk(nullptr));
    pRs->Close();
}

} // namespace
