#include "platform/ado/sqlite/SqlServerConvert.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwctype>
#include <strings.h>

#include "platform/ado/sqlite/SqlServerBinary.h"
#include "platform/ado/sqlite/SqlServerDates.h"
#include "platform/ado/sqlite/SqlServerFunctions.h"
#include "platform/com/Variant.h"
#include "platform/win/TextEncoding.h"

namespace {

const wchar_t kNotADate[] =
    L"Conversion failed when converting date and/or time from character string.";

std::string Trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos)
        return std::string();
    return s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
}

// A number rounded to a number of decimals as its decimal text reads, half away from zero:
// 2.345 to two decimals is 2.35, though the double nearest 2.345 lies just below it.
double RoundDecimal(double d, int nScale) {
    if (!std::isfinite(d))
        return d;
    char sz[40];
    snprintf(sz, sizeof(sz), "%.14e", std::fabs(d)); // "d.dddddddddddddde+xx": 15 digits
    std::string digits = std::string(1, sz[0]) + std::string(sz + 2, 14);
    int nExponent = std::atoi(std::strchr(sz, 'e') + 1);
    int nKeep = nExponent + 1 + nScale; // digits before the cut
    if (nKeep >= static_cast<int>(digits.size()))
        return d;
    if (nKeep < 0)
        return 0;
    std::string kept = digits.substr(0, static_cast<size_t>(nKeep));
    if (digits[static_cast<size_t>(nKeep)] >= '5') {
        int k = nKeep - 1;
        for (; k >= 0 && kept[static_cast<size_t>(k)] == '9'; --k)
            kept[static_cast<size_t>(k)] = '0';
        if (k >= 0)
            ++kept[static_cast<size_t>(k)];
        else
            kept.insert(kept.begin(), '1'), ++nExponent;
    }
    std::string text =
        "0." + (kept.empty() ? std::string("0") : kept) + "e" + std::to_string(nExponent + 1);
    double r = std::strtod(text.c_str(), nullptr);
    return d < 0 ? -r : r;
}

// Text written as a date (yyyy-mm-dd, yyyy/mm/dd, yyyymmdd) whose numbers may still name no
// day, which SQL Server reports as out of range rather than as no date.
bool LooksLikeDate(const std::string& text) {
    std::string s = Trim(text);
    auto digits = [&](size_t nFrom, size_t nMin, size_t nMax) {
        size_t n = nFrom;
        while (n < s.size() && n - nFrom < nMax && isdigit(static_cast<unsigned char>(s[n])))
            ++n;
        return n - nFrom >= nMin ? n : std::string::npos;
    };
    size_t n = digits(0, 4, 8);
    if (n == 8)
        return true;
    if (n != 4 || n >= s.size() || (s[n] != '-' && s[n] != '/'))
        return false;
    char chSeparator = s[n];
    n = digits(n + 1, 1, 2);
    return n != std::string::npos && n < s.size() && s[n] == chSeparator &&
           digits(n + 1, 1, 2) != std::string::npos;
}

// A date as smalldatetime keeps it: to the minute, 29.998 seconds and less rounded down.
DATE ToMinute(DATE date) {
    double dDay = std::floor(date);
    double dMs = std::round((date - dDay) * 86400000.0);
    double dMinutes = std::floor(dMs / 60000.0);
    if (dMs - dMinutes * 60000.0 >= 29999.0)
        ++dMinutes;
    return dDay + dMinutes / 1440.0;
}

std::string NumberText(double d) {
    char sz[64];
    snprintf(sz, sizeof(sz), "%.15g", d);
    return sz;
}

// A plain decimal number ("-0012.340") by its parts.
struct CDecimalDigits {
    bool bNegative = false;
    bool bPoint = false;
    std::string whole, fraction;
};

bool ReadDecimal(const std::string& s, CDecimalDigits* p) {
    size_t i = 0;
    if (i < s.size() && (s[i] == '-' || s[i] == '+'))
        p->bNegative = s[i++] == '-';
    for (; i < s.size() && isdigit(static_cast<unsigned char>(s[i])); ++i)
        p->whole += s[i];
    if (i < s.size() && s[i] == '.') {
        p->bPoint = true;
        for (++i; i < s.size() && isdigit(static_cast<unsigned char>(s[i])); ++i)
            p->fraction += s[i];
    }
    return !(p->whole.empty() && p->fraction.empty()) && i == s.size();
}

// Cuts the decimals to nScale, the last one rounded half away from zero as SQL Server stores
// it; the whole part loses its leading zeros.
void RoundDigits(CDecimalDigits* p, size_t nScale) {
    if (p->fraction.size() > nScale) {
        bool bUp = p->fraction[nScale] >= '5';
        p->fraction.resize(nScale);
        if (bUp) {
            std::string all = p->whole + p->fraction;
            size_t k = all.size();
            while (k > 0 && all[k - 1] == '9')
                all[--k] = '0';
            if (k == 0)
                all.insert(all.begin(), '1');
            else
                ++all[k - 1];
            p->whole = all.substr(0, all.size() - nScale);
            p->fraction = all.substr(p->whole.size());
        }
    }
    p->whole.erase(0, p->whole.find_first_not_of('0'));
}

// Whether the whole part lies beyond money's (or smallmoney's): the range rule, which compares
// doubles, surely refuses those. Values past the limit by less than one are left to the
// digits' rule, as a double near the limit cannot tell them from those within.
bool BeyondMoney(const CDecimalDigits& d, const CSqlServerTypeRow& row) {
    std::string whole = row.nXtype == 122 ? "214748" : "922337203685477";
    return d.whole.size() != whole.size() ? d.whole.size() > whole.size() : d.whole > whole;
}

// SQLite keeps a number without a point as an integer, and so do conversions to numeric(p,0).
SqlWholeValues WholeValuesOf(const CSqlDeclaredType& type) {
    return type.pRow->nAdoType == adNumeric && type.nScale == 0 ? SqlWholeValues::kKept
                                                                : SqlWholeValues::kThroughDouble;
}

// Whether a value already at its scale has no more whole digits than decimal(p,s) keeps
// (p - s); money and types without a precision always do here.
bool FitsPrecision(const CSqlDeclaredType& type, double d) {
    if (type.pRow->nAdoType != adNumeric || type.nPrec <= 0)
        return true;
    return std::fabs(d) < std::pow(10.0, type.nPrec - type.nScale);
}

// SQL Server's 8115 for a value too large for decimal(p,s), naming what the value was: a whole
// number within an int's range is an int, text is varchar, anything else numeric.
std::wstring DecimalOverflowText(const CSqlValue& v) {
    const wchar_t* pszFrom = v.nClass == SQLITE_TEXT ? L"varchar"
                             : v.nClass == SQLITE_INTEGER && v.n >= INT_MIN && v.n <= INT_MAX
                                 ? L"int"
                                 : L"numeric";
    return std::wstring(L"Arithmetic overflow error converting ") + pszFrom +
           L" to data type numeric.";
}

bool FitsInteger(const std::string& whole) {
    return whole.size() < 19 || (whole.size() == 19 && whole <= "9223372036854775807");
}

} // namespace

bool SqlExactlyStored(const CSqlDeclaredType& type, const std::string& strNumber,
                      SqlWholeValues nWhole, std::wstring* pstrError, std::string* pstrRounded) {
    const CSqlServerTypeRow& row = *type.pRow;
    CDecimalDigits d;
    std::string text = Trim(strNumber);
    if (row.nClass != SqlTypeClass::kExact || !ReadDecimal(text, &d))
        return true;
    bool bDecimal = row.nAdoType == adNumeric;
    size_t nScale = static_cast<size_t>(bDecimal ? std::max(0, type.nScale) : 4);
    bool bCut = d.fraction.size() > nScale;
    RoundDigits(&d, nScale);
    if (pstrRounded)
        *pstrRounded = !bCut ? std::string()
                             : (d.bNegative ? "-" : "") + (d.whole.empty() ? "0" : d.whole) +
                                   (d.fraction.empty() ? "" : "." + d.fraction);
    if (bDecimal ? static_cast<int>(d.whole.size()) > type.nPrec - type.nScale
                 : BeyondMoney(d, row))
        return true;
    std::string digits = d.whole + d.fraction;
    digits.erase(0, digits.find_first_not_of('0'));
    digits.erase(digits.find_last_not_of('0') + 1);
    const size_t kDoubleDigits = 15;
    if (digits.size() <= kDoubleDigits ||
        (nWhole == SqlWholeValues::kKept && !d.bPoint && FitsInteger(d.whole)))
        return true;
    std::wstring name = WinUtf8ToWide(row.pszName);
    if (bDecimal)
        name += L"(" + std::to_wstring(type.nPrec) + L"," + std::to_wstring(type.nScale) + L")";
    *pstrError = L"The value " + WinUtf8ToWide(text) + L" needs " + std::to_wstring(digits.size()) +
                 L" significant digits as " + name +
                 L"; the embedded database keeps decimal and money values exact to 15" +
                 (bDecimal ? L"." : L", not money's full range.");
    return false;
}

bool SqlExactLiteral(const CSqlDeclaredType& type, const std::wstring& strValue,
                     std::wstring* pstrRounded, std::wstring* pstrError) {
    pstrRounded->clear();
    if (type.pRow->nClass != SqlTypeClass::kExact)
        return true;
    // A sign the writer may have kept apart from its number: "- 12.5".
    std::string text;
    for (wchar_t ch : strValue) {
        if (iswspace(ch))
            continue;
        if (!iswdigit(ch) && ch != L'.' && ch != L'-' && ch != L'+')
            return true;
        text += static_cast<char>(ch);
    }
    std::string rounded;
    if (!SqlExactlyStored(type, text, WholeValuesOf(type), pstrError, &rounded))
        return false;
    *pstrRounded = WinUtf8ToWide(rounded);
    return true;
}

bool SqlParseDate(const std::string& text, DATE* pDate) {
    std::string s = Trim(text);
    if (s.size() >= 8 && s.find_first_not_of("0123456789", 0) >= 8 &&
        (s.size() == 8 || s[8] == ' ')) {
        std::string iso =
            s.substr(0, 4) + "-" + s.substr(4, 2) + "-" + s.substr(6, 2) + s.substr(8);
        return ZqkDateFromText(iso.data(), iso.size(), pDate);
    }
    if (s.size() >= 4 && (s[1] == ':' || s[2] == ':')) { // a time alone is on 1900-01-01
        DATE time;
        if (!ZqkDateFromText(s.data(), s.size(), &time))
            return false;
        *pDate = 2 + time;
        return true;
    }
    if (s.size() >= 8 && s[4] == '/')
        for (size_t i = 4; i < s.size() && s[i] != ' '; ++i)
            s[i] = s[i] == '/' ? '-' : s[i];
    return s.size() >= 8 && s[4] == '-' && ZqkDateFromText(s.data(), s.size(), pDate);
}

namespace {

// CAST or CONVERT of a value: zqk_convert(value, type[, style[, 'type of the value']]). Only an
// explicit conversion names the value's type, and only it makes bytes of text and numbers.
bool Convert(int argc, sqlite3_value** argv, CSqlValue* pValue, std::wstring* pstrError) {
    const char* pszType = reinterpret_cast<const char*>(sqlite3_value_text(argv[1]));
    CSqlDeclaredType type = SqlServerParseType(pszType ? pszType : "");
    int nStyle = argc > 2 ? sqlite3_value_int(argv[2]) : 0;
    if (argc > 3) {
        const char* pszFrom = reinterpret_cast<const char*>(sqlite3_value_text(argv[3]));
        SqlBinaryResult n = SqlConvertToBinary(type, SqlServerParseType(pszFrom ? pszFrom : ""),
                                               nStyle, pValue, pstrError);
        if (n != SqlBinaryResult::kKept)
            return n == SqlBinaryResult::kConverted;
    }
    return SqlConvert(type, nStyle, pValue, pstrError);
}

void ConvertFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    CSqlValue v = CSqlValue::Of(argv[0]);
    std::wstring problem;
    if (!Convert(argc, argv, &v, &problem)) {
        std::string m = WinWideToUtf8(problem);
        sqlite3_result_error(ctx, m.c_str(), static_cast<int>(m.size()));
        return;
    }
    v.Result(ctx);
}

// zqk_fixed(x, n): a number as text with n decimals, rounded as SQL Server rounds; NULL stays.
void FixedFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    int nClass = sqlite3_value_type(argv[0]);
    if (nClass != SQLITE_INTEGER && nClass != SQLITE_FLOAT) {
        sqlite3_result_value(ctx, argv[0]);
        return;
    }
    int nScale = sqlite3_value_int(argv[1]);
    char sz[64];
    snprintf(sz, sizeof(sz), "%.*f", nScale, RoundDecimal(sqlite3_value_double(argv[0]), nScale));
    sqlite3_result_text(ctx, sz, -1, SQLITE_TRANSIENT);
}

// TRY_CONVERT and TRY_CAST: NULL where CONVERT fails.
void TryConvertFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    CSqlValue v = CSqlValue::Of(argv[0]);
    const char* pszType = reinterpret_cast<const char*>(sqlite3_value_text(argv[1]));
    CSqlDeclaredType type = SqlServerParseType(pszType ? pszType : "");
    std::wstring problem;
    // A value the database would round is no value that fails to convert.
    if (v.nClass == SQLITE_TEXT && !SqlExactlyStored(type, v.s, WholeValuesOf(type), &problem)) {
        std::string m = WinWideToUtf8(problem);
        sqlite3_result_error(ctx, m.c_str(), static_cast<int>(m.size()));
        return;
    }
    if (Convert(argc, argv, &v, &problem))
        v.Result(ctx);
    else
        sqlite3_result_null(ctx);
}

} // namespace

CSqlValue CSqlValue::Of(sqlite3_value* v) {
    CSqlValue r;
    r.nClass = sqlite3_value_type(v);
    if (r.nClass == SQLITE_INTEGER)
        r.n = sqlite3_value_int64(v);
    else if (r.nClass == SQLITE_FLOAT)
        r.d = sqlite3_value_double(v);
    else if (r.nClass != SQLITE_NULL)
        r.s.assign(static_cast<const char*>(sqlite3_value_blob(v)),
                   static_cast<size_t>(sqlite3_value_bytes(v)));
    return r;
}

CSqlValue CSqlValue::OfColumn(sqlite3_stmt* pStmt, int nColumn) {
    return Of(sqlite3_column_value(pStmt, nColumn));
}

void CSqlValue::Bind(sqlite3_stmt* pStmt, int i) const {
    switch (nClass) {
    case SQLITE_INTEGER:
        sqlite3_bind_int64(pStmt, i, n);
        break;
    case SQLITE_FLOAT:
        sqlite3_bind_double(pStmt, i, d);
        break;
    case SQLITE_TEXT:
        sqlite3_bind_text(pStmt, i, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
        break;
    case SQLITE_BLOB:
        sqlite3_bind_blob(pStmt, i, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
        break;
    default:
        sqlite3_bind_null(pStmt, i);
    }
}

void CSqlValue::Result(sqlite3_context* ctx) const {
    switch (nClass) {
    case SQLITE_INTEGER:
        sqlite3_result_int64(ctx, n);
        break;
    case SQLITE_FLOAT:
        sqlite3_result_double(ctx, d);
        break;
    case SQLITE_TEXT:
        sqlite3_result_text(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
        break;
    case SQLITE_BLOB:
        sqlite3_result_blob(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
        break;
    default:
        sqlite3_result_null(ctx);
    }
}

bool SqlConvert(const CSqlDeclaredType& type, int nStyle, CSqlValue* pValue,
                std::wstring* pstrError) {
    CSqlValue& v = *pValue;
    if (v.nClass == SQLITE_NULL)
        return true;
    const CSqlServerTypeRow& row = *type.pRow;
    std::wstring typeName = WinUtf8ToWide(row.pszName);
    switch (row.nClass) {
    case SqlTypeClass::kInteger:
    case SqlTypeClass::kBit: {
        if (v.nClass == SQLITE_TEXT) {
            std::string s = Trim(v.s);
            char* pEnd = nullptr;
            errno = 0;
            long long n = std::strtoll(s.c_str(), &pEnd, 10);
            // bit also takes the words TRUE and FALSE, in any case.
            bool bWord = row.nClass == SqlTypeClass::kBit && (strcasecmp(s.c_str(), "true") == 0 ||
                                                              strcasecmp(s.c_str(), "false") == 0);
            if (bWord) {
                n = strcasecmp(s.c_str(), "true") == 0;
            } else if (s.empty()) {
                n = 0; // empty text (or blanks) is 0 to SQL Server's integers and bit
            } else if (errno == ERANGE && *pEnd == 0 && row.nXtype != 127) {
                n = s[0] == '-' ? LLONG_MIN : LLONG_MAX; // beyond any int: the range says so
            } else if (*pEnd || errno) {
                *pstrError = L"Conversion failed when converting the varchar value '" +
                             WinUtf8ToWide(v.s) + L"' to data type " + typeName + L".";
                return false;
            }
            v.n = n;
        } else if ((v.nClass == SQLITE_FLOAT || v.nClass == SQLITE_BLOB) &&
                   row.nClass == SqlTypeClass::kBit) {
            // Any value but zero is a 1 bit: 0.5 too, and bytes that are not all zero.
            bool bSet = v.nClass == SQLITE_FLOAT ? v.d != 0
                                                 : v.s.find_first_not_of('\0') != std::string::npos;
            v = CSqlValue();
            v.nClass = SQLITE_INTEGER;
            v.n = bSet;
            return true;
        } else if (v.nClass == SQLITE_FLOAT) {
            // Numbers to integers truncate; beyond a bigint nothing holds them.
            if (!(std::fabs(v.d) < 9223372036854775807.0)) {
                *pstrError = SqlServerOverflowText(typeName);
                return false;
            }
            v.n = static_cast<sqlite3_int64>(std::trunc(v.d));
        } else if (v.nClass == SQLITE_BLOB) {
            return true;
        }
        long long nLo = 0, nHi = 0;
        if (SqlServerIntegerRange(row, &nLo, &nHi) && (v.n < nLo || v.n > nHi)) {
            const bool bInt = row.nXtype == 56;
            if (v.nClass == SQLITE_TEXT)
                *pstrError = L"The conversion of the varchar value '" + WinUtf8ToWide(v.s) +
                             L"' overflowed " +
                             (bInt ? L"an int column."
                                   : std::wstring(row.nXtype == 48 ? L"an INT1" : L"an INT2") +
                                         L" column. Use a larger integer column.");
            else if (bInt)
                *pstrError = SqlServerOverflowText(L"int");
            else
                *pstrError = L"Arithmetic overflow error for data type " + typeName +
                             L", value = " +
                             (v.nClass == SQLITE_FLOAT ? WinUtf8ToWide(NumberText(v.d))
                                                       : std::to_wstring(v.n)) +
                             L".";
            return false;
        }
        v.nClass = SQLITE_INTEGER;
        if (row.nClass == SqlTypeClass::kBit)
            v.n = v.n != 0;
        return true;
    }
    case SqlTypeClass::kExact:
    case SqlTypeClass::kFloat:
        if (v.nClass == SQLITE_TEXT) {
            std::string s = Trim(v.s);
            char* pEnd = nullptr;
            double d = std::strtod(s.c_str(), &pEnd);
            if (s.empty() || *pEnd || s.find_first_of("xXnN") != std::string::npos) {
                *pstrError = L"Error converting data type varchar to " +
                             std::wstring(row.nAdoType == adNumeric ? L"numeric" : typeName) + L".";
                return false;
            }
            if (row.nClass == SqlTypeClass::kExact) {
                // Digits a double would lose fail; whole numbers for numeric(p,0) stay integers.
                bool bKeep = WholeValuesOf(type) == SqlWholeValues::kKept;
                std::string rounded;
                if (!SqlExactlyStored(type, s, WholeValuesOf(type), pstrError, &rounded))
                    return false;
                if (!rounded.empty())
                    d = std::strtod(rounded.c_str(), nullptr);
                if (!FitsPrecision(type, d)) {
                    *pstrError = DecimalOverflowText(v);
                    return false;
                }
                errno = 0;
                long long n = std::strtoll(s.c_str(), &pEnd, 10);
                if (bKeep && *pEnd == 0 && errno == 0) {
                    v.nClass = SQLITE_INTEGER;
                    v.n = n;
                    return true;
                }
            }
            v.nClass = SQLITE_FLOAT;
            v.d = d;
        } else if (v.nClass == SQLITE_INTEGER) {
            if (!FitsPrecision(type, static_cast<double>(v.n))) {
                *pstrError = DecimalOverflowText(v);
                return false;
            }
            if (row.nClass == SqlTypeClass::kFloat || type.nScale > 0 || row.nAdoType != adNumeric)
                v.nClass = SQLITE_FLOAT, v.d = static_cast<double>(v.n);
            return true;
        } else if (v.nClass == SQLITE_BLOB) {
            return true;
        }
        if (row.nClass == SqlTypeClass::kExact) {
            v.d = RoundDecimal(v.d, row.nAdoType == adNumeric ? type.nScale : 4);
            if (!FitsPrecision(type, v.d)) {
                *pstrError = DecimalOverflowText(v);
                return false;
            }
        }
        return true;
    case SqlTypeClass::kDate: {
        DATE date = 0;
        if (v.nClass == SQLITE_INTEGER || v.nClass == SQLITE_FLOAT) {
            date = 2 + (v.nClass == SQLITE_INTEGER ? static_cast<double>(v.n) : v.d); // 1900-01-01
        } else if (v.nClass != SQLITE_TEXT || !SqlParseDate(v.s, &date)) {
            // datetime and smalldatetime call a day that does not exist out of range; the
            // newer types (date, datetime2) call it no date.
            bool bOld = row.nXtype == 61 || row.nXtype == 58;
            *pstrError = bOld && v.nClass == SQLITE_TEXT && LooksLikeDate(v.s)
                             ? L"The conversion of a varchar data type to a " +
                                   WinUtf8ToWide(row.pszName) +
                                   L" data type resulted in an out-of-range value."
                             : std::wstring(kNotADate);
            return false;
        }
        if (row.nXtype == 58)
            date = ToMinute(date);
        v.nClass = SQLITE_TEXT;
        v.s = SqlFormatDate(date, 0, row.nXtype);
        return true;
    }
    case SqlTypeClass::kChar:
    case SqlTypeClass::kNChar: {
        DATE date;
        if (v.nClass == SQLITE_INTEGER)
            v.s = std::to_string(v.n);
        else if (v.nClass == SQLITE_FLOAT)
            v.s = NumberText(v.d);
        else if (nStyle != 0 && v.nClass == SQLITE_TEXT && SqlParseDate(v.s, &date))
            v.s = SqlFormatDate(date, nStyle, 61);
        v.nClass = SQLITE_TEXT;
        if (type.bMax || row.nLength != 0)
            return true;
        // What does not fit is cut off, without an error; char and nchar pad with blanks.
        std::wstring w = WinUtf8ToWide(v.s);
        size_t nLength = static_cast<size_t>(type.nLength);
        if (w.size() > nLength)
            v.s = WinWideToUtf8(w.substr(0, nLength));
        else if (SqlIsFixedChar(type) && w.size() < nLength)
            v.s.append(nLength - w.size(), ' ');
        return true;
    }
    default:
        return true;
    }
}

bool SqlIsFixedChar(const CSqlDeclaredType& type) {
    return type.pRow && !type.bMax &&
           (type.pRow->nAdoType == adChar || type.pRow->nAdoType == adWChar);
}

namespace {

// zqk_pad(value, n): a value written to a char(n) or nchar(n) column, as text padded with
// blanks to n characters. A longer text stays as it is, for the column's length rule to refuse.
void PadFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    CSqlValue v = CSqlValue::Of(argv[0]);
    if (v.nClass == SQLITE_NULL || v.nClass == SQLITE_BLOB) {
        v.Result(ctx);
        return;
    }
    if (v.nClass == SQLITE_INTEGER)
        v.s = std::to_string(v.n);
    else if (v.nClass == SQLITE_FLOAT)
        v.s = NumberText(v.d);
    v.nClass = SQLITE_TEXT;
    size_t nChars = WinUtf8WideLength(v.s.data(), v.s.size());
    sqlite3_int64 n = sqlite3_value_int64(argv[1]);
    if (n > 0 && nChars < static_cast<size_t>(n))
        v.s.append(static_cast<size_t>(n) - nChars, ' ');
    v.Result(ctx);
}

} // namespace

int SqlRegisterConvert(sqlite3* pDb) {
    const CSqlPureFunction functions[] = {{"zqk_convert", 2, &ConvertFunction},
                                          {"zqk_convert", 3, &ConvertFunction},
                                          {"zqk_convert", 4, &ConvertFunction},
                                          {"zqk_try_convert", 2, &TryConvertFunction},
                                          {"zqk_try_convert", 3, &TryConvertFunction},
                                          {"zqk_try_convert", 4, &TryConvertFunction},
                                          {"zqk_fixed", 2, &FixedFunction},
                                          {"zqk_pad", 2, &PadFunction}};
    return SqlRegisterPure(pDb, functions);
}
