// zqk demo: runs the tour's steps and tells whether every one did what it should.
#include <cstdlib>
#include <filesystem>

#include "Commands.h"
#include "Demo.h"
#include "Output.h"

namespace {

const char* const kHelp =
    "usage: zqk demo [FOLDER]\n"
    "\n"
    "Tours the library on the embedded database in a fresh demo.db under FOLDER (default: a\n"
    "new temporary folder, kept and named at the end): tables from field descriptors, rows,\n"
    "every reader, a value table in a list control, a table's structure, the table list, a\n"
    "value table archive, a file packed into a row and unpacked, a transaction that rolls\n"
    "back and one deliberate failure. Each step prints what it called and what came back.\n"
    "The status is 0 only when every step did what it should.\n";

// What earlier runs left in a folder the demo is given again.
const char* const kDemoFiles[] = {"demo.db", "staff.zqt", "sample.bin", "unpacked/sample.bin"};

struct NamedStep {
    LPCWSTR lpszTitle;
    void (*pfnStep)(Demo&);
};

const NamedStep kSteps[] = {
    {L"Open a fresh database", StepOpen},
    {L"Create tables from field descriptors", StepCreate},
    {L"Insert rows", StepInsert},
    {L"Read them back through every reader", StepReaders},
    {L"Show the value table in a list control", StepShow},
    {L"Read a table's structure back", StepStructure},
    {L"List the tables", StepTableNames},
    {L"Save the value table in an archive and load it again", StepArchive},
    {L"Pack a file into a row and unpack it", StepPack},
    {L"Run a transaction that rolls back", StepTransaction},
    {L"One deliberate failure and its error report", StepFailure},
};

// The folder to work in, made fresh; empty after reporting a failure.
std::string PrepareFolder(const std::string& strGiven) {
    std::error_code ec;
    if (strGiven.empty()) {
        const char* pszBase = std::getenv("TMPDIR");
        std::string strTemplate =
            std::string(pszBase && *pszBase ? pszBase : "/tmp") + "/zqk-demo-XXXXXX";
        if (::mkdtemp(strTemplate.data()) == nullptr) {
            ReportProblem(L"cannot make a folder in the temporary folder");
            return std::string();
        }
        return strTemplate;
    }
    std::filesystem::create_directories(strGiven, ec);
    if (!std::filesystem::is_directory(strGiven)) {
        ReportProblem(CString(strGiven.c_str()) + L": cannot make this folder");
        return std::string();
    }
    for (const char* pszName : kDemoFiles)
        std::filesystem::remove(strGiven + "/" + pszName, ec);
    return std::filesystem::absolute(strGiven).lexically_normal().string();
}

} // namespace

Demo::Demo(CZqkApp& app, const std::string& strFolder) : m_app(app), m_strFolder(strFolder) {}

CString Demo::ConnectionString() const {
    return L"Provider=SQLite; Data Source=" + FolderPath("demo.db") + L"; Initial Catalog=demo";
}

bool Demo::Step(LPCWSTR lpszTitle, const std::function<void(Demo&)>& fnStep) {
    CString strTitle;
    strTitle.Format(L"\n%d. %s\n", ++m_nStep, lpszTitle);
    WriteOut(strTitle);
    m_nBoxMark = m_app.BoxCount();
    m_bStepFailed = false;
    try {
        fnStep(*this);
    } catch (_com_error& e) {
        Expect(false, L"raised:\n" + ComErrorReport(e));
    } catch (CException* e) {
        Expect(false, L"raised: " + ExceptionText(e));
        e->Delete();
    }
    for (const CString& strBox : m_app.BoxesSince(m_nBoxMark))
        Expect(false, L"unexpected message box:\n" + strBox);
    if (!m_bStepFailed)
        WriteOut(L"   ok\n");
    return !m_bStepFailed;
}

void Demo::Call(const CString& strCall, const CString& strResult) {
    WriteOut(L"   " + strCall + L" -> " + strResult + L"\n");
}

void Demo::Detail(const CString& strText) {
    WriteOut(L"      " + strText + L"\n");
}

void Demo::Expect(bool bHolds, const CString& strWhat) {
    if (bHolds)
        return;
    m_bStepFailed = true;
    WriteOut(L"   FAILED: " + strWhat + L"\n");
}

std::vector<CString> Demo::TakeBoxes() {
    std::vector<CString> boxes = m_app.BoxesSince(m_nBoxMark);
    m_nBoxMark = m_app.BoxCount();
    return boxes;
}

ExitStatus RunDemo(const Args& args) {
    ParsedArgs parsed = ParseArgs(args, {}, 0, 1);
    if (parsed.Has("help"))
        return PrintHelp(kHelp);
    std::string strFolder =
        PrepareFolder(parsed.positionals.empty() ? std::string() : parsed.positionals[0]);
    if (strFolder.empty())
        return ExitStatus::Failed;
    CZqkApp& app = TheApp();
    // The demo prints the boxes of its steps itself, where they belong.
    app.SetQuiet(true);
    Demo demo(app, strFolder);
    WriteOut(L"zqk demo: the library on the embedded database\nfolder: " +
             CString(strFolder.c_str()) + L"\n");
    int nDone = 0;
    for (const NamedStep& step : kSteps) {
        if (!demo.Step(step.lpszTitle, step.pfnStep))
            break;
        ++nDone;
    }
    int nSteps = static_cast<int>(sizeof(kSteps) / sizeof(kSteps[0]));
    CString strEnd;
    if (nDone == nSteps) {
        strEnd.Format(L"\nAll %d steps did what they should. The database is kept in %s/demo.db\n",
                      nSteps, CString(strFolder.c_str()).GetString());
        WriteOut(strEnd);
        return ExitStatus::Ok;
    }
    strEnd.Format(L"\nStep %d of %d did not do what it should; the demo stopped there. Its files "
                  L"are in %s\n",
                  nDone + 1, nSteps, CString(strFolder.c_str()).GetString());
    WriteOut(strEnd);
    return ExitStatus::Failed;
}
