// CZORValueTable: an in-memory table of strings. Rows are CZORValueRecord objects of any
// width; four header records (label, label II, label III, line X) travel with them. The
// label record's size is the field count; the first value of a row is its name.
#pragma once

#include "ZORValueRecord.h"
#include "platform/afx/CArchive.h"
#include "platform/afx/CArray.h"
#include "platform/afx/CListCtrl.h"
#include "platform/afx/CObject.h"
#include "platform/afx/CString.h"
#include "platform/afx/CStringArray.h"
#include "platform/afx/ExtensionModule.h"

class AFX_EXT_CLASS CZORValueTable : public CObject {
    DECLARE_SERIAL(CZORValueTable)
public:
    CZORValueTable();
    CZORValueTable(const CZORValueTable& src);
    ~CZORValueTable() override;
    CZORValueTable& operator=(const CZORValueTable& src);

    // Removes every row; a non-zero bAll also empties the four header records.
    void RemoveAll(int bAll);

    // Header setters ignore an empty input, except line X's, which always replace it.
    void SetLableRecord(CZORValueRecord& rec);
    void SetLableRecord(CStringArray& ar);
    void GetLableRecord(CZORValueRecord& rec);
    void GetLableRecord(CStringArray& ar);
    void SetLableIIRecord(CZORValueRecord& rec);
    void SetLableIIRecord(CStringArray& ar);
    void GetLableIIRecord(CZORValueRecord& rec);
    void GetLableIIRecord(CStringArray& ar);
    void SetLableIIIRecord(CZORValueRecord& rec);
    void SetLableIIIRecord(CStringArray& ar);
    void GetLableIIIRecord(CZORValueRecord& rec);
    void GetLableIIIRecord(CStringArray& ar);
    void SetLineXRecord(CStringArray& ar);
    void SetLineXRecord(CZORValueRecord& rec);
    void GetLineXRecord(CStringArray& ar);

    int GetFieldCount();
    int GetTableLogicSize();

    // Out-of-range indexes leave rec untouched; the array overload always empties ar first.
    void GetValueRecord(int nIndex, CZORValueRecord& rec);
    void GetValueRecord(int nIndex, CStringArray& ar);
    // The first row named exactly strName; rec is untouched when there is none.
    void GetValueRecord(CString strName, CZORValueRecord& rec);
    // 1 when a row's name matches after trimming and upper-casing both sides.
    int HasThisRecordByName(CString strName);
    // Appends column nCol of every row to ar ("" for rows too short); row 0 decides
    // whether nCol exists at all.
    void GetReverseValueRecord(int nCol, CStringArray& ar);

    // Appends a copy; an empty record or array adds nothing.
    void AddValueRecord(CZORValueRecord& rec);
    void AddValueRecord(CStringArray& ar);
    // On an empty table appends (even an empty record); replaces row nIndex when it exists;
    // ignores an index at or past the end; a negative index raises CInvalidArgException.
    void SetValueRecord(int nIndex, CZORValueRecord& rec);
    void SetValueRecord(int nIndex, CStringArray& ar);
    // Replaces the first row named exactly strName, or appends rec when there is none.
    void SetValueRecord(CString strName, CZORValueRecord& rec);
    // On an empty table adds as AddValueRecord; inserts before an existing row nIndex;
    // ignores any other index (appending goes through AddValueRecord).
    void InsertValueRecord(int nIndex, CZORValueRecord& rec);
    void InsertValueRecord(int nIndex, CStringArray& ar);
    void RemoveRecordByIndex(int nIndex);
    // Removes every row whose value at nCol equals strLable. A row too short for nCol raises
    // CInvalidArgException before anything is removed.
    void RemoveRecordByLable(CString strLable, int nCol);
    // Sets column nCol of every non-empty row (whose last value is strKey, in the second
    // form). A row too short raises CInvalidArgException; rows changed before it stay changed.
    void RenameRecordTextVlue(int nCol, CString strText);
    void RenameRecordTextVlue(int nCol, CString strText, CString strKey);

    // Adds one item per row to a report-view list control: the row's first value as the
    // item (image nImage, or none for -1), the others as its sub-items. Adds no columns and
    // clears nothing; a control whose window does not exist is left alone.
    void ShowToListCtrl(CListCtrl* pList, int nImage);

    void Serialize(CArchive& ar) override;

    CZORValueRecord m_LableRecord;
    CZORValueRecord m_LableIIRecord;
    CZORValueRecord m_LableIIIRecord;
    CZORValueRecord m_LineXRecord;
    CArray<CZORValueRecord, CZORValueRecord&> m_RecordAr;
};
