// Indexed array of CString, serialisable with the archive's count and string formats.
#pragma once

#include "platform/afx/CArray.h"
#include "platform/afx/CString.h"

class CStringArray : public CArray<CString, const CString&> {
    DECLARE_SERIAL(CStringArray)
public:
    CStringArray() = default;
    void Serialize(CArchive& ar) override;
};
