#include "ZORValueTable.h"

#include <utility>

#include "platform/afx/Exceptions.h"

IMPLEMENT_SERIAL(CZORValueTable, CObject, 0)

namespace {

bool IsRowIndex(int nIndex, INT_PTR nRows) {
    return nIndex >= 0 && nIndex < nRows;
}

// The row's name column, or null for a row without values.
const CString* RowName(const CZORValueRecord& rec) {
    return rec.m_LableValueAr.IsEmpty() ? nullptr : &rec.m_LableValueAr[0];
}

CZORValueRecord RecordFrom(CStringArray& ar) {
    CZORValueRecord rec;
    rec.SetLableValueAr(ar);
    return rec;
}

CString NameKey(CString str) {
    str.Trim();
    str.MakeUpper();
    return str;
}

} // namespace

CZORValueTable::CZORValueTable() = default;

CZORValueTable::CZORValueTable(const CZORValueTable& src)
    : CObject(), m_LableRecord(src.m_LableRecord), m_LableIIRecord(src.m_LableIIRecord),
      m_LableIIIRecord(src.m_LableIIIRecord), m_LineXRecord(src.m_LineXRecord) {
    m_RecordAr.Copy(src.m_RecordAr);
}

CZORValueTable::~CZORValueTable() {
    m_RecordAr.RemoveAll();
}

CZORValueTable& CZORValueTable::operator=(const CZORValueTable& src) {
    if (this != &src) {
        m_LableRecord = src.m_LableRecord;
        m_LableIIRecord = src.m_LableIIRecord;
        m_LableIIIRecord = src.m_LableIIIRecord;
        m_LineXRecord = src.m_LineXRecord;
        m_RecordAr.Copy(src.m_RecordAr);
    }
    return *this;
}

void CZORValueTable::RemoveAll(int bAll) {
    m_RecordAr.RemoveAll();
    if (bAll) {
        m_LableRecord.RemoveAll();
        m_LableIIRecord.RemoveAll();
        m_LableIIIRecord.RemoveAll();
        m_LineXRecord.RemoveAll();
    }
}

// The label, label II and label III records share one set of rules.
#define ZQK_HEADER_RECORD_OPERATIONS(NAME, MEMBER)                                                 \
    void CZORValueTable::Set##NAME##Record(CZORValueRecord& rec) {                                 \
        if (rec.GetLableLogicSize() > 0)                                                           \
            MEMBER = rec;                                                                          \
    }                                                                                              \
    void CZORValueTable::Set##NAME##Record(CStringArray& ar) {                                     \
        MEMBER.SetLableValueAr(ar);                                                                \
    }                                                                                              \
    void CZORValueTable::Get##NAME##Record(CZORValueRecord& rec) {                                 \
        rec = MEMBER;                                                                              \
    }                                                                                              \
    void CZORValueTable::Get##NAME##Record(CStringArray& ar) {                                     \
        MEMBER.GetLableValueAr(ar);                                                                \
    }

ZQK_HEADER_RECORD_OPERATIONS(Lable, m_LableRecord)
ZQK_HEADER_RECORD_OPERATIONS(LableII, m_LableIIRecord)
ZQK_HEADER_RECORD_OPERATIONS(LableIII, m_LableIIIRecord)
#undef ZQK_HEADER_RECORD_OPERATIONS

void CZORValueTable::SetLineXRecord(CStringArray& ar) {
    m_LineXRecord.RemoveAll();
    m_LineXRecord.SetLableValueAr(ar);
}

void CZORValueTable::SetLineXRecord(CZORValueRecord& rec) {
    m_LineXRecord.RemoveAll();
    m_LineXRecord = rec;
}

void CZORValueTable::GetLineXRecord(CStringArray& ar) {
    m_LineXRecord.GetLableValueAr(ar);
}

int CZORValueTable::GetFieldCount() {
    return m_LableRecord.GetLableLogicSize();
}

int CZORValueTable::GetTableLogicSize() {
    return static_cast<int>(m_RecordAr.GetSize());
}

void CZORValueTable::GetValueRecord(int nIndex, CZORValueRecord& rec) {
    if (IsRowIndex(nIndex, m_RecordAr.GetSize()))
        rec = m_RecordAr[nIndex];
}

void CZORValueTable::GetValueRecord(int nIndex, CStringArray& ar) {
    ar.RemoveAll();
    if (IsRowIndex(nIndex, m_RecordAr.GetSize()))
        ar.Copy(m_RecordAr[nIndex].m_LableValueAr);
}

void CZORValueTable::GetValueRecord(CString strName, CZORValueRecord& rec) {
    for (INT_PTR i = 0; i < m_RecordAr.GetSize(); ++i) {
        const CString* pName = RowName(m_RecordAr[i]);
        if (pName && *pName == strName) {
            rec.SetLableValueAr(m_RecordAr[i].m_LableValueAr);
            return;
        }
    }
}

int CZORValueTable::HasThisRecordByName(CString strName) {
    CString strKey = NameKey(strName);
    for (INT_PTR i = 0; i < m_RecordAr.GetSize(); ++i) {
        const CString* pName = RowName(m_RecordAr[i]);
        if (pName && NameKey(*pName) == strKey)
            return 1;
    }
    return 0;
}

void CZORValueTable::GetReverseValueRecord(int nCol, CStringArray& ar) {
    if (m_RecordAr.IsEmpty() || nCol < 0 || nCol >= m_RecordAr[0].m_LableValueAr.GetSize())
        return;
    for (INT_PTR i = 0; i < m_RecordAr.GetSize(); ++i) {
        const CStringArray& values = m_RecordAr[i].m_LableValueAr;
        ar.Add(nCol < values.GetSize() ? values[nCol] : CString());
    }
}

void CZORValueTable::AddValueRecord(CZORValueRecord& rec) {
    if (rec.GetLableLogicSize() > 0)
        m_RecordAr.Add(rec);
}

void CZORValueTable::AddValueRecord(CStringArray& ar) {
    CZORValueRecord rec = RecordFrom(ar);
    AddValueRecord(rec);
}

void CZORValueTable::SetValueRecord(int nIndex, CZORValueRecord& rec) {
    INT_PTR nRows = m_RecordAr.GetSize();
    if (nRows == 0) {
        m_RecordAr.Add(rec);
    } else if (nIndex < nRows) {
        if (nIndex < 0)
            AfxThrowInvalidArgException();
        m_RecordAr[nIndex] = rec;
    }
}

void CZORValueTable::SetValueRecord(int nIndex, CStringArray& ar) {
    CZORValueRecord rec = RecordFrom(ar);
    SetValueRecord(nIndex, rec);
}

void CZORValueTable::SetValueRecord(CString strName, CZORValueRecord& rec) {
    for (INT_PTR i = 0; i < m_RecordAr.GetSize(); ++i) {
        const CString* pName = RowName(m_RecordAr[i]);
        if (pName && *pName == strName) {
            m_RecordAr[i] = rec;
            return;
        }
    }
    m_RecordAr.Add(rec);
}

void CZORValueTable::InsertValueRecord(int nIndex, CZORValueRecord& rec) {
    INT_PTR nRows = m_RecordAr.GetSize();
    if (nRows == 0)
        AddValueRecord(rec);
    else if (IsRowIndex(nIndex, nRows))
        m_RecordAr.InsertAt(nIndex, rec);
}

void CZORValueTable::InsertValueRecord(int nIndex, CStringArray& ar) {
    CZORValueRecord rec = RecordFrom(ar);
    InsertValueRecord(nIndex, rec);
}

void CZORValueTable::RemoveRecordByIndex(int nIndex) {
    if (IsRowIndex(nIndex, m_RecordAr.GetSize()))
        m_RecordAr.RemoveAt(nIndex);
}

void CZORValueTable::RemoveRecordByLable(CString strLable, int nCol) {
    CArray<CZORValueRecord, CZORValueRecord&> kept;
    for (INT_PTR i = 0; i < m_RecordAr.GetSize(); ++i) {
        CZORValueRecord& row = m_RecordAr[i];
        if (nCol < 0 || nCol >= row.m_LableValueAr.GetSize())
            AfxThrowInvalidArgException(); // nothing has changed yet
        if (row.m_LableValueAr[nCol] != strLable)
            kept.Add(row);
    }
    m_RecordAr.Copy(kept);
}

void CZORValueTable::RenameRecordTextVlue(int nCol, CString strText) {
    for (INT_PTR i = 0; i < m_RecordAr.GetSize(); ++i) {
        CStringArray& values = m_RecordAr[i].m_LableValueAr;
        if (values.IsEmpty())
            continue;
        if (nCol < 0 || nCol >= values.GetSize())
            AfxThrowInvalidArgException();
        values[nCol] = strText;
    }
}

void CZORValueTable::RenameRecordTextVlue(int nCol, CString strText, CString strKey) {
    for (INT_PTR i = 0; i < m_RecordAr.GetSize(); ++i) {
        CStringArray& values = m_RecordAr[i].m_LableValueAr;
        if (values.IsEmpty() || values[values.GetUpperBound()] != strKey)
            continue;
        if (nCol < 0 || nCol >= values.GetSize())
            AfxThrowInvalidArgException();
        values[nCol] = strText;
    }
}

void CZORValueTable::Serialize(CArchive& ar) {
    m_LableRecord.Serialize(ar);
    m_LableIIRecord.Serialize(ar);
    m_LableIIIRecord.Serialize(ar);
    m_LineXRecord.Serialize(ar);
    if (ar.IsStoring()) {
        ar << static_cast<LONG>(m_RecordAr.GetSize());
        for (INT_PTR i = 0; i < m_RecordAr.GetSize(); ++i)
            m_RecordAr[i].Serialize(ar);
        return;
    }
    m_RecordAr.RemoveAll();
    LONG nRows = 0;
    ar >> nRows;
    // A row joins the table only once it has loaded whole; a cut-off row is dropped with
    // the archive's exception, and the rows before it stay.
    for (LONG i = 0; i < nRows; ++i) {
        CZORValueRecord row;
        row.Serialize(ar);
        m_RecordAr.Add(std::move(row));
    }
}
