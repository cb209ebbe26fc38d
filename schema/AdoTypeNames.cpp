#include "AdoTypeNames.h"

#include <cwchar>

namespace {

struct CTypeName {
    long nType;
    const wchar_t* pszName;
};

const CTypeName kAdoTypeNames[] = {
    {0, L"adEmpty"},
    {2, L"adSmallInt"},
    {3, L"adInteger"},
    {4, L"adSingle"},
    {5, L"adDouble"},
    {6, L"adCurrency"},
    {7, L"adDate"},
    {8, L"adBSTR"},
    {9, L"adIDispatch"},
    {10, L"adError"},
    {11, L"adBoolean"},
    {12, L"adVariant"},
    {13, L"adIUnknown"},
    {14, L"adDecimal"},
    {16, L"adTinyInt"},
    {17, L"adUnsignedTinyInt"},
    {18, L"adUnsignedSmallInt"},
    {19, L"adUnsignedInt"},
    {20, L"adBigInt"},
    {21, L"adUnsignedBigInt"},
    {64, L"adFileTime"},
    {72, L"adGUID"},
    {128, L"adBinary"},
    {129, L"adChar"},
    {130, L"adWChar"},
    {131, L"adNumeric"},
    {132, L"adUserDefined"},
    {133, L"adDBDate"},
    {134, L"adDBTime"},
    {135, L"adDBTimeStamp"},
    {136, L"adChapter"},
    {138, L"adPropVariant"},
    {139, L"adVarNumeric"},
    {200, L"adVarChar"},
    {201, L"adLongVarChar"},
    {202, L"adVarWChar"},
    {203, L"adLongVarWChar"},
    {204, L"adVarBinary"},
    {205, L"adLongVarBinary"},
};

// A length of -1 keeps the caller's size.
struct CSqlType {
    const wchar_t* pszAdoName;
    const wchar_t* pszSqlType;
    int nLength;
};

const CSqlType kSqlTypes[] = {
    {L"adVarChar", L"varchar", -1},     {L"adLongVarChar", L"text", 16},
    {L"adVarbinary", L"varbinary", 50}, {L"adLongVarBinary", L"image", 16},
    {L"adInteger", L"int", 4},          {L"adDouble", L"float", 8},
    {L"adSingle", L"real", 4},          {L"adSmallInt", L"smallint", 2},
    {L"adDBTimeStamp", L"datetime", 8},
};

} // namespace

CString GetADOTypeName(LONG nADOType) {
    for (const CTypeName& t : kAdoTypeNames)
        if (t.nType == nADOType)
            return CString(t.pszName);
    return CString(L"*UNKNOWN*");
}

int GetSQLSrvTypeFromADO(LPCWSTR lpszADOType, int nSize, CString& strSQLType) {
    if (lpszADOType == nullptr)
        return nSize;
    strSQLType = L"varchar";
    for (const CSqlType& t : kSqlTypes)
        if (wcscasecmp(lpszADOType, t.pszAdoName) == 0) {
            strSQLType = t.pszSqlType;
            return t.nLength < 0 ? nSize : t.nLength;
        }
    return 50;
}
