// zqk sql: runs statements and prints what they return, as an aligned table, CSV or JSON.
#include <iostream>

#include "App.h"
#include "Commands.h"
#include "Output.h"
#include "Session.h"

namespace {

const char* const kHelp =
    "usage: zqk sql [-c CONN] [--csv|--json] STATEMENT...\n"
    "\n"
    "Runs each STATEMENT (without one, the statements on standard input: one per line, or\n"
    "batches separated by lines holding only GO). A query prints its rows as an aligned table\n"
    "(NULL shown as NULL), as CSV, or as JSON; any other statement prints the rows it changed.\n"
    "The first statement that fails prints the library's error report and ends the command\n"
    "with status 1.\n"
    "\n"
    "  --csv                  rows as CSV with a heading record (NULL as an empty field)\n"
    "  --json                 rows as a JSON array of objects; other statements as\n"
    "                         {\"rows_affected\": N}\n";

enum class ResultFormat { Table, Csv, Json };

// Binary values are not drawn; their size is.
bool IsBinary(const VARIANT& var) {
    return (var.vt & VT_ARRAY) != 0;
}

bool IsNumericType(DataTypeEnum nType) {
    switch (nType) {
    case adTinyInt:
    case adSmallInt:
    case adInteger:
    case adBigInt:
    case adUnsignedTinyInt:
    case adUnsignedSmallInt:
    case adUnsignedInt:
    case adUnsignedBigInt:
    case adSingle:
    case adDouble:
    case adCurrency:
    case adDecimal:
    case adNumeric:
    case adVarNumeric:
        return true;
    default:
        return false;
    }
}

CString BinaryText(const VARIANT& var) {
    LONG nLower = 0, nUpper = -1;
    if (var.parray) {
        SafeArrayGetLBound(var.parray, 1, &nLower);
        SafeArrayGetUBound(var.parray, 1, &nUpper);
    }
    return L"<" + CountOf(static_cast<long long>(nUpper) - nLower + 1, L"byte", L"bytes") + L">";
}

// The text of a cell (VT_NULL is handled by the callers, each in its own way).
CString CellText(const VARIANT& var) {
    if (IsBinary(var))
        return BinaryText(var);
    if (var.vt == VT_BSTR)
        return CString(var.bstrVal ? var.bstrVal : L"");
    if (var.vt == VT_EMPTY)
        return CString();
    VARIANT text;
    VariantInit(&text);
    if (FAILED(VariantChangeType(&text, &var, 0, VT_BSTR)))
        return CString(L"<?>");
    CString str(text.bstrVal ? text.bstrVal : L"");
    VariantClear(&text);
    return str;
}

bool IsJsonNumber(const CString& str) {
    int i = 0, n = str.GetLength();
    auto digits = [&]() {
        int nStart = i;
        while (i < n && str[i] >= L'0' && str[i] <= L'9')
            ++i;
        return i > nStart;
    };
    if (i < n && str[i] == L'-')
        ++i;
    if (!digits())
        return false;
    if (i < n && str[i] == L'.') {
        ++i;
        if (!digits())
            return false;
    }
    if (i < n && (str[i] == L'e' || str[i] == L'E')) {
        ++i;
        if (i < n && (str[i] == L'+' || str[i] == L'-'))
            ++i;
        if (!digits())
            return false;
    }
    return i == n;
}

CString JsonValue(const VARIANT& var) {
    if (var.vt == VT_NULL || var.vt == VT_EMPTY)
        return CString(L"null");
    if (var.vt == VT_BOOL)
        return CString(var.boolVal ? L"true" : L"false");
    CString strText = CellText(var);
    switch (var.vt) {
    case VT_I1:
    case VT_I2:
    case VT_I4:
    case VT_I8:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_UI8:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_R8:
    case VT_CY:
    case VT_DECIMAL:
        if (IsJsonNumber(strText))
            return strText;
        break;
    default:
        break;
    }
    return JsonString(strText);
}

// Prints one result set in the chosen format; returns the number of rows.
long long PrintRows(_Recordset* pRecordset, ResultFormat format) {
    FieldsPtr pFields = pRecordset->GetFields();
    long nColumns = pFields->GetCount();
    std::vector<CString> names;
    for (long c = 0; c < nColumns; ++c)
        names.push_back(
            CString(static_cast<const wchar_t*>(pFields->GetItem(_variant_t(c))->GetName())));

    TextTable table;
    bool bFirstRow = true;
    long long nRows = 0;
    if (format == ResultFormat::Csv)
        WriteOut(CsvRecord(names));
    if (format == ResultFormat::Json)
        WriteOut(L"[");
    while (!pRecordset->GetadoEOF()) {
        if (bFirstRow && format == ResultFormat::Table) {
            // A column's type may only be known once a row has been read.
            for (long c = 0; c < nColumns; ++c) {
                bool bNumber = IsNumericType(pFields->GetItem(_variant_t(c))->GetType());
                table.AddColumn(names[static_cast<size_t>(c)],
                                bNumber ? Align::Right : Align::Left);
            }
        }
        std::vector<CString> cells;
        CString strJson(L"{");
        for (long c = 0; c < nColumns; ++c) {
            _variant_t value = pFields->GetItem(_variant_t(c))->GetValue();
            if (format == ResultFormat::Json) {
                if (c > 0)
                    strJson += L", ";
                strJson += JsonString(names[static_cast<size_t>(c)]) + L": " + JsonValue(value);
            } else if (value.vt == VT_NULL) {
                cells.push_back(format == ResultFormat::Table ? CString(L"NULL") : CString());
            } else {
                cells.push_back(CellText(value));
            }
        }
        if (format == ResultFormat::Table)
            table.AddRow(cells);
        else if (format == ResultFormat::Csv)
            WriteOut(CsvRecord(cells));
        else
            WriteOut((bFirstRow ? L"\n  " : L",\n  ") + strJson + L"}");
        bFirstRow = false;
        ++nRows;
        pRecordset->MoveNext();
    }
    if (format == ResultFormat::Table) {
        if (bFirstRow) {
            for (const CString& strName : names)
                table.AddColumn(strName);
        }
        WriteOut(table.Render() + L"(" + CountOf(nRows, L"row", L"rows") + L")\n");
    } else if (format == ResultFormat::Json) {
        WriteOut(bFirstRow ? L"]\n" : L"\n]\n");
    }
    return nRows;
}

bool RunStatement(Session& session, const CString& strStatement, ResultFormat format) {
    try {
        _ConnectionPtr pConnection = session.Connection();
        if (!pConnection) {
            ReportProblem(L"no connection");
            return false;
        }
        _variant_t affected;
        _RecordsetPtr pRecordset =
            pConnection->Execute(_bstr_t(strStatement.GetString()), &affected, adCmdText);
        if (pRecordset) {
            PrintRows(pRecordset, format);
            return true;
        }
        long long nAffected = affected.vt == VT_EMPTY ? 0 : static_cast<long long>(affected);
        if (format == ResultFormat::Json) {
            CString str;
            str.Format(L"{\"rows_affected\": %lld}\n", nAffected);
            WriteOut(str);
        } else {
            CString strLine = CountOf(nAffected, L"row", L"rows") + L" affected\n";
            // CSV output stays data only; the count goes beside it.
            format == ResultFormat::Csv ? WriteErr(strLine) : WriteOut(strLine);
        }
        return true;
    } catch (_com_error& e) {
        AfxMessageBox(ComErrorReport(e), MB_OK);
        return false;
    }
}

bool IsGoLine(const std::string& strLine) {
    size_t nFirst = strLine.find_first_not_of(" \t\r");
    if (nFirst == std::string::npos)
        return false;
    size_t nLast = strLine.find_last_not_of(" \t\r");
    std::string strWord = strLine.substr(nFirst, nLast - nFirst + 1);
    return strWord.size() == 2 && (strWord[0] == 'G' || strWord[0] == 'g') &&
           (strWord[1] == 'O' || strWord[1] == 'o');
}

bool IsBlank(const std::string& str) {
    return str.find_first_not_of(" \t\r\n") == std::string::npos;
}

// Statements from a script: GO lines split batches when there are any, otherwise every
// non-blank line is a statement.
std::vector<std::string> SplitScript(std::istream& input) {
    std::vector<std::string> lines;
    bool bBatches = false;
    for (std::string strLine; std::getline(input, strLine);) {
        bBatches = bBatches || IsGoLine(strLine);
        lines.push_back(strLine);
    }
    std::vector<std::string> statements;
    std::string strBatch;
    for (const std::string& strLine : lines) {
        if (!bBatches) {
            if (!IsBlank(strLine))
                statements.push_back(strLine);
        } else if (IsGoLine(strLine)) {
            if (!IsBlank(strBatch))
                statements.push_back(strBatch);
            strBatch.clear();
        } else {
            strBatch += strLine + "\n";
        }
    }
    if (bBatches && !IsBlank(strBatch))
        statements.push_back(strBatch);
    return statements;
}

} // namespace

ExitStatus RunSql(const Args& args) {
    ParsedArgs parsed = ParseArgs(
        args,
        WithConnectionOptions({{"csv", 0, OptionArity::Switch}, {"json", 0, OptionArity::Switch}}),
        0, SIZE_MAX);
    if (parsed.Has("help"))
        return PrintHelp((std::string(kHelp) + "\n" + kConnectionHelp).c_str());
    if (parsed.Has("csv") && parsed.Has("json"))
        throw UsageError("choose one of --csv and --json");
    ResultFormat format = parsed.Has("csv")    ? ResultFormat::Csv
                          : parsed.Has("json") ? ResultFormat::Json
                                               : ResultFormat::Table;
    std::vector<std::string> statements = parsed.positionals;
    if (statements.empty())
        statements = SplitScript(std::cin);
    if (statements.empty())
        throw UsageError("no statement given (as arguments or on standard input)");

    Session session(TheApp());
    if (!OpenSession(session, parsed))
        return ExitStatus::Failed;
    for (const std::string& strStatement : statements) {
        if (!RunStatement(session, CString(strStatement.c_str()), format))
            return ExitStatus::Failed;
    }
    return ExitStatus::Ok;
}
