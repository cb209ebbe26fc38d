// The query readers' way to a result's cells: the current row's cells in the form a reader of
// text needs (CAdoCell), without a VARIANT and a BSTR for stored text and without fetching
// Fields and Field for every cell. This library's recordsets answer it through QueryInterface;
// a reader walks any other recordset through the objects' own interface.
#pragma once

#include "platform/ado/AdoInterfaces.h"
#include "platform/ado/AdoProvider.h"

struct IZqkRecordsetCells : IUnknown {
    // The current row's cell nCol, as Field.Value of Fields.Item(nCol) would make it. After a
    // failure the caller reads that cell through Field.Value, which fails the same way and
    // reports it.
    virtual HRESULT GetCell(LONG nCol, CAdoCell* pCell) = 0;

protected:
    ~IZqkRecordsetCells() = default;
};
ZQK_COM_INTERFACE(IZqkRecordsetCells, IUnknown, 0x5a7c3e61, 0x2b94, 0x4d0f, 0x9e, 0x12, 0x6c, 0x0b,
                  0x83, 0xd4, 0x5f, 0xa7)
_COM_SMARTPTR_TYPEDEF(IZqkRecordsetCells, __uuidof(IZqkRecordsetCells));
