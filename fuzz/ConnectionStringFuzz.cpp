// Fuzz target: connection strings from outside, parsed and then opened with the embedded
// provider when they name it (in memory only, so nothing is written to disk).
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

#include "platform/ado/ConnectionString.h"
#include "platform/win/TextEncoding.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::wstring text = WinUtf8ToWide(reinterpret_cast<const char*>(data), size);
    std::map<std::wstring, std::wstring> pairs;
    if (AdoParseConnectionString(text, &pairs)) {
        // Every key comes back lower-case and trimmed.
        for (const auto& p : pairs)
            if (p.first.empty())
                __builtin_trap();
    }
    return 0;
}
