#include "platform/com/BstrT.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <new>
#include <string>

#include "platform/com/ComError.h"
#include "platform/com/VariantT.h"
#include "platform/win/CodePage.h"
#include "platform/win/TextEncoding.h"

BSTR ZqkAllocStringOrRaise(const wchar_t* p, size_t n) {
    BSTR b = SysAllocStringLen(p, static_cast<UINT>(n));
    if (b == nullptr)
        _com_issue_error(E_OUTOFMEMORY);
    return b;
}

_bstr_t::Data_t* _bstr_t::NewData(BSTR bstr) {
    auto* p = static_cast<Data_t*>(std::malloc(sizeof(Data_t)));
    if (p == nullptr) {
        SysFreeString(bstr);
        _com_issue_error(E_OUTOFMEMORY);
    }
    new (&p->m_RefCount) std::atomic<long>(1);
    p->m_wstr = bstr;
    new (&p->m_str) std::atomic<char*>(nullptr);
    return p;
}

void _bstr_t::Release() noexcept {
    if (m_pData && m_pData->m_RefCount.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        SysFreeString(m_pData->m_wstr);
        std::free(m_pData->m_str.load());
        std::free(m_pData);
    }
    m_pData = nullptr;
}

_bstr_t::_bstr_t(const _bstr_t& s) noexcept : m_pData(s.m_pData) {
    if (m_pData)
        m_pData->m_RefCount.fetch_add(1, std::memory_order_relaxed);
}

_bstr_t::_bstr_t(const char* s) : m_pData(nullptr) {
    if (s) {
        std::wstring w = WinNarrowToWide(s, std::strlen(s));
        m_pData = NewData(ZqkAllocStringOrRaise(w.data(), w.size()));
    }
}

_bstr_t::_bstr_t(const wchar_t* s) : m_pData(nullptr) {
    if (s)
        m_pData = NewData(ZqkAllocStringOrRaise(s, wcslen(s)));
}

_bstr_t::_bstr_t(const _variant_t& var) : m_pData(nullptr) {
    if (var.vt == VT_BSTR) {
        *this = _bstr_t(var.bstrVal, true);
        return;
    }
    _variant_t text;
    text.ChangeType(VT_BSTR, &var);
    m_pData = NewData(text.Detach().bstrVal);
}

_bstr_t::_bstr_t(BSTR bstr, bool fCopy) : m_pData(nullptr) {
    if (fCopy) {
        if (bstr)
            m_pData = NewData(ZqkAllocStringOrRaise(bstr, SysStringLen(bstr)));
    } else {
        m_pData = NewData(bstr);
    }
}

_bstr_t& _bstr_t::operator=(const _bstr_t& s) noexcept {
    if (m_pData != s.m_pData) {
        _bstr_t copy(s);
        std::swap(m_pData, copy.m_pData);
    }
    return *this;
}

_bstr_t& _bstr_t::operator=(_bstr_t&& s) noexcept {
    if (this != &s) {
        Release();
        m_pData = s.m_pData;
        s.m_pData = nullptr;
    }
    return *this;
}

_bstr_t& _bstr_t::operator=(const char* s) {
    return *this = _bstr_t(s);
}
_bstr_t& _bstr_t::operator=(const wchar_t* s) {
    return *this = _bstr_t(s);
}
_bstr_t& _bstr_t::operator=(const _variant_t& var) {
    return *this = _bstr_t(var);
}

_bstr_t& _bstr_t::operator+=(const _bstr_t& s) {
    *this = *this + s;
    return *this;
}

_bstr_t _bstr_t::operator+(const _bstr_t& s) const {
    if (!s)
        return *this;
    if (!*this)
        return s;
    unsigned n1 = length(), n2 = s.length();
    BSTR b = ZqkAllocStringOrRaise(nullptr, static_cast<size_t>(n1) + n2);
    wmemcpy(b, m_pData->m_wstr, n1);
    wmemcpy(b + n1, s.m_pData->m_wstr, n2);
    return _bstr_t(b, false);
}

_bstr_t operator+(const wchar_t* s1, const _bstr_t& s2) {
    return _bstr_t(s1) + s2;
}
_bstr_t operator+(const char* s1, const _bstr_t& s2) {
    return _bstr_t(s1) + s2;
}

_bstr_t::operator const wchar_t*() const noexcept {
    return m_pData ? m_pData->m_wstr : nullptr;
}
_bstr_t::operator wchar_t*() const noexcept {
    return m_pData ? m_pData->m_wstr : nullptr;
}

_bstr_t::operator const char*() const {
    if (m_pData == nullptr || m_pData->m_wstr == nullptr)
        return nullptr;
    char* pExisting = m_pData->m_str.load(std::memory_order_acquire);
    if (pExisting != nullptr)
        return pExisting;
    std::string s = WinWideToNarrow(m_pData->m_wstr, SysStringLen(m_pData->m_wstr));
    auto* p = static_cast<char*>(std::malloc(s.size() + 1));
    if (p == nullptr)
        _com_issue_error(E_OUTOFMEMORY);
    std::memcpy(p, s.c_str(), s.size() + 1);
    // Another thread may have made it meanwhile: the first one published wins.
    if (!m_pData->m_str.compare_exchange_strong(pExisting, p, std::memory_order_acq_rel,
                                                std::memory_order_acquire)) {
        std::free(p);
        return pExisting;
    }
    return p;
}

_bstr_t::operator char*() const {
    return const_cast<char*>(static_cast<const char*>(*this));
}

unsigned int _bstr_t::length() const noexcept {
    return m_pData ? SysStringLen(m_pData->m_wstr) : 0;
}

BSTR _bstr_t::copy(bool fCopy) const {
    BSTR b = m_pData ? m_pData->m_wstr : nullptr;
    if (!fCopy || b == nullptr)
        return b;
    return ZqkAllocStringOrRaise(b, SysStringLen(b));
}

void _bstr_t::MakeUnique() {
    if (m_pData == nullptr) {
        m_pData = NewData(nullptr);
    } else if (m_pData->m_RefCount.load() > 1) {
        BSTR b = copy(true);
        Release();
        m_pData = NewData(b);
    }
    std::free(m_pData->m_str.exchange(nullptr));
}

void _bstr_t::Assign(BSTR s) {
    *this = _bstr_t(s, true);
}

BSTR& _bstr_t::GetBSTR() {
    MakeUnique();
    return m_pData->m_wstr;
}

BSTR* _bstr_t::GetAddress() {
    Release();
    m_pData = NewData(nullptr);
    return &m_pData->m_wstr;
}

void _bstr_t::Attach(BSTR s) {
    *this = _bstr_t(s, false);
}

BSTR _bstr_t::Detach() {
    MakeUnique();
    BSTR b = m_pData->m_wstr;
    m_pData->m_wstr = nullptr;
    Release();
    return b;
}

int _bstr_t::Compare(const _bstr_t& s) const noexcept {
    const wchar_t* a = *this;
    const wchar_t* b = s;
    unsigned na = length(), nb = s.length();
    unsigned n = na < nb ? na : nb;
    int c = n ? wmemcmp(a, b, n) : 0;
    if (c != 0)
        return c;
    return na < nb ? -1 : na > nb ? 1 : 0;
}
