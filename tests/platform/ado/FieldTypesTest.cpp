// How the embedded provider describes columns (type, defined size) and hands out their values.
#include <string>
#include <vector>

#include "AdoTestSupport.h"

namespace {

const LONG kAnySize = -1; // the size is the provider's choice

struct CDeclared {
    const wchar_t* pszDecl;
    DataTypeEnum nType;
    LONG nSize;
};

const CDeclared kDeclared[] = {
    {L"int", adInteger, 4},
    {L"INTEGER", adInteger, 4},
    {L"smallint", adSmallInt, 2},
    {L"tinyint", adUnsignedTinyInt, 1},
    {L"bigint", adBigInt, 8},
    {L"bit", adBoolean, kAnySize},
    {L"float", adDouble, 8},
    {L"double", adDouble, 8},
    {L"real", adSingle, 4},
    {L"decimal(10,2)", adNumeric, kAnySize},
    {L"numeric", adNumeric, kAnySize},
    {L"money", adCurrency, kAnySize},
    {L"datetime", adDBTimeStamp, kAnySize},
    {L"date", adDBDate, kAnySize},
    {L"time", adDBTime, kAnySize},
    {L"char(10)", adChar, 10},
    {L"nchar(5)", adWChar, 5},
    {L"varchar(30)", adVarChar, 30},
    {L"NVarChar ( 40 )", adVarWChar, 40},
    {L"text", adLongVarChar, kAnySize},
    {L"ntext", adLongVarWChar, kAnySize},
    {L"binary(16)", adBinary, 16},
    {L"varbinary(100)", adVarBinary, 100},
    {L"image", adLongVarBinary, kAnySize},
    {L"blob", adLongVarBinary, kAnySize},
    {L"uniqueidentifier", adGUID, 16},
};

class FieldTypesTest : public AdoTest {
protected:
    void SetUp() override {
        AdoTest::SetUp();
        m_pConn = OpenMemory();
    }
    void TearDown() override {
        m_pConn = nullptr;
        AdoTest::TearDown();
    }
    void Exec(const std::wstring& sql) { m_pConn->Execute(sql.c_str(), nullptr, adCmdText); }
    _RecordsetPtr Query(const wchar_t* pszSql) {
        return m_pConn->Execute(pszSql, nullptr, adCmdText);
    }

    _ConnectionPtr m_pConn;
};

TEST_F(FieldTypesTest, DeclaredTypesGiveTypeAndSize) {
    std::wstring sql = L"CREATE TABLE t(";
    for (size_t i = 0; i < std::size(kDeclared); ++i)
        sql += (i ? L", c" : L"c") + std::to_wstring(i) + L" " + kDeclared[i].pszDecl;
    Exec(sql + L")");
    Exec(L"INSERT INTO t(c0) VALUES (1)");

    // The same description from a table opened by name and from a query over it.
    _RecordsetPtr pTable;
    ASSERT_EQ(S_OK, pTable.CreateInstance(L"ADODB.Recordset"));
    pTable->Open(L"t", _variant_t(static_cast<IDispatch*>(m_pConn.GetInterfacePtr())),
                 adOpenForwardOnly, adLockReadOnly, adCmdTable);
    for (_RecordsetPtr pRs : {pTable, Query(L"SELECT * FROM t")}) {
        FieldsPtr pFields = pRs->GetFields();
        ASSERT_EQ(static_cast<LONG>(std::size(kDeclared)), pFields->GetCount());
        for (size_t i = 0; i < std::size(kDeclared); ++i) {
            FieldPtr pField = pFields->GetItem(static_cast<int>(i));
            EXPECT_EQ(kDeclared[i].nType, pField->GetType()) << kDeclared[i].pszDecl;
            if (kDeclared[i].nSize != kAnySize) {
                EXPECT_EQ(kDeclared[i].nSize, pField->GetDefinedSize()) << kDeclared[i].pszDecl;
            }
        }
    }
}

TEST_F(FieldTypesTest, ExpressionColumnsTakeTheTypeOfTheirValues) {
    _RecordsetPtr pRs = Query(L"SELECT 1+1, 'x', 1.5, x'00ff', 3000000000");
    FieldsPtr pFields = pRs->GetFields();
    EXPECT_EQ(adInteger, pFields->GetItem(0)->GetType());
    EXPECT_EQ(adVarWChar, pFields->GetItem(1)->GetType());
    EXPECT_EQ(adDouble, pFields->GetItem(2)->GetType());
    EXPECT_EQ(adLongVarBinary, pFields->GetItem(3)->GetType());
    EXPECT_EQ(_bstr_t(L"1+1"), pFields->GetItem(0)->GetName());

    _variant_t v = pFields->GetItem(0)->GetValue();
    EXPECT_EQ(VT_I4, v.vt);
    EXPECT_EQ(2, v.lVal);
    v = pFields->GetItem(1)->GetValue();
    ASSERT_EQ(VT_BSTR, v.vt);
    EXPECT_STREQ(L"x", v.bstrVal);
    v = pFields->GetItem(2)->GetValue();
    EXPECT_EQ(VT_R8, v.vt);
    EXPECT_EQ(1.5, v.dblVal);
    v = pFields->GetItem(3)->GetValue();
    ASSERT_EQ(VT_ARRAY | VT_UI1, v.vt);
    ASSERT_EQ(2u, v.parray->rgsabound[0].cElements);
    EXPECT_EQ(0xFF, static_cast<BYTE*>(v.parray->pvData)[1]);
    EXPECT_EQ(2, pFields->GetItem(3)->GetActualSize());
    v = pFields->GetItem(4)->GetValue(); // too wide for four bytes: kept whole
    EXPECT_EQ(VT_I8, v.vt);
    EXPECT_EQ(3000000000LL, v.llVal);
}

TEST_F(FieldTypesTest, ValuesComeAsVariantsOfTheColumnType) {
    Exec(L"CREATE TABLE v(i int, si smallint, ti tinyint, bi bigint, b bit, f float, r real, "
         L"d decimal(12,3), m money, dt datetime, dd date, tt time, s nvarchar(20), bl image, "
         L"g uniqueidentifier)");
    Exec(L"INSERT INTO v VALUES (-7, -300, 200, 5, 1, 2.25, 1.5, '1234567.891', '12.3456', "
         L"'2024-01-02 03:04:05', '2024-01-02', '03:04:05', 'caf\u00e9 \u4e2d \U0001F600', "
         L"x'000102ff', '6F9619FF-8B86-D011-B42D-00C04FC964FF')");
    // Values SQL Server would refuse, written as SQLite itself writes them.
    Exec(L"INSERT OR ABORT INTO v(bi, b, d, dt, dd) VALUES (9000000000, 0, '0.1', 'not a date', "
         L"'2024-02-30')");
    struct CExpected {
        const wchar_t* pszName;
        VARTYPE vt;
        const wchar_t* pszText; // the value coerced to text
    };
    const std::vector<CExpected> kRows[] = {
        {{L"i", VT_I4, L"-7"},
         {L"si", VT_I2, L"-300"},
         {L"ti", VT_UI1, L"200"},
         {L"bi", VT_I8, L"5"},
         {L"b", VT_BOOL, L"-1"},
         {L"f", VT_R8, L"2.25"},
         {L"r", VT_R4, L"1.5"},
         {L"d", VT_DECIMAL, L"1234567.891"},
         {L"m", VT_CY, L"12.3456"},
         {L"dt", VT_DATE, L"2024-01-02 03:04:05"},
         {L"dd", VT_DATE, L"2024-01-02"},
         {L"tt", VT_DATE, L"03:04:05"},
         {L"s", VT_BSTR, L"caf\u00e9 \u4e2d \U0001F600"},
         {L"g", VT_BSTR, L"6F9619FF-8B86-D011-B42D-00C04FC964FF"}},
        {{L"i", VT_NULL, nullptr},
         {L"bi", VT_I8, L"9000000000"},
         {L"b", VT_BOOL, L"0"},
         {L"d", VT_DECIMAL, L"0.1"}, // exact, not the nearest double
         {L"dt", VT_BSTR, L"not a date"},
         {L"dd", VT_BSTR, L"2024-02-30"},
         {L"bl", VT_NULL, nullptr}},
    };
    _RecordsetPtr pRs = Query(L"SELECT * FROM v");
    FieldsPtr pFields = pRs->GetFields();
    for (const auto& row : kRows) {
        for (const CExpected& e : row) {
            _variant_t v = pFields->GetItem(e.pszName)->GetValue();
            EXPECT_EQ(e.vt, v.vt) << e.pszName;
            if (e.pszText == nullptr)
                continue;
            _variant_t text;
            EXPECT_EQ(S_OK, VariantChangeType(&text, &v, 0, VT_BSTR)) << e.pszName;
            EXPECT_EQ(_bstr_t(e.pszText), _bstr_t(text)) << e.pszName;
        }
        if (&row == &kRows[0]) {
            EXPECT_EQ(8, pFields->GetItem(L"s")->GetActualSize()); // characters, not bytes
            _variant_t v = pFields->GetItem(L"bl")->GetValue();
            ASSERT_EQ(VT_ARRAY | VT_UI1, v.vt);
            ASSERT_EQ(1u, SafeArrayGetDim(v.parray));
            LONG nBound = -1;
            SafeArrayGetLBound(v.parray, 1, &nBound);
            EXPECT_EQ(0, nBound);
            auto* p = static_cast<const BYTE*>(v.parray->pvData);
            EXPECT_EQ(std::vector<BYTE>({0, 1, 2, 0xFF}),
                      std::vector<BYTE>(p, p + v.parray->rgsabound[0].cElements));
            EXPECT_EQ(4, pFields->GetItem(L"bl")->GetActualSize());
            EXPECT_EQ(19, pFields->GetItem(L"dt")->GetActualSize());
        } else {
            EXPECT_EQ(0, pFields->GetItem(L"bl")->GetActualSize());
        }
        pRs->MoveNext();
    }
    EXPECT_EQ(VARIANT_TRUE, pRs->GetadoEOF());
}

} // namespace
