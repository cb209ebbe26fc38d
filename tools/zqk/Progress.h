// A progress bar on the terminal for long file transfers. It draws on standard error from a
// thread of its own, reading how far the work has got through a probe, and only when
// standard error is a terminal and the transfer is large.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>

#include <zqk_vododuvod.h>

class ProgressBar {
public:
    // Smaller transfers end before a bar would be seen.
    static constexpr uint64_t kMinBytes = 1024 * 1024;

    // Whether bars can be seen at all: standard error is a terminal.
    static bool OnTerminal();
    // Whether a bar would be drawn for a transfer of nTotal bytes.
    static bool Wanted(uint64_t nTotal) { return nTotal >= kMinBytes && OnTerminal(); }

    // fnProbe answers how many of nTotal bytes are done; it runs on the bar's thread.
    ProgressBar(const CString& strLabel, uint64_t nTotal, std::function<uint64_t()> fnProbe);
    // Draws the final state and ends the line.
    ~ProgressBar();
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

private:
    void Draw(uint64_t nDone);

    CString m_strLabel;
    uint64_t m_nTotal;
    std::function<uint64_t()> m_fnProbe;
    std::atomic<bool> m_bStop{false};
    std::thread m_thread;
};

// How far a process's reading of a file has got: the position of the first descriptor of
// this process open on that file (0 when none is open).
uint64_t ReadPositionOf(const std::string& strPath);
// The size of a file, 0 when it does not exist.
uint64_t FileSizeOf(const std::string& strPath);
