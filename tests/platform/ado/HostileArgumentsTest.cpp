// Arguments a host should not pass, and what the data-access objects do with them: the
// documented error, never a read of freed memory, an overflow or a loop without end.
#include <climits>
#include <cstring>
#include <vector>

#include "AdoTestSupport.h"

namespace {

const HRESULT kInvalidArgument = static_cast<HRESULT>(0x800A0BB9);

class HostileArgumentsTest : public AdoTest {
protected:
    void SetUp() override {
        AdoTest::SetUp();
        m_pConn = OpenMemory();
        m_pConn->Execute(L"CREATE TABLE f(name nvarchar(20), data image)", nullptr, adCmdText);
    }
    void TearDown() override {
        m_pConn = nullptr;
        AdoTest::TearDown();
    }
    _RecordsetPtr OpenTable() { return OpenForAdding(m_pConn, L"f"); }
    std::wstring OnlyName() {
        _RecordsetPtr pRs = m_pConn->Execute(L"SELECT name FROM f", nullptr, adCmdText);
        return static_cast<const wchar_t*>(_bstr_t(pRs->GetFields()->GetItem(0L)->GetValue()));
    }

    _ConnectionPtr m_pConn;
};

TEST_F(HostileArgumentsTest, AValueByReferenceIsCopiedWhenItIsPut) {
    _RecordsetPtr pRs = OpenTable();
    pRs->AddNew();
    {
        // The host's variable is gone before Update reads the row.
        BSTR b = SysAllocString(L"by reference");
        VARIANT ref;
        ref.vt = VT_BYREF | VT_BSTR;
        ref.pbstrVal = &b;
        pRs->GetFields()->GetItem(L"name")->PutValue(_variant_t(ref));
        SysFreeString(b);
        b = nullptr;
    }
    pRs->Update();
    EXPECT_EQ(L"by reference", OnlyName());

    // A null reference, and a reference that points at itself, are refused (the raw method
    // sees the variant exactly as the host made it).
    pRs->AddNew();
    FieldPtr pName = pRs->GetFields()->GetItem(L"name");
    VARIANT nullRef;
    nullRef.vt = VT_BYREF | VT_BSTR;
    nullRef.pbstrVal = nullptr;
    EXPECT_EQ(kInvalidArgument, AdoTakeErrorInfo(pName->put_Value(nullRef)).hr);
    VARIANT loop;
    loop.vt = VT_BYREF | VT_VARIANT;
    loop.pvarVal = &loop;
    EXPECT_EQ(kInvalidArgument, AdoTakeErrorInfo(pName->put_Value(loop)).hr);
}

TEST_F(HostileArgumentsTest, ChunksAreCheckedBeforeTheyAreRead) {
    _RecordsetPtr pRs = OpenTable();
    pRs->AddNew();
    FieldPtr pData = pRs->GetFields()->GetItem(L"data");

    // A descriptor that claims more bytes than a value may hold is refused before any byte is
    // read (its data pointer is a single byte).
    BYTE one = 1;
    SAFEARRAY huge{};
    huge.cDims = 1;
    huge.cbElements = 1;
    huge.pvData = &one;
    huge.rgsabound[0].cElements = 0x80000000u;
    VARIANT v;
    v.vt = VT_ARRAY | VT_UI1;
    v.parray = &huge;
    EXPECT_EQ(kInvalidArgument, AdoTakeErrorInfo(pData->raw_AppendChunk(v)).hr);

    // Another element type, another size, no dimensions, no data: refused.
    SAFEARRAY* pWords = SafeArrayCreateVector(VT_I4, 0, 4);
    v.parray = pWords; // claims bytes, holds 32-bit integers
    EXPECT_EQ(kInvalidArgument, AdoTakeErrorInfo(pData->raw_AppendChunk(v)).hr);
    SafeArrayDestroy(pWords);
    SAFEARRAY wide = huge;
    wide.cbElements = 2;
    wide.rgsabound[0].cElements = 1;
    v.parray = &wide;
    EXPECT_EQ(kInvalidArgument, AdoTakeErrorInfo(pData->raw_AppendChunk(v)).hr);
    SAFEARRAY empty = huge;
    empty.pvData = nullptr;
    empty.rgsabound[0].cElements = 3;
    v.parray = &empty;
    EXPECT_EQ(kInvalidArgument, AdoTakeErrorInfo(pData->raw_AppendChunk(v)).hr);

    // A byte array by reference is read through its reference.
    BYTE bytes[3] = {7, 8, 9};
    SAFEARRAY plain = huge;
    plain.pvData = bytes;
    plain.rgsabound[0].cElements = 3;
    SAFEARRAY* pPlain = &plain;
    VARIANT ref;
    ref.vt = VT_BYREF | VT_ARRAY | VT_UI1;
    ref.pparray = &pPlain;
    ASSERT_EQ(S_OK, pData->raw_AppendChunk(ref));
    pRs->GetFields()->GetItem(L"name")->PutValue(L"x");
    pRs->Update();
    _RecordsetPtr pCheck = m_pConn->Execute(L"SELECT length(data) FROM f", nullptr, adCmdText);
    EXPECT_EQ(3, pCheck->GetFields()->GetItem(0L)->GetValue().lVal);
}

TEST_F(HostileArgumentsTest, SchemaRestrictionsAtTheEdgesOfTheIndexRange) {
    // One element at INT_MAX: read once, no index overflow.
    SAFEARRAY* psa = SafeArrayCreateVector(VT_VARIANT, INT_MAX, 1);
    LONG i = INT_MAX;
    _variant_t name(L"f");
    ASSERT_EQ(S_OK, SafeArrayPutElement(psa, &i, &name));
    VARIANT restrictions;
    restrictions.vt = VT_ARRAY | VT_VARIANT;
    restrictions.parray = psa;
    // The one element is the catalog restriction: this database has another name.
    _RecordsetPtr pRs = m_pConn->OpenSchema(adSchemaTables, _variant_t(restrictions));
    EXPECT_EQ(VARIANT_TRUE, pRs->GetadoEOF());
    SafeArrayDestroy(psa);

    // More restrictions than the rowset has columns, or the wrong element type: refused.
    psa = SafeArrayCreateVector(VT_VARIANT, INT_MAX - 10, 5);
    restrictions.parray = psa;
    EXPECT_EQ(kInvalidArgument,
              AdoCatch([&] { m_pConn->OpenSchema(adSchemaTables, _variant_t(restrictions)); }).hr);
    SafeArrayDestroy(psa);
    psa = SafeArrayCreateVector(VT_BSTR, 0, 3);
    restrictions.parray = psa; // claims variants, holds strings
    EXPECT_EQ(kInvalidArgument,
              AdoCatch([&] { m_pConn->OpenSchema(adSchemaTables, _variant_t(restrictions)); }).hr);
    SafeArrayDestroy(psa);

    // By reference: read through the reference.
    psa = SafeArrayCreateVector(VT_VARIANT, 0, 3);
    i = 2;
    ASSERT_EQ(S_OK, SafeArrayPutElement(psa, &i, &name));
    VARIANT ref;
    ref.vt = VT_BYREF | VT_ARRAY | VT_VARIANT;
    ref.pparray = &psa;
    pRs = m_pConn->OpenSchema(adSchemaTables, _variant_t(ref));
    auto rows = AdoReadRows(pRs);
    ASSERT_EQ(1u, rows.size());
    EXPECT_EQ(L"f", rows[0][2]);
    SafeArrayDestroy(psa);
}

TEST_F(HostileArgumentsTest, ActualSizeCountsWhatValueGives) {
    // 41 80 80 80: 'A' and three stray continuation bytes, each its own replacement.
    m_pConn->Execute(L"INSERT INTO f(name) VALUES (CAST(X'41808080' AS TEXT))", nullptr, adCmdText);
    m_pConn->Execute(L"INSERT INTO f(name) VALUES (CAST(X'E4B8AD' AS TEXT) || 'x')", nullptr,
                     adCmdText);
    _RecordsetPtr pRs = m_pConn->Execute(L"SELECT name FROM f", nullptr, adCmdText);
    FieldPtr pName = pRs->GetFields()->GetItem(0L);
    for (const wchar_t* pszExpected : {L"A\uFFFD\uFFFD\uFFFD", L"中x"}) {
        _variant_t v = pName->GetValue();
        ASSERT_EQ(VT_BSTR, v.vt);
        EXPECT_EQ(std::wstring(pszExpected), v.bstrVal);
        EXPECT_EQ(static_cast<LONG>(SysStringLen(v.bstrVal)), pName->GetActualSize());
        pRs->MoveNext();
    }
}

} // namespace
