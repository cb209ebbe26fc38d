// zqk: the library's host for the shell. main picks the command, sets the process up as a
// host would (locale, application object) and turns what a command raises into an exit
// status.
#include <clocale>
#include <cstdio>
#include <cstring>

#include "App.h"
#include "Commands.h"
#include "Output.h"

namespace {

struct Command {
    const char* pszName;
    ExitStatus (*pfnRun)(const Args&);
    const char* pszSummary;
};

const Command kCommands[] = {
    {"demo", RunDemo, "the library's tour in a fresh embedded database"},
    {"sql", RunSql, "run statements; print rows as a table, CSV or JSON"},
    {"tables", RunTables, "list the tables"},
    {"describe", RunDescribe, "print a table's columns"},
    {"create", RunCreate, "create a table from field descriptors"},
    {"drop", RunDrop, "drop tables"},
    {"pack", RunPack, "store a file in a binary column of a new row"},
    {"unpack", RunUnpack, "write a binary column back to a file"},
    {"archive", RunArchive, "show, save and load value table archives"},
};

void PrintOverview() {
    CString strText(L"usage: zqk COMMAND [OPTIONS] [ARGUMENTS]\n\ncommands:\n");
    for (const Command& command : kCommands) {
        CString strLine;
        strLine.Format(L"  %-10S %S\n", command.pszName, command.pszSummary);
        strText += strLine;
    }
    strText += L"\n'zqk COMMAND --help' tells more. Exit status: 0 success, 1 a database or file "
               L"error, 2 bad usage.\n";
    WriteOut(strText);
}

void UsageHint(const char* pszCommand, const char* pszProblem) {
    std::string strLine = std::string("zqk") + (pszCommand ? std::string(" ") + pszCommand : "") +
                          ": " + pszProblem + " (see 'zqk " +
                          (pszCommand ? std::string(pszCommand) + " " : "") + "--help')\n";
    WriteErr(CString(strLine.c_str()));
}

ExitStatus Run(const Command& command, const Args& args) {
    try {
        return command.pfnRun(args);
    } catch (const UsageError& e) {
        UsageHint(command.pszName, e.what());
        return ExitStatus::Usage;
    } catch (_com_error& e) {
        AfxMessageBox(ComErrorReport(e), MB_OK);
    } catch (CException* e) {
        ReportProblem(ExceptionText(e));
        e->Delete();
    } catch (const std::exception& e) {
        ReportProblem(CString(e.what()));
    }
    return ExitStatus::Failed;
}

} // namespace

ExitStatus PrintHelp(const char* pszText) {
    WriteOut(CString(pszText));
    return ExitStatus::Ok;
}

int main(int argc, char** argv) {
    // Trimming and lower-casing in the library follow the user's locale, as in any host.
    std::setlocale(LC_ALL, "");
    CZqkApp app;
    if (argc < 2) {
        UsageHint(nullptr, "no command given");
        return static_cast<int>(ExitStatus::Usage);
    }
    const char* pszCommand = argv[1];
    if (std::strcmp(pszCommand, "--help") == 0 || std::strcmp(pszCommand, "-h") == 0 ||
        std::strcmp(pszCommand, "help") == 0) {
        PrintOverview();
        return static_cast<int>(ExitStatus::Ok);
    }
    Args args(argv + 2, argv + argc);
    for (const Command& command : kCommands) {
        if (std::strcmp(command.pszName, pszCommand) == 0)
            return static_cast<int>(Run(command, args));
    }
    UsageHint(nullptr, (std::string("unknown command '") + pszCommand + "'").c_str());
    return static_cast<int>(ExitStatus::Usage);
}
