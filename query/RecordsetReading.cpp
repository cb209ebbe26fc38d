#include "RecordsetReading.h"

#include <cwchar>
#include <cwctype>

namespace {

void TrimmedAssign(const wchar_t* p, size_t n, CString& strText) {
    size_t e = n;
    while (e > 0 && iswspace(static_cast<wint_t>(p[e - 1])))
        --e;
    size_t b = 0;
    while (b < e && iswspace(static_cast<wint_t>(p[b])))
        ++b;
    strText = CString(p + b, static_cast<int>(e - b));
}

} // namespace

CReaderOpen ReaderOpen(CZORImpADORXServer& server, const wchar_t* lpszSQL, _RecordsetPtr& pRs, LONG* pnCols) {
    _bstr_t bstrSQL(lpszSQL);
    if (!server.m_pConnection)
        _com_issue_error(E_POINTER);
    pRs = server.m_pConnection->Execute(bstrSQL, nullptr, adCmdText);
    if (!pRs)
        return CReaderOpen::kNoResult;
    Fields* pFields = nullptr;
    if (FAILED(pRs->get_Fields(&pFields)) || pFields == nullptr)
        return CReaderOpen::kNoFields;
    LONG nCount = 0;
    HRESULT hr = pFields->get_Count(&nCount);
    pFields->Release();
    if (FAILED(hr))
        return CReaderOpen::kNoFields;
    *pnCols = nCount;
    return CReaderOpen::kReady;
}

void FieldValueToText(const VARIANT& var, CString& strText) {
    if (var.vt == VT_EMPTY || var.vt == VT_NULL) {
        strText.Empty();
        return;
    }
    if (var.vt == VT_BSTR) {
        TrimmedAssign(var.bstrVal ? var.bstrVal : L"", SysStringLen(var.bstrVal), strText);
        return;
    }
    VARIANT text;
    VariantInit(&text);
    HRESULT hr = VariantChangeType(&text, &var, 0, VT_BSTR);
    if (FAILED(hr))
        _com_issue_error(hr);
    TrimmedAssign(text.bstrVal ? text.bstrVal : L"", SysStringLen(text.bstrVal), strText);
    VariantClear(&text);
}

void FieldNameToText(BSTR bstrName, CString& strText) {
    TrimmedAssign(bstrName ? bstrName : L"", SysStringLen(bstrName), strText);
}

void ReadCellText(_Recordset* pRs, LONG nCol, CString& strText) {
    FieldsPtr pFields = pRs->GetFields();
    FieldPtr pField = pFields->GetItem(_variant_t(nCol));
    _variant_t value = pField->GetValue();
    FieldValueToText(value, strText);
}

void ReadFieldName(_Recordset* pRs, LONG nCol, CString& strText) {
    FieldsPtr pFields = pRs->GetFields();
    FieldPtr pField = pFields->GetItem(_variant_t(nCol));
    _bstr_t bstrName = pField->GetName();
    FieldNameToText(bstrName, strText);
}

void MoveToRangeStart(_Recordset* pRs, int nStart) { pRs->Move(nStart, g_varZqkMissing); }
