// Fuzz target: values from outside coerced between Automation types. The first byte picks the
// source type, the second the target; the rest is the value (text or raw bytes).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/com/SafeArray.h"
#include "platform/com/Variant.h"
#include "platform/win/TextEncoding.h"

namespace {

const VARTYPE kTypes[] = {VT_EMPTY, VT_NULL, VT_I2,    VT_I4,   VT_R4,      VT_R8,  VT_CY,
                          VT_DATE,  VT_BSTR, VT_ERROR, VT_BOOL, VT_DECIMAL, VT_I1,  VT_UI1,
                          VT_UI2,   VT_UI4,  VT_I8,    VT_UI8,  VT_INT,     VT_UINT};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    VARTYPE vtFrom = kTypes[data[0] % (sizeof kTypes / sizeof kTypes[0])];
    VARTYPE vtTo = kTypes[data[1] % (sizeof kTypes / sizeof kTypes[0])];
    const uint8_t* p = data + 2;
    size_t n = size - 2;
    VARIANT src;
    VariantInit(&src);
    if (vtFrom == VT_BSTR) {
        std::wstring text = WinUtf8ToWide(reinterpret_cast<const char*>(p), n);
        src.vt = VT_BSTR;
        src.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    } else {
        // Raw bytes fill the value; for DECIMAL they overlay the whole variant but its type.
        if (vtFrom == VT_DECIMAL) {
            std::memcpy(&src.decVal, p, n < sizeof(DECIMAL) ? n : sizeof(DECIMAL));
        } else {
            std::memcpy(&src.llVal, p, n < sizeof(LONGLONG) ? n : sizeof(LONGLONG));
        }
        src.vt = vtFrom;
    }
    VARIANT dst;
    VariantInit(&dst);
    if (SUCCEEDED(VariantChangeType(&dst, &src, 0, vtTo))) {
        VARIANT text;
        VariantInit(&text);
        VariantChangeType(&text, &dst, 0, VT_BSTR);
        VariantClear(&text);
    }
    VariantClear(&dst);
    VariantClear(&src);
    return 0;
}
