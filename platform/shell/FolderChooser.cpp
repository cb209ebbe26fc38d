// The default folder chooser: a desktop dialog program, else the terminal, else cancel.
#include "platform/shell/FolderChooser.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/win/TextEncoding.h"

extern char** environ;

namespace {

bool IsDirectory(const std::string& strPath) {
    struct stat st;
    return ::stat(strPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The program's full path when PATH has it, else empty.
std::string FindOnPath(const char* pszProgram) {
    const char* pszPath = std::getenv("PATH");
    std::string strPath = pszPath ? pszPath : "";
    size_t nStart = 0;
    while (nStart <= strPath.size()) {
        size_t nEnd = strPath.find(':', nStart);
        if (nEnd == std::string::npos)
            nEnd = strPath.size();
        std::string strDir = strPath.substr(nStart, nEnd - nStart);
        std::string strFull = (strDir.empty() ? "." : strDir) + "/" + pszProgram;
        if (::access(strFull.c_str(), X_OK) == 0 && !IsDirectory(strFull))
            return strFull;
        nStart = nEnd + 1;
    }
    return std::string();
}

// Runs a program and collects what it writes to standard output; true when it exits with 0.
bool RunForOutput(const std::vector<std::string>& args, std::string& strOut) {
    int fds[2];
    if (::pipe(fds) != 0)
        return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addclose(&actions, fds[1]);
    std::vector<char*> argv;
    for (const std::string& s : args)
        argv.push_back(const_cast<char*>(s.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    int rc = ::posix_spawn(&pid, args[0].c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (rc != 0) {
        ::close(fds[0]);
        return false;
    }
    char buf[4096];
    ssize_t n;
    while ((n = ::read(fds[0], buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR)) {
        if (n > 0)
            strOut.append(buf, static_cast<size_t>(n));
    }
    ::close(fds[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string WithoutLineEnd(std::string str) {
    while (!str.empty() && (str.back() == '\n' || str.back() == '\r'))
        str.pop_back();
    return str;
}

// 1 chosen, 0 cancelled, -1 no dialog program could be run.
int AskDialogProgram(const std::string& strTitle, std::string& strChosen) {
    const char* pszDisplay = std::getenv("DISPLAY");
    const char* pszWayland = std::getenv("WAYLAND_DISPLAY");
    if (!(pszDisplay && *pszDisplay) && !(pszWayland && *pszWayland))
        return -1;
    std::string strProgram;
    std::vector<std::string> args;
    if (!(strProgram = FindOnPath("zenity")).empty())
        args = {strProgram, "--file-selection", "--directory", "--title=" + strTitle};
    else if (!(strProgram = FindOnPath("kdialog")).empty())
        args = {strProgram, "--title", strTitle, "--getexistingdirectory", "."};
    else if (!(strProgram = FindOnPath("yad")).empty())
        args = {strProgram, "--file", "--directory", "--title=" + strTitle};
    else
        return -1;
    std::string strOut;
    if (!RunForOutput(args, strOut))
        return 0;
    strChosen = WithoutLineEnd(strOut);
    return strChosen.empty() ? 0 : 1;
}

// Asks on the terminal until an existing folder or empty text is typed.
bool AskTerminal(const std::string& strTitle, std::string& strChosen) {
    for (;;) {
        std::fprintf(stderr, "%s\nFolder (empty to cancel): ", strTitle.c_str());
        std::fflush(stderr);
        std::string strLine;
        int ch;
        while ((ch = std::fgetc(stdin)) != EOF && ch != '\n')
            strLine += static_cast<char>(ch);
        strLine = WithoutLineEnd(strLine);
        if (strLine.empty()) {
            if (ch == EOF)
                std::fputc('\n', stderr);
            return false;
        }
        if (IsDirectory(strLine)) {
            char szFull[PATH_MAX];
            strChosen = ::realpath(strLine.c_str(), szFull) ? szFull : strLine;
            return true;
        }
        std::fprintf(stderr, "No such folder: %s\n", strLine.c_str());
        if (ch == EOF)
            return false;
    }
}

} // namespace

bool ZqkDefaultFolderChooser(LPCWSTR lpszTitle, UINT, CString& strPath) {
    std::string strTitle = WinWideToUtf8(lpszTitle ? lpszTitle : L"");
    std::string strChosen;
    int nDialog = AskDialogProgram(strTitle, strChosen);
    bool bChosen = nDialog > 0;
    if (nDialog < 0)
        bChosen = ::isatty(STDIN_FILENO) && AskTerminal(strTitle, strChosen);
    if (!bChosen)
        return false;
    strPath = CString(WinUtf8ToWide(strChosen).c_str());
    return true;
}
