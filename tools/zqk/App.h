// The tool's application object: every message box of the library (and of the tool) is
// written to standard error with its kind and counted, so that a command can tell whether
// the library reported a failure. Everything it writes passes the redactor first.
#pragma once

#include <string>
#include <vector>

#include <zqk_vododuvod.h>

// Keeps passwords out of what the tool prints: the values of password keys in connection
// strings become "***", and so does any other occurrence of a known password.
class Redactor {
public:
    // Passwords shorter than this are masked only as connection-string values: masking every
    // occurrence of a one- or two-character text would garble the rest of the output.
    static constexpr size_t kMinLiteralLength = 3;

    // Messages may carry connection strings; statements are shown as written.
    enum class TextKind { Message, Statement };

    void AddSecret(const std::wstring& strSecret);
    CString Redact(LPCWSTR lpszText, TextKind kind) const;
    // A connection string with the values of PWD and Password replaced by ***.
    static CString MaskConnectionString(LPCWSTR lpszConnect);

private:
    std::vector<std::wstring> m_secrets;
};

class CZqkApp : public CWinApp {
public:
    CZqkApp();

    int DoMessageBox(LPCWSTR lpszPrompt, UINT nType, UINT nIDPrompt) override;

    // The number of boxes shown so far; commands compare it before and after a call.
    size_t BoxCount() const { return m_boxes.size(); }
    // The texts of the boxes shown since the count was nMark.
    std::vector<CString> BoxesSince(size_t nMark) const;
    // While quiet, boxes are recorded but not written (the demo prints them itself).
    void SetQuiet(bool bQuiet) { m_bQuiet = bQuiet; }
    bool IsQuiet() const { return m_bQuiet; }

    Redactor& Secrets() { return m_redactor; }
    const Redactor& Secrets() const { return m_redactor; }

    // The word a box type is shown with: error, warning, question, information or message.
    static const char* BoxKind(UINT nType);

private:
    std::vector<CString> m_boxes;
    bool m_bQuiet = false;
    Redactor m_redactor;
};

// The application object of this process.
CZqkApp& TheApp();
