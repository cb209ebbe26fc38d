// The demo's first steps: a fresh database, tables, rows, and every reader over them.
#include <algorithm>

#include "Demo.h"
#include "Output.h"

namespace {

const wchar_t* const kStaffRows[] = {
    L"INSERT INTO Staff (ID, Name, Dept, Salary, Joined) VALUES (1, N'Ann', 'Sales', 5200.5, "
    L"'2021-03-01')",
    L"INSERT INTO Staff (ID, Name, Dept, Salary, Joined) VALUES (2, N'  Bob  ', 'IT', 6100, "
    L"'2020-11-15')",
    L"INSERT INTO Staff (ID, Name, Dept, Salary, Joined) VALUES (3, N'王芳', 'IT', NULL, "
    L"'2022-01-10')",
    L"INSERT INTO Staff (ID, Name, Dept, Salary, Joined) VALUES (4, N'Zoe', 'Sales', 4800, "
    L"'2019-07-30')",
};

void AddDescriptor(CArray<CZORTableField, CZORTableField&>& fields, LPCWSTR lpszName,
                   LPCWSTR lpszType, int nSize = 0, BOOL bKey = FALSE) {
    CZORTableField field;
    field.m_strName = lpszName;
    field.m_strType = lpszType;
    field.m_nSize = nSize;
    field.m_bPrimaryKey = bKey;
    fields.Add(field);
}

CString Describe(CArray<CZORTableField, CZORTableField&>& fields) {
    CString str(L"[");
    for (int i = 0; i < fields.GetSize(); ++i) {
        CString strField = fields[i].m_strName + L" " + fields[i].m_strType;
        if (fields[i].m_nSize != 0)
            strField.AppendFormat(L"(%d)", fields[i].m_nSize);
        if (fields[i].m_bPrimaryKey)
            strField += L" key";
        str += (i ? L", " : L"") + strField;
    }
    return str + L"]";
}

void CreateTable(Demo& demo, LPCWSTR lpszTable, CArray<CZORTableField, CZORTableField&>& fields) {
    int nCreated = demo.Server().CreateSQLSrvTable(lpszTable, fields, demo.Database());
    demo.Call(L"CreateSQLSrvTable(" + Quoted(lpszTable) + L", " + Describe(fields) + L", " +
                  Quoted(demo.Database()) + L")",
              Number(nCreated));
    int nExists = demo.Server().IsSQLSrvTableExist(lpszTable, demo.Database());
    demo.Call(L"IsSQLSrvTableExist(" + Quoted(lpszTable) + L", " + Quoted(demo.Database()) + L")",
              Number(nExists));
    demo.Expect(nCreated == 1 && nExists == 1, CString(lpszTable) + L" was not created");
}

CString CountText(Demo& demo, LPCWSTR lpszSQL) {
    CString strCount;
    int nResult = demo.Server().GetSelData(lpszSQL, strCount);
    demo.Call(L"GetSelData(" + Quoted(lpszSQL) + L", CString&)",
              Number(nResult) + L", " + Quoted(strCount));
    return strCount;
}

bool Equal(CStringArray& ar, std::initializer_list<LPCWSTR> expected) {
    if (ar.GetSize() != static_cast<INT_PTR>(expected.size()))
        return false;
    int i = 0;
    for (LPCWSTR lpsz : expected) {
        if (ar[i++] != lpsz)
            return false;
    }
    return true;
}

void ReadStrings(Demo& demo) {
    CZORADORXServer& server = demo.Server();
    demo.Expect(CountText(demo, L"SELECT COUNT(*) FROM Staff") == L"4", L"the count is not 4");

    LPCWSTR lpszNames = L"SELECT Name FROM Staff ORDER BY ID";
    CStringArray names;
    int nNames = server.GetSelData(lpszNames, names);
    demo.Call(L"GetSelData(" + Quoted(lpszNames) + L", CStringArray&)",
              Number(nNames) + L", " + QuotedList(names));
    demo.Expect(nNames == 4 && Equal(names, {L"Ann", L"Bob", L"王芳", L"Zoe"}),
                L"the names are not the four, trimmed");

    CStringList lower;
    int nLower = server.GetSelData(lpszNames, lower, 1);
    demo.Call(L"GetSelData(" + Quoted(lpszNames) + L", CStringList&, bLower 1)",
              Number(nLower) + L", " + QuotedList(lower));
    demo.Expect(nLower == 4 && lower.GetCount() == 4 && lower.GetHead() == L"ann" &&
                    lower.GetTail() == L"zoe",
                L"the list is not lower-cased");

    LPCWSTR lpszIds = L"SELECT ID FROM Staff ORDER BY ID";
    CStringArray range;
    int nRange = server.GetSelData(lpszIds, range, 1, 2);
    demo.Call(L"GetSelData(" + Quoted(lpszIds) + L", CStringArray&, nStart 1, nEnd 2)",
              Number(nRange) + L", " + QuotedList(range));
    demo.Detail(L"rows 1 to 2 are read; the result counts the moves between them");
    demo.Expect(nRange == 1 && Equal(range, {L"2", L"3"}), L"the range is not rows 1 and 2");
}

void ReadMaps(Demo& demo) {
    CZORADORXServer& server = demo.Server();
    LPCWSTR lpszPairs = L"SELECT Name, Dept FROM Staff";
    CMapStringToString map;
    int nPairs = server.GetSelData(lpszPairs, map);
    demo.Call(L"GetSelData(" + Quoted(lpszPairs) + L", CMapStringToString&)", Number(nPairs));
    // The map's own order is its hashing's; sorted keys print the same every time.
    std::vector<CString> keys;
    for (POSITION pos = map.GetStartPosition(); pos != nullptr;) {
        CString strKey, strValue;
        map.GetNextAssoc(pos, strKey, strValue);
        keys.push_back(strKey);
    }
    std::sort(keys.begin(), keys.end());
    for (const CString& strKey : keys) {
        CString strValue;
        map.Lookup(strKey, strValue);
        demo.Detail(Quoted(strKey) + L" -> " + Quoted(strValue));
    }
    CString strDept;
    demo.Expect(nPairs == 4 && map.Lookup(L"王芳", strDept) && strDept == L"IT",
                L"the map does not send 王芳 to IT");

    LPCWSTR lpszRow = L"SELECT ID, Name, Salary FROM Staff WHERE ID = 3";
    CMapStringToString row;
    int nRow = server.GetSelDataEx(lpszRow, row);
    demo.Call(L"GetSelDataEx(" + Quoted(lpszRow) + L", CMapStringToString&)", Number(nRow));
    CString strName, strSalary;
    bool bName = row.Lookup(L"Name", strName) != FALSE;
    bool bSalary = row.Lookup(L"Salary", strSalary) != FALSE;
    demo.Detail(L"\"Name\" -> " + Quoted(strName) + L", \"Salary\" -> " + Quoted(strSalary) +
                L" (NULL reads as empty text)");
    demo.Expect(nRow == 1 && bName && strName == L"王芳" && bSalary && strSalary.IsEmpty(),
                L"the first row's fields are not by name");
}

void ReadTables(Demo& demo) {
    CZORADORXServer& server = demo.Server();
    LPCWSTR lpszTable = L"SELECT ID, Name, Dept, Salary FROM Staff ORDER BY ID";
    CZORValueTable& table = demo.Table();
    table.RemoveAll(1);
    int nRows = server.GetSelData(lpszTable, table, 1);
    CStringArray labels, first;
    table.GetLableRecord(labels);
    table.GetValueRecord(0, first);
    demo.Call(L"GetSelData(" + Quoted(lpszTable) + L", CZORValueTable&, bSetLable 1)",
              Number(nRows));
    demo.Detail(L"labels " + QuotedList(labels) + L", row 0 " + QuotedList(first));
    demo.Expect(nRows == 4 && table.GetFieldCount() == 4 &&
                    Equal(first, {L"1", L"Ann", L"Sales", L"5200.5"}),
                L"the value table is not the four rows with their labels");

    LPCWSTR lpszArray = L"SELECT ID, Salary FROM Staff ORDER BY ID";
    _variant_t data;
    LONG nArrayRows = 0, nCols = 0;
    int nArray = server.GetSelData(lpszArray, data, nArrayRows, nCols);
    demo.Call(L"GetSelData(" + Quoted(lpszArray) + L", _variant_t&, nRows, nCols)",
              Number(nArray) + L", nRows " + Number(nArrayRows) + L", nCols " + Number(nCols));
    bool bShape =
        nArray == 1 && data.vt == (VT_ARRAY | VT_VARIANT) && nArrayRows == 4 && nCols == 2;
    VARTYPE vtNull = VT_EMPTY;
    CString strSalary;
    if (bShape) {
        LONG cell[2] = {1, 2}; // column 1, row 2: 王芳's salary, NULL
        _variant_t value;
        SafeArrayGetElement(data.parray, cell, &value);
        vtNull = value.vt;
        cell[1] = 0;
        _variant_t first;
        SafeArrayGetElement(data.parray, cell, &first);
        strSalary = static_cast<const wchar_t*>(_bstr_t(first));
    }
    demo.Detail(L"element (1, 0) is " + strSalary + L"; element (1, 2) is " +
                (vtNull == VT_NULL ? L"VT_NULL" : L"not NULL"));
    demo.Expect(bShape && vtNull == VT_NULL && strSalary == L"5200.5",
                L"the array does not keep the values and their NULL");

    LPCWSTR lpszEmpty = L"SELECT ID FROM Staff WHERE Dept = 'HR'";
    int nEmpty = server.IsSelEmpty(lpszEmpty);
    demo.Call(L"IsSelEmpty(" + Quoted(lpszEmpty) + L")", Number(nEmpty));
    demo.Expect(nEmpty == 1, L"a query without rows is not empty");
}

} // namespace

CString Quoted(LPCWSTR lpsz) {
    return L"\"" + CString(lpsz) + L"\"";
}

CString QuotedList(CStringArray& ar) {
    CString str(L"[");
    for (int i = 0; i < ar.GetSize(); ++i)
        str += (i ? L", " : L"") + Quoted(ar[i]);
    return str + L"]";
}

CString QuotedList(CStringList& list) {
    CString str(L"[");
    bool bFirst = true;
    for (POSITION pos = list.GetHeadPosition(); pos != nullptr; bFirst = false)
        str += (bFirst ? L"" : L", ") + Quoted(list.GetNext(pos));
    return str + L"]";
}

CString Number(long long n) {
    CString str;
    str.Format(L"%lld", n);
    return str;
}

void DetailTable(Demo& demo, const CString& strRendered) {
    int nStart = 0;
    for (int nEnd = strRendered.Find(L'\n'); nEnd >= 0; nEnd = strRendered.Find(L'\n', nStart)) {
        demo.Detail(strRendered.Mid(nStart, nEnd - nStart));
        nStart = nEnd + 1;
    }
}

void StepOpen(Demo& demo) {
    CString strConnect = demo.ConnectionString();
    int nOpened = demo.Server().InitADOServer(strConnect);
    demo.Call(L"InitADOServer(" + Quoted(strConnect) + L")", Number(nOpened));
    int nOpen = demo.Server().IsDatabaseOpen();
    demo.Call(L"IsDatabaseOpen()", Number(nOpen));
    demo.Expect(nOpened == 1 && nOpen == 1, L"the database did not open");
}

void StepCreate(Demo& demo) {
    CArray<CZORTableField, CZORTableField&> staff;
    AddDescriptor(staff, L"ID", L"int", 0, TRUE);
    AddDescriptor(staff, L"Name", L"nvarchar", 20);
    AddDescriptor(staff, L"Dept", L"varchar", 10);
    AddDescriptor(staff, L"Salary", L"float");
    AddDescriptor(staff, L"Joined", L"datetime");
    CreateTable(demo, L"Staff", staff);
    CArray<CZORTableField, CZORTableField&> files;
    AddDescriptor(files, L"ID", L"int", 0, TRUE);
    AddDescriptor(files, L"Name", L"varchar", 100);
    AddDescriptor(files, L"Size", L"int");
    AddDescriptor(files, L"Body", L"image");
    CreateTable(demo, L"Files", files);
}

void StepInsert(Demo& demo) {
    for (LPCWSTR lpszInsert : kStaffRows) {
        int nDone = demo.Server().ExecuteSQL(lpszInsert);
        demo.Call(L"ExecuteSQL(" + Quoted(lpszInsert) + L")", Number(nDone));
        demo.Expect(nDone == 1, L"the row was not inserted");
    }
}

void StepReaders(Demo& demo) {
    ReadStrings(demo);
    ReadMaps(demo);
    ReadTables(demo);
}
