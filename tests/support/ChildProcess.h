// A program run as a child process for one test: its standard output is read line by line,
// its standard error goes to a file. The child is killed and reaped when the object goes away,
// so a failing test leaves no process behind.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

class ChildProcess {
public:
    ChildProcess(const std::vector<std::string>& args, const std::string& strErrorFile) {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, strErrorFile.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
        std::vector<char*> argv;
        for (const std::string& s : args)
            argv.push_back(const_cast<char*>(s.c_str()));
        argv.push_back(nullptr);
        if (posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        m_fd = fds[0];
    }
    ~ChildProcess() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        if (m_fd >= 0)
            ::close(m_fd);
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const { return m_pid > 0; }

    // The next line of output (without its newline); false at its end or after nTimeoutMs.
    bool ReadLine(std::string* pLine, int nTimeoutMs = 60000) {
        auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(nTimeoutMs);
        for (;;) {
            size_t nEnd = m_buffer.find('\n');
            if (nEnd != std::string::npos) {
                *pLine = m_buffer.substr(0, nEnd);
                m_buffer.erase(0, nEnd + 1);
                return true;
            }
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                until - std::chrono::steady_clock::now());
            pollfd pfd = {m_fd, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&pfd, 1, static_cast<int>(left.count())) <= 0)
                return false;
            char chunk[4096];
            ssize_t n = ::read(m_fd, chunk, sizeof chunk);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            m_buffer.append(chunk, static_cast<size_t>(n));
        }
    }

    // Reads lines until one equals strLine; every line read is appended to *pSeen if given.
    bool WaitFor(const std::string& strLine, std::vector<std::string>* pSeen = nullptr,
                 int nTimeoutMs = 60000) {
        std::string line;
        while (ReadLine(&line, nTimeoutMs)) {
            if (pSeen)
                pSeen->push_back(line);
            if (line == strLine)
                return true;
        }
        return false;
    }

    // Everything left on the output once the child closes it.
    std::vector<std::string> RestOfOutput(int nTimeoutMs = 60000) {
        std::vector<std::string> lines;
        std::string line;
        while (ReadLine(&line, nTimeoutMs))
            lines.push_back(line);
        return lines;
    }

    void Kill(int nSignal) {
        if (m_pid > 0)
            ::kill(m_pid, nSignal);
    }

    // The wait status once the child ends; after nTimeoutMs it is killed and -1 returned.
    int Wait(int nTimeoutMs = 60000) {
        if (m_pid <= 0)
            return -1;
        auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(nTimeoutMs);
        int nStatus = 0;
        while (::waitpid(m_pid, &nStatus, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() >= until) {
                ::kill(m_pid, SIGKILL);
                ::waitpid(m_pid, nullptr, 0);
                m_pid = -1;
                return -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        m_pid = -1;
        return nStatus;
    }

private:
    pid_t m_pid = -1;
    int m_fd = -1;
    std::string m_buffer;
};
