// Private interfaces of this library's data-access objects, for its own modules' hot paths.
// IZqkRecordsetCells is the query readers' way to a result's cells: the current row's cells in
// the form a reader of text needs (CAdoCell), without a VARIANT and a BSTR for stored text and
// without fetching Fields and Field for every cell. This library's recordsets answer it through
// QueryInterface; a reader walks any other recordset through the objects' own interface.
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

// A field's whole binary value without the copies AppendChunk and GetChunk make, for callers
// that move whole files in and out of a binary column. This library's Field objects answer it
// through QueryInterface; any other Field is used through AppendChunk and GetChunk.
struct IZqkFieldChunks : IUnknown {
    // GetChunk(nLength) where that call would hand out the whole value at once (a binary value
    // of at least one byte, no piece of it read yet, nLength covering it): S_OK with the stored
    // bytes, borrowed until the recordset moves, changes or closes, and the value then counts
    // as read, as after that GetChunk. S_FALSE with nothing changed in every other case (the
    // caller calls GetChunk, which answers them).
    virtual HRESULT GetWholeChunk(LONG nLength, const BYTE** ppBytes, LONG* pnBytes) = 0;
    // AppendChunk(*pData), except that the field's first chunk takes the caller's byte array
    // over instead of copying it when the array can be resized and freed like one of its own
    // (VT_ARRAY | VT_UI1 held by value, one dimension from 0, unlocked, not host-owned or fixed):
    // *pData is then left VT_EMPTY. Otherwise the bytes are copied and *pData stays as it was.
    virtual HRESULT AdoptChunk(VARIANT* pData) = 0;

protected:
    ~IZqkFieldChunks() = default;
};
ZQK_COM_INTERFACE(IZqkFieldChunks, IUnknown, 0x3d2f8b17, 0x6a40, 0x4c5e, 0x8b, 0x71, 0x02, 0xe9,
                  0x4d, 0x6c, 0xa3, 0x58)
_COM_SMARTPTR_TYPEDEF(IZqkFieldChunks, __uuidof(IZqkFieldChunks));
