#include <gtest/gtest.h>

#include "ZORTableField.h"
#include "platform/afx/CArray.h"
#include "schema/AdoTypeNames.h"

namespace {

void ExpectField(const CZORTableField& f, LPCWSTR pszName, LPCWSTR pszType, int nSize,
                 BOOL bAllowNull, BOOL bPrimaryKey) {
    EXPECT_STREQ(pszName, f.m_strName);
    EXPECT_STREQ(pszType, f.m_strType);
    EXPECT_EQ(nSize, f.m_nSize);
    EXPECT_EQ(bAllowNull, f.m_bAllowNull);
    EXPECT_EQ(bPrimaryKey, f.m_bPrimaryKey);
}

} // namespace

TEST(TableField, DefaultsCopiesAndAssignment) {
    CZORTableField def;
    ExpectField(def, L"", L"", 0, TRUE, FALSE);

    // Values other than 0/1 must survive copying unchanged.
    CZORTableField src;
    src.m_strName = L"Id";
    src.m_strType = L"nvarchar";
    src.m_nSize = -7;
    src.m_bAllowNull = 0;
    src.m_bPrimaryKey = 5;

    CZORTableField copy(src);
    ExpectField(copy, L"Id", L"nvarchar", -7, 0, 5);
    CZORTableField assigned;
    assigned.m_strName = L"Old";
    CZORTableField& result = (assigned = src);
    EXPECT_EQ(&assigned, &result);
    ExpectField(assigned, L"Id", L"nvarchar", -7, 0, 5);

    // The strings are the copy's own.
    copy.m_strName = L"Other";
    assigned.m_strType.MakeUpper();
    copy.m_nSize = 1;
    ExpectField(src, L"Id", L"nvarchar", -7, 0, 5);
    EXPECT_STREQ(L"NVARCHAR", assigned.m_strType);

    CZORTableField& self = assigned;
    assigned = self;
    ExpectField(assigned, L"Id", L"NVARCHAR", -7, 0, 5);
}

TEST(TableField, ArraysDefaultConstructWhenGrowing) {
    CArray<CZORTableField, CZORTableField&> fields;
    CZORTableField f;
    f.m_strName = L"Name";
    f.m_strType = L"varchar";
    f.m_nSize = 50;
    f.m_bAllowNull = FALSE;
    fields.SetAtGrow(fields.GetSize(), f);
    fields.SetAtGrow(3, f);
    ASSERT_EQ(4, fields.GetSize());
    ExpectField(fields[0], L"Name", L"varchar", 50, FALSE, FALSE);
    ExpectField(fields[1], L"", L"", 0, TRUE, FALSE);
    ExpectField(fields[2], L"", L"", 0, TRUE, FALSE);
    ExpectField(fields[3], L"Name", L"varchar", 50, FALSE, FALSE);
    fields.SetSize(6);
    ExpectField(fields[5], L"", L"", 0, TRUE, FALSE);
    f.m_strName = L"Changed";
    EXPECT_STREQ(L"Name", fields[0].m_strName);
    fields.RemoveAll();
    EXPECT_EQ(0, fields.GetSize());
}

TEST(AdoTypeNames, NamesEveryDataTypeMember) {
    // clang-format off
    const struct {
        long nType;
        const wchar_t* pszName;
    } names[] = {
        {0, L"adEmpty"}, {2, L"adSmallInt"}, {3, L"adInteger"}, {4, L"adSingle"}, {5, L"adDouble"},
        {6, L"adCurrency"}, {7, L"adDate"}, {8, L"adBSTR"}, {9, L"adIDispatch"}, {10, L"adError"},
        {11, L"adBoolean"}, {12, L"adVariant"}, {13, L"adIUnknown"}, {14, L"adDecimal"},
        {16, L"adTinyInt"}, {17, L"adUnsignedTinyInt"}, {18, L"adUnsignedSmallInt"},
        {19, L"adUnsignedInt"}, {20, L"adBigInt"}, {21, L"adUnsignedBigInt"}, {64, L"adFileTime"},
        {72, L"adGUID"}, {128, L"adBinary"}, {129, L"adChar"}, {130, L"adWChar"},
        {131, L"adNumeric"}, {132, L"adUserDefined"}, {133, L"adDBDate"}, {134, L"adDBTime"},
        {135, L"adDBTimeStamp"}, {136, L"adChapter"}, {138, L"adPropVariant"},
        {139, L"adVarNumeric"}, {200, L"adVarChar"}, {201, L"adLongVarChar"}, {202, L"adVarWChar"},
        {203, L"adLongVarWChar"}, {204, L"adVarBinary"}, {205, L"adLongVarBinary"}};
    // clang-format on
    static_assert(sizeof(names) / sizeof(names[0]) == 39, "every member but adArray");
    for (const auto& n : names)
        EXPECT_STREQ(n.pszName, GetADOTypeName(n.nType)) << n.nType;

    // Gaps in the enumeration, adArray, and anything combined with it.
    for (LONG nType : {1, 15, 22, 137, 140, 206, -1, 0x2000, 0x2000 | 3, 0x2000 | 200})
        EXPECT_STREQ(L"*UNKNOWN*", GetADOTypeName(nType)) << nType;
}

TEST(AdoTypeNames, SqlServerTypeFromAdoName) {
    const struct {
        const wchar_t* pszAdo;
        int nSize;
        const wchar_t* pszSql;
        int nLength;
    } rows[] = {{L"adVarChar", 33, L"varchar", 33},
                {L"ADVARCHAR", 120, L"varchar", 120},
                {L"adLongVarChar", 33, L"text", 16},
                {L"adVarBinary", 33, L"varbinary", 50}, // the name GetADOTypeName gives for 204
                {L"advarbinary", 0, L"varbinary", 50},
                {L"adLongVarBinary", 33, L"image", 16},
                {L"adInteger", 33, L"int", 4},
                {L"adDouble", 33, L"float", 8},
                {L"adSingle", 33, L"real", 4},
                {L"adSmallInt", 33, L"smallint", 2},
                {L"adDBTimeStamp", 16, L"datetime", 8},
                {L"adVarWChar", 40, L"varchar", 50},
                {L"adWChar", 40, L"varchar", 50},
                {L"adBoolean", 2, L"varchar", 50},
                {L"adBigInt", 8, L"varchar", 50},
                {L"adDate", 8, L"varchar", 50},
                {L"*UNKNOWN*", 7, L"varchar", 50},
                {L"", 7, L"varchar", 50},
                {L"adVarChar ", 7, L"varchar", 50}}; // whole names only
    for (const auto& r : rows) {
        CString strType(L"previous");
        EXPECT_EQ(r.nLength, GetSQLSrvTypeFromADO(r.pszAdo, r.nSize, strType)) << r.pszAdo;
        EXPECT_STREQ(r.pszSql, strType) << r.pszAdo;
    }

    CString strType(L"untouched");
    EXPECT_EQ(7, GetSQLSrvTypeFromADO(nullptr, 7, strType));
    EXPECT_STREQ(L"untouched", strType);

    // The two conversions together, as a structure reader chains them.
    strType = L"";
    EXPECT_EQ(50, GetSQLSrvTypeFromADO(GetADOTypeName(204), 9, strType));
    EXPECT_STREQ(L"varbinary", strType);
    EXPECT_EQ(16, GetSQLSrvTypeFromADO(GetADOTypeName(205), 9, strType));
    EXPECT_STREQ(L"image", strType);
}
