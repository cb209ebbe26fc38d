#include "platform/com/ComError.h"

#include <atomic>
#include <cstdlib>
#include <cwchar>

#include "platform/win/SystemMessage.h"

_com_error::_com_error(HRESULT hr, IErrorInfo* perrinfo, bool fAddRef) noexcept
    : m_hresult(hr), m_perrinfo(perrinfo), m_pszMsg(nullptr) {
    if (m_perrinfo && fAddRef)
        m_perrinfo->AddRef();
}

_com_error::_com_error(const _com_error& that) noexcept
    : m_hresult(that.m_hresult), m_perrinfo(that.m_perrinfo), m_pszMsg(nullptr) {
    if (m_perrinfo)
        m_perrinfo->AddRef();
}

_com_error& _com_error::operator=(const _com_error& that) noexcept {
    if (this != &that) {
        if (that.m_perrinfo)
            that.m_perrinfo->AddRef();
        if (m_perrinfo)
            m_perrinfo->Release();
        m_perrinfo = that.m_perrinfo;
        m_hresult = that.m_hresult;
        LocalFree(m_pszMsg);
        m_pszMsg = nullptr;
    }
    return *this;
}

_com_error::~_com_error() noexcept {
    if (m_perrinfo)
        m_perrinfo->Release();
    LocalFree(m_pszMsg);
}

WORD _com_error::WCode() const noexcept {
    ULONG u = static_cast<ULONG>(m_hresult);
    return u >= 0x80040200u && u <= 0x8004FFFFu ? static_cast<WORD>(u - 0x80040200u) : 0;
}

IErrorInfo* _com_error::ErrorInfo() const noexcept {
    if (m_perrinfo)
        m_perrinfo->AddRef();
    return m_perrinfo;
}

const wchar_t* _com_error::ErrorMessage() const noexcept {
    if (m_pszMsg)
        return m_pszMsg;
    LPWSTR pszText = nullptr;
    DWORD n = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(m_hresult), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
        reinterpret_cast<LPWSTR>(&pszText), 0, nullptr);
    if (n > 0 && pszText) {
        if (n > 1 && pszText[n - 1] == L'\n') {
            pszText[--n] = 0;
            if (n > 0 && pszText[n - 1] == L'\r')
                pszText[--n] = 0;
        }
        m_pszMsg = pszText;
        return m_pszMsg;
    }
    auto* pszBuffer = static_cast<wchar_t*>(std::malloc(32 * sizeof(wchar_t)));
    if (pszBuffer == nullptr)
        return L"";
    if (WCode() != 0)
        swprintf(pszBuffer, 32, L"IDispatch error #%d", static_cast<int>(WCode()));
    else
        swprintf(pszBuffer, 32, L"Unknown error 0x%0lX",
                 static_cast<unsigned long>(static_cast<ULONG>(m_hresult)));
    m_pszMsg = pszBuffer;
    return m_pszMsg;
}

namespace {

template <typename Getter> _bstr_t InfoString(IErrorInfo* p, Getter get) {
    if (p == nullptr)
        return _bstr_t();
    BSTR b = nullptr;
    if (FAILED((p->*get)(&b)))
        return _bstr_t();
    return _bstr_t(b, false);
}

} // namespace

_bstr_t _com_error::Source() const {
    return InfoString(m_perrinfo, &IErrorInfo::GetSource);
}
_bstr_t _com_error::Description() const {
    return InfoString(m_perrinfo, &IErrorInfo::GetDescription);
}
_bstr_t _com_error::HelpFile() const {
    return InfoString(m_perrinfo, &IErrorInfo::GetHelpFile);
}

DWORD _com_error::HelpContext() const {
    DWORD dw = 0;
    if (m_perrinfo)
        m_perrinfo->GetHelpContext(&dw);
    return dw;
}

GUID _com_error::GUID_() const {
    GUID g = GUID_NULL;
    if (m_perrinfo)
        m_perrinfo->GetGUID(&g);
    return g;
}

namespace {

[[noreturn]] void DefaultRaise(HRESULT hr, IErrorInfo* perrinfo) {
    throw _com_error(hr, perrinfo);
}

std::atomic<ComErrorHandler*> g_pHandler{nullptr};

[[noreturn]] void Raise(HRESULT hr, IErrorInfo* perrinfo) {
    ComErrorHandler* pHandler = g_pHandler.load();
    if (pHandler)
        pHandler(hr, perrinfo);
    DefaultRaise(hr, perrinfo); // a handler that returns still raises
}

} // namespace

void _com_issue_error(HRESULT hr) {
    Raise(hr, nullptr);
}

void _com_issue_errorex(HRESULT hr, IUnknown* punk, REFIID riid) {
    IErrorInfo* perrinfo = nullptr;
    if (punk) {
        ISupportErrorInfo* pSupport = nullptr;
        if (SUCCEEDED(punk->QueryInterface(__uuidof(ISupportErrorInfo),
                                           reinterpret_cast<void**>(&pSupport)))) {
            if (pSupport->InterfaceSupportsErrorInfo(riid) == S_OK &&
                GetErrorInfo(0, &perrinfo) != S_OK)
                perrinfo = nullptr;
            pSupport->Release();
        }
    }
    Raise(hr, perrinfo);
}

void _set_com_error_handler(ComErrorHandler* pHandler) {
    g_pHandler.store(pHandler);
}
