// What the benchmarks' memory measurements share: the kernel's view of this process's resident
// set, restarting its peak, and running this program again as a fresh child process whose
// output is read back (a peak can only be measured where no earlier work has raised it).
#pragma once

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

extern char** environ;

namespace bench {

// A line of /proc/self/status in bytes ("VmRSS", "VmHWM"), or -1.
inline long long StatusBytes(const char* pszKey) {
    FILE* f = std::fopen("/proc/self/status", "r");
    if (f == nullptr)
        return -1;
    char szLine[256];
    long long nKb = -1;
    size_t nKey = std::strlen(pszKey);
    while (std::fgets(szLine, sizeof szLine, f))
        if (std::strncmp(szLine, pszKey, nKey) == 0 && szLine[nKey] == ':')
            nKb = std::atoll(szLine + nKey + 1);
    std::fclose(f);
    return nKb < 0 ? -1 : nKb * 1024;
}

// Restarts the peak resident set (VmHWM) at the current one.
inline bool ResetPeakRss() {
    FILE* f = std::fopen("/proc/self/clear_refs", "w");
    if (f == nullptr)
        return false;
    bool bOk = std::fputs("5", f) >= 0;
    return std::fclose(f) == 0 && bOk;
}

// Runs this program again with the given arguments (after the program name) and collects its
// standard output; false when it cannot start or does not exit with status 0.
inline bool RunSelf(std::vector<std::string> args, std::string* pstrOut) {
    int fds[2];
    if (pipe(fds) != 0)
        return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    std::string strSelf = std::filesystem::read_symlink("/proc/self/exe").string();
    args.insert(args.begin(), strSelf);
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(&a[0]);
    argv.push_back(nullptr);
    pid_t pid = 0;
    int rc = posix_spawn(&pid, strSelf.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    char buf[512];
    ssize_t n;
    while (rc == 0 && (n = read(fds[0], buf, sizeof buf)) > 0)
        pstrOut->append(buf, static_cast<size_t>(n));
    close(fds[0]);
    int nStatus = 0;
    return rc == 0 && waitpid(pid, &nStatus, 0) == pid && WIFEXITED(nStatus) &&
           WEXITSTATUS(nStatus) == 0;
}

inline double Mb(long long n) {
    return static_cast<double>(n) / (1024.0 * 1024.0);
}

} // namespace bench
