// FORMAT(value, format[, culture]) for the en-US culture: the standard numeric formats N, F, D
// and P with their precisions, custom numeric patterns of 0 # , and ., the standard date
// formats d and D, and custom date patterns. Any other format string or culture is refused by
// name: it would need .NET's formatting, which the embedded database does not have.
#include <strings.h>

#include <cmath>
#include <string>

#include "platform/ado/sqlite/SqlServerDates.h"
#include "platform/ado/sqlite/SqlServerFunctions.h"
#include "platform/ado/sqlite/SqlServerStrings.h"

namespace {

const char kCulture[] = "en-US";

std::string Unsupported(const std::string& strFormat) {
    return "The format string '" + strFormat +
           "' is not supported by FORMAT on the embedded database.";
}

// Digits with a comma between each group of three.
std::string Grouped(const std::string& digits) {
    std::string r;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            r += ',';
        r += digits[i];
    }
    return r;
}

// A number with nDecimals decimals, grouped or not.
std::string Standard(double d, int nDecimals, bool bGroups) {
    std::string s = SqlFixed(d, nDecimals);
    bool bNegative = s[0] == '-';
    if (bNegative)
        s.erase(0, 1);
    size_t nPoint = s.find('.');
    std::string whole = s.substr(0, nPoint),
                fraction = nPoint == std::string::npos ? std::string() : s.substr(nPoint);
    return (bNegative ? "-" : "") + (bGroups ? Grouped(whole) : whole) + fraction;
}

// A custom numeric pattern of 0 # , and . only; false for any other.
bool CustomNumber(double d, const std::string& f, std::string* pOut) {
    if (f.find_first_not_of("0#,.") != std::string::npos ||
        f.find_first_of("0#") == std::string::npos)
        return false;
    size_t nPoint = f.find('.');
    std::string whole = f.substr(0, nPoint),
                fraction = nPoint == std::string::npos ? std::string() : f.substr(nPoint + 1);
    if (fraction.find_first_of(",.") != std::string::npos || fraction.size() > 99 ||
        (!whole.empty() && whole.back() == ','))
        return false; // scaling commas and second points are .NET's, not this subset's
    int nMinWhole = 0, nMinFraction = 0;
    for (char c : whole)
        nMinWhole += c == '0';
    for (char c : fraction)
        nMinFraction += c == '0';
    std::string s = SqlFixed(std::fabs(d), static_cast<int>(fraction.size()));
    size_t nAt = s.find('.');
    std::string digits = s.substr(0, nAt),
                decimals = nAt == std::string::npos ? "" : s.substr(nAt + 1);
    while (static_cast<int>(decimals.size()) > nMinFraction && decimals.back() == '0')
        decimals.pop_back();
    if (digits == "0" && nMinWhole == 0)
        digits.clear();
    while (static_cast<int>(digits.size()) < nMinWhole)
        digits.insert(0, "0");
    if (whole.find(',') != std::string::npos)
        digits = Grouped(digits);
    bool bZero = (digits + decimals).find_first_not_of("0,") == std::string::npos;
    *pOut = (d < 0 && !bZero ? "-" : "") + digits + (decimals.empty() ? "" : "." + decimals);
    return true;
}

// A number by a standard format ("N2", "P", "D5") or a custom pattern. *pbNull for a format
// .NET rejects for the value (D of a fraction): SQL Server's FORMAT gives NULL then.
bool FormatNumber(double d, const std::string& f, std::string* pOut, bool* pbNull) {
    char c = f.empty() ? 0 : static_cast<char>(f[0] & ~0x20);
    bool bStandard = f.size() <= 3 && c >= 'A' && c <= 'Z' &&
                     f.find_first_not_of("0123456789", 1) == std::string::npos;
    if (!bStandard)
        return CustomNumber(d, f, pOut);
    int nPrecision = f.size() > 1 ? std::stoi(f.substr(1)) : -1;
    switch (c) {
    case 'N':
        *pOut = Standard(d, nPrecision < 0 ? 2 : nPrecision, true);
        return true;
    case 'F':
        *pOut = Standard(d, nPrecision < 0 ? 2 : nPrecision, false);
        return true;
    case 'P':
        *pOut = Standard(d * 100, nPrecision < 0 ? 2 : nPrecision, true) + " %";
        return true;
    case 'D': {
        if (d != std::floor(d) || std::fabs(d) > 9.2e18) {
            *pbNull = true;
            return true;
        }
        std::string digits = SqlFixed(std::fabs(d), 0);
        while (static_cast<int>(digits.size()) < nPrecision)
            digits.insert(0, "0");
        *pOut = (d < 0 ? "-" : "") + digits;
        return true;
    }
    default:
        return false; // C, E, G, X, R ...: they follow a culture or .NET itself
    }
}

std::string Padded(int n, size_t nWidth) {
    std::string s = std::to_string(n);
    return s.size() < nWidth ? std::string(nWidth - s.size(), '0') + s : s;
}

// A custom date pattern; false for letters this subset does not read.
bool CustomDate(const CSqlDateParts& p, const std::string& f, std::string* pOut) {
    std::string& r = *pOut;
    for (size_t i = 0; i < f.size();) {
        char c = f[i];
        size_t n = 1;
        while (i + n < f.size() && f[i + n] == c)
            ++n;
        int h12 = p.h % 12 == 0 ? 12 : p.h % 12;
        if (c == '\'' || c == '"') {
            size_t nClose = f.find(c, i + 1);
            if (nClose == std::string::npos)
                return false;
            r += f.substr(i + 1, nClose - i - 1);
            i = nClose + 1;
            continue;
        }
        if (c == '\\' && i + 1 < f.size()) {
            r += f[i + 1];
            i += 2;
            continue;
        }
        if (c == 'y' && (n == 2 || n == 4))
            r += n == 4 ? Padded(p.y, 4) : Padded(p.y % 100, 2);
        else if (c == 'M' && n <= 4)
            r += n >= 3 ? std::string(kSqlMonthNames[p.mo - 1]).substr(0, n == 3 ? 3 : 20)
                        : Padded(p.mo, n);
        else if (c == 'd' && n <= 4)
            r += n >= 3 ? std::string(kSqlDayNames[p.nWeekday]).substr(0, n == 3 ? 3 : 20)
                        : Padded(p.d, n);
        else if ((c == 'H' || c == 'h' || c == 'm' || c == 's') && n <= 2)
            r += Padded(c == 'H' ? p.h : c == 'h' ? h12 : c == 'm' ? p.mi : p.s, n);
        else if (c == 'f' && n <= 3)
            r += Padded(p.ms, 3).substr(0, n);
        else if (c == 't' && n <= 2)
            r += std::string(p.h < 12 ? "AM" : "PM").substr(0, n);
        else if (std::string(" -/:.,T").find(c) != std::string::npos)
            r += std::string(n, c);
        else
            return false;
        i += n;
    }
    return true;
}

bool FormatDate(const CSqlDateParts& p, const std::string& f, std::string* pOut) {
    if (f == "d")
        return CustomDate(p, "M/d/yyyy", pOut);
    if (f == "D")
        return CustomDate(p, "dddd, MMMM d, yyyy", pOut);
    return f.size() > 1 && CustomDate(p, f, pOut);
}

void FormatFn(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL)
        return;
    std::string f = reinterpret_cast<const char*>(sqlite3_value_text(argv[1]));
    if (argc > 2 && sqlite3_value_type(argv[2]) != SQLITE_NULL) {
        std::string culture = reinterpret_cast<const char*>(sqlite3_value_text(argv[2]));
        if (culture.size() != 5 || strncasecmp(culture.c_str(), kCulture, 5) != 0) {
            std::string m = "FORMAT with the culture '" + culture +
                            "' is not supported by the embedded database; it formats en-US only.";
            sqlite3_result_error(ctx, m.c_str(), -1);
            return;
        }
    }
    int nClass = sqlite3_value_type(argv[0]);
    std::string out;
    bool bOk = false, bNull = false;
    CSqlDateParts parts;
    if (nClass == SQLITE_INTEGER || nClass == SQLITE_FLOAT) {
        bOk = FormatNumber(sqlite3_value_double(argv[0]), f, &out, &bNull);
    } else if (nClass == SQLITE_TEXT && SqlReadDate(argv[0], &parts)) {
        bOk = FormatDate(parts, f, &out);
    } else {
        // SQL Server's FORMAT takes numbers and dates only.
        sqlite3_result_error(
            ctx, "Argument data type nvarchar is invalid for argument 1 of format function.", -1);
        return;
    }
    if (!bOk) {
        std::string m = Unsupported(f);
        sqlite3_result_error(ctx, m.c_str(), -1);
    } else if (!bNull) {
        sqlite3_result_text(ctx, out.data(), static_cast<int>(out.size()), SQLITE_TRANSIENT);
    }
}

} // namespace

int SqlRegisterFormat(sqlite3* pDb) {
    const CSqlPureFunction functions[] = {{"format", 2, &FormatFn}, {"format", 3, &FormatFn}};
    return SqlRegisterPure(pDb, functions);
}
