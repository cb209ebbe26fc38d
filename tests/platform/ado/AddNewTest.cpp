// Adding rows through a recordset opened on a table, binary values in chunks, and reading them
// back in pieces.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "AdoTestSupport.h"

namespace {

class AddNewTest : public AdoTest {
protected:
    void SetUp() override {
        AdoTest::SetUp();
        m_pConn = OpenMemory();
        Exec(L"CREATE TABLE f(id integer PRIMARY KEY, name nvarchar(20) NOT NULL UNIQUE, "
             L"qty int DEFAULT 7, data image)");
    }
    void TearDown() override {
        m_pConn = nullptr;
        AdoTest::TearDown();
    }
    void Exec(const wchar_t* pszSql) { m_pConn->Execute(pszSql, nullptr, adCmdText); }
    _RecordsetPtr Query(const wchar_t* pszSql) {
        return m_pConn->Execute(pszSql, nullptr, adCmdText);
    }
    LONG Count() {
        return Query(L"SELECT count(*) FROM f")->GetFields()->GetItem(0)->GetValue().lVal;
    }
    _RecordsetPtr OpenTable(LockTypeEnum nLock = adLockOptimistic, LONG nOptions = adCmdTable,
                            const wchar_t* pszSource = L"f") {
        _RecordsetPtr pRs;
        EXPECT_EQ(S_OK, pRs.CreateInstance(L"ADODB.Recordset"));
        pRs->Open(pszSource, _variant_t(static_cast<IDispatch*>(m_pConn.GetInterfacePtr())),
                  adOpenKeyset, nLock, nOptions);
        return pRs;
    }

    _ConnectionPtr m_pConn;
};

TEST_F(AddNewTest, UpdateInsertsTheNewRowWithDefaultsAndChunks) {
    _RecordsetPtr pRs = OpenTable();
    FieldsPtr pFields = pRs->GetFields();
    pRs->AddNew();
    pFields->GetItem(L"name")->PutValue(L"first \u00e9");
    const BYTE kChunks[3][3] = {{1, 2, 3}, {4, 5, 6}, {0, 0xFE, 0xFF}};
    for (const auto& chunk : kChunks)
        pFields->GetItem(L"data")->AppendChunk(AdoBytes(chunk, 3));
    pFields->GetItem(L"data")->AppendChunk(AdoBytes(nullptr, 0));
    EXPECT_EQ(0, Count()); // nothing stored before Update
    pRs->Update();
    EXPECT_EQ(VARIANT_FALSE, pRs->GetadoEOF());

    pRs->AddNew();
    pFields->GetItem(L"name")->PutValue(L"second");
    pFields->GetItem(L"qty")->PutValue(_variant_t(3));
    pRs->Update();

    _RecordsetPtr pCheck = Query(L"SELECT id, name, qty, data FROM f ORDER BY id");
    FieldsPtr pCheckFields = pCheck->GetFields();
    EXPECT_EQ(1, pCheckFields->GetItem(L"id")->GetValue().lVal);
    EXPECT_EQ(_bstr_t(L"first \u00e9"), _bstr_t(pCheckFields->GetItem(L"name")->GetValue()));
    EXPECT_EQ(7, pCheckFields->GetItem(L"qty")->GetValue().lVal);
    EXPECT_EQ(std::vector<BYTE>({1, 2, 3, 4, 5, 6, 0, 0xFE, 0xFF}),
              AdoBytesOf(pCheckFields->GetItem(L"data")->GetValue()));
    pCheck->MoveNext();
    EXPECT_EQ(2, pCheckFields->GetItem(L"id")->GetValue().lVal);
    EXPECT_EQ(3, pCheckFields->GetItem(L"qty")->GetValue().lVal);
    EXPECT_EQ(VT_NULL, pCheckFields->GetItem(L"data")->GetValue().vt);
    pCheck->MoveNext();
    EXPECT_EQ(VARIANT_TRUE, pCheck->GetadoEOF());

    // A new AddNew while a row is pending stores the pending one first.
    pRs->AddNew();
    pFields->GetItem(L"name")->PutValue(L"third");
    pRs->AddNew();
    pFields->GetItem(L"name")->PutValue(L"fourth");
    pRs->Update();
    EXPECT_EQ(4, Count());
}

TEST_F(AddNewTest, ConstraintFailuresLeaveNoRow) {
    _RecordsetPtr pRs = OpenTable();
    FieldsPtr pFields = pRs->GetFields();
    pRs->AddNew();
    pFields->GetItem(L"qty")->PutValue(_variant_t(1));
    AdoRaised r;
    EXPECT_EQ(DB_E_INTEGRITYVIOLATION, (r = AdoCatch([&] { pRs->Update(); })).hr);
    EXPECT_EQ(L"Cannot insert the value NULL into column 'name', table 'main.dbo.f'; column does "
              L"not allow nulls. INSERT fails.",
              r.description);
    EXPECT_EQ(0, Count());

    pRs->AddNew();
    pFields->GetItem(L"name")->PutValue(L"x");
    pRs->Update();
    pRs->AddNew();
    pFields->GetItem(L"name")->PutValue(L"x");
    pFields->GetItem(L"qty")->PutValue(_variant_t(2));
    EXPECT_EQ(DB_E_INTEGRITYVIOLATION, (r = AdoCatch([&] { pRs->Update(); })).hr);
    EXPECT_EQ(L"Violation of UNIQUE KEY constraint 'UQ__f__92CCD75E2B745973'. Cannot insert "
              L"duplicate key in object 'dbo.f'. The duplicate key value is (x).",
              r.description);
    EXPECT_EQ(1, Count());
    EXPECT_EQ(7, Query(L"SELECT qty FROM f")->GetFields()->GetItem(0)->GetValue().lVal);

    // The recordset stays usable for the next row.
    pRs->AddNew();
    pFields->GetItem(L"name")->PutValue(L"y");
    pRs->Update();
    EXPECT_EQ(2, Count());

    // A row that refers to no row names the key it breaks.
    Exec(L"CREATE TABLE g(id integer PRIMARY KEY, f int REFERENCES f (id))");
    _RecordsetPtr pChild = OpenTable(adLockOptimistic, adCmdTable, L"g");
    pChild->AddNew();
    pChild->GetFields()->GetItem(L"f")->PutValue(_variant_t(99));
    EXPECT_EQ(DB_E_INTEGRITYVIOLATION, (r = AdoCatch([&] { pChild->Update(); })).hr);
    EXPECT_EQ(
        L"The INSERT statement conflicted with the FOREIGN KEY constraint \"FK__g__f__324406ED\". "
        L"The conflict occurred in database \"main\", table \"dbo.f\", column 'id'.",
        r.description);
    EXPECT_EQ(0, Query(L"SELECT count(*) FROM g")->GetFields()->GetItem(0)->GetValue().lVal);
}

TEST_F(AddNewTest, AddingNeedsAnUpdatableTable) {
    const HRESULT kNotCapable = adErrFeatureNotAvailable;
    _RecordsetPtr pReadOnly = OpenTable(adLockReadOnly);
    EXPECT_EQ(kNotCapable, AdoCatch([&] { pReadOnly->AddNew(); }).hr);
    _RecordsetPtr pText = OpenTable(adLockOptimistic, adCmdText, L"SELECT * FROM f");
    EXPECT_EQ(kNotCapable, AdoCatch([&] { pText->AddNew(); }).hr);
    Exec(L"INSERT INTO f(name) VALUES ('z')");
    _RecordsetPtr pExecuted = Query(L"SELECT * FROM f");
    EXPECT_EQ(kNotCapable, AdoCatch([&] { pExecuted->AddNew(); }).hr);
    // Without a row being added, values cannot be changed.
    EXPECT_EQ(kNotCapable,
              AdoCatch([&] { pExecuted->GetFields()->GetItem(1)->PutValue(L"w"); }).hr);
    EXPECT_EQ(1, Count());
}

TEST_F(AddNewTest, ChunksReadBackExactlyWhileAddingAndAfterUpdate) {
    const BYTE kBytes[13] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13};
    const std::vector<BYTE> all(kBytes, kBytes + 13);
    _RecordsetPtr pRs = OpenTable();
    FieldPtr pData = pRs->GetFields()->GetItem(L"data");
    FieldPtr pName = pRs->GetFields()->GetItem(L"name");
    pRs->AddNew();
    pName->PutValue(L"grown");
    // Pieces of unequal sizes: the storage grows past the value between them.
    pData->AppendChunk(AdoBytes(kBytes, 5));
    pData->AppendChunk(AdoBytes(kBytes + 5, 7));
    pData->AppendChunk(AdoBytes(kBytes + 12, 1));
    EXPECT_EQ(13, pData->GetActualSize());
    EXPECT_EQ(all, AdoBytesOf(pData->GetValue()));
    // GetChunk hands out a copy of the pending value, which stays whole.
    EXPECT_EQ(all, AdoBytesOf(pData->GetChunk(13)));
    EXPECT_EQ(VT_NULL, pData->GetChunk(13).vt);
    EXPECT_EQ(all, AdoBytesOf(pData->GetValue()));
    pRs->Update();
    EXPECT_EQ(13, pData->GetActualSize()); // the row just inserted
    EXPECT_EQ(all, AdoBytesOf(pData->GetValue()));
    EXPECT_EQ(all, AdoBytesOf(Query(L"SELECT data FROM f")->GetFields()->GetItem(0)->GetValue()));

    // A value put replaces the chunks, and chunks after it replace the value.
    pRs->AddNew();
    pName->PutValue(L"replaced");
    pData->AppendChunk(AdoBytes(kBytes, 5));
    pData->PutValue(AdoBytes(kBytes + 10, 3));
    EXPECT_EQ(std::vector<BYTE>({11, 12, 13}), AdoBytesOf(pData->GetValue()));
    pData->AppendChunk(AdoBytes(kBytes, 2));
    pData->AppendChunk(AdoBytes(kBytes + 2, 1));
    pRs->Update();
    EXPECT_EQ(std::vector<BYTE>({1, 2, 3}),
              AdoBytesOf(Query(L"SELECT data FROM f WHERE name = 'replaced'")
                             ->GetFields()
                             ->GetItem(0)
                             ->GetValue()));
}

TEST_F(AddNewTest, GetChunkGivesTheWholeValueOrPiecesInOrder) {
    _RecordsetPtr pRs = OpenTable();
    FieldPtr pData = pRs->GetFields()->GetItem(L"data");
    const BYTE kBytes[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    for (size_t n : {size_t(10), size_t(3)}) {
        pRs->AddNew();
        pRs->GetFields()->GetItem(L"name")->PutValue(n == 10 ? L"a" : L"b");
        pData->AppendChunk(AdoBytes(kBytes, n));
        pRs->Update();
    }
    const std::vector<BYTE> all(kBytes, kBytes + 10);
    _RecordsetPtr pRead = Query(L"SELECT name, data FROM f ORDER BY id");
    FieldPtr pValue = pRead->GetFields()->GetItem(L"data");
    FieldPtr pText = pRead->GetFields()->GetItem(L"name");
    EXPECT_EQ(all, AdoBytesOf(pValue->GetChunk(10))); // exactly all of it
    EXPECT_EQ(VT_NULL, pValue->GetChunk(1).vt);
    // Text has no chunks; going back to the bytes starts them again.
    EXPECT_EQ(adErrFeatureNotAvailable, AdoCatch([&] { pText->GetChunk(1); }).hr);
    EXPECT_EQ(std::vector<BYTE>({1, 2, 3, 4}), AdoBytesOf(pValue->GetChunk(4)));
    EXPECT_EQ(std::vector<BYTE>({5, 6, 7, 8, 9, 10}), AdoBytesOf(pValue->GetChunk(100)));
    EXPECT_EQ(VT_NULL, pValue->GetChunk(100).vt);
    pRead->MoveNext();
    EXPECT_EQ(std::vector<BYTE>({1, 2, 3}), AdoBytesOf(pValue->GetChunk(1000))); // more than all
    EXPECT_EQ(VT_NULL, pValue->GetChunk(1000).vt);
}

TEST_F(AddNewTest, LargeBlobGoesInByChunksAndComesBackInPieces) {
    const size_t kSize = 20000000, kChunk = 4096;
    std::vector<BYTE> bytes(kSize);
    for (size_t i = 0; i < kSize; ++i)
        bytes[i] = static_cast<BYTE>(i * 131 + (i >> 13));

    _RecordsetPtr pRs = OpenTable();
    FieldPtr pData = pRs->GetFields()->GetItem(L"data");
    FieldPtr pName = pRs->GetFields()->GetItem(L"name");
    pRs->AddNew();
    pName->PutValue(L"chunks");
    _variant_t chunk = AdoBytes(bytes.data(), kChunk);
    size_t nOffset = 0;
    for (; nOffset + kChunk <= kSize; nOffset += kChunk) {
        std::memcpy(chunk.parray->pvData, bytes.data() + nOffset, kChunk);
        pData->AppendChunk(chunk);
    }
    pData->AppendChunk(AdoBytes(bytes.data() + nOffset, kSize - nOffset));
    pRs->Update();
    pRs->AddNew();
    pName->PutValue(L"whole");
    pData->AppendChunk(AdoBytes(bytes.data(), kSize));
    pRs->Update();

    _RecordsetPtr pCheck = Query(L"SELECT data FROM f ORDER BY id");
    FieldPtr pRead = pCheck->GetFields()->GetItem(0);
    for (size_t nPiece : {size_t(1000003), kChunk}) {
        ASSERT_EQ(VARIANT_FALSE, pCheck->GetadoEOF());
        EXPECT_EQ(static_cast<LONG>(kSize), pRead->GetActualSize());
        std::vector<BYTE> back;
        back.reserve(kSize);
        for (;;) {
            _variant_t piece = pRead->GetChunk(static_cast<LONG>(nPiece));
            if (piece.vt == VT_NULL)
                break;
            ASSERT_EQ(VT_ARRAY | VT_UI1, piece.vt);
            ULONG n = piece.parray->rgsabound[0].cElements;
            ASSERT_EQ(std::min(nPiece, kSize - back.size()), n);
            auto* p = static_cast<const BYTE*>(piece.parray->pvData);
            back.insert(back.end(), p, p + n);
        }
        EXPECT_EQ(kSize, back.size());
        EXPECT_TRUE(back == bytes);
        EXPECT_EQ(VT_NULL, pRead->GetChunk(10).vt); // stays at the end
        pCheck->MoveNext();
    }
    EXPECT_EQ(VARIANT_TRUE, pCheck->GetadoEOF());
}

} // namespace
