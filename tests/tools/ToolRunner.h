// Runs the built zqk as a subprocess, as a user's shell would, and compares its output with
// golden files. Every run gets a fixed environment: the C.UTF-8 locale, the test's own
// temporary folder, and no ZQK_ variables unless the test sets them.
#pragma once

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
            if (::chdir(m_strDir.c_str()) != 0)
                ::_exit(127);
            Redirect(strIn, O_RDONLY, 0);
            Redirect(strOut, O_WRONLY | O_CREAT | O_TRUNC, 1);
            Redirect(strErr, O_WRONLY | O_CREAT | O_TRUNC, 2);
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
        ToolResult result;
        int nWait = 0;
        ::waitpid(pid, &nWait, 0);
        result.nStatus = WIFEXITED(nWait) ? WEXITSTATUS(nWait) : -1;
        result.strOut = ReadFile(strOut);
        result.strErr = ReadFile(strErr);
        return result;
    }

    const std::string& Dir() const { return m_strDir; }

private:
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
