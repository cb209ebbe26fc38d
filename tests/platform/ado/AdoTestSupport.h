// What the data-access tests share: COM initialised for each test, a scratch folder, an open
// connection, and the code and texts of a raised _com_error.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "platform/ado/AdoInterfaces.h"
#include "platform/com/ComObject.h"
#include "support/TempDir.h"

// The outcome of a call that may raise: hr is S_OK when nothing was raised.
struct AdoRaised {
    HRESULT hr = S_OK;
    std::wstring source;
    std::wstring description;
};

template <typename Fn> AdoRaised AdoCatch(Fn&& fn) {
    AdoRaised r;
    try {
        std::forward<Fn>(fn)();
    } catch (const _com_error& e) {
        r.hr = e.Error();
        const _bstr_t source = e.Source(), description = e.Description();
        r.source = source.length() ? static_cast<const wchar_t*>(source) : L"";
        r.description = description.length() ? static_cast<const wchar_t*>(description) : L"";
    }
    return r;
}

// The thread's error information, taken (and so cleared): source and description.
inline AdoRaised AdoTakeErrorInfo(HRESULT hr) {
    AdoRaised r;
    r.hr = hr;
    IErrorInfo* pInfo = nullptr;
    if (GetErrorInfo(0, &pInfo) != S_OK || pInfo == nullptr)
        return r;
    BSTR b = nullptr;
    if (SUCCEEDED(pInfo->GetSource(&b)) && b)
        r.source = b;
    SysFreeString(b);
    b = nullptr;
    if (SUCCEEDED(pInfo->GetDescription(&b)) && b)
        r.description = b;
    SysFreeString(b);
    pInfo->Release();
    return r;
}

inline bool AdoNoErrorInfoLeft() {
    IErrorInfo* pInfo = nullptr;
    HRESULT hr = GetErrorInfo(0, &pInfo);
    if (pInfo)
        pInfo->Release();
    return hr == S_FALSE && pInfo == nullptr;
}

// A byte-array variant holding a copy of n bytes, and the bytes a variant holds (the test
// fails when it is not a byte array).
inline _variant_t AdoBytes(const BYTE* p, size_t n) {
    _variant_t v;
    v.parray = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(n));
    v.vt = VT_ARRAY | VT_UI1;
    if (n)
        std::memcpy(v.parray->pvData, p, n);
    return v;
}

inline std::vector<BYTE> AdoBytesOf(const _variant_t& v) {
    EXPECT_EQ(VT_ARRAY | VT_UI1, v.vt);
    if (v.vt != (VT_ARRAY | VT_UI1))
        return {};
    auto* p = static_cast<const BYTE*>(v.parray->pvData);
    return std::vector<BYTE>(p, p + v.parray->rgsabound[0].cElements);
}

// The rows from the current one to the end, each cell as text ("NULL" for a null value).
inline std::vector<std::vector<std::wstring>> AdoReadRows(_Recordset* pRs) {
    std::vector<std::vector<std::wstring>> rows;
    FieldsPtr pFields = pRs->GetFields();
    const LONG nFields = pFields->GetCount();
    while (!pRs->GetadoEOF()) {
        std::vector<std::wstring> row;
        for (LONG i = 0; i < nFields; ++i) {
            _variant_t v = pFields->GetItem(i)->GetValue();
            _bstr_t text = v.vt == VT_NULL ? _bstr_t(L"NULL") : _bstr_t(v);
            row.emplace_back(static_cast<const wchar_t*>(text) ? static_cast<const wchar_t*>(text)
                                                               : L"");
        }
        rows.push_back(std::move(row));
        pRs->MoveNext();
    }
    return rows;
}

class AdoTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr))); }
    void TearDown() override {
        EXPECT_TRUE(AdoNoErrorInfoLeft());
        CoUninitialize();
    }

    static std::wstring SqliteString(const std::wstring& strSource) {
        return L"Provider=SQLite; Data Source=" + strSource;
    }
    // A new, open connection; the test fails when it cannot be opened.
    static _ConnectionPtr Open(const std::wstring& strConnection) {
        _ConnectionPtr pConn;
        EXPECT_EQ(S_OK, pConn.CreateInstance(L"ADODB.Connection"));
        if (pConn)
            pConn->Open(strConnection.c_str(), L"", L"", adConnectUnspecified);
        return pConn;
    }
    static _ConnectionPtr OpenMemory() { return Open(SqliteString(L":memory:")); }
    // A recordset on a table by name, open for adding rows.
    static _RecordsetPtr OpenForAdding(_Connection* pConn, const wchar_t* pszTable) {
        _RecordsetPtr pRs;
        EXPECT_EQ(S_OK, pRs.CreateInstance(L"ADODB.Recordset"));
        pRs->Open(pszTable, _variant_t(static_cast<IDispatch*>(pConn)), adOpenKeyset,
                  adLockOptimistic, adCmdTable);
        return pRs;
    }
    _ConnectionPtr OpenFile(const std::string& name) {
        return Open(SqliteString(m_dir.WideFile(name)));
    }

    TempDir m_dir;
};
