// _com_ptr_t: a counted reference to one interface. Assigning from another interface asks
// the object for this one; using a null reference raises _com_error(E_POINTER).
#pragma once

#include <memory>
#include <type_traits>

#include "platform/com/ComError.h"
#include "platform/com/ComRuntime.h"
#include "platform/com/VariantT.h"

template <typename Interface> class _com_ptr_t {
public:
    typedef Interface ThisInterface;

    _com_ptr_t() noexcept : m_pInterface(nullptr) {}
    _com_ptr_t(std::nullptr_t) noexcept : m_pInterface(nullptr) {}
    _com_ptr_t(Interface* pInterface) noexcept : m_pInterface(pInterface) { _AddRef(); }
    _com_ptr_t(Interface* pInterface, bool fAddRef) noexcept : m_pInterface(pInterface) {
        if (fAddRef)
            _AddRef();
    }
    _com_ptr_t(const _com_ptr_t& cp) noexcept : m_pInterface(cp.m_pInterface) { _AddRef(); }
    _com_ptr_t(_com_ptr_t&& cp) noexcept : m_pInterface(cp.m_pInterface) {
        cp.m_pInterface = nullptr;
    }
    // From any other interface pointer or smart pointer: asks for this interface (a failed
    // request leaves a null reference).
    template <typename Other, typename = std::enable_if_t<!std::is_same_v<Other, Interface>>>
    _com_ptr_t(Other* p) : m_pInterface(nullptr) {
        _QueryFrom(p);
    }
    template <typename Other, typename = std::enable_if_t<!std::is_same_v<Other, Interface>>>
    _com_ptr_t(const _com_ptr_t<Other>& p) : m_pInterface(nullptr) {
        _QueryFrom(p.GetInterfacePtr());
    }
    // From a variant holding an object.
    explicit _com_ptr_t(const _variant_t& var) : m_pInterface(nullptr) {
        if (var.vt == VT_DISPATCH || var.vt == VT_UNKNOWN)
            _QueryFrom(var.punkVal);
        else if (var.vt != VT_EMPTY && var.vt != VT_NULL)
            _com_issue_error(DISP_E_TYPEMISMATCH);
    }
    // Creates an object; raises on failure.
    explicit _com_ptr_t(REFCLSID clsid, IUnknown* pOuter = nullptr, DWORD dwClsContext = CLSCTX_ALL)
        : m_pInterface(nullptr) {
        HRESULT hr = CreateInstance(clsid, pOuter, dwClsContext);
        if (FAILED(hr))
            _com_issue_error(hr);
    }
    explicit _com_ptr_t(LPCWSTR pszProgID, IUnknown* pOuter = nullptr,
                        DWORD dwClsContext = CLSCTX_ALL)
        : m_pInterface(nullptr) {
        HRESULT hr = CreateInstance(pszProgID, pOuter, dwClsContext);
        if (FAILED(hr))
            _com_issue_error(hr);
    }
    ~_com_ptr_t() noexcept { _Release(); }

    _com_ptr_t& operator=(Interface* pInterface) noexcept {
        if (pInterface != m_pInterface) {
            Interface* pOld = m_pInterface;
            m_pInterface = pInterface;
            _AddRef();
            if (pOld)
                pOld->Release();
        }
        return *this;
    }
    _com_ptr_t& operator=(const _com_ptr_t& cp) noexcept { return *this = cp.m_pInterface; }
    _com_ptr_t& operator=(_com_ptr_t&& cp) noexcept {
        if (this != std::addressof(cp)) { // operator& is the out-parameter slot, not the address
            _Release();
            m_pInterface = cp.m_pInterface;
            cp.m_pInterface = nullptr;
        }
        return *this;
    }
    _com_ptr_t& operator=(std::nullptr_t) noexcept {
        _Release();
        return *this;
    }
    template <typename Other, typename = std::enable_if_t<!std::is_same_v<Other, Interface>>>
    _com_ptr_t& operator=(Other* p) {
        _com_ptr_t tmp(p);
        return *this = std::move(tmp);
    }
    template <typename Other, typename = std::enable_if_t<!std::is_same_v<Other, Interface>>>
    _com_ptr_t& operator=(const _com_ptr_t<Other>& p) {
        return *this = p.GetInterfacePtr();
    }

    HRESULT CreateInstance(REFCLSID rclsid, IUnknown* pOuter = nullptr,
                           DWORD dwClsContext = CLSCTX_ALL) {
        _Release();
        return CoCreateInstance(rclsid, pOuter, dwClsContext, __uuidof(Interface),
                                reinterpret_cast<void**>(&m_pInterface));
    }
    HRESULT CreateInstance(LPCWSTR pszProgID, IUnknown* pOuter = nullptr,
                           DWORD dwClsContext = CLSCTX_ALL) {
        if (pszProgID == nullptr)
            return E_INVALIDARG;
        CLSID clsid;
        HRESULT hr = CLSIDFromProgID(pszProgID, &clsid);
        if (FAILED(hr)) {
            _Release();
            return hr;
        }
        return CreateInstance(clsid, pOuter, dwClsContext);
    }

    void Attach(Interface* pInterface) noexcept {
        _Release();
        m_pInterface = pInterface;
    }
    void Attach(Interface* pInterface, bool fAddRef) noexcept {
        _Release();
        m_pInterface = pInterface;
        if (fAddRef)
            _AddRef();
    }
    Interface* Detach() noexcept {
        Interface* p = m_pInterface;
        m_pInterface = nullptr;
        return p;
    }
    void AddRef() {
        if (m_pInterface == nullptr)
            _com_issue_error(E_POINTER);
        m_pInterface->AddRef();
    }
    void Release() {
        if (m_pInterface == nullptr)
            _com_issue_error(E_POINTER);
        m_pInterface->Release();
        m_pInterface = nullptr;
    }

    Interface* GetInterfacePtr() const noexcept { return m_pInterface; }
    Interface*& GetInterfacePtr() noexcept { return m_pInterface; }
    operator Interface*() const noexcept { return m_pInterface; }
    Interface& operator*() const {
        if (m_pInterface == nullptr)
            _com_issue_error(E_POINTER);
        return *m_pInterface;
    }
    Interface* operator->() const {
        if (m_pInterface == nullptr)
            _com_issue_error(E_POINTER);
        return m_pInterface;
    }
    // For out-parameters: releases what is held and yields the slot to fill.
    Interface** operator&() noexcept {
        _Release();
        return &m_pInterface;
    }
    explicit operator bool() const noexcept { return m_pInterface != nullptr; }
    bool operator!() const noexcept { return m_pInterface == nullptr; }

    template <typename Q> HRESULT QueryInterface(REFIID iid, Q*& p) const {
        if (m_pInterface == nullptr)
            return E_POINTER;
        return m_pInterface->QueryInterface(iid, reinterpret_cast<void**>(&p));
    }

    bool operator==(const _com_ptr_t& p) const noexcept { return m_pInterface == p.m_pInterface; }
    bool operator!=(const _com_ptr_t& p) const noexcept { return m_pInterface != p.m_pInterface; }
    bool operator==(std::nullptr_t) const noexcept { return m_pInterface == nullptr; }
    bool operator!=(std::nullptr_t) const noexcept { return m_pInterface != nullptr; }

private:
    void _AddRef() noexcept {
        if (m_pInterface)
            m_pInterface->AddRef();
    }
    void _Release() noexcept {
        if (m_pInterface) {
            Interface* p = m_pInterface;
            m_pInterface = nullptr;
            p->Release();
        }
    }
    template <typename Other> void _QueryFrom(Other* p) {
        if (p &&
            FAILED(p->QueryInterface(__uuidof(Interface), reinterpret_cast<void**>(&m_pInterface))))
            m_pInterface = nullptr;
    }

    Interface* m_pInterface;
};

#define _COM_SMARTPTR_TYPEDEF(Interface, IID) typedef _com_ptr_t<Interface> Interface##Ptr

_COM_SMARTPTR_TYPEDEF(IUnknown, __uuidof(IUnknown));
_COM_SMARTPTR_TYPEDEF(IDispatch, __uuidof(IDispatch));
_COM_SMARTPTR_TYPEDEF(IErrorInfo, __uuidof(IErrorInfo));
_COM_SMARTPTR_TYPEDEF(ICreateErrorInfo, __uuidof(ICreateErrorInfo));
_COM_SMARTPTR_TYPEDEF(ISupportErrorInfo, __uuidof(ISupportErrorInfo));
