// _bstr_t: a reference-counted owner of a BSTR. Copies share one string; a default one holds
// no string at all and converts to a null pointer. Allocation failures raise _com_error
// with E_OUTOFMEMORY.
#pragma once

#include <atomic>

#include "platform/com/Bstr.h"

class _variant_t;

// A new BSTR of n characters copied from p (or zeroed); raises _com_error(E_OUTOFMEMORY).
BSTR ZqkAllocStringOrRaise(const wchar_t* p, size_t n);

class _bstr_t {
public:
    _bstr_t() noexcept : m_pData(nullptr) {}
    _bstr_t(const _bstr_t& s) noexcept;
    _bstr_t(_bstr_t&& s) noexcept : m_pData(s.m_pData) { s.m_pData = nullptr; }
    // Narrow text is in the narrow code page (platform/win/CodePage.h).
    _bstr_t(const char* s);
    _bstr_t(const wchar_t* s);
    _bstr_t(const _variant_t& var);
    // Takes ownership of bstr when fCopy is false.
    _bstr_t(BSTR bstr, bool fCopy);
    ~_bstr_t() noexcept { Release(); }

    _bstr_t& operator=(const _bstr_t& s) noexcept;
    _bstr_t& operator=(_bstr_t&& s) noexcept;
    _bstr_t& operator=(const char* s);
    _bstr_t& operator=(const wchar_t* s);
    _bstr_t& operator=(const _variant_t& var);

    _bstr_t& operator+=(const _bstr_t& s);
    _bstr_t operator+(const _bstr_t& s) const;
    friend _bstr_t operator+(const wchar_t* s1, const _bstr_t& s2);
    friend _bstr_t operator+(const char* s1, const _bstr_t& s2);

    // The characters, or null when the object holds no string.
    operator const wchar_t*() const noexcept;
    operator wchar_t*() const noexcept;
    // A copy in the narrow code page kept with the string, or null.
    operator const char*() const;
    operator char*() const;

    bool operator!() const noexcept { return m_pData == nullptr || m_pData->m_wstr == nullptr; }
    // Compare as strings; a null string equals the empty one.
    bool operator==(const _bstr_t& s) const noexcept { return Compare(s) == 0; }
    bool operator!=(const _bstr_t& s) const noexcept { return Compare(s) != 0; }
    bool operator<(const _bstr_t& s) const noexcept { return Compare(s) < 0; }
    bool operator>(const _bstr_t& s) const noexcept { return Compare(s) > 0; }
    bool operator<=(const _bstr_t& s) const noexcept { return Compare(s) <= 0; }
    bool operator>=(const _bstr_t& s) const noexcept { return Compare(s) >= 0; }

    unsigned int length() const noexcept;
    // A new BSTR for the caller to free.
    BSTR copy(bool fCopy = true) const;
    void Assign(BSTR s);
    BSTR& GetBSTR();
    // Frees the held string and returns the address of the (now null) BSTR to fill.
    BSTR* GetAddress();
    void Attach(BSTR s);
    BSTR Detach();

private:
    struct Data_t {
        std::atomic<long> m_RefCount;
        BSTR m_wstr;
        // The narrow text, made on first request; shared copies may ask from several
        // threads at once, so it is published once with compare-and-swap.
        mutable std::atomic<char*> m_str;
    };
    static Data_t* NewData(BSTR bstr);
    void Release() noexcept;
    void MakeUnique();
    int Compare(const _bstr_t& s) const noexcept;

    Data_t* m_pData;
};
