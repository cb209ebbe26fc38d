#include "ZORValueRecord.h"

#include <utility>

IMPLEMENT_SERIAL(CZORValueRecord, CObject, 0)

CZORValueRecord::CZORValueRecord() = default;

CZORValueRecord::CZORValueRecord(const CZORValueRecord& src) : CObject() {
    m_LableValueAr.Copy(src.m_LableValueAr);
}

CZORValueRecord::CZORValueRecord(CZORValueRecord&& src) noexcept
    : CObject(), m_LableValueAr(std::move(src.m_LableValueAr)) {}

CZORValueRecord& CZORValueRecord::operator=(CZORValueRecord&& src) noexcept {
    m_LableValueAr = std::move(src.m_LableValueAr);
    return *this;
}

CZORValueRecord::~CZORValueRecord() {
    m_LableValueAr.RemoveAll();
}

CZORValueRecord& CZORValueRecord::operator=(const CZORValueRecord& src) {
    if (this != &src)
        m_LableValueAr.Copy(src.m_LableValueAr);
    return *this;
}

void CZORValueRecord::GetLableValueAr(CStringArray& ar) {
    ar.RemoveAll();
    ar.Append(m_LableValueAr);
}

void CZORValueRecord::SetLableValueAr(CStringArray& ar) {
    if (ar.GetSize() > 0)
        m_LableValueAr.Copy(ar);
}

int CZORValueRecord::GetLableLogicSize() {
    return static_cast<int>(m_LableValueAr.GetSize());
}

void CZORValueRecord::RemoveAll() {
    m_LableValueAr.RemoveAll();
}

int CZORValueRecord::GetValue(int nIndex, CString& strValue) {
    if (nIndex < 0 || nIndex >= m_LableValueAr.GetSize())
        return 0;
    strValue = m_LableValueAr[nIndex];
    return 1;
}

void CZORValueRecord::Serialize(CArchive& ar) {
    if (ar.IsStoring()) {
        ar << static_cast<LONG>(m_LableValueAr.GetSize());
        for (INT_PTR i = 0; i < m_LableValueAr.GetSize(); ++i)
            ar << m_LableValueAr[i];
        return;
    }
    m_LableValueAr.RemoveAll();
    LONG nCount = 0;
    ar >> nCount;
    // Each value is appended as it arrives: a damaged count runs into the end of the archive
    // (endOfFile) with the values read so far kept.
    for (LONG i = 0; i < nCount; ++i) {
        CString strValue;
        ar >> strValue;
        m_LableValueAr.Add(std::move(strValue));
    }
}
