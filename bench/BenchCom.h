// How the benchmarks that use the data-access objects run their main work: with COM set up,
// and with a raised _com_error reported as the program's failure rather than ending it
// uncaught.
#pragma once

#include <cstdio>

#include "BenchTable.h"
#include "platform/com/comdef.h"

namespace bench {

// fn() with COM initialised around it: its status, or 2 after printing the error's code and
// description when the data-access objects raise.
template <typename Fn> int RunWithCom(Fn fn) {
    CoInitialize(nullptr);
    int nResult = 2;
    try {
        nResult = fn();
    } catch (_com_error& e) {
        _bstr_t description = e.Description();
        std::fprintf(
            stderr, "%s: data-access error %08x: %s\n", g_pszProgram,
            static_cast<unsigned>(e.Error()),
            Narrow(description.length() ? static_cast<const wchar_t*>(description) : L"").c_str());
    }
    CoUninitialize();
    return nResult;
}

} // namespace bench
