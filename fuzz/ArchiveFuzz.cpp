// Fuzz target: archive bytes from outside — value tables, records, strings and the object
// framing. Any input must end in a result or a framework exception, never a crash, a leak
// or an allocation the input cannot justify.
#include <cstddef>
#include <cstdint>

#include "ZORValueTable.h"
#include "platform/afx/afx.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    // The first byte picks what the rest is read as.
    CMemFile file(const_cast<BYTE*>(data + 1), static_cast<UINT>(size - 1));
    CArchive ar(&file, CArchive::load);
    try {
        switch (data[0] % 4) {
        case 0: {
            CZORValueTable table;
            table.Serialize(ar);
            break;
        }
        case 1: {
            CZORValueRecord rec;
            rec.Serialize(ar);
            break;
        }
        case 2: {
            CObject* pOb = nullptr;
            ar >> pOb;
            delete pOb;
            break;
        }
        default: {
            CString s;
            ar >> s;
            CStringArray strings;
            strings.Serialize(ar);
            break;
        }
        }
    } catch (CException* e) {
        e->Delete();
    }
    return 0;
}
