// Draws a list control's contents as an aligned text table.
#include <algorithm>
#include <vector>

#include "platform/afx/CListCtrl.h"

namespace {

// A cell as drawn: control characters would break the line or the alignment.
CString Printable(const CString& str) {
    CString out = str;
    for (int i = 0; i < out.GetLength(); ++i) {
        wchar_t ch = out.GetAt(i);
        if (ch < 0x20 || ch == 0x7F)
            out.SetAt(i, L' ');
    }
    return out;
}

void AppendPadded(CString& line, const CString& cell, int nWidth, bool bRight, bool bLast) {
    int nPad = nWidth - ZqkDisplayWidth(cell);
    if (bRight && nPad > 0)
        line += CString(L' ', nPad);
    line += cell;
    if (!bRight && !bLast && nPad > 0)
        line += CString(L' ', nPad);
}

} // namespace

CString ZqkRenderListCtrl(const CListCtrl& list, const ZqkListTextOptions& options) {
    struct Col {
        CString strHeading;
        int nSubItem;
        bool bRight;
        int nWidth;
    };
    std::vector<Col> cols;
    int nColumns = list.GetColumnCount();
    for (int c = 0; c < nColumns; ++c) {
        wchar_t szHeading[256];
        LVCOLUMN lvc{};
        lvc.mask = LVCF_TEXT | LVCF_FMT | LVCF_SUBITEM;
        lvc.pszText = szHeading;
        lvc.cchTextMax = 256;
        if (!list.GetColumn(c, &lvc))
            continue;
        cols.push_back({Printable(szHeading), lvc.iSubItem, (lvc.fmt & 3) == LVCFMT_RIGHT, 0});
    }
    bool bHeadings = options.bHeadings && !cols.empty();
    if (cols.empty())
        cols.push_back({CString(), 0, false, 0});

    int nItems = list.GetItemCount();
    std::vector<std::vector<CString>> cells(static_cast<size_t>(nItems));
    for (Col& col : cols) {
        if (bHeadings)
            col.nWidth = ZqkDisplayWidth(col.strHeading);
    }
    for (int i = 0; i < nItems; ++i) {
        auto& row = cells[static_cast<size_t>(i)];
        for (Col& col : cols) {
            row.push_back(Printable(list.GetItemText(i, col.nSubItem)));
            col.nWidth = std::max(col.nWidth, ZqkDisplayWidth(row.back()));
        }
    }

    LPCWSTR lpszSeparator = options.lpszSeparator ? options.lpszSeparator : L"";
    CString strOut;
    auto appendRow = [&](auto cellOf) {
        CString line;
        for (size_t c = 0; c < cols.size(); ++c) {
            if (c > 0)
                line += lpszSeparator;
            AppendPadded(line, cellOf(c), cols[c].nWidth, cols[c].bRight, c + 1 == cols.size());
        }
        line.TrimRight(L' '); // an empty last cell leaves no blanks behind
        strOut += line;
        strOut += L'\n';
    };
    if (bHeadings) {
        appendRow([&](size_t c) { return cols[c].strHeading; });
        // The rule follows the separator: blanks become dashes, anything else a '+'.
        CString rule;
        for (size_t c = 0; c < cols.size(); ++c) {
            if (c > 0) {
                for (LPCWSTR p = lpszSeparator; *p; ++p)
                    rule += *p == L' ' ? L'-' : L'+';
            }
            rule += CString(L'-', cols[c].nWidth);
        }
        strOut += rule;
        strOut += L'\n';
    }
    for (int i = 0; i < nItems; ++i)
        appendRow([&](size_t c) { return cells[static_cast<size_t>(i)][c]; });
    return strOut;
}
