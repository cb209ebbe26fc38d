// zqk tables, describe, create and drop: the schema operations of the server.
#include <cwctype>

#include "App.h"
#include "Commands.h"
#include "Output.h"
#include "Session.h"

namespace {

const char* const kTablesHelp = "usage: zqk tables [-c CONN]\n"
                                "\n"
                                "Lists the user tables of the database, one name a line; on\n"
                                "any database the connection reaches.\n";

const char* const kDescribeHelp =
    "usage: zqk describe [-c CONN] TABLE\n"
    "\n"
    "Prints the columns of TABLE with their SQL Server type names and lengths, as the\n"
    "catalogue stores them (byte lengths: an nvarchar(20) column has length 40).\n"
    "\n"
    "describe, create and drop work on the embedded database and on SQL Server, whose\n"
    "catalogue and dialect they use; on other databases use 'zqk sql'.\n";

const char* const kCreateHelp =
    "usage: zqk create [-c CONN] TABLE NAME:TYPE[(LEN)][!] ...\n"
    "\n"
    "Creates TABLE from field descriptors, one per column. TYPE is one of varchar(LEN),\n"
    "nvarchar(LEN), int, smallint, float, real, datetime, text, ntext, image; a trailing !\n"
    "makes the column the key (int, smallint, float, real, varchar and nvarchar columns).\n"
    "Columns allow NULL; a datetime column defaults to the time the row is added.\n"
    "Works on the embedded database and on SQL Server, whose dialect it writes.\n"
    "\n"
    "example: zqk create Staff ID:int! Name:nvarchar(20) Joined:datetime\n";

const char* const kDropHelp = "usage: zqk drop [-c CONN] TABLE...\n"
                              "\n"
                              "Drops each TABLE (on the embedded database and on SQL Server).\n";

// What table creation understands of each type name.
struct FieldTypeRule {
    const wchar_t* lpszName;
    bool bNeedsLength; // declared as TYPE(LEN)
    bool bKeyable;     // table creation honours the key mark
};

const FieldTypeRule kFieldTypes[] = {
    {L"varchar", true, true},    {L"nvarchar", true, true}, {L"int", false, true},
    {L"smallint", false, true},  {L"float", false, true},   {L"real", false, true},
    {L"datetime", false, false}, {L"text", false, false},   {L"ntext", false, false},
    {L"image", false, false},
};

const FieldTypeRule* FindFieldType(const CString& strType) {
    for (const FieldTypeRule& rule : kFieldTypes) {
        if (strType == rule.lpszName)
            return &rule;
    }
    return nullptr;
}

std::string Narrow(const CString& str) {
    return ToUtf8(str);
}

// Names are written between brackets, which cannot hold a closing bracket here.
void CheckName(const CString& strName, const char* pszWhat) {
    if (strName.IsEmpty())
        throw UsageError(std::string("empty ") + pszWhat + " name");
    for (int i = 0; i < strName.GetLength(); ++i) {
        wchar_t ch = strName[i];
        if (ch == L']' || ch == L'[' || ch < 0x20)
            throw UsageError(std::string(pszWhat) + " name '" + Narrow(strName) +
                             "' holds a bracket or a control character");
    }
}

CZORTableField ParseFieldDescriptor(const std::string& strArg) {
    CString strText(strArg.c_str());
    auto bad = [&](const std::string& strWhy) {
        return UsageError("bad field '" + strArg + "': " + strWhy + " (NAME:TYPE[(LEN)][!])");
    };
    int nColon = strText.ReverseFind(L':');
    if (nColon < 0)
        throw bad("no ':' between name and type");
    CZORTableField field;
    field.m_strName = strText.Left(nColon);
    CString strType = strText.Mid(nColon + 1);
    if (!strType.IsEmpty() && strType[strType.GetLength() - 1] == L'!') {
        field.m_bPrimaryKey = TRUE;
        strType = strType.Left(strType.GetLength() - 1);
    }
    int nOpen = strType.Find(L'(');
    bool bLength = nOpen >= 0;
    if (bLength) {
        if (strType[strType.GetLength() - 1] != L')')
            throw bad("the length needs a closing ')'");
        CString strLength = strType.Mid(nOpen + 1, strType.GetLength() - nOpen - 2);
        bool bDigits = !strLength.IsEmpty() && strLength.GetLength() <= 9;
        for (int i = 0; bDigits && i < strLength.GetLength(); ++i)
            bDigits = std::iswdigit(strLength[i]) != 0;
        if (!bDigits)
            throw bad("the length must be a number");
        field.m_nSize = static_cast<int>(std::wcstol(strLength, nullptr, 10));
        strType = strType.Left(nOpen);
    }
    // Table creation matches most type names only as written in lower case.
    strType.MakeLower();
    const FieldTypeRule* pRule = FindFieldType(strType);
    if (pRule == nullptr)
        throw bad("unknown type '" + Narrow(strType) + "'");
    if (pRule->bNeedsLength && (!bLength || field.m_nSize <= 0))
        throw bad(Narrow(strType) + " needs a length, as " + Narrow(strType) + "(20)");
    if (!pRule->bNeedsLength && bLength)
        throw bad(Narrow(strType) + " takes no length");
    if (field.m_bPrimaryKey && !pRule->bKeyable)
        throw bad("a " + Narrow(strType) + " column cannot be the key");
    CheckName(field.m_strName, "column");
    field.m_strType = strType;
    return field;
}

ExitStatus PrintFields(CArray<CZORTableField, CZORTableField&>& fields) {
    TextTable table;
    table.AddColumn(L"column");
    table.AddColumn(L"type");
    table.AddColumn(L"length", Align::Right);
    for (int i = 0; i < fields.GetSize(); ++i) {
        CString strSize;
        strSize.Format(L"%d", fields[i].m_nSize);
        table.AddRow({fields[i].m_strName, fields[i].m_strType, strSize});
    }
    WriteOut(table.Render());
    return ExitStatus::Ok;
}

} // namespace

ExitStatus RunTables(const Args& args) {
    ParsedArgs parsed = ParseArgs(args, kConnectionOptions, 0, 0);
    if (parsed.Has("help"))
        return PrintHelp((std::string(kTablesHelp) + "\n" + kConnectionHelp).c_str());
    Session session(TheApp());
    if (!OpenSession(session, parsed))
        return ExitStatus::Failed;
    size_t nMark = TheApp().BoxCount();
    CStringArray names;
    if (session.IsEmbedded())
        session.Server().GetSQLSrvTableNames(names, session.Database());
    else
        session.Server().GetOLDBTableNameArray(names, nullptr);
    if (TheApp().BoxCount() != nMark)
        return ExitStatus::Failed;
    for (int i = 0; i < names.GetSize(); ++i)
        WriteOut(names[i] + L"\n");
    return ExitStatus::Ok;
}

ExitStatus RunDescribe(const Args& args) {
    ParsedArgs parsed = ParseArgs(args, kConnectionOptions, 1, 1);
    if (parsed.Has("help"))
        return PrintHelp((std::string(kDescribeHelp) + "\n" + kConnectionHelp).c_str());
    CString strTable(parsed.positionals[0].c_str());
    CheckName(strTable, "table");
    Session session(TheApp());
    if (!OpenSession(session, parsed))
        return ExitStatus::Failed;
    // The provider's field descriptions would give coarse types with made-up lengths, so only
    // a catalogue is read.
    if (!session.RequireSqlServerSchema(L"describe"))
        return ExitStatus::Failed;
    size_t nMark = TheApp().BoxCount();
    CArray<CZORTableField, CZORTableField&> fields;
    session.Server().GetSQLSrvTableStru(strTable, fields, session.Database());
    if (TheApp().BoxCount() != nMark)
        return ExitStatus::Failed;
    if (fields.GetSize() == 0) {
        ReportProblem(L"no table named " + strTable);
        return ExitStatus::Failed;
    }
    return PrintFields(fields);
}

ExitStatus RunCreate(const Args& args) {
    ParsedArgs parsed = ParseArgs(args, kConnectionOptions, 2, SIZE_MAX);
    if (parsed.Has("help"))
        return PrintHelp((std::string(kCreateHelp) + "\n" + kConnectionHelp).c_str());
    CString strTable(parsed.positionals[0].c_str());
    CheckName(strTable, "table");
    CArray<CZORTableField, CZORTableField&> fields;
    for (size_t i = 1; i < parsed.positionals.size(); ++i) {
        CZORTableField field = ParseFieldDescriptor(parsed.positionals[i]);
        fields.Add(field);
    }
    Session session(TheApp());
    if (!OpenSession(session, parsed))
        return ExitStatus::Failed;
    if (!session.RequireSqlServerSchema(L"create"))
        return ExitStatus::Failed;
    size_t nMark = TheApp().BoxCount();
    // Without a database name the existence test has no catalogue to ask; SQL Server itself
    // then refuses a table that exists.
    int nResult = session.IsEmbedded()
                      ? session.Server().CreateSQLSrvTable(strTable, fields, session.Database())
                      : session.Server().CreateOLEDBTable(strTable, fields, nullptr);
    if (TheApp().BoxCount() != nMark)
        return ExitStatus::Failed;
    if (nResult != 1) {
        ReportProblem(L"table " + strTable + L" already exists");
        return ExitStatus::Failed;
    }
    WriteOut(L"created table " + strTable + L" with " +
             CountOf(fields.GetSize(), L"column", L"columns") + L"\n");
    return ExitStatus::Ok;
}

ExitStatus RunDrop(const Args& args) {
    ParsedArgs parsed = ParseArgs(args, kConnectionOptions, 1, SIZE_MAX);
    if (parsed.Has("help"))
        return PrintHelp((std::string(kDropHelp) + "\n" + kConnectionHelp).c_str());
    for (const std::string& strName : parsed.positionals)
        CheckName(CString(strName.c_str()), "table");
    Session session(TheApp());
    if (!OpenSession(session, parsed) || !session.RequireSqlServerSchema(L"drop"))
        return ExitStatus::Failed;
    ExitStatus status = ExitStatus::Ok;
    for (const std::string& strName : parsed.positionals) {
        CString strTable(strName.c_str());
        size_t nMark = TheApp().BoxCount();
        session.Server().DeleteTable(strTable);
        if (TheApp().BoxCount() != nMark) {
            status = ExitStatus::Failed;
            continue;
        }
        WriteOut(L"dropped table " + strTable + L"\n");
    }
    return status;
}
