// Shared set-up for the schema tests: a server on a fresh in-memory database named "db", the
// statements the module hands to the data-access layer, the message boxes, and fields and
// containers as plain strings so that whole results compare in one assertion.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/ado/AdoInterfaces.h"
#include "support/RecordingApp.h"
#include "zqk_vododuvod.h"
#include "support/Contents.h"

using FieldArray = CArray<CZORTableField, CZORTableField&>;

inline CZORTableField Field(LPCWSTR pszName, LPCWSTR pszType, int nSize = 0, BOOL bAllowNull = TRUE,
                            BOOL bPrimaryKey = FALSE) {
    CZORTableField field;
    field.m_strName = pszName;
    field.m_strType = pszType;
    field.m_nSize = nSize;
    field.m_bAllowNull = bAllowNull;
    field.m_bPrimaryKey = bPrimaryKey;
    return field;
}

inline FieldArray& Fill(FieldArray& arr, std::vector<CZORTableField> fields) {
    for (CZORTableField& field : fields)
        arr.Add(field);
    return arr;
}

inline CStringArray& Fill(CStringArray& arr, const Strings& values) {
    for (const std::wstring& value : values)
        arr.Add(value.c_str());
    return arr;
}

// "name type size", with the flags only where they differ from a new field's.
inline Strings Columns(FieldArray& arr) {
    Strings out;
    for (INT_PTR i = 0; i < arr.GetSize(); ++i) {
        const CZORTableField& f = arr[i];
        out.push_back(std::wstring(f.m_strName) + L" " + std::wstring(f.m_strType) + L" " +
                      std::to_wstring(f.m_nSize) + (f.m_bAllowNull ? L"" : L" NOT NULL") +
                      (f.m_bPrimaryKey ? L" KEY" : L""));
    }
    return out;
}

// The report shown for a statement the database rejects.
inline std::wstring RejectedReport(const std::wstring& strDescription) {
    return L"Error:\n\tCode = 80040e14\n\tCode meaning = IDispatch error #3092\n\tSource = "
           L"SQLite\n\tDescription = " +
           strDescription + L"\n";
}

inline std::wstring NoDatabaseReport(const std::wstring& strDatabase) {
    return RejectedReport(L"Database '" + strDatabase +
                          L"' does not exist. Make sure that the name is entered correctly.");
}

class SchemaTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(1, m_server.InitADOServer(
                         L"Provider=SQLite; Data Source=:memory:; Initial Catalog=db"));
        m_prevTrace = AdoSetCommandTrace([this](LPCWSTR psz) { m_sent.emplace_back(psz); });
    }
    void TearDown() override { AdoSetCommandTrace(m_prevTrace); }

    // Set-up SQL, left out of the record.
    void Exec(LPCWSTR pszSQL) {
        size_t nSent = m_sent.size();
        ASSERT_EQ(1, m_server.ExecuteSQL(pszSQL)) << pszSQL;
        m_sent.resize(nSent);
    }

    // The statements sent, and the texts of the boxes shown, since the last call.
    Strings Sent() { return std::exchange(m_sent, Strings()); }
    Strings Boxes() {
        Strings out;
        for (const RecordingApp::Box& box : m_app.m_boxes)
            out.push_back(box.strText);
        m_app.m_boxes.clear();
        return out;
    }

    // Read-backs, left out of the record: lower-cased column names, and full descriptions.
    Strings ColumnNames(LPCWSTR pszTable) {
        CStringList lst;
        size_t nSent = m_sent.size();
        m_server.GetSQLSrvTableStru(pszTable, lst, L"db");
        m_sent.resize(nSent);
        return Contents(lst);
    }
    Strings Describe(LPCWSTR pszTable) {
        FieldArray fields;
        size_t nSent = m_sent.size();
        m_server.GetSQLSrvTableStru(pszTable, fields, L"db");
        m_sent.resize(nSent);
        return Columns(fields);
    }

    RecordingApp m_app;
    CZORADORXServer m_server;
    Strings m_sent;
    std::function<void(LPCWSTR)> m_prevTrace;
};
