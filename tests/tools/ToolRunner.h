// Runs the built zqk as a subprocess, as a user's shell would, and compares its output with
// golden files, or on a pseudo-terminal. Every run gets a fixed environment: the C.UTF-8
// locale, the test's own temporary folder, and no ZQK_ variables unless the test sets them.
#pragma once

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "support/TempDir.h"

struct ToolResult {
    int nStatus = -1; // exit status, or -1 when the tool did not exit normally
    std::string strOut;
    std::string strErr;
};

inline std::string ReadFile(const std::string& strPath) {
    std::ifstream in(strPath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteFile(const std::string& strPath, const std::string& strBytes) {
    std::ofstream(strPath, std::ios::binary)
        .write(strBytes.data(), static_cast<std::streamsize>(strBytes.size()));
}

// Replaces every occurrence of strFrom.
inline std::string ReplaceAll(std::string str, const std::string& strFrom,
                              const std::string& strTo) {
    for (size_t nAt = str.find(strFrom); nAt != std::string::npos;
         nAt = str.find(strFrom, nAt + strTo.size()))
        str.replace(nAt, strFrom.size(), strTo);
    return str;
}

class ToolRunner {
public:
    // Runs in the folder dir, which also serves as the temporary folder.
    explicit ToolRunner(const TempDir& dir) : m_strDir(dir.Path()) {}

    // Sets (or, with a null value, removes) an environment variable for later runs.
    void SetEnv(const std::string& strName, const char* pszValue) {
        m_env[strName] = pszValue ? std::string(pszValue) : std::string("\x01");
    }

    ToolResult Run(const std::vector<std::string>& args, const std::string& strInput = "") const {
        std::string strIn = m_strDir + "/.stdin", strOut = m_strDir + "/.stdout",
                    strErr = m_strDir + "/.stderr";
        WriteFile(strIn, strInput);
        pid_t pid = ::fork();
        if (pid == 0) {
            Redirect(strIn, O_RDONLY, 0);
            Redirect(strOut, O_WRONLY | O_CREAT | O_TRUNC, 1);
            Redirect(strErr, O_WRONLY | O_CREAT | O_TRUNC, 2);
            Exec(args);
        }
        ToolResult result;
        int nWait = 0;
        ::waitpid(pid, &nWait, 0);
        result.nStatus = WIFEXITED(nWait) ? WEXITSTATUS(nWait) : -1;
        result.strOut = ReadFile(strOut);
        result.strErr = ReadFile(strErr);
        return result;
    }

    // Runs with standard error on a new pseudo-terminal, which is also the tool's controlling
    // terminal; returns what the terminal received (standard output and input stay off it).
    // strTyped is typed on the terminal once strAwait has appeared there.
    std::string RunOnTerminal(const std::vector<std::string>& args, std::string strAwait = "",
                              const std::string& strTyped = "") const {
        int master = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0)
            return "(no pseudo-terminal)";
        std::string strSlave = ::ptsname(master);
        pid_t pid = ::fork();
        if (pid == 0) {
            ::setsid();
            Redirect(strSlave, O_RDWR, 2);
            Redirect("/dev/null", O_RDWR, 0);
            Redirect("/dev/null", O_RDWR, 1);
            Exec(args);
        }
        std::string strSeen;
        char buffer[4096];
        for (;;) {
            ssize_t n = ::read(master, buffer, sizeof(buffer));
            if (n > 0) {
                strSeen.append(buffer, static_cast<size_t>(n));
                if (!strAwait.empty() && strSeen.find(strAwait) != std::string::npos) {
                    ssize_t nWritten = ::write(master, strTyped.data(), strTyped.size());
                    (void)nWritten;
                    strAwait.clear();
                }
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            break; // EIO once the tool has closed its end
        }
        int nWait = 0;
        ::waitpid(pid, &nWait, 0);
        ::close(master);
        return strSeen;
    }

    const std::string& Dir() const { return m_strDir; }

private:
    // In the child: the fixed environment, then the tool.
    [[noreturn]] void Exec(const std::vector<std::string>& args) const {
        if (::chdir(m_strDir.c_str()) != 0)
            ::_exit(127);
        ::unsetenv("ZQK_CONNECT");
        ::unsetenv("ZQK_PASSWORD");
        ::unsetenv("DISPLAY");
        ::unsetenv("WAYLAND_DISPLAY");
        ::setenv("LC_ALL", "C.UTF-8", 1);
        ::setenv("TMPDIR", m_strDir.c_str(), 1);
        for (const auto& [strName, strValue] : m_env) {
            if (strValue == "\x01")
                ::unsetenv(strName.c_str());
            else
                ::setenv(strName.c_str(), strValue.c_str(), 1);
        }
        std::vector<char*> argv;
        std::string strTool = ZQK_TOOL;
        argv.push_back(strTool.data());
        std::vector<std::string> copies = args;
        for (std::string& str : copies)
            argv.push_back(str.data());
        argv.push_back(nullptr);
        ::execv(strTool.c_str(), argv.data());
        ::_exit(127);
    }

    static void Redirect(const std::string& strPath, int nFlags, int fdTarget) {
        int fd = ::open(strPath.c_str(), nFlags, 0600);
        if (fd < 0 || ::dup2(fd, fdTarget) < 0)
            ::_exit(127);
        ::close(fd);
    }

    std::string m_strDir;
    std::map<std::string, std::string> m_env;
};

// Compares text with tests/tools/golden/NAME. With ZQK_UPDATE_GOLDEN=1 in the environment
// the golden file is written instead (for reviewing a deliberate change with git diff).
inline void ExpectGolden(const std::string& strName, const std::string& strActual) {
    std::string strPath = std::string(ZQK_GOLDEN_DIR) + "/" + strName;
    const char* pszUpdate = std::getenv("ZQK_UPDATE_GOLDEN");
    if (pszUpdate && std::string(pszUpdate) == "1") {
        WriteFile(strPath, strActual);
        return;
    }
    ASSERT_TRUE(std::filesystem::exists(strPath)) << "no golden file " << strPath;
    EXPECT_EQ(ReadFile(strPath), strActual) << "differs from " << strPath;
}
