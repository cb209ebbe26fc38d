// CZORValueRecord: one row of strings, the unit of a value table. Serialisable: it stores
// itself as a 32-bit count followed by the archive's wide strings.
#pragma once

#include "platform/afx/CArchive.h"
#include "platform/afx/CObject.h"
#include "platform/afx/CString.h"
#include "platform/afx/CStringArray.h"
#include "platform/afx/ExtensionModule.h"

class AFX_EXT_CLASS CZORValueRecord : public CObject {
    DECLARE_SERIAL(CZORValueRecord)
public:
    CZORValueRecord();
    CZORValueRecord(const CZORValueRecord& src);
    // Moving lets a table's row array grow without copying every row.
    CZORValueRecord(CZORValueRecord&& src) noexcept;
    CZORValueRecord& operator=(CZORValueRecord&& src) noexcept;
    ~CZORValueRecord() override;
    // Replaces the values by copies of src's (self-assignment changes nothing).
    CZORValueRecord& operator=(const CZORValueRecord& src);

    // Empties ar, then appends every value in order.
    void GetLableValueAr(CStringArray& ar);
    // Replaces the values by copies of ar's; an empty ar is ignored (use RemoveAll to empty).
    void SetLableValueAr(CStringArray& ar);
    int GetLableLogicSize();
    void RemoveAll();
    // 1 and the value at nIndex, or 0 with strValue untouched when nIndex is out of range.
    int GetValue(int nIndex, CString& strValue);

    // Loading replaces the values; a load that fails part-way keeps the values read so far.
    void Serialize(CArchive& ar) override;

    CStringArray m_LableValueAr;
};
