#include "platform/win/CodePage.h"

#include <iconv.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <map>
#include <utility>

#include "platform/win/TextEncoding.h"

namespace {

std::atomic<UINT> g_nCodePage{CP_UTF8};

// The converter's name for a Windows code page.
std::string CharsetName(UINT nCodePage) {
    if (nCodePage == 936)
        return "GBK";
    char sz[16];
    std::snprintf(sz, sizeof sz, "CP%u", nCodePage);
    return sz;
}

enum class Direction { ToWide, ToNarrow };

// One converter per code page and direction for each thread: iconv descriptors keep state and
// must not be shared between threads.
class CConverters {
public:
    ~CConverters() {
        for (auto& entry : m_map)
            iconv_close(entry.second);
    }
    // (iconv_t)-1 when the code page is unknown.
    iconv_t Get(UINT nCodePage, Direction dir) {
        auto key = std::make_pair(nCodePage, dir);
        auto it = m_map.find(key);
        if (it != m_map.end()) {
            iconv(it->second, nullptr, nullptr, nullptr, nullptr); // back to the initial state
            return it->second;
        }
        std::string name = CharsetName(nCodePage);
        iconv_t cd = dir == Direction::ToWide ? iconv_open("WCHAR_T", name.c_str())
                                              : iconv_open(name.c_str(), "WCHAR_T");
        if (cd != reinterpret_cast<iconv_t>(-1))
            m_map.emplace(key, cd);
        return cd;
    }

private:
    std::map<std::pair<UINT, Direction>, iconv_t> m_map;
};

CConverters& Converters() {
    thread_local CConverters converters;
    return converters;
}

const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

} // namespace

UINT GetACP() {
    return g_nCodePage.load(std::memory_order_relaxed);
}

BOOL ZqkSetNarrowCodePage(UINT nCodePage) {
    if (nCodePage != CP_UTF8 &&
        (nCodePage == CP_ACP || Converters().Get(nCodePage, Direction::ToWide) == kNoConverter ||
         Converters().Get(nCodePage, Direction::ToNarrow) == kNoConverter))
        return FALSE;
    g_nCodePage.store(nCodePage, std::memory_order_relaxed);
    return TRUE;
}

std::wstring WinNarrowToWide(const char* pData, size_t nBytes) {
    UINT nCodePage = GetACP();
    if (nCodePage == CP_UTF8 || nBytes == 0)
        return WinUtf8ToWide(pData, nBytes);
    iconv_t cd = Converters().Get(nCodePage, Direction::ToWide);
    if (cd == kNoConverter)
        return WinUtf8ToWide(pData, nBytes);
    std::wstring out;
    out.reserve(nBytes);
    char* pIn = const_cast<char*>(pData);
    size_t nIn = nBytes;
    wchar_t buffer[1024];
    while (nIn > 0) {
        char* pOut = reinterpret_cast<char*>(buffer);
        size_t nOut = sizeof buffer;
        size_t rc = iconv(cd, &pIn, &nIn, &pOut, &nOut);
        out.append(buffer, static_cast<size_t>(reinterpret_cast<wchar_t*>(pOut) - buffer));
        if (rc != static_cast<size_t>(-1) || errno == E2BIG)
            continue;
        // An invalid or cut-off sequence: one replacement for its first byte, then go on.
        out += wchar_t(0xFFFD);
        ++pIn;
        --nIn;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    return out;
}

std::string WinWideToNarrow(const wchar_t* pData, size_t nChars) {
    UINT nCodePage = GetACP();
    if (nCodePage == CP_UTF8 || nChars == 0)
        return WinWideToUtf8(pData, nChars);
    iconv_t cd = Converters().Get(nCodePage, Direction::ToNarrow);
    if (cd == kNoConverter)
        return WinWideToUtf8(pData, nChars);
    std::string out;
    char* pIn = reinterpret_cast<char*>(const_cast<wchar_t*>(pData));
    size_t nIn = nChars * sizeof(wchar_t);
    char buffer[4096];
    while (nIn > 0) {
        char* pOut = buffer;
        size_t nOut = sizeof buffer;
        size_t rc = iconv(cd, &pIn, &nIn, &pOut, &nOut);
        out.append(buffer, static_cast<size_t>(pOut - buffer));
        if (rc != static_cast<size_t>(-1) || errno == E2BIG)
            continue;
        // A character the code page cannot hold (or not a character at all).
        out += '?';
        pIn += sizeof(wchar_t);
        nIn -= sizeof(wchar_t);
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    // Stateful code pages end in their initial shift state.
    char* pOut = buffer;
    size_t nOut = sizeof buffer;
    iconv(cd, nullptr, nullptr, &pOut, &nOut);
    out.append(buffer, static_cast<size_t>(pOut - buffer));
    return out;
}
