// The demo's later steps: display, structure, names, archives, packing, transactions and a
// failure.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "Demo.h"
#include "Output.h"

namespace {

constexpr size_t kSampleBytes = 300000;

bool SameRecords(CZORValueTable& a, CZORValueTable& b) {
    if (a.GetTableLogicSize() != b.GetTableLogicSize())
        return false;
    CStringArray la, lb;
    a.GetLableRecord(la);
    b.GetLableRecord(lb);
    if (QuotedList(la) != QuotedList(lb))
        return false;
    for (int i = 0; i < a.GetTableLogicSize(); ++i) {
        CStringArray ra, rb;
        a.GetValueRecord(i, ra);
        b.GetValueRecord(i, rb);
        if (QuotedList(ra) != QuotedList(rb))
            return false;
    }
    return true;
}

std::string ReadBytes(const std::string& strPath) {
    std::ifstream in(strPath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Bytes that do not repeat, so that a shifted or cut copy shows.
std::string SampleBytes() {
    std::string str(kSampleBytes, '\0');
    unsigned int nState = 12345;
    for (char& ch : str) {
        nState = nState * 1103515245u + 12345u;
        ch = static_cast<char>(nState >> 16);
    }
    return str;
}

CString StaffCount(Demo& demo) {
    CString strCount;
    LPCWSTR lpszSQL = L"SELECT COUNT(*) FROM Staff";
    int nResult = demo.Server().GetSelData(lpszSQL, strCount);
    demo.Call(L"GetSelData(" + Quoted(lpszSQL) + L", CString&)",
              Number(nResult) + L", " + Quoted(strCount));
    return strCount;
}

} // namespace

void StepShow(Demo& demo) {
    CZORValueTable& table = demo.Table();
    TextTable text;
    CStringArray labels;
    table.GetLableRecord(labels);
    for (int i = 0; i < labels.GetSize(); ++i)
        text.AddColumn(labels[i]);
    table.ShowToListCtrl(&text.Control(), -1);
    demo.Call(L"ShowToListCtrl(&list, -1)",
              L"the control holds " + Number(text.Control().GetItemCount()) + L" items");
    DetailTable(demo, text.Render());
    demo.Expect(text.Control().GetItemCount() == 4 && text.Control().GetItemText(2, 1) == L"王芳" &&
                    text.Control().GetItemText(3, 3) == L"4800",
                L"the control does not hold the table's rows");
}

void StepStructure(Demo& demo) {
    CArray<CZORTableField, CZORTableField&> fields;
    int nRead = demo.Server().GetSQLSrvTableStru(L"Staff", fields, demo.Database());
    demo.Call(L"GetSQLSrvTableStru(\"Staff\", CArray<CZORTableField>&, " + Quoted(demo.Database()) +
                  L")",
              Number(nRead));
    TextTable text;
    text.AddColumn(L"m_strName");
    text.AddColumn(L"m_strType");
    text.AddColumn(L"m_nSize", Align::Right);
    CString strTypes;
    for (int i = 0; i < fields.GetSize(); ++i) {
        text.AddRow({fields[i].m_strName, fields[i].m_strType, Number(fields[i].m_nSize)});
        strTypes += fields[i].m_strName + L":" + fields[i].m_strType + L" ";
    }
    DetailTable(demo, text.Render());
    demo.Detail(L"(nvarchar lengths are bytes, as the catalogue keeps them)");
    demo.Expect(nRead == 1 && strTypes == L"ID:int Name:nvarchar Dept:varchar Salary:float "
                                          L"Joined:datetime ",
                L"the structure is not the five columns as created");

    CStringList names;
    int nNames = demo.Server().GetSQLSrvTableStru(L"Staff", names, demo.Database());
    demo.Call(L"GetSQLSrvTableStru(\"Staff\", CStringList&, " + Quoted(demo.Database()) + L")",
              Number(nNames) + L", " + QuotedList(names));
    demo.Expect(nNames == 1 && names.GetCount() == 5 && names.GetHead() == L"id",
                L"the column names are not there, lower-cased");
}

void StepTableNames(Demo& demo) {
    CStringArray catalogue, schema;
    demo.Server().GetSQLSrvTableNames(catalogue, demo.Database());
    demo.Call(L"GetSQLSrvTableNames(CStringArray&, " + Quoted(demo.Database()) + L")",
              QuotedList(catalogue));
    demo.Server().GetOLDBTableNameArray(schema, nullptr);
    demo.Call(L"GetOLDBTableNameArray(CStringArray&, NULL)", QuotedList(schema));
    // Each source lists in its own order.
    auto sorted = [](CStringArray& ar) {
        std::vector<CString> names;
        for (int i = 0; i < ar.GetSize(); ++i)
            names.push_back(ar[i]);
        std::sort(names.begin(), names.end());
        return names;
    };
    std::vector<CString> expected = {L"Files", L"Staff"};
    demo.Expect(sorted(catalogue) == expected && sorted(schema) == expected,
                L"the two lists are not Staff and Files");
}

void StepArchive(Demo& demo) {
    CString strPath = demo.FolderPath("staff.zqt");
    {
        CFile file(strPath, CFile::modeCreate | CFile::modeWrite);
        CArchive ar(&file, CArchive::store);
        demo.Table().Serialize(ar);
        ar.Close();
    }
    CFile file(strPath, CFile::modeRead);
    demo.Call(L"Serialize(storing CArchive on staff.zqt)",
              CountOf(static_cast<long long>(file.GetLength()), L"byte", L"bytes") + L" written");
    CZORValueTable loaded;
    CArchive ar(&file, CArchive::load);
    loaded.Serialize(ar);
    demo.Call(L"Serialize(loading CArchive on staff.zqt)",
              CountOf(loaded.GetTableLogicSize(), L"row", L"rows") + L", " +
                  CountOf(loaded.GetFieldCount(), L"label", L"labels"));
    bool bSame = SameRecords(loaded, demo.Table());
    demo.Detail(bSame ? L"the loaded table equals the saved one" : L"the tables differ");
    demo.Expect(bSame, L"the archive did not give the table back");
}

void StepPack(Demo& demo) {
    std::string strSample = ToUtf8(demo.FolderPath("sample.bin"));
    std::string strBytes = SampleBytes();
    std::ofstream(strSample, std::ios::binary)
        .write(strBytes.data(), static_cast<std::streamsize>(strBytes.size()));
    std::error_code ec;
    std::filesystem::create_directories(demo.Folder() + "/unpacked", ec);

    CZORValueTable values;
    const wchar_t* const kColumns[][3] = {
        {L"ID", L"1", L"int"}, {L"Name", L"sample.bin", L"varchar"}, {L"Size", L"300000", L"int"}};
    for (const auto& column : kColumns) {
        CStringArray row;
        for (LPCWSTR lpsz : column)
            row.Add(lpsz);
        values.AddValueRecord(row);
    }
    CZORPackageDbOper packer;
    packer.SetDbSrv(&demo.Server());
    CString strFile = demo.FolderPath("sample.bin");
    int nPut = packer.PutPackageToDb(strFile, L"Files", L"Body", values);
    demo.Call(L"PutPackageToDb(\"sample.bin\" (300000 bytes), \"Files\", \"Body\", "
              L"[ID 1 int, Name sample.bin varchar, Size 300000 int])",
              Number(nPut));
    CString strSize;
    LPCWSTR lpszSize = L"SELECT Size FROM Files WHERE ID = 1";
    int nSize = demo.Server().GetSelData(lpszSize, strSize);
    demo.Call(L"GetSelData(" + Quoted(lpszSize) + L", CString&)",
              Number(nSize) + L", " + Quoted(strSize));

    CString strOut = demo.FolderPath("unpacked/sample.bin");
    int nOut = packer.OutPackageToFile(strOut, L"SELECT Body FROM Files WHERE ID = 1", L"Body", 1);
    demo.Call(L"OutPackageToFile(\"unpacked/sample.bin\", \"SELECT Body FROM Files WHERE ID = 1\", "
              L"\"Body\", 1)",
              Number(nOut));
    bool bSame = ReadBytes(ToUtf8(strOut)) == strBytes;
    demo.Detail(bSame ? L"unpacked/sample.bin is byte for byte sample.bin"
                      : L"unpacked/sample.bin differs from sample.bin");
    demo.Expect(nPut == 1 && strSize == L"300000" && nOut == 1 && bSame,
                L"the file did not come back as it went in");
}

void StepTransaction(Demo& demo) {
    CZORADORXServer& server = demo.Server();
    server.BeginTrans();
    demo.Call(L"BeginTrans()", L"done");
    LPCWSTR lpszInsert = L"INSERT INTO Staff (ID, Name, Dept) VALUES (5, N'Eve', 'HR')";
    int nDone = server.ExecuteSQL(lpszInsert);
    demo.Call(L"ExecuteSQL(" + Quoted(lpszInsert) + L")", Number(nDone));
    CString strInside = StaffCount(demo);
    server.RollbackTrans();
    demo.Call(L"RollbackTrans()", L"done");
    CString strAfter = StaffCount(demo);
    demo.Expect(nDone == 1 && strInside == L"5" && strAfter == L"4",
                L"the row did not vanish with the rollback");
}

void StepFailure(Demo& demo) {
    LPCWSTR lpszInsert = L"INSERT INTO Staff (ID, Name, Dept) VALUES (1, N'Dup', 'IT')";
    int nDone = demo.Server().ExecuteSQL(lpszInsert);
    std::vector<CString> boxes = demo.TakeBoxes();
    demo.Call(
        L"ExecuteSQL(" + Quoted(lpszInsert) + L")",
        Number(nDone) + L", after " +
            CountOf(static_cast<long long>(boxes.size()), L"message box:", L"message boxes:"));
    for (const CString& strBox : boxes)
        DetailTable(demo, strBox.Right(1) == L"\n" ? strBox : strBox + L"\n");
    demo.Expect(nDone == 0 && boxes.size() == 1 && boxes[0].Find(L"Code = 80040e2f") >= 0,
                L"the duplicate key was not refused with one report");
}
