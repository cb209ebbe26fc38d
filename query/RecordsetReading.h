// What every query reader shares: obtaining the result set, turning cells and field names
// into trimmed text, and walking the rows (whole or by range).
#pragma once

#include "platform/ado/AdoCells.h"
#include "platform/afx/CStringPool.h"
#include "server/ZORImpADORXServer.h"

// The outcome of the opening sequence when nothing was raised.
enum class CReaderOpen {
    kReady,    // pRs and nCols are set
    kNoResult, // the statement produced no result set
    kNoFields, // Fields or Count reported a failure
};

// Executes lpszSQL (not null) as command text on the server's connection. Raises _com_error
// with E_POINTER without a connection, and whatever Execute raises.
CReaderOpen ReaderOpen(CZORImpADORXServer& server, const wchar_t* lpszSQL, _RecordsetPtr& pRs,
                       LONG* pnCols);

// Empty for VT_EMPTY and VT_NULL, otherwise the value coerced to text; trimmed at the end,
// then at the start. A value that does not coerce raises _com_error.
void FieldValueToText(const VARIANT& var, CString& strText);
// The name trimmed the same way; a null name is the empty string.
void FieldNameToText(BSTR bstrName, CString& strText);

// The text of one cell of the current row (collection and field fetched anew).
void ReadCellText(_Recordset* pRs, LONG nCol, CString& strText);
// The trimmed name of a field.
void ReadFieldName(_Recordset* pRs, LONG nCol, CString& strText);

// The text of one result's cells, as ReadCellText gives it. Through the recordset's cell
// interface when it has one: the same values without a VARIANT and a string for stored text,
// and without the collection and the field fetched for every cell, which only hand out the
// same objects again. A cell that interface cannot give is read as ReadCellText reads it, so
// that its failure is raised as Field.Value reports it.
// With a pool, the texts are made by it (a reader of many cells gives its result's strings
// one shared release); the pool must outlive the calls of Read.
class CCellReader {
public:
    explicit CCellReader(_Recordset* pRs, CStringPool* pPool = nullptr);
    void Read(LONG nCol, CString& strText);

private:
    _Recordset* m_pRs;
    CStringPool* m_pPool;
    IZqkRecordsetCellsPtr m_pCells;
};

// Walks the rows from the current one: fnCell(nCol, text) for columns 0 to nCols - 1 (it may
// take the text away), then fnRowEnd(nRow), which returns false to stop before MoveNext.
// Returns the row counter.
template <typename CellFn, typename RowEndFn>
int WalkRows(_Recordset* pRs, LONG nCols, CellFn fnCell, RowEndFn fnRowEnd) {
    int nRow = 0;
    CStringPool pool;
    CString strText;
    CCellReader cells(pRs, &pool);
    while (!pRs->GetadoEOF()) {
        for (LONG nCol = 0; nCol < nCols; ++nCol) {
            cells.Read(nCol, strText);
            fnCell(nCol, strText);
        }
        if (!fnRowEnd(nRow))
            break;
        pRs->MoveNext();
        ++nRow;
    }
    return nRow;
}

// Moves to row nStart of a range walk (a failure raises _com_error).
void MoveToRangeStart(_Recordset* pRs, int nStart);
// The range test: true while the walk goes on after row nRow.
inline bool InRange(int nRow, int nStart, int nEnd) {
    return !(nRow >= static_cast<int>(static_cast<unsigned>(nEnd) - static_cast<unsigned>(nStart)));
}
