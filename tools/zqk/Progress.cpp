#include "Progress.h"

#include <chrono>
#include <cstdio>
#include <dirent.h>
#include <fstream>
#include <limits.h>
#include <stdlib.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "Output.h"

namespace {

constexpr int kBarWidth = 30;
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

} // namespace

bool ProgressBar::OnTerminal() {
    return ::isatty(2) != 0;
}

ProgressBar::ProgressBar(const CString& strLabel, uint64_t nTotal,
                         std::function<uint64_t()> fnProbe)
    : m_strLabel(strLabel), m_nTotal(nTotal), m_fnProbe(std::move(fnProbe)) {
    if (!Wanted(nTotal))
        return;
    m_thread = std::thread([this] {
        while (!m_bStop.load()) {
            Draw(m_fnProbe());
            std::this_thread::sleep_for(kRedrawInterval);
        }
    });
}

ProgressBar::~ProgressBar() {
    if (!m_thread.joinable())
        return;
    m_bStop.store(true);
    m_thread.join();
    Draw(m_nTotal);
    WriteErr(L"\n");
}

void ProgressBar::Draw(uint64_t nDone) {
    if (nDone > m_nTotal)
        nDone = m_nTotal;
    int nFilled = static_cast<int>(nDone * kBarWidth / m_nTotal);
    int nPercent = static_cast<int>(nDone * 100 / m_nTotal);
    CString strLine;
    strLine.Format(L"\r%s [%s%s] %3d%% %.1f/%.1f MB", m_strLabel.GetString(),
                   CString(L'#', nFilled).GetString(),
                   CString(L'.', kBarWidth - nFilled).GetString(), nPercent,
                   static_cast<double>(nDone) / 1e6, static_cast<double>(m_nTotal) / 1e6);
    WriteErr(strLine);
}

uint64_t ReadPositionOf(const std::string& strPath) {
    char szReal[PATH_MAX];
    if (::realpath(strPath.c_str(), szReal) == nullptr)
        return 0;
    DIR* pDir = ::opendir("/proc/self/fd");
    if (pDir == nullptr)
        return 0;
    uint64_t nPosition = 0;
    while (dirent* pEntry = ::readdir(pDir)) {
        std::string strLink = std::string("/proc/self/fd/") + pEntry->d_name;
        char szTarget[PATH_MAX];
        ssize_t n = ::readlink(strLink.c_str(), szTarget, sizeof(szTarget) - 1);
        if (n <= 0)
            continue;
        szTarget[n] = 0;
        if (std::string(szTarget) != szReal)
            continue;
        std::ifstream info(std::string("/proc/self/fdinfo/") + pEntry->d_name);
        for (std::string strKey; info >> strKey;) {
            if (strKey == "pos:") {
                info >> nPosition;
                break;
            }
        }
        break;
    }
    ::closedir(pDir);
    return nPosition;
}

uint64_t FileSizeOf(const std::string& strPath) {
    struct stat st {};
    return ::stat(strPath.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
}
