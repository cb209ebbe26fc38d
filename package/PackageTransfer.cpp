// Files into new table rows, and binary columns back into files.
#include <algorithm>
#include <vector>

#include "BrowseForFolder.h"
#include "FieldTransfer.h"
#include "PackageMessages.h"
#include "ServerConnection.h"
#include "ZORPackageDbOper.h"
#include "ZORValueTable.h"
#include "platform/afx/CStringArray.h"
#include "platform/afx/CWinApp.h"
#include "platform/shell/Shell.h"

namespace {

// A further column of the new row: name, value as text, SQL type name.
const int kValueColumns = 3;

// The temporary-files folder, however long $TMPDIR is.
CString TempFolder() {
    std::vector<wchar_t> buffer(MAX_PATH);
    DWORD cch = GetTempPathW(static_cast<DWORD>(buffer.size()), buffer.data());
    if (cch >= buffer.size()) {
        buffer.resize(cch);
        GetTempPathW(static_cast<DWORD>(buffer.size()), buffer.data());
    }
    return CString(buffer.data());
}

} // namespace

int CZORPackageDbOper::PutPackageToDb(CString& strFile, const CString& strTable,
                                      const CString& strField, CZORValueTable& tabValues) {
    if (m_pDbSrv == nullptr)
        return 0;
    _ConnectionPtr pConnection = ZorQueryConnection(*m_pDbSrv);
    _RecordsetPtr pRecordset;
    if (FAILED(pRecordset.CreateInstance(CLSID_Recordset, nullptr, CLSCTX_ALL)))
        return 0;
    pRecordset->PutCursorType(adOpenKeyset);
    pRecordset->PutLockType(adLockOptimistic);
    pRecordset->Open(_variant_t(static_cast<LPCWSTR>(strTable)),
                     _variant_t(static_cast<IDispatch*>(pConnection.GetInterfacePtr())),
                     adOpenKeyset, adLockOptimistic, adCmdTable);
    pRecordset->AddNew(vtMissing, vtMissing);

    // The new row is abandoned with the recordset on every way out before Update.
    _variant_t varData;
    if (!MakeVariantFromFile(varData, strFile)) {
        AfxMessageBox(kMsgPackToDbFailed, MB_OK);
        return 0;
    }
    FieldsPtr pFields = pRecordset->GetFields();
    ZqkAppendChunkTakingOver(pFields->GetItem(_variant_t(static_cast<LPCWSTR>(strField))), varData);
    varData.Clear(); // the row holds the bytes: taken over, or its own copy

    CStringArray values;
    for (int i = 0; i < tabValues.GetTableLogicSize(); ++i) {
        tabValues.GetValueRecord(i, values);
        if (values.GetSize() != kValueColumns)
            continue;
        _variant_t varValue;
        CString strValue = values[1];
        CString strType = values[2];
        if (!GetConvertValue(varValue, strValue, strType))
            continue;
        pFields->GetItem(_variant_t(static_cast<LPCWSTR>(values[0])))->PutValue(varValue);
    }

    try {
        pRecordset->Update(vtMissing, vtMissing);
    } catch (_com_error&) {
        // The database refused the row: no message, nothing stored.
        pRecordset->Close();
        return 0;
    }
    pRecordset->Close();
    return 1;
}

int CZORPackageDbOper::OutPackageToFile(CString& strFile, const CString& strSQL,
                                        const CString& strField, int nMode) {
    CString strFolder;
    CString strName = strFile;
    if (nMode != 0) {
        int nSeparator = std::max(strFile.ReverseFind(L'/'), strFile.ReverseFind(L'\\'));
        if (nSeparator >= 0) {
            strFolder = strFile.Left(nSeparator + 1);
            strName = strFile.Mid(nSeparator + 1);
        } else {
            // Without a main window the picker simply has no owner.
            CWnd* pMainWnd = AfxGetMainWnd();
            CString strPicked;
            if (!CBrowseForFolder::BrowseForFolder(pMainWnd ? pMainWnd->GetSafeHwnd() : nullptr,
                                                   strPicked, kMsgChooseOutputFolder, 0))
                return 0;
            strFolder = strPicked + L"/";
        }
    } else {
        strFolder = TempFolder();
    }
    strFile = strFolder + strName;

    if (m_pDbSrv == nullptr)
        return 0;
    _ConnectionPtr pConnection = ZorQueryConnection(*m_pDbSrv);
    if (!pConnection)
        _com_issue_error(E_POINTER);
    _RecordsetPtr pRecordset =
        pConnection->Execute(_bstr_t(static_cast<LPCWSTR>(strSQL)), nullptr, adCmdText);
    if (!pRecordset || pRecordset->GetadoEOF() != VARIANT_FALSE)
        return 0;
    FieldPtr pField = pRecordset->GetFields()->GetItem(_variant_t(static_cast<LPCWSTR>(strField)));
    LONG nSize = pField->GetActualSize();
    if (nSize <= 0)
        return 0;
    if (ZqkWriteLentField(strFile, pField, nSize))
        return 1;
    _variant_t varData = pField->GetChunk(nSize);
    return MakeFileFromVariant(strFile, varData, nSize);
}
