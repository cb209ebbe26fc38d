// What the tool writes: UTF-8 text on standard output and standard error, aligned tables
// (every one drawn by the list control's text renderer), CSV records, JSON strings, and the
// texts of failures.
#pragma once

#include <string>
#include <vector>

#include <zqk_vododuvod.h>

std::string ToUtf8(LPCWSTR lpsz);
void WriteOut(LPCWSTR lpsz);
void WriteErr(LPCWSTR lpsz);
// "zqk: " + text + newline on standard error.
void ReportProblem(const CString& strText);

// Column alignment in a text table.
enum class Align { Left, Right };

// A report-view list control used only to be drawn as text.
class TextTable {
public:
    TextTable();
    TextTable(const TextTable&) = delete;
    TextTable& operator=(const TextTable&) = delete;

    void AddColumn(LPCWSTR lpszHeading, Align align = Align::Left);
    void AddRow(const std::vector<CString>& cells);
    CListCtrl& Control() { return m_list; }
    int RowCount() const { return m_list.GetItemCount(); }
    CString Render() const;

private:
    CListCtrl m_list;
};

// A value table drawn with its label record as headings; the columns are as many as the
// widest of the labels and the rows.
CString RenderValueTable(CZORValueTable& table);

// One CSV record (RFC 4180 quoting) with its line end.
CString CsvRecord(const std::vector<CString>& fields);
// A JSON string literal.
CString JsonString(LPCWSTR lpsz);

// The five-line report of a COM failure, in the library's own layout.
CString ComErrorReport(const _com_error& e);
// The message of a framework exception.
CString ExceptionText(const CException* pException);

// "1 row", "2 rows".
CString CountOf(long long nCount, LPCWSTR lpszOne, LPCWSTR lpszMany);
