// A host program built against an installed copy of the library: it includes the one public
// header, fills a value table, stores it in a file and reads it back by class name.
#include <zqk_vododuvod.h>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2)
        return 2;
    CString strPath(argv[1]);
    CZORValueTable table;
    CStringArray labels;
    labels.Add(L"ID");
    labels.Add(L"Name");
    table.SetLableRecord(labels);
    CStringArray row;
    row.Add(L"1");
    row.Add(L"数据");
    table.AddValueRecord(row);
    {
        CFile file(strPath, CFile::modeCreate | CFile::modeWrite);
        CArchive ar(&file, CArchive::store);
        ar << static_cast<const CObject*>(&table);
        ar.Close();
    }
    CFile file(strPath, CFile::modeRead);
    CArchive ar(&file, CArchive::load);
    CZORValueTable* pLoaded = nullptr;
    ar >> pLoaded;
    CString strName;
    CZORValueRecord rec;
    pLoaded->GetValueRecord(0, rec);
    rec.GetValue(1, strName);
    std::printf("%d %d %s\n", pLoaded->GetFieldCount(), pLoaded->GetTableLogicSize(),
                strName == L"数据" ? "ok" : "wrong");
    delete pLoaded;
    return 0;
}
