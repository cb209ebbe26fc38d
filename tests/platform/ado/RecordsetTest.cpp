// Recordset and Fields over the embedded provider: streaming, moves, GetRows, the Fields
// collection and Recordset.Open.
#include <string>
#include <utility>

#include "AdoTestSupport.h"

namespace {

const wchar_t kNoCurrentRecord[] = L"Either BOF or EOF is True, or the current record has been "
                                   L"deleted. Requested operation requires a current record.";
const wchar_t kNotFound[] =
    L"Item cannot be found in the collection corresponding to the requested name or ordinal.";

class RecordsetTest : public AdoTest {
protected:
    void SetUp() override {
        AdoTest::SetUp();
        m_pConn = OpenMemory();
        // The key orders the rows without a sort, so rows are computed as they are read.
        Exec(L"CREATE TABLE t(id integer PRIMARY KEY, name nvarchar(20))");
        Exec(L"INSERT INTO t VALUES (1,'a'),(2,NULL),(3,'c'),(4,'d'),(5,'e')");
    }
    void TearDown() override {
        m_pConn = nullptr;
        AdoTest::TearDown();
    }
    void Exec(const wchar_t* pszSql) { m_pConn->Execute(pszSql, nullptr, adCmdText); }
    _RecordsetPtr Query(const wchar_t* pszSql) {
        return m_pConn->Execute(pszSql, nullptr, adCmdText);
    }
    _variant_t Connection() {
        return _variant_t(static_cast<IDispatch*>(m_pConn.GetInterfacePtr()));
    }
    static LONG Id(const _RecordsetPtr& pRs) {
        return pRs->GetFields()->GetItem(0)->GetValue().lVal;
    }

    _ConnectionPtr m_pConn;
};

TEST_F(RecordsetTest, StreamingWalkReportsAFailingRowWhereItHappens) {
    _RecordsetPtr pRs = Query(L"SELECT id, CASE WHEN id = 3 THEN abs(-9223372036854775807 - 1) "
                              L"ELSE id END FROM t ORDER BY id");
    EXPECT_EQ(1, Id(pRs));
    EXPECT_EQ(1, pRs->GetFields()->GetItem(1)->GetValue().lVal);
    pRs->MoveNext();
    EXPECT_EQ(2, Id(pRs));
    EXPECT_EQ(2, pRs->GetFields()->GetItem(1)->GetValue().lVal);
    AdoRaised r;
    EXPECT_EQ(DB_E_ERRORSINCOMMAND, (r = AdoCatch([&] { pRs->MoveNext(); })).hr);
    EXPECT_EQ(L"integer overflow", r.description);

    // A whole walk, then the end of the result.
    pRs = Query(L"SELECT id FROM t ORDER BY id");
    LONG nSum = 0, nRows = 0;
    for (; !pRs->GetadoEOF(); pRs->MoveNext(), ++nRows)
        nSum += Id(pRs);
    EXPECT_EQ(5, nRows);
    EXPECT_EQ(15, nSum);
    FieldPtr pField = pRs->GetFields()->GetItem(0);
    EXPECT_EQ(adErrNoCurrentRecord, (r = AdoCatch([&] { pRs->MoveNext(); })).hr);
    EXPECT_EQ(kNoCurrentRecord, r.description);
    EXPECT_EQ(adErrNoCurrentRecord, AdoCatch([&] { pField->GetValue(); }).hr);
    EXPECT_EQ(adErrNoCurrentRecord, AdoCatch([&] { pField->GetActualSize(); }).hr);

    // An empty result stands at EOF from the start.
    pRs = Query(L"SELECT id FROM t WHERE id > 5");
    EXPECT_EQ(VARIANT_TRUE, pRs->GetadoEOF());
    EXPECT_EQ(VARIANT_TRUE, pRs->GetBOF());
    EXPECT_EQ(adErrNoCurrentRecord, AdoCatch([&] { pRs->GetFields()->GetItem(0)->GetValue(); }).hr);
}

TEST_F(RecordsetTest, ClosedRecordsetAndItsFieldsRaiseObjectClosed) {
    const HRESULT kClosed = adErrObjectClosed;
    auto expectClosed = [&](const _RecordsetPtr& pRs, const FieldPtr& pField) {
        EXPECT_EQ(adStateClosed, pRs->GetState());
        AdoRaised r;
        EXPECT_EQ(kClosed, (r = AdoCatch([&] { pRs->MoveNext(); })).hr);
        EXPECT_EQ(L"Operation is not allowed when the object is closed.", r.description);
        EXPECT_EQ(kClosed, AdoCatch([&] { pRs->GetadoEOF(); }).hr);
        EXPECT_EQ(kClosed, AdoCatch([&] { pRs->GetBOF(); }).hr);
        EXPECT_EQ(kClosed, AdoCatch([&] { pRs->Move(1); }).hr);
        EXPECT_EQ(kClosed, AdoCatch([&] { pRs->GetRows(adGetRowsRest); }).hr);
        EXPECT_EQ(kClosed, AdoCatch([&] { pRs->Close(); }).hr);
        EXPECT_EQ(kClosed, AdoCatch([&] { pField->GetValue(); }).hr);
        EXPECT_EQ(kClosed, AdoCatch([&] { pField->GetName(); }).hr);
        EXPECT_EQ(kClosed, AdoCatch([&] { pField->GetType(); }).hr);
        EXPECT_EQ(kClosed, AdoCatch([&] { pField->GetDefinedSize(); }).hr);
        EXPECT_EQ(kClosed, AdoCatch([&] { pField->GetActualSize(); }).hr);
        EXPECT_EQ(kClosed, AdoCatch([&] { pField->GetChunk(10); }).hr);
    };
    _RecordsetPtr pRs = Query(L"SELECT id, name FROM t");
    FieldPtr pField = pRs->GetFields()->GetItem(L"name");
    EXPECT_EQ(adStateOpen, pRs->GetState());
    pRs->Close();
    expectClosed(pRs, pField);

    // Closing the connection closes what it produced, midway through a walk.
    pRs = Query(L"SELECT id, name FROM t");
    pField = pRs->GetFields()->GetItem(1);
    pRs->MoveNext();
    m_pConn->Close();
    expectClosed(pRs, pField);
}

TEST_F(RecordsetTest, MoveGoesForwardFromTheCurrentRow) {
    _RecordsetPtr pRs = Query(L"SELECT id FROM t ORDER BY id");
    pRs->Move(2);
    EXPECT_EQ(3, Id(pRs));
    pRs->Move(0);
    EXPECT_EQ(3, Id(pRs));
    pRs->Move(1);
    EXPECT_EQ(4, Id(pRs));
    EXPECT_EQ(adErrFeatureNotAvailable, AdoCatch([&] { pRs->Move(-1); }).hr);
    EXPECT_EQ(adErrFeatureNotAvailable,
              AdoCatch([&] { pRs->Move(1, _variant_t(static_cast<int>(adBookmarkFirst))); }).hr);
    EXPECT_EQ(4, Id(pRs));
    pRs->Move(10); // past the end stops at EOF
    EXPECT_EQ(VARIANT_TRUE, pRs->GetadoEOF());
    EXPECT_EQ(adErrNoCurrentRecord, AdoCatch([&] { pRs->Move(1); }).hr);

    // Landing exactly on the end.
    pRs = Query(L"SELECT id FROM t ORDER BY id");
    pRs->Move(4);
    EXPECT_EQ(5, Id(pRs));
    pRs->Move(1);
    EXPECT_EQ(VARIANT_TRUE, pRs->GetadoEOF());
}

TEST_F(RecordsetTest, GetRowsReturnsFieldsByRowsFromTheCurrentRow) {
    _RecordsetPtr pRs = Query(L"SELECT id, name, id * 10 FROM t ORDER BY id");
    pRs->MoveNext();
    _variant_t rows = pRs->GetRows(adGetRowsRest);
    ASSERT_EQ(VT_ARRAY | VT_VARIANT, rows.vt);
    SAFEARRAY* psa = rows.parray;
    ASSERT_EQ(2u, SafeArrayGetDim(psa));
    auto bounds = [](SAFEARRAY* p, UINT nDim) {
        LONG nLower = -1, nUpper = -1;
        EXPECT_EQ(S_OK, SafeArrayGetLBound(p, nDim, &nLower));
        EXPECT_EQ(S_OK, SafeArrayGetUBound(p, nDim, &nUpper));
        return std::make_pair(nLower, nUpper);
    };
    EXPECT_EQ(std::make_pair(0, 2), bounds(psa, 1)); // three fields
    EXPECT_EQ(std::make_pair(0, 3), bounds(psa, 2)); // rows 2 to 5
    auto cell = [&](LONG nField, LONG nRow) {
        LONG indices[2] = {nField, nRow};
        _variant_t v;
        EXPECT_EQ(S_OK, SafeArrayGetElement(psa, indices, &v));
        return v;
    };
    for (LONG r = 0; r < 4; ++r) {
        EXPECT_EQ(VT_I4, cell(0, r).vt);
        EXPECT_EQ(r + 2, cell(0, r).lVal);
        EXPECT_EQ((r + 2) * 10, cell(2, r).lVal);
    }
    EXPECT_EQ(VT_NULL, cell(1, 0).vt);
    EXPECT_EQ(_bstr_t(L"c"), _bstr_t(cell(1, 1).bstrVal));
    EXPECT_EQ(_bstr_t(L"e"), _bstr_t(cell(1, 3).bstrVal));
    EXPECT_EQ(VARIANT_TRUE, pRs->GetadoEOF());
    EXPECT_EQ(adErrNoCurrentRecord, AdoCatch([&] { pRs->GetRows(adGetRowsRest); }).hr);

    // A row count takes that many rows and stays on the next one.
    pRs = Query(L"SELECT id FROM t ORDER BY id");
    rows = pRs->GetRows(2);
    EXPECT_EQ(std::make_pair(0, 1), bounds(rows.parray, 2));
    EXPECT_EQ(3, Id(pRs));
}

TEST_F(RecordsetTest, FieldsFindItemsByPositionOrNameAndAreCached) {
    _RecordsetPtr pRs = Query(L"SELECT id, name AS Label FROM t");
    FieldsPtr pFields = pRs->GetFields();
    EXPECT_EQ(2, pFields->GetCount());
    _variant_t i2(static_cast<short>(1)), i4(1), i8(1LL), ui4(1u), r8(1.0);
    for (const _variant_t* pIndex : {&i2, &i4, &i8, &ui4, &r8})
        EXPECT_EQ(_bstr_t(L"Label"), pFields->GetItem(*pIndex)->GetName()) << pIndex->vt;
    for (const wchar_t* pszName : {L"Label", L"label", L"LABEL", L"lAbEl"})
        EXPECT_EQ(adVarWChar, pFields->GetItem(pszName)->GetType());
    EXPECT_EQ(_bstr_t(L"id"), pFields->GetItem(L"ID")->GetName());

    for (const _variant_t& index : {_variant_t(2), _variant_t(-1), _variant_t(L"name"),
                                    _variant_t(L"Labe"), _variant_t(L"")}) {
        AdoRaised r;
        EXPECT_EQ(adErrItemNotFound, (r = AdoCatch([&] { pFields->GetItem(index); })).hr);
        EXPECT_EQ(kNotFound, r.description);
    }

    // The same objects every time, and every reference handed out comes back.
    ULONG nFieldsRefs = ComRefCount(pFields);
    FieldPtr pField = pFields->GetItem(0);
    ULONG nFieldRefs = ComRefCount(pField);
    for (int i = 0; i < 3; ++i) {
        FieldsPtr pAgain = pRs->GetFields();
        EXPECT_EQ(pFields.GetInterfacePtr(), pAgain.GetInterfacePtr());
        EXPECT_EQ(nFieldsRefs + 1, ComRefCount(pAgain));
        FieldPtr pFieldAgain = pAgain->GetItem(L"ID");
        EXPECT_EQ(pField.GetInterfacePtr(), pFieldAgain.GetInterfacePtr());
        EXPECT_EQ(nFieldRefs + 1, ComRefCount(pFieldAgain));
        pRs->MoveNext();
    }
    EXPECT_EQ(nFieldsRefs, ComRefCount(pFields));
    EXPECT_EQ(nFieldRefs, ComRefCount(pField));
    EXPECT_EQ(4, pField->GetValue().lVal); // a cached Field follows the current row
}

TEST_F(RecordsetTest, OpenRunsTextOrOpensTable) {
    _RecordsetPtr pRs;
    ASSERT_EQ(S_OK, pRs.CreateInstance(L"ADODB.Recordset"));
    EXPECT_EQ(adStateClosed, pRs->GetState());
    pRs->Open(L"SELECT id, name FROM t WHERE id >= 4 ORDER BY id", Connection(), adOpenForwardOnly,
              adLockReadOnly, adCmdText);
    EXPECT_EQ(adStateOpen, pRs->GetState());
    EXPECT_EQ(adErrObjectOpen, AdoCatch([&] {
                                   pRs->Open(L"SELECT 1", Connection(), adOpenForwardOnly,
                                             adLockReadOnly, adCmdText);
                               }).hr);
    EXPECT_EQ(2, pRs->GetFields()->GetCount());
    EXPECT_EQ(4, Id(pRs));
    pRs->MoveNext();
    EXPECT_EQ(_bstr_t(L"e"), _bstr_t(pRs->GetFields()->GetItem(L"NAME")->GetValue()));
    pRs->MoveNext();
    EXPECT_EQ(VARIANT_TRUE, pRs->GetadoEOF());
    pRs->Close();

    // A statement without result columns runs and leaves the recordset closed.
    pRs->Open(L"DELETE FROM t WHERE id = 5", Connection(), adOpenForwardOnly, adLockReadOnly,
              adCmdText);
    EXPECT_EQ(adStateClosed, pRs->GetState());
    EXPECT_EQ(4, Query(L"SELECT count(*) FROM t")->GetFields()->GetItem(0)->GetValue().lVal);

    // Tables by name: their fields, with or without rows.
    Exec(L"CREATE TABLE empty(code char(3), amount float)");
    pRs->Open(L"EMPTY", Connection(), adOpenForwardOnly, adLockReadOnly, adCmdTable);
    FieldsPtr pFields = pRs->GetFields();
    EXPECT_EQ(2, pFields->GetCount());
    EXPECT_EQ(_bstr_t(L"code"), pFields->GetItem(0)->GetName());
    EXPECT_EQ(adChar, pFields->GetItem(0)->GetType());
    EXPECT_EQ(3, pFields->GetItem(0)->GetDefinedSize());
    EXPECT_EQ(adDouble, pFields->GetItem(L"amount")->GetType());
    EXPECT_EQ(VARIANT_TRUE, pRs->GetadoEOF());
    pRs->Close();
    pRs->Open(L"t", Connection(), adOpenForwardOnly, adLockReadOnly, adCmdTable);
    EXPECT_EQ(2, pRs->GetFields()->GetCount());
    EXPECT_EQ(adInteger, pRs->GetFields()->GetItem(0)->GetType());
    EXPECT_EQ(20, pRs->GetFields()->GetItem(L"name")->GetDefinedSize());
    EXPECT_EQ(VARIANT_FALSE, pRs->GetadoEOF());
    EXPECT_EQ(1, Id(pRs));
    pRs->Close();

    AdoRaised r = AdoCatch(
        [&] { pRs->Open(L"nosuch", Connection(), adOpenForwardOnly, adLockReadOnly, adCmdTable); });
    EXPECT_EQ(DB_E_NOTABLE, r.hr);
    EXPECT_EQ(L"Invalid object name 'nosuch'.", r.description);
    EXPECT_EQ(adStateClosed, pRs->GetState());
}

TEST_F(RecordsetTest, OpenRefusesAClosedConnection) {
    const HRESULT kInvalidConnection = static_cast<HRESULT>(0x800A0E7D);
    const wchar_t kInvalidText[] = L"The connection cannot be used to perform this operation. It "
                                   L"is either closed or invalid in this context.";
    _RecordsetPtr pRs;
    ASSERT_EQ(S_OK, pRs.CreateInstance(L"ADODB.Recordset"));
    _ConnectionPtr pNeverOpened;
    ASSERT_EQ(S_OK, pNeverOpened.CreateInstance(L"ADODB.Connection"));
    m_pConn->Close();
    for (const _variant_t& connection :
         {Connection(), _variant_t(static_cast<IDispatch*>(pNeverOpened.GetInterfacePtr()))}) {
        for (LONG nOptions : {LONG(adCmdText), LONG(adCmdTable), LONG(adCmdUnknown)}) {
            AdoRaised r = AdoCatch(
                [&] { pRs->Open(L"t", connection, adOpenForwardOnly, adLockReadOnly, nOptions); });
            EXPECT_EQ(kInvalidConnection, r.hr) << nOptions;
            EXPECT_EQ(L"ADODB.Recordset", r.source);
            EXPECT_EQ(kInvalidText, r.description);
            EXPECT_EQ(adStateClosed, pRs->GetState());
        }
    }
    // The closed connection itself is what Execute finds closed.
    EXPECT_EQ(adErrObjectClosed, AdoCatch([&] { Query(L"SELECT 1"); }).hr);
}

} // namespace
