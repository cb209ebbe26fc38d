// The component's own failure texts and the error information every object sets.
#include "platform/ado/AdoObjects.h"

const wchar_t kAdoSourceConnection[] = L"ADODB.Connection";
const wchar_t kAdoSourceCommand[] = L"ADODB.Command";
const wchar_t kAdoSourceRecordset[] = L"ADODB.Recordset";
const wchar_t kAdoSourceFields[] = L"ADODB.Fields";
const wchar_t kAdoSourceField[] = L"ADODB.Field";

namespace {

struct CAdoMessage {
    HRESULT hr;
    const wchar_t* pszText;
};

const CAdoMessage kMessages[] = {
    {adErrObjectClosed, L"Operation is not allowed when the object is closed."},
    {adErrObjectOpen, L"Operation is not allowed when the object is open."},
    {adErrItemNotFound,
     L"Item cannot be found in the collection corresponding to the requested name or ordinal."},
    {adErrNoCurrentRecord,
     L"Either BOF or EOF is True, or the current record has been deleted. Requested "
     L"operation requires a current record."},
    {adErrProviderNotFound, L"Provider cannot be found. It may not be properly installed."},
    {adErrFeatureNotAvailable,
     L"Object or provider is not capable of performing requested operation."},
    {adErrInvalidArgument,
     L"Arguments are of the wrong type, are out of acceptable range, or are in conflict "
     L"with one another."},
    {adErrIllegalOperation, L"Operation is not allowed in this context."},
    {adErrInvalidConnection,
     L"The connection cannot be used to perform this operation. It is either closed or "
     L"invalid in this context."},
};

} // namespace

HRESULT AdoFail(HRESULT hr, const wchar_t* pszSource, const wchar_t* pszDescription) {
    ZqkSetErrorInfo(pszSource, pszDescription);
    return hr;
}

HRESULT AdoFail(const CAdoError& error) {
    return AdoFail(error.hr, error.strSource.c_str(), error.strDescription.c_str());
}

HRESULT AdoFailWith(HRESULT hr, const wchar_t* pszSource) {
    for (const CAdoMessage& m : kMessages)
        if (m.hr == hr)
            return AdoFail(hr, pszSource, m.pszText);
    return AdoFail(hr, pszSource, L"");
}
