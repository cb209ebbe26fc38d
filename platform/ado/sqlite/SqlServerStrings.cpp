#include "platform/ado/sqlite/SqlServerStrings.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/ado/sqlite/SqlServerCollation.h"
#include "platform/ado/sqlite/SqlServerFunctions.h"
#include "platform/ado/sqlite/SqlServerTypes.h"
#include "platform/win/TextEncoding.h"

namespace {

bool AnyNull(int argc, sqlite3_value** argv) {
    for (int i = 0; i < argc; ++i)
        if (sqlite3_value_type(argv[i]) == SQLITE_NULL)
            return true;
    return false;
}

std::wstring Wide(sqlite3_value* v) {
    return WinUtf8ToWide(reinterpret_cast<const char*>(sqlite3_value_text(v)),
                         static_cast<size_t>(sqlite3_value_bytes(v)));
}

void ResultWide(sqlite3_context* ctx, const std::wstring& w) {
    std::string s = WinWideToUtf8(w);
    sqlite3_result_text(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

// STUFF(s, start, length, insert): length characters from start replaced by insert. NULL for a
// start outside the text or a negative length; a NULL insert only deletes.
void StuffFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (AnyNull(3, argv))
        return;
    std::wstring s = Wide(argv[0]);
    sqlite3_int64 nStart = sqlite3_value_int64(argv[1]), nLength = sqlite3_value_int64(argv[2]);
    if (nStart < 1 || nStart > static_cast<sqlite3_int64>(s.size()) || nLength < 0)
        return;
    size_t nAt = static_cast<size_t>(nStart - 1);
    size_t nCut = std::min(static_cast<size_t>(nLength), s.size() - nAt);
    std::wstring insert = sqlite3_value_type(argv[3]) == SQLITE_NULL ? L"" : Wide(argv[3]);
    ResultWide(ctx, s.substr(0, nAt) + insert + s.substr(nAt + nCut));
}

// A value as the float STR and FORMAT take; false for text that is no number.
bool Number(sqlite3_value* v, double* pd) {
    int t = sqlite3_value_type(v);
    if (t == SQLITE_INTEGER || t == SQLITE_FLOAT) {
        *pd = sqlite3_value_double(v);
        return true;
    }
    std::string s = reinterpret_cast<const char*>(sqlite3_value_text(v));
    size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos || s.find_first_of("xXnN") != std::string::npos)
        return false;
    char* pEnd = nullptr;
    *pd = std::strtod(s.c_str() + b, &pEnd);
    while (*pEnd == ' ')
        ++pEnd;
    return *pEnd == 0;
}

} // namespace

// The number's 15 significant digits, as SQL Server and .NET print a float, rounded to the
// decimals at the decimal digits (printf would show the binary value's further digits and
// round its halves to even).
std::string SqlFixed(double d, int nDecimals) {
    if (!std::isfinite(d))
        return std::to_string(d);
    char sz[32];
    snprintf(sz, sizeof(sz), "%.14e", std::fabs(d)); // "d.dddddddddddddde+xx"
    std::string digits = std::string(1, sz[0]) + std::string(sz + 2, 14);
    int nWhole = std::atoi(std::strchr(sz, 'e') + 1) + 1; // digits before the point
    int nKeep = nWhole + nDecimals;                       // digits of value * 10^decimals
    std::string kept;
    bool bUp = false;
    if (nKeep >= static_cast<int>(digits.size())) {
        kept = digits + std::string(static_cast<size_t>(nKeep) - digits.size(), '0');
    } else if (nKeep >= 0) {
        kept = digits.substr(0, static_cast<size_t>(nKeep));
        bUp = digits[static_cast<size_t>(nKeep)] >= '5';
    }
    if (bUp) {
        int k = static_cast<int>(kept.size()) - 1;
        for (; k >= 0 && kept[static_cast<size_t>(k)] == '9'; --k)
            kept[static_cast<size_t>(k)] = '0';
        if (k >= 0)
            ++kept[static_cast<size_t>(k)];
        else
            kept.insert(0, "1");
    }
    size_t nFraction = static_cast<size_t>(nDecimals);
    if (kept.size() <= nFraction)
        kept.insert(0, nFraction + 1 - kept.size(), '0');
    std::string whole = kept.substr(0, kept.size() - nFraction);
    whole.erase(0, std::min(whole.find_first_not_of('0'), whole.size() - 1));
    std::string r = whole + (nFraction ? "." + kept.substr(kept.size() - nFraction) : "");
    bool bZero = r.find_first_not_of("0.") == std::string::npos;
    return d < 0 && !bZero ? "-" + r : r;
}

namespace {

// STR(number[, length[, decimals]]): right-aligned in length (10), rounded to decimals (0, at
// most 16); fewer decimals when they do not fit, asterisks when the whole part does not.
void StrFn(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (AnyNull(argc, argv))
        return;
    double d = 0;
    if (!Number(argv[0], &d)) {
        sqlite3_result_error(ctx, "Error converting data type varchar to float.", -1);
        return;
    }
    sqlite3_int64 nLength = argc > 1 ? sqlite3_value_int64(argv[1]) : 10;
    sqlite3_int64 nDecimals = argc > 2 ? sqlite3_value_int64(argv[2]) : 0;
    if (nLength <= 0 || nLength > 8000 || nDecimals < 0)
        return;
    int nDec = static_cast<int>(std::min<sqlite3_int64>(nDecimals, 16));
    size_t nWidth = static_cast<size_t>(nLength);
    std::string s = SqlFixed(d, nDec);
    if (s.size() > nWidth) {
        std::string whole = SqlFixed(d, 0);
        if (whole.size() > nWidth) {
            s.assign(nWidth, '*');
        } else {
            int nFit = static_cast<int>(nWidth - whole.size()) - 1; // after the point
            s = nFit > 0 ? SqlFixed(d, nFit) : whole;
        }
    }
    s.insert(0, nWidth - std::min(nWidth, s.size()), ' ');
    sqlite3_result_text(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

// PATINDEX(pattern, s): where the pattern's first match starts, from 1; 0 for none. The pattern
// is LIKE's; without a leading % it must match from the first character.
void PatIndexFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (AnyNull(2, argv))
        return;
    const auto* pPattern = sqlite3_value_text(argv[0]);
    int nPattern = sqlite3_value_bytes(argv[0]);
    bool bAnywhere = nPattern > 0 && pPattern[0] == '%';
    if (bAnywhere)
        ++pPattern, --nPattern;
    const auto* pText = sqlite3_value_text(argv[1]);
    int nText = sqlite3_value_bytes(argv[1]);
    // Each character's start in turn (not a UTF-8 continuation byte), counted from 1.
    sqlite3_int64 nChar = 0;
    for (int n = 0; n < nText; ++n) {
        if ((pText[n] & 0xC0) == 0x80)
            continue;
        ++nChar;
        if (SqlLikeMatch(pText + n, nText - n, pPattern, nPattern, 0)) {
            sqlite3_result_int64(ctx, nChar);
            return;
        }
        if (!bAnywhere)
            break;
    }
    sqlite3_result_int(ctx, 0);
}

// UTF-16 code units of a UTF-8 text, as nvarchar stores it.
sqlite3_int64 Utf16Units(const std::wstring& w) {
    sqlite3_int64 n = 0;
    for (wchar_t c : w)
        n += static_cast<unsigned long>(c) > 0xFFFF ? 2 : 1;
    return n;
}

// zqk_datalength(value, 'type'): the bytes SQL Server stores the value in. nvarchar takes two
// per UTF-16 unit; varchar one per character (its code page is single-byte); text of an
// unknown type counts as nvarchar, the type this system's text columns have.
void DataLengthFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    int nClass = sqlite3_value_type(argv[0]);
    if (nClass == SQLITE_NULL)
        return;
    const char* pszType = reinterpret_cast<const char*>(sqlite3_value_text(argv[1]));
    CSqlDeclaredType type;
    bool bKnown = pszType && *pszType;
    if (bKnown)
        type = SqlServerParseType(pszType);
    SqlTypeClass n = bKnown ? type.pRow->nClass : SqlTypeClass::kVariant;
    sqlite3_int64 nBytes = 0;
    if (nClass == SQLITE_BLOB) {
        nBytes = sqlite3_value_bytes(argv[0]);
    } else if (n == SqlTypeClass::kChar) {
        nBytes = static_cast<sqlite3_int64>(Wide(argv[0]).size());
    } else if (n == SqlTypeClass::kNChar ||
               (n == SqlTypeClass::kVariant && nClass == SQLITE_TEXT)) {
        nBytes = 2 * Utf16Units(Wide(argv[0]));
    } else if (bKnown && n != SqlTypeClass::kVariant && n != SqlTypeClass::kBinary) {
        nBytes = type.StorageLength();
    } else if (nClass == SQLITE_INTEGER) {
        sqlite3_int64 v = sqlite3_value_int64(argv[0]);
        nBytes = v >= -2147483648LL && v <= 2147483647LL ? 4 : 8;
    } else if (nClass == SQLITE_FLOAT) {
        nBytes = 8;
    } else {
        nBytes = sqlite3_value_bytes(argv[0]);
    }
    sqlite3_result_int64(ctx, nBytes);
}

// REVERSE(s): the characters in the opposite order; NULL stays NULL.
void ReverseFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    std::wstring w = Wide(argv[0]);
    ResultWide(ctx, std::wstring(w.rbegin(), w.rend()));
}

// CHOOSE(n, a, b, ...): the nth value after n; NULL when there is none.
void ChooseFn(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (argc < 2 || sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    sqlite3_int64 n = sqlite3_value_int64(argv[0]);
    if (n >= 1 && n < argc)
        sqlite3_result_value(ctx, argv[n]);
    else
        sqlite3_result_null(ctx);
}

// CONCAT(a, b, ...): the values as text, end to end; NULL adds nothing.
void ConcatFn(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    std::string s;
    for (int i = 0; i < argc; ++i) {
        const unsigned char* p = sqlite3_value_text(argv[i]);
        if (p)
            s.append(reinterpret_cast<const char*>(p),
                     static_cast<size_t>(sqlite3_value_bytes(argv[i])));
    }
    sqlite3_result_text(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

} // namespace

int SqlRegisterStrings(sqlite3* pDb) {
    const CSqlPureFunction functions[] = {
        {"stuff", 4, &StuffFn},       {"str", 1, &StrFn},
        {"str", 2, &StrFn},           {"str", 3, &StrFn},
        {"patindex", 2, &PatIndexFn}, {"zqk_datalength", 2, &DataLengthFn},
        {"concat", -1, &ConcatFn},    {"choose", -1, &ChooseFn},
        {"reverse", 1, &ReverseFn}};
    return SqlRegisterPure(pDb, functions);
}
