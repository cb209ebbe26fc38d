#include "RecordsetReading.h"

#include <cwchar>
#include <cwctype>
#include <memory>

#include "platform/win/TextEncoding.h"

namespace {

// White space is what iswspace says it is. No locale counts a printable ASCII character as
// white space, so those are answered without the call (most cells start and end with one).
inline bool IsWhite(wchar_t c) {
    if (c > 0x20 && c < 0x7F)
        return false;
    return iswspace(static_cast<wint_t>(c)) != 0;
}

// The text is made by pPool when one is given.
void TrimmedAssign(const wchar_t* p, size_t n, CString& strText, CStringPool* pPool) {
    size_t e = n;
    while (e > 0 && IsWhite(p[e - 1]))
        --e;
    size_t b = 0;
    while (b < e && IsWhite(p[b]))
        ++b;
    strText = pPool ? pPool->Make(p + b, static_cast<int>(e - b))
                    : CString(p + b, static_cast<int>(e - b));
}

// Stored UTF-8 text as the string Field.Value would make of it, trimmed.
void Utf8TrimmedAssign(const char* p, size_t n, CString& strText, CStringPool* pPool) {
    const size_t kShort = 256;
    wchar_t sz[kShort];
    std::unique_ptr<wchar_t[]> pLong;
    wchar_t* pWide = sz;
    if (n > kShort) {
        pLong.reset(new wchar_t[n]);
        pWide = pLong.get();
    }
    TrimmedAssign(pWide, n ? WinUtf8ToWideInto(p, n, pWide) : 0, strText, pPool);
}

// Owns a VARIANT for the length of a call. Plain numbers, dates and the like own nothing, so
// only other values are cleared.
struct CHeldVariant {
    VARIANT v;
    CHeldVariant() { VariantInit(&v); }
    ~CHeldVariant() {
        VARTYPE vt = v.vt;
        bool bPlain = vt < VT_BSTR || vt == VT_ERROR || vt == VT_BOOL || vt == VT_DECIMAL ||
                      (vt >= VT_I1 && vt <= VT_UINT);
        if (!bPlain)
            VariantClear(&v);
    }
    CHeldVariant(const CHeldVariant&) = delete;
    CHeldVariant& operator=(const CHeldVariant&) = delete;
};

} // namespace

CReaderOpen ReaderOpen(CZORImpADORXServer& server, const wchar_t* lpszSQL, _RecordsetPtr& pRs,
                       LONG* pnCols) {
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

namespace {

void ValueToText(const VARIANT& var, CString& strText, CStringPool* pPool) {
    if (var.vt == VT_EMPTY || var.vt == VT_NULL) {
        strText.Empty();
        return;
    }
    if (var.vt == VT_BSTR) {
        TrimmedAssign(var.bstrVal ? var.bstrVal : L"", SysStringLen(var.bstrVal), strText, pPool);
        return;
    }
    if (!(var.vt & VT_BYREF)) {
        // The coercion's own text, written without a string allocation of its own.
        wchar_t sz[kZqkVariantTextRoom];
        size_t n = 0;
        HRESULT hr = ZqkVariantToText(&var, sz, &n);
        if (FAILED(hr))
            _com_issue_error(hr);
        TrimmedAssign(sz, n, strText, pPool);
        return;
    }
    CHeldVariant text;
    HRESULT hr = VariantChangeType(&text.v, &var, 0, VT_BSTR);
    if (FAILED(hr))
        _com_issue_error(hr);
    TrimmedAssign(text.v.bstrVal ? text.v.bstrVal : L"", SysStringLen(text.v.bstrVal), strText,
                  pPool);
}

} // namespace

void FieldValueToText(const VARIANT& var, CString& strText) {
    ValueToText(var, strText, nullptr);
}

void FieldNameToText(BSTR bstrName, CString& strText) {
    TrimmedAssign(bstrName ? bstrName : L"", SysStringLen(bstrName), strText, nullptr);
}

// The calls and the failures are those of GetFields, GetItem and GetValue; only their
// temporaries (an index and a value wrapper per cell) are left out.
void ReadCellText(_Recordset* pRs, LONG nCol, CString& strText) {
    Fields* pRawFields = nullptr;
    HRESULT hr = pRs->get_Fields(&pRawFields);
    if (FAILED(hr))
        _com_issue_errorex(hr, pRs, __uuidof(_Recordset));
    FieldsPtr pFields(pRawFields, false);
    VARIANT index;
    VariantInit(&index);
    index.vt = VT_I4;
    index.lVal = nCol;
    Field* pRawField = nullptr;
    hr = pFields->get_Item(index, &pRawField);
    if (FAILED(hr))
        _com_issue_errorex(hr, pFields, __uuidof(Fields));
    FieldPtr pField(pRawField, false);
    CHeldVariant value;
    hr = pField->get_Value(&value.v);
    if (FAILED(hr))
        _com_issue_errorex(hr, pField, __uuidof(Field));
    FieldValueToText(value.v, strText);
}

CCellReader::CCellReader(_Recordset* pRs, CStringPool* pPool) : m_pRs(pRs), m_pPool(pPool) {
    IZqkRecordsetCells* pCells = nullptr;
    if (SUCCEEDED(
            pRs->QueryInterface(__uuidof(IZqkRecordsetCells), reinterpret_cast<void**>(&pCells))))
        m_pCells.Attach(pCells);
}

void CCellReader::Read(LONG nCol, CString& strText) {
    CAdoCell cell;
    if (!m_pCells || FAILED(m_pCells->GetCell(nCol, &cell))) {
        ReadCellText(m_pRs, nCol, strText);
        return;
    }
    if (cell.nKind == CAdoCell::kValue) {
        CHeldVariant value;
        value.v = cell.var;
        ValueToText(value.v, strText, m_pPool);
        return;
    }
    if (cell.nKind == CAdoCell::kDateText) {
        wchar_t sz[kZqkVariantTextRoom];
        size_t n = 0;
        HRESULT hr = ZqkDateTextFromUtf8(cell.pText, cell.nBytes, sz, &n);
        if (FAILED(hr))
            _com_issue_error(hr);
        if (hr == S_OK) {
            TrimmedAssign(sz, n, strText, m_pPool);
            return;
        }
    }
    Utf8TrimmedAssign(cell.pText, cell.nBytes, strText, m_pPool);
}

void ReadFieldName(_Recordset* pRs, LONG nCol, CString& strText) {
    FieldsPtr pFields = pRs->GetFields();
    FieldPtr pField = pFields->GetItem(_variant_t(nCol));
    _bstr_t bstrName = pField->GetName();
    FieldNameToText(bstrName, strText);
}

void MoveToRangeStart(_Recordset* pRs, int nStart) {
    pRs->Move(nStart, g_varZqkMissing);
}
