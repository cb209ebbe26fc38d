// Implements IUnknown for a COM class: a real, thread-safe reference count and a
// QueryInterface that answers for the listed interfaces and their base interfaces, and with
// E_NOINTERFACE for anything else. The first listed interface stands for IUnknown, so the
// object's identity is stable. A new object starts with one reference, owned by its creator.
#pragma once

#include <sys/single_threaded.h>

#include <atomic>
#include <type_traits>

#include "platform/com/ComBase.h"

template <typename Interface> bool ComInterfaceMatches(REFIID riid) {
    if constexpr (std::is_void_v<Interface>)
        return false;
    else
        return riid == __uuidof(Interface) ||
               ComInterfaceMatches<typename ComInterfaceTraits<Interface>::Base>(riid);
}

template <typename... Interfaces> class CComObjectRoot : public Interfaces... {
public:
    HRESULT QueryInterface(REFIID riid, void** ppvObject) override {
        if (ppvObject == nullptr)
            return E_POINTER;
        void* p = nullptr;
        ((p == nullptr && ComInterfaceMatches<Interfaces>(riid)
              ? (p = static_cast<Interfaces*>(this), 0)
              : 0),
         ...);
        *ppvObject = p;
        if (p == nullptr)
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    // While the process has a single thread no other can reach the count, so it is changed
    // without the locked instruction (tens of cycles each; a reader's loop takes and drops two
    // references per cell). The C library clears the flag before a second thread starts, and
    // the start orders every change made here before anything that thread does.
    ULONG AddRef() override {
        if (__libc_single_threaded) {
            ULONG n = m_cRef.load(std::memory_order_relaxed) + 1;
            m_cRef.store(n, std::memory_order_relaxed);
            return n;
        }
        return m_cRef.fetch_add(1, std::memory_order_relaxed) + 1;
    }
    ULONG Release() override {
        ULONG n;
        if (__libc_single_threaded) {
            n = m_cRef.load(std::memory_order_relaxed) - 1;
            m_cRef.store(n, std::memory_order_relaxed);
        } else {
            n = m_cRef.fetch_sub(1, std::memory_order_acq_rel) - 1;
        }
        if (n == 0)
            delete this;
        return n;
    }

    CComObjectRoot(const CComObjectRoot&) = delete;
    CComObjectRoot& operator=(const CComObjectRoot&) = delete;

protected:
    CComObjectRoot() = default;
    virtual ~CComObjectRoot() = default;

private:
    std::atomic<ULONG> m_cRef{1};
};

// The current reference count of an object, for tests that check every AddRef has its
// Release: adds one and takes it back.
inline ULONG ComRefCount(IUnknown* pUnk) {
    if (pUnk == nullptr)
        return 0;
    pUnk->AddRef();
    return pUnk->Release();
}

// Implements IDispatch's late-binding members as "not offered".
template <typename Base> class CComDispatchStub : public Base {
public:
    HRESULT GetTypeInfoCount(UINT* pctinfo) override {
        if (pctinfo)
            *pctinfo = 0;
        return E_NOTIMPL;
    }
    HRESULT GetTypeInfo(UINT, DWORD, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, DWORD, DISPID*) override { return E_NOTIMPL; }
    HRESULT Invoke(DISPID, REFIID, DWORD, WORD, DISPPARAMS*, tagVARIANT*, EXCEPINFO*,
                   UINT*) override {
        return E_NOTIMPL;
    }
};
