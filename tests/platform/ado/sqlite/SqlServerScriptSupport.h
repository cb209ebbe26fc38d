// Running SQL Server scripts through Connection.Execute on an embedded database and comparing
// each batch's outcome with what SQL Server gives: the rows, or the error's text.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/ado/AdoInterfaces.h"
#include "platform/win/TextEncoding.h"

typedef std::vector<std::vector<std::wstring>> Rows;

// What a batch gave: its rows (cells as text, NULL as "NULL") or its error.
struct Outcome {
    bool bOk = true;
    Rows rows;
    std::wstring strError;
    HRESULT hr = S_OK;
};

inline Outcome RunBatch(_ConnectionPtr& pConn, const std::wstring& strSql) {
    Outcome o;
    try {
        _RecordsetPtr pRs = pConn->Execute(strSql.c_str(), nullptr, adCmdText);
        for (; pRs != nullptr && pRs->GetState() == adStateOpen && !pRs->GetadoEOF();
             pRs->MoveNext()) {
            o.rows.emplace_back();
            for (LONG i = 0; i < pRs->GetFields()->GetCount(); ++i) {
                _variant_t v = pRs->GetFields()->GetItem(i)->GetValue();
                o.rows.back().push_back(v.vt == VT_NULL ? L"NULL"
                                                        : static_cast<const wchar_t*>(_bstr_t(v)));
            }
        }
    } catch (const _com_error& e) {
        o.bOk = false;
        o.hr = e.Error();
        const _bstr_t description = e.Description();
        o.strError = description.length() ? static_cast<const wchar_t*>(description) : L"";
    }
    return o;
}

// The rows of a batch that must succeed; a failure is the test's, with its text.
inline Rows Query(_ConnectionPtr& pConn, const std::wstring& strSql) {
    Outcome o = RunBatch(pConn, strSql);
    EXPECT_TRUE(o.bOk) << WinWideToUtf8(o.strError) << " in " << WinWideToUtf8(strSql);
    return o.rows;
}

// One batch of a script and what SQL Server answers: rows, or (when strError is set) the error.
struct Step {
    Step(std::wstring sql, Rows expected = Rows(), std::wstring error = std::wstring())
        : strSql(std::move(sql)), rows(std::move(expected)), strError(std::move(error)) {}
    std::wstring strSql;
    Rows rows;
    std::wstring strError;
};

inline std::string Narrow(const std::wstring& s) {
    return WinWideToUtf8(s);
}

// Runs the batches in order; each must give exactly its expected outcome.
inline void RunScript(_ConnectionPtr& pConn, const std::vector<Step>& steps) {
    for (const Step& step : steps) {
        SCOPED_TRACE(Narrow(step.strSql));
        Outcome o = RunBatch(pConn, step.strSql);
        if (step.strError.empty()) {
            EXPECT_TRUE(o.bOk) << Narrow(o.strError);
            EXPECT_EQ(step.rows, o.rows);
        } else {
            EXPECT_FALSE(o.bOk);
            EXPECT_EQ(step.strError, o.strError);
        }
    }
}

// A step that must fail with SQL Server's message.
inline Step Fails(const std::wstring& strSql, const std::wstring& strError) {
    return Step{strSql, Rows(), strError};
}

// An embedded database in memory, named as the catalogue says.
class SqlServerScript : public ::testing::Test {
protected:
    virtual const wchar_t* Catalog() const { return L"Shop"; }
    void SetUp() override {
        CoInitialize(nullptr);
        m_pConn.CreateInstance(L"ADODB.Connection");
        m_pConn->Open(
            (std::wstring(L"Provider=SQLite; Data Source=:memory:; Initial Catalog=") + Catalog())
                .c_str(),
            L"", L"", -1);
    }
    void TearDown() override {
        m_pConn = nullptr;
        CoUninitialize();
    }
    _ConnectionPtr m_pConn;
};
