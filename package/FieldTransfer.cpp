#include "FieldTransfer.h"

#include "platform/ado/AdoCells.h"
#include "platform/afx/CFile.h"

void ZqkWriteBytesToFile(CString& strFile, const BYTE* pBytes, UINT n) {
    CFile file;
    if (file.Open(strFile, CFile::modeCreate | CFile::modeWrite)) {
        // In one call: Write goes on until every byte is out or raises.
        if (n > 0)
            file.Write(pBytes, n);
        file.Close();
    }
}

bool ZqkWriteLentField(CString& strFile, Field* pField, long nSize) {
    IZqkFieldChunks* pChunks = nullptr;
    if (FAILED(
            pField->QueryInterface(__uuidof(IZqkFieldChunks), reinterpret_cast<void**>(&pChunks))))
        return false;
    IZqkFieldChunksPtr pHeld(pChunks, false);
    const BYTE* pBytes = nullptr;
    LONG nBytes = 0;
    if (pChunks->GetWholeChunk(nSize, &pBytes, &nBytes) != S_OK)
        return false;
    ZqkWriteBytesToFile(strFile, pBytes, static_cast<UINT>(nBytes));
    return true;
}

void ZqkAppendChunkTakingOver(Field* pField, VARIANT& var) {
    IZqkFieldChunks* pChunks = nullptr;
    HRESULT hr;
    if (SUCCEEDED(pField->QueryInterface(__uuidof(IZqkFieldChunks),
                                         reinterpret_cast<void**>(&pChunks)))) {
        IZqkFieldChunksPtr pHeld(pChunks, false);
        hr = pChunks->AdoptChunk(&var);
    } else {
        hr = pField->raw_AppendChunk(var);
    }
    if (FAILED(hr))
        _com_issue_errorex(hr, pField, __uuidof(Field));
}
