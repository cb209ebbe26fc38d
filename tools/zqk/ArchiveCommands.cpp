// zqk archive show, save and load: value tables kept in files in the framework's archive
// format, with their label record.
#include <algorithm>

#include "App.h"
#include "Commands.h"
#include "Output.h"
#include "Session.h"

namespace {

const char* const kHelp =
    "usage: zqk archive show FILE [--csv]\n"
    "       zqk archive save [-c CONN] QUERY FILE\n"
    "       zqk archive load [-c CONN] FILE TABLE\n"
    "\n"
    "A value table archive holds a table of strings with its label record (the column names).\n"
    "  show   prints the archive's table (--csv: as CSV with the labels as heading record)\n"
    "  save   reads QUERY into a value table with its labels and stores it in FILE\n"
    "  load   adds the archive's rows to TABLE, matching labels to column names, in one\n"
    "         transaction; empty values load as NULL. A missing TABLE is created with an\n"
    "         nvarchar column per label, as long as its longest value (on the embedded\n"
    "         database and on SQL Server; elsewhere create it first with 'zqk sql').\n"
    "Files written with the framework's object framing (class name in front) load as well.\n";

// Longer values go into ntext columns when a table is made for an archive.
constexpr int kMaxNvarcharLength = 4000;

// The first bytes of an object stored with its class framing: the new-class tag.
bool HasObjectFraming(CFile& file) {
    BYTE tag[2] = {0, 0};
    UINT nRead = file.Read(tag, 2);
    file.SeekToBegin();
    return nRead == 2 && tag[0] == 0xFF && tag[1] == 0xFF;
}

// Reports its own failures.
bool LoadValueTable(const CString& strPath, CZORValueTable& table) {
    try {
        CFile file(strPath, CFile::modeRead);
        bool bFramed = HasObjectFraming(file);
        CArchive ar(&file, CArchive::load);
        if (!bFramed) {
            table.Serialize(ar);
            return true;
        }
        CObject* pObject = nullptr;
        ar >> pObject;
        CZORValueTable* pTable = dynamic_cast<CZORValueTable*>(pObject);
        if (pTable == nullptr) {
            delete pObject;
            ReportProblem(strPath + L" holds another kind of object, not a value table");
            return false;
        }
        table = *pTable;
        delete pTable;
        return true;
    } catch (CArchiveException* e) {
        ReportProblem(strPath + L" is not a value table archive: " + ExceptionText(e));
        e->Delete();
    } catch (CException* e) {
        ReportProblem(strPath + L": " + ExceptionText(e));
        e->Delete();
    }
    return false;
}

bool StoreValueTable(const CString& strPath, CZORValueTable& table) {
    try {
        CFile file(strPath, CFile::modeCreate | CFile::modeWrite);
        CArchive ar(&file, CArchive::store);
        table.Serialize(ar);
        ar.Close();
        file.Close();
        return true;
    } catch (CException* e) {
        ReportProblem(strPath + L": " + ExceptionText(e));
        e->Delete();
    }
    return false;
}

std::vector<CString> Values(CStringArray& ar) {
    std::vector<CString> values;
    for (int i = 0; i < ar.GetSize(); ++i)
        values.push_back(ar[i]);
    return values;
}

ExitStatus Show(const ParsedArgs& parsed) {
    if (parsed.positionals.size() != 2)
        throw UsageError("archive show takes one FILE");
    CString strPath(parsed.positionals[1].c_str());
    CZORValueTable table;
    if (!LoadValueTable(strPath, table))
        return ExitStatus::Failed;
    if (parsed.Has("csv")) {
        CStringArray ar;
        table.GetLableRecord(ar);
        WriteOut(CsvRecord(Values(ar)));
        for (int i = 0; i < table.GetTableLogicSize(); ++i) {
            table.GetValueRecord(i, ar);
            WriteOut(CsvRecord(Values(ar)));
        }
        return ExitStatus::Ok;
    }
    WriteOut(RenderValueTable(table) + L"(" + CountOf(table.GetTableLogicSize(), L"row", L"rows") +
             L")\n");
    struct Header {
        LPCWSTR lpszName;
        CZORValueRecord& rec;
    } headers[] = {{L"label II", table.m_LableIIRecord},
                   {L"label III", table.m_LableIIIRecord},
                   {L"line X", table.m_LineXRecord}};
    for (Header& header : headers) {
        if (header.rec.GetLableLogicSize() == 0)
            continue;
        CStringArray ar;
        header.rec.GetLableValueAr(ar);
        CString strLine = CsvRecord(Values(ar));
        WriteOut(CString(header.lpszName) + L": " + strLine.Left(strLine.GetLength() - 2) + L"\n");
    }
    return ExitStatus::Ok;
}

ExitStatus Save(const ParsedArgs& parsed) {
    if (parsed.positionals.size() != 3)
        throw UsageError("archive save takes QUERY and FILE");
    CString strQuery(parsed.positionals[1].c_str());
    CString strPath(parsed.positionals[2].c_str());
    Session session(TheApp());
    if (!OpenSession(session, parsed))
        return ExitStatus::Failed;
    size_t nMark = TheApp().BoxCount();
    CZORValueTable table;
    int nRows = session.Server().GetSelData(strQuery, table, 1);
    if (nRows < 0) {
        if (TheApp().BoxCount() == nMark)
            ReportProblem(L"the statement returned no result to save");
        return ExitStatus::Failed;
    }
    if (!StoreValueTable(strPath, table))
        return ExitStatus::Failed;
    WriteOut(L"saved " + CountOf(table.GetTableLogicSize(), L"row", L"rows") + L" of " +
             CountOf(table.GetFieldCount(), L"column", L"columns") + L" to " + strPath + L"\n");
    return ExitStatus::Ok;
}

int Utf16Length(const CString& str) {
    int n = 0;
    for (int i = 0; i < str.GetLength(); ++i)
        n += static_cast<unsigned long>(str[i]) > 0xFFFF ? 2 : 1;
    return n;
}

// The entry of names that strName means: itself, else one that differs only in case (as an
// unquoted name matches on most databases); empty when there is none.
CString SpelledAs(const CStringArray& names, const CString& strName) {
    CString strFound;
    for (int i = 0; i < names.GetSize(); ++i) {
        if (names[i] == strName)
            return names[i];
        if (strFound.IsEmpty() && names[i].CompareNoCase(strName) == 0)
            strFound = names[i];
    }
    return strFound;
}

// The table as the database spells it, or empty when it has no such table.
CString ExistingTable(Session& session, const CString& strTable) {
    if (session.IsEmbedded())
        return session.Server().IsSQLSrvTableExist(strTable, session.Database()) == 1 ? strTable
                                                                                      : CString();
    CStringArray names;
    session.Server().GetOLDBTableNameArray(names, nullptr);
    return SpelledAs(names, strTable);
}

// A name in the SQL standard's double quotes, which the embedded database, SQL Server and
// PostgreSQL all take; within them a name keeps its case, so it is written as the database
// spells it.
CString Delimited(const CString& strName) {
    CString strInner = strName;
    strInner.Replace(L"\"", L"\"\"");
    return L"\"" + strInner + L"\"";
}

// The table's column names as the database spells them, from a result without rows.
void ReadColumnNames(Session& session, const CString& strTable, CStringArray& names) {
    _RecordsetPtr pRecordset = session.Connection()->Execute(
        _bstr_t((L"SELECT * FROM " + Delimited(strTable) + L" WHERE 1 = 0").GetString()), nullptr,
        adCmdText);
    FieldsPtr pFields = pRecordset->GetFields();
    for (LONG i = 0; i < pFields->GetCount(); ++i)
        names.Add(CString(static_cast<LPCWSTR>(pFields->GetItem(_variant_t(i))->GetName())));
}

// A table with one nvarchar (or ntext) column per label, wide enough for every value.
bool CreateTableFor(Session& session, const CString& strTable, CZORValueTable& table) {
    CStringArray labels;
    table.GetLableRecord(labels);
    CArray<CZORTableField, CZORTableField&> fields;
    for (int c = 0; c < labels.GetSize(); ++c) {
        int nLength = 1;
        for (int i = 0; i < table.GetTableLogicSize(); ++i) {
            CZORValueRecord rec;
            table.GetValueRecord(i, rec);
            CString strValue;
            if (rec.GetValue(c, strValue))
                nLength = std::max(nLength, Utf16Length(strValue));
        }
        CZORTableField field;
        field.m_strName = labels[c];
        field.m_strType = nLength > kMaxNvarcharLength ? L"ntext" : L"nvarchar";
        field.m_nSize = nLength;
        fields.Add(field);
    }
    size_t nMark = TheApp().BoxCount();
    if (session.IsEmbedded())
        session.Server().CreateSQLSrvTable(strTable, fields, session.Database());
    else
        session.Server().CreateOLEDBTable(strTable, fields, nullptr);
    if (TheApp().BoxCount() != nMark)
        return false;
    WriteOut(L"created table " + strTable + L" with " +
             CountOf(fields.GetSize(), L"column", L"columns") + L"\n");
    return true;
}

// A value as a literal. SQL Server keeps only national literals (N'...') whole beyond its code
// page; elsewhere a plain literal takes the column's type, which a national one may not.
CString SqlText(const CString& strValue, bool bNational) {
    if (strValue.IsEmpty())
        return CString(L"NULL");
    CString strQuoted = strValue;
    strQuoted.Replace(L"'", L"''");
    return (bNational ? L"N'" : L"'") + strQuoted + L"'";
}

ExitStatus Load(const ParsedArgs& parsed) {
    if (parsed.positionals.size() != 3)
        throw UsageError("archive load takes FILE and TABLE");
    CString strPath(parsed.positionals[1].c_str());
    CString strTable(parsed.positionals[2].c_str());
    if (strTable.IsEmpty() || strTable.FindOneOf(L"[]") >= 0)
        throw UsageError("table name '" + parsed.positionals[2] + "' is empty or holds a bracket");
    CZORValueTable table;
    if (!LoadValueTable(strPath, table))
        return ExitStatus::Failed;
    CStringArray labels;
    table.GetLableRecord(labels);
    if (labels.GetSize() == 0) {
        ReportProblem(strPath + L" has no label record to name the columns");
        return ExitStatus::Failed;
    }
    for (int c = 0; c < labels.GetSize(); ++c) {
        if (labels[c].IsEmpty() || labels[c].FindOneOf(L"[]") >= 0) {
            ReportProblem(L"label '" + labels[c] + L"' cannot name a column");
            return ExitStatus::Failed;
        }
    }

    Session session(TheApp());
    if (!OpenSession(session, parsed))
        return ExitStatus::Failed;
    CString strExisting = ExistingTable(session, strTable);
    if (strExisting.IsEmpty()) {
        if (!session.RequireSqlServerSchema(L"creating table " + strTable) ||
            !CreateTableFor(session, strTable, table))
            return ExitStatus::Failed;
        strExisting = strTable;
    }
    CStringArray columns;
    ReadColumnNames(session, strExisting, columns);
    CString strColumns;
    for (int c = 0; c < labels.GetSize(); ++c) {
        CString strColumn = SpelledAs(columns, labels[c]);
        strColumns +=
            (c > 0 ? L", " : L"") + Delimited(strColumn.IsEmpty() ? labels[c] : strColumn);
    }
    bool bNational = session.SpeaksSqlServer();
    CZORADORXServer& server = session.Server();
    server.BeginTrans();
    for (int i = 0; i < table.GetTableLogicSize(); ++i) {
        CZORValueRecord rec;
        table.GetValueRecord(i, rec);
        CString strValues;
        for (int c = 0; c < labels.GetSize(); ++c) {
            CString strValue;
            rec.GetValue(c, strValue);
            strValues += (c > 0 ? L", " : L"") + SqlText(strValue, bNational);
        }
        if (!server.ExecuteSQL(L"INSERT INTO " + Delimited(strExisting) + L" (" + strColumns +
                               L") VALUES (" + strValues + L")")) {
            server.RollbackTrans();
            CString strRow;
            strRow.Format(L"%d", i + 1);
            ReportProblem(L"nothing loaded: row " + strRow + L" was refused");
            return ExitStatus::Failed;
        }
    }
    server.CommitTrans();
    WriteOut(L"loaded " + CountOf(table.GetTableLogicSize(), L"row", L"rows") + L" into " +
             strTable + L"\n");
    return ExitStatus::Ok;
}

} // namespace

ExitStatus RunArchive(const Args& args) {
    ParsedArgs parsed =
        ParseArgs(args, WithConnectionOptions({{"csv", 0, OptionArity::Switch}}), 0, 3);
    if (parsed.Has("help") || parsed.positionals.empty()) {
        if (!parsed.Has("help"))
            throw UsageError("archive needs show, save or load");
        return PrintHelp((std::string(kHelp) + "\n" + kConnectionHelp).c_str());
    }
    const std::string& strAction = parsed.positionals[0];
    if (strAction != "show" && parsed.Has("csv"))
        throw UsageError("--csv belongs to archive show");
    if (strAction == "show")
        return Show(parsed);
    if (strAction == "save")
        return Save(parsed);
    if (strAction == "load")
        return Load(parsed);
    throw UsageError("unknown archive action '" + strAction + "' (show, save or load)");
}
