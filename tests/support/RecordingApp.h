// An application object for tests: records every message box and wait-cursor change and
// answers message boxes with m_nAnswer (IDOK unless a test chooses another button).
#pragma once

#include <string>
#include <vector>

#include "platform/afx/CWinApp.h"

class RecordingApp : public CWinApp {
public:
    struct Box {
        std::wstring strText;
        UINT nType;
        UINT nIDHelp;
    };

    int DoMessageBox(LPCWSTR lpszPrompt, UINT nType, UINT nIDPrompt) override {
        m_boxes.push_back({lpszPrompt ? lpszPrompt : L"", nType, nIDPrompt});
        return m_nAnswer;
    }
    void DoWaitCursor(int nCode) override {
        m_waitCodes.push_back(nCode);
        CWinApp::DoWaitCursor(nCode);
    }

    std::vector<Box> m_boxes;
    std::vector<int> m_waitCodes;
    int m_nAnswer = IDOK;
};
