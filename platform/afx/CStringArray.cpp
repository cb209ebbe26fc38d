#include "platform/afx/CStringArray.h"

#include "platform/afx/CArchive.h"

IMPLEMENT_SERIAL(CStringArray, CObject, 0)

void CStringArray::Serialize(CArchive& ar) {
    if (ar.IsStoring()) {
        ar.WriteCount(static_cast<DWORD_PTR>(GetSize()));
        for (INT_PTR i = 0; i < GetSize(); ++i)
            ar << GetAt(i);
    } else {
        RemoveAll();
        // Appended one by one: a damaged count runs into the end of the archive instead of
        // asking for memory the archive cannot fill.
        DWORD_PTR nCount = ar.ReadCount();
        for (DWORD_PTR i = 0; i < nCount; ++i) {
            CString s;
            ar >> s;
            Add(s);
        }
    }
}
