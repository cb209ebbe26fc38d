// The demonstration: a run of steps over a fresh embedded database, each printing what it
// called and what came back and checking that it is what the library promises.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include <zqk_vododuvod.h>

#include "App.h"

class Demo {
public:
    Demo(CZqkApp& app, const std::string& strFolder);

    // Runs one step; false (after saying why) when it did not do what it should.
    bool Step(LPCWSTR lpszTitle, const std::function<void(Demo&)>& fnStep);

    // "   CALL -> RESULT"
    void Call(const CString& strCall, const CString& strResult);
    // An indented line of detail.
    void Detail(const CString& strText);
    // Marks the step failed unless bHolds.
    void Expect(bool bHolds, const CString& strWhat);
    // The boxes shown since the step began, taken as expected (and printed).
    std::vector<CString> TakeBoxes();

    CZORADORXServer& Server() { return m_server; }
    const std::string& Folder() const { return m_strFolder; }
    CString FolderPath(const char* pszName) const {
        return CString((m_strFolder + "/" + pszName).c_str());
    }
    CString ConnectionString() const;
    LPCWSTR Database() const { return L"demo"; }
    // The value table read in one step and used by later ones.
    CZORValueTable& Table() { return m_table; }

private:
    CZqkApp& m_app;
    std::string m_strFolder;
    CZORADORXServer m_server;
    CZORValueTable m_table;
    size_t m_nBoxMark = 0;
    int m_nStep = 0;
    bool m_bStepFailed = false;
};

// Text for the printed calls.
CString Quoted(LPCWSTR lpsz);
CString QuotedList(CStringArray& ar);
CString QuotedList(CStringList& list);
CString Number(long long n);
// A text table, each line indented as a detail.
void DetailTable(Demo& demo, const CString& strRendered);

// The steps, in order.
void StepOpen(Demo& demo);
void StepCreate(Demo& demo);
void StepInsert(Demo& demo);
void StepReaders(Demo& demo);
void StepShow(Demo& demo);
void StepStructure(Demo& demo);
void StepTableNames(Demo& demo);
void StepArchive(Demo& demo);
void StepPack(Demo& demo);
void StepTransaction(Demo& demo);
void StepFailure(Demo& demo);
