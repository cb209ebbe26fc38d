#include "Output.h"

#include <algorithm>
#include <cstdio>

#include "App.h"

namespace {

void WriteTo(std::FILE* pStream, LPCWSTR lpsz) {
    std::string str = ToUtf8(lpsz);
    std::fwrite(str.data(), 1, str.size(), pStream);
    std::fflush(pStream);
}

} // namespace

std::string ToUtf8(LPCWSTR lpsz) {
    if (lpsz == nullptr || *lpsz == 0)
        return std::string();
    // A COM string's narrow form is in the process's narrow code page, which this tool
    // leaves at its default, UTF-8: what the terminal and files speak.
    _bstr_t bstr(lpsz);
    const char* psz = bstr;
    return psz ? std::string(psz) : std::string();
}

void WriteOut(LPCWSTR lpsz) {
    WriteTo(stdout, lpsz);
}
void WriteErr(LPCWSTR lpsz) {
    WriteTo(stderr, lpsz);
}

void ReportProblem(const CString& strText) {
    // Names the user gave may hold a password too.
    WriteErr(L"zqk: " + TheApp().Secrets().Redact(strText, Redactor::TextKind::Message) + L"\n");
}

TextTable::TextTable() {
    m_list.Create(LVS_REPORT, CRect(0, 0, 0, 0), nullptr, 0);
}

void TextTable::AddColumn(LPCWSTR lpszHeading, Align align) {
    m_list.InsertColumn(m_list.GetColumnCount(), lpszHeading,
                        align == Align::Right ? LVCFMT_RIGHT : LVCFMT_LEFT);
}

void TextTable::AddRow(const std::vector<CString>& cells) {
    int nItem =
        m_list.InsertItem(m_list.GetItemCount(), cells.empty() ? L"" : cells[0].GetString());
    for (size_t i = 1; i < cells.size(); ++i)
        m_list.SetItemText(nItem, static_cast<int>(i), cells[i]);
}

CString TextTable::Render() const {
    return ZqkRenderListCtrl(m_list);
}

CString RenderValueTable(CZORValueTable& table) {
    CStringArray labels;
    table.GetLableRecord(labels);
    int nColumns = static_cast<int>(labels.GetSize());
    for (int i = 0; i < table.GetTableLogicSize(); ++i) {
        CZORValueRecord rec;
        table.GetValueRecord(i, rec);
        nColumns = std::max(nColumns, rec.GetLableLogicSize());
    }
    TextTable text;
    for (int c = 0; c < nColumns; ++c)
        text.AddColumn(c < labels.GetSize() ? labels[c].GetString() : L"");
    table.ShowToListCtrl(&text.Control(), -1);
    return text.Render();
}

CString CsvRecord(const std::vector<CString>& fields) {
    CString strOut;
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i > 0)
            strOut += L',';
        const CString& str = fields[i];
        if (str.FindOneOf(L",\"\r\n") < 0) {
            strOut += str;
            continue;
        }
        CString strQuoted = str;
        strQuoted.Replace(L"\"", L"\"\"");
        strOut += L"\"" + strQuoted + L"\"";
    }
    return strOut + L"\r\n";
}

CString JsonString(LPCWSTR lpsz) {
    CString strOut(L"\"");
    for (; lpsz && *lpsz; ++lpsz) {
        wchar_t ch = *lpsz;
        LPCWSTR lpszEscape = ch == L'"'    ? L"\\\""
                             : ch == L'\\' ? L"\\\\"
                             : ch == L'\n' ? L"\\n"
                             : ch == L'\r' ? L"\\r"
                             : ch == L'\t' ? L"\\t"
                                           : nullptr;
        if (lpszEscape != nullptr)
            strOut += lpszEscape;
        else if (ch < 0x20)
            strOut.AppendFormat(L"\\u%04x", static_cast<int>(ch));
        else
            strOut += ch;
    }
    return strOut + L"\"";
}

CString ComErrorReport(const _com_error& e) {
    CString strReport;
    strReport.Format(
        L"Error:\n\tCode = %08lx\n\tCode meaning = %s\n\tSource = %s\n\tDescription = %s\n",
        e.Error(), e.ErrorMessage(), static_cast<const wchar_t*>(e.Source()),
        static_cast<const wchar_t*>(e.Description()));
    return strReport;
}

CString ExceptionText(const CException* pException) {
    return pException ? pException->GetErrorText() : CString(L"unknown error");
}

CString CountOf(long long nCount, LPCWSTR lpszOne, LPCWSTR lpszMany) {
    CString str;
    str.Format(L"%lld %s", nCount, nCount == 1 ? lpszOne : lpszMany);
    return str;
}
