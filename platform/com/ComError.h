// _com_error, the exception that carries a failed HRESULT and the error information the
// failing object left, and the process-wide raising routine every COM failure goes through.
#pragma once

#include "platform/com/BstrT.h"
#include "platform/com/ComBase.h"
#include "platform/com/ErrorInfo.h"

class _com_error {
public:
    // Takes the reference to perrinfo unless fAddRef asks for a new one.
    explicit _com_error(HRESULT hr, IErrorInfo* perrinfo = nullptr, bool fAddRef = false) noexcept;
    // Shares the error information; the message text is made anew on request.
    _com_error(const _com_error& that) noexcept;
    _com_error& operator=(const _com_error& that) noexcept;
    virtual ~_com_error() noexcept;

    HRESULT Error() const noexcept { return m_hresult; }
    // The dispatch code for codes from 0x80040201 to 0x8004FFFF (the code less 0x80040200).
    WORD WCode() const noexcept;
    // A new reference to the error information, or null.
    IErrorInfo* ErrorInfo() const noexcept;

    // The system's text for the code without its line break; otherwise "IDispatch error #%d"
    // for dispatch codes or "Unknown error 0x%0lX". Kept for later requests.
    const wchar_t* ErrorMessage() const noexcept;

    // From the error information; null strings when there is none.
    _bstr_t Source() const;
    _bstr_t Description() const;
    _bstr_t HelpFile() const;
    DWORD HelpContext() const;
    GUID GUID_() const;

private:
    HRESULT m_hresult;
    IErrorInfo* m_perrinfo;
    mutable wchar_t* m_pszMsg;
};

// Raises _com_error with the code and no error information.
[[noreturn]] void _com_issue_error(HRESULT hr);
// Raises _com_error with the code and, when punk supports error information for riid, the
// error information the failing object set on this thread.
[[noreturn]] void _com_issue_errorex(HRESULT hr, IUnknown* punk, REFIID riid);
// Replaces the process-wide raising routine (null restores the default, which throws). A
// replacement must not return.
typedef void(ComErrorHandler)(HRESULT hr, IErrorInfo* perrinfo);
void _set_com_error_handler(ComErrorHandler* pHandler);
