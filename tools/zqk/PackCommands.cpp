// zqk pack and unpack: files into a binary column of a new row, and back out to a file.
#include <algorithm>
#include <sys/stat.h>
#include <unistd.h>

#include "App.h"
#include "Commands.h"
#include "Output.h"
#include "Progress.h"
#include "Session.h"

namespace {

const char* const kPackHelp =
    "usage: zqk pack [-c CONN] TABLE FIELD FILE [COLUMN=VALUE:TYPE ...]\n"
    "\n"
    "Stores FILE as a new row of TABLE: its bytes in the binary column FIELD, and each\n"
    "COLUMN=VALUE:TYPE as a further column of the row. TYPE is varchar, text, int, float or\n"
    "datetime. Files up to 20,020,000 bytes are accepted.\n"
    "\n"
    "example: zqk pack Files Body report.pdf ID=7:int \"Name=report.pdf:varchar\"\n";

const char* const kUnpackHelp =
    "usage: zqk unpack [-c CONN] [--to FOLDER|--pick|--temp] FIELD FILE QUERY\n"
    "\n"
    "Runs QUERY and writes the bytes of column FIELD of its first row to FILE.\n"
    "  (default)              FILE as given, relative to the current folder\n"
    "  --to FOLDER            into FOLDER\n"
    "  --pick                 into a folder chosen in the folder picker\n"
    "  --temp                 into the temporary-files folder\n"
    "With --to, --pick and --temp FILE is a bare file name. The path written is printed.\n"
    "\n"
    "example: zqk unpack --temp Body report.pdf \"SELECT Body FROM Files WHERE ID = 7\"\n";

// The column types a further value of a packed row may have.
const wchar_t* const kValueTypes[] = {L"varchar", L"text", L"int", L"float", L"datetime"};

// Where unpack puts its file.
enum class UnpackPlace { AsGiven, Folder, Pick, Temp };

// One "COLUMN=VALUE:TYPE" as the value table row the packer reads: name, text, type.
void AddColumnValue(CZORValueTable& values, const std::string& strArg) {
    CString strText(strArg.c_str());
    int nEq = strText.Find(L'=');
    int nColon = strText.ReverseFind(L':');
    if (nEq <= 0 || nColon < nEq)
        throw UsageError("bad column value '" + strArg + "' (COLUMN=VALUE:TYPE)");
    CString strType = strText.Mid(nColon + 1);
    strType.MakeLower();
    bool bKnown = false;
    for (const wchar_t* lpszType : kValueTypes)
        bKnown = bKnown || strType == lpszType;
    if (!bKnown)
        throw UsageError("bad column value '" + strArg +
                         "': TYPE is varchar, text, int, float or datetime");
    CStringArray row;
    row.Add(strText.Left(nEq));
    row.Add(strText.Mid(nEq + 1, nColon - nEq - 1));
    row.Add(strType);
    values.AddValueRecord(row);
}

bool IsRegularFile(const std::string& strPath) {
    struct stat st {};
    return ::stat(strPath.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool IsFolder(const std::string& strPath) {
    struct stat st {};
    return ::stat(strPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The size of the first row's value, for the progress bar; 0 when it cannot be had (the
// unpacking itself then reports why).
uint64_t StoredSize(Session& session, const CString& strQuery, const CString& strField) {
    try {
        _ConnectionPtr pConnection = session.Connection();
        _RecordsetPtr pRecordset =
            pConnection->Execute(_bstr_t(strQuery.GetString()), nullptr, adCmdText);
        if (!pRecordset || pRecordset->GetadoEOF())
            return 0;
        LONG nSize =
            pRecordset->GetFields()->GetItem(_variant_t(strField.GetString()))->GetActualSize();
        return nSize > 0 ? static_cast<uint64_t>(nSize) : 0;
    } catch (_com_error&) {
        return 0;
    }
}

CString TempFolder() {
    wchar_t szTemp[MAX_PATH] = {0};
    GetTempPathW(MAX_PATH, szTemp);
    return CString(szTemp);
}

} // namespace

ExitStatus RunPack(const Args& args) {
    ParsedArgs parsed = ParseArgs(args, kConnectionOptions, 3, SIZE_MAX);
    if (parsed.Has("help"))
        return PrintHelp((std::string(kPackHelp) + "\n" + kConnectionHelp).c_str());
    CString strTable(parsed.positionals[0].c_str());
    CString strField(parsed.positionals[1].c_str());
    const std::string& strPath = parsed.positionals[2];
    CZORValueTable values;
    for (size_t i = 3; i < parsed.positionals.size(); ++i)
        AddColumnValue(values, parsed.positionals[i]);
    if (!IsRegularFile(strPath)) {
        ReportProblem(CString(strPath.c_str()) + L": no such file");
        return ExitStatus::Failed;
    }
    Session session(TheApp());
    if (!OpenSession(session, parsed))
        return ExitStatus::Failed;

    CZORPackageDbOper packer;
    packer.SetDbSrv(&session.Server());
    CString strFile(strPath.c_str());
    uint64_t nSize = FileSizeOf(strPath);
    size_t nMark = TheApp().BoxCount();
    int nResult = 0;
    {
        // The file is closed again once read; the bar keeps the furthest position seen.
        uint64_t nFurthest = 0;
        ProgressBar bar(L"packing", nSize, [&nFurthest, strPath] {
            nFurthest = std::max(nFurthest, ReadPositionOf(strPath));
            return nFurthest;
        });
        nResult = packer.PutPackageToDb(strFile, strTable, strField, values);
    }
    if (TheApp().BoxCount() != nMark)
        return ExitStatus::Failed;
    if (nResult != 1) {
        ReportProblem(L"the database refused the row (a constraint or a value that does not fit)");
        return ExitStatus::Failed;
    }
    WriteOut(L"stored " + strFile + L" (" +
             CountOf(static_cast<long long>(nSize), L"byte", L"bytes") + L") in " + strTable +
             L"." + strField + L"\n");
    return ExitStatus::Ok;
}

ExitStatus RunUnpack(const Args& args) {
    ParsedArgs parsed = ParseArgs(args,
                                  WithConnectionOptions({{"to", 0, OptionArity::Value},
                                                         {"pick", 0, OptionArity::Switch},
                                                         {"temp", 0, OptionArity::Switch}}),
                                  3, 3);
    if (parsed.Has("help"))
        return PrintHelp((std::string(kUnpackHelp) + "\n" + kConnectionHelp).c_str());
    int nPlaces =
        (parsed.Has("to") ? 1 : 0) + (parsed.Has("pick") ? 1 : 0) + (parsed.Has("temp") ? 1 : 0);
    if (nPlaces > 1)
        throw UsageError("choose one of --to, --pick and --temp");
    UnpackPlace place = parsed.Has("to")     ? UnpackPlace::Folder
                        : parsed.Has("pick") ? UnpackPlace::Pick
                        : parsed.Has("temp") ? UnpackPlace::Temp
                                             : UnpackPlace::AsGiven;
    CString strField(parsed.positionals[0].c_str());
    std::string strName = parsed.positionals[1];
    CString strQuery(parsed.positionals[2].c_str());
    if (strName.empty())
        throw UsageError("empty FILE name");
    bool bBare = strName.find('/') == std::string::npos;
    if (place != UnpackPlace::AsGiven && !bBare)
        throw UsageError("with --to, --pick or --temp FILE is a bare file name");

    std::string strFolder = parsed.Value("to");
    if (place == UnpackPlace::Folder) {
        if (!IsFolder(strFolder)) {
            ReportProblem(CString(strFolder.c_str()) + L": no such folder");
            return ExitStatus::Failed;
        }
        while (strFolder.size() > 1 && strFolder.back() == '/')
            strFolder.pop_back();
    }
    CString strFile;
    switch (place) {
    case UnpackPlace::AsGiven:
        // A name without a folder would send the packer to the folder picker.
        strFile = CString(((bBare ? "./" : "") + strName).c_str());
        break;
    case UnpackPlace::Folder:
        strFile = CString((strFolder + (strFolder == "/" ? "" : "/") + strName).c_str());
        break;
    case UnpackPlace::Pick:
    case UnpackPlace::Temp:
        strFile = CString(strName.c_str());
        break;
    }

    Session session(TheApp());
    if (!OpenSession(session, parsed))
        return ExitStatus::Failed;
    CZORPackageDbOper packer;
    packer.SetDbSrv(&session.Server());
    // Where the bytes will land, when that is known before the picker is asked.
    std::string strTarget = ToUtf8(strFile);
    if (place == UnpackPlace::Temp)
        strTarget = ToUtf8(TempFolder() + strFile);
    uint64_t nTotal = 0;
    if (place != UnpackPlace::Pick && ProgressBar::OnTerminal())
        nTotal = StoredSize(session, strQuery, strField);
    size_t nMark = TheApp().BoxCount();
    CString strOriginal = strFile;
    int nResult = 0;
    {
        ProgressBar bar(L"unpacking", nTotal, [strTarget] { return FileSizeOf(strTarget); });
        nResult = packer.OutPackageToFile(strFile, strQuery, strField,
                                          place == UnpackPlace::Temp ? 0 : 1);
    }
    if (TheApp().BoxCount() != nMark)
        return ExitStatus::Failed;
    if (nResult != 1) {
        if (place == UnpackPlace::Pick && strFile == strOriginal)
            ReportProblem(L"no folder was chosen");
        else
            ReportProblem(L"nothing to unpack: the query gave no row, or " + strField +
                          L" is empty or NULL");
        return ExitStatus::Failed;
    }
    std::string strWritten = ToUtf8(strFile);
    if (!IsRegularFile(strWritten)) {
        ReportProblem(L"could not create " + strFile);
        return ExitStatus::Failed;
    }
    WriteOut(L"wrote " +
             CountOf(static_cast<long long>(FileSizeOf(strWritten)), L"byte", L"bytes") + L" to " +
             strFile + L"\n");
    return ExitStatus::Ok;
}
