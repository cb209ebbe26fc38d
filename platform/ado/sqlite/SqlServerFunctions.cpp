#include "platform/ado/sqlite/SqlServerFunctions.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/ado/sqlite/SqlServerArithmetic.h"
#include "platform/ado/sqlite/SqlServerCollation.h"
#include "platform/ado/sqlite/SqlServerConvert.h"
#include "platform/ado/sqlite/SqlServerDates.h"
#include "platform/ado/sqlite/SqlServerOperators.h"
#include "platform/ado/sqlite/SqlServerStrings.h"
#include "platform/com/Variant.h"
#include "platform/win/TextEncoding.h"

namespace {

const char kDivideByZero[] = "Divide by zero error encountered.";

std::string Trim(const char* p, int n) {
    std::string s(p, static_cast<size_t>(n));
    size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos)
        return std::string();
    return s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
}

// A text as SQL Server converts it to a number of the other operand's kind.
bool TextToInteger(const std::string& s, sqlite3_int64* pn) {
    if (s.empty())
        return false;
    errno = 0;
    char* pEnd = nullptr;
    long long n = std::strtoll(s.c_str(), &pEnd, 10);
    if (*pEnd || errno)
        return false;
    *pn = n;
    return true;
}

bool TextToReal(const std::string& s, double* pd) {
    if (s.empty() || s.find_first_of("xXnN") != std::string::npos)
        return false; // no hexadecimal, infinities or NaNs
    char* pEnd = nullptr;
    *pd = std::strtod(s.c_str(), &pEnd);
    return *pEnd == 0;
}

void ConversionError(sqlite3_context* ctx, const std::string& text, bool bInteger) {
    std::string m = bInteger ? "Conversion failed when converting the varchar value '" + text +
                                   "' to data type int."
                             : "Error converting data type varchar to float.";
    sqlite3_result_error(ctx, m.c_str(), -1);
}

// A text that holds a date (with or without a time), as this system stores dates.
bool TextDate(sqlite3_value* v, DATE* pDate) {
    if (sqlite3_value_type(v) != SQLITE_TEXT)
        return false;
    const char* p = reinterpret_cast<const char*>(sqlite3_value_text(v));
    int n = sqlite3_value_bytes(v);
    return n >= 10 && p[4] == '-' && ZqkDateFromText(p, static_cast<size_t>(n), pDate);
}

void ResultDate(sqlite3_context* ctx, DATE date) {
    int y, mo, d, h, mi, sec;
    if (!ZqkDateToParts(date, &y, &mo, &d, &h, &mi, &sec)) {
        sqlite3_result_error(ctx, "Adding a value to a 'datetime' column caused an overflow.", -1);
        return;
    }
    char sz[32];
    snprintf(sz, sizeof(sz), "%04d-%02d-%02d %02d:%02d:%02d", y, mo, d, h, mi, sec);
    sqlite3_result_text(ctx, sz, -1, SQLITE_TRANSIENT);
}

// A date and time moved by a number of days (fractions are parts of a day).
bool DateArithmetic(sqlite3_context* ctx, sqlite3_value** argv, int nSign) {
    DATE date;
    int tOther = sqlite3_value_numeric_type(argv[1]);
    if (TextDate(argv[0], &date) && (tOther == SQLITE_INTEGER || tOther == SQLITE_FLOAT)) {
        ResultDate(ctx, date + nSign * sqlite3_value_double(argv[1]));
        return true;
    }
    if (nSign > 0 && TextDate(argv[1], &date) &&
        (sqlite3_value_type(argv[0]) == SQLITE_INTEGER ||
         sqlite3_value_type(argv[0]) == SQLITE_FLOAT)) {
        ResultDate(ctx, date + sqlite3_value_double(argv[0]));
        return true;
    }
    DATE other;
    if (nSign < 0 && TextDate(argv[0], &date) && TextDate(argv[1], &other)) {
        ResultDate(ctx, 2 + (date - other)); // a difference counts from 1900-01-01
        return true;
    }
    return false;
}

// '+' and '-' between numbers, and between a number and a text that must convert to one.
void Arithmetic(sqlite3_context* ctx, sqlite3_value** argv, int nSign) {
    int ta = sqlite3_value_type(argv[0]), tb = sqlite3_value_type(argv[1]);
    bool bReal = ta == SQLITE_FLOAT || tb == SQLITE_FLOAT;
    sqlite3_int64 n[2] = {0, 0};
    double d[2] = {0, 0};
    for (int i = 0; i < 2; ++i) {
        int t = i == 0 ? ta : tb;
        if (t == SQLITE_TEXT || t == SQLITE_BLOB) {
            std::string s = Trim(static_cast<const char*>(sqlite3_value_blob(argv[i])),
                                 sqlite3_value_bytes(argv[i]));
            bool bOk = bReal ? TextToReal(s, &d[i]) : TextToInteger(s, &n[i]);
            if (!bOk) {
                ConversionError(ctx, s, !bReal);
                return;
            }
        } else {
            n[i] = sqlite3_value_int64(argv[i]);
            d[i] = sqlite3_value_double(argv[i]);
        }
    }
    if (bReal) {
        sqlite3_result_double(ctx, d[0] + nSign * d[1]);
        return;
    }
    sqlite3_int64 r;
    if (nSign > 0 ? __builtin_add_overflow(n[0], n[1], &r)
                  : __builtin_sub_overflow(n[0], n[1], &r)) {
        sqlite3_result_error(ctx, WinWideToUtf8(SqlServerOverflowText(L"bigint")).c_str(), -1);
        return;
    }
    sqlite3_result_int64(ctx, r);
}

// '-': subtracts numbers, moves dates by days, gives the time between two dates.
void Subtract(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL)
        return;
    if (!DateArithmetic(ctx, argv, -1))
        Arithmetic(ctx, argv, -1);
}

// '+': joins texts (and binary values), adds numbers; a text beside a number becomes one.
void Add(sqlite3_context* ctx, int, sqlite3_value** argv) {
    int ta = sqlite3_value_type(argv[0]), tb = sqlite3_value_type(argv[1]);
    if (ta == SQLITE_NULL || tb == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    if (DateArithmetic(ctx, argv, 1))
        return;
    bool bTextA = ta == SQLITE_TEXT || ta == SQLITE_BLOB,
         bTextB = tb == SQLITE_TEXT || tb == SQLITE_BLOB;
    if (bTextA && bTextB) {
        int na = sqlite3_value_bytes(argv[0]), nb = sqlite3_value_bytes(argv[1]);
        std::string s(static_cast<size_t>(na) + static_cast<size_t>(nb), '\0');
        if (na)
            std::memcpy(&s[0], sqlite3_value_blob(argv[0]), static_cast<size_t>(na));
        if (nb)
            std::memcpy(&s[static_cast<size_t>(na)], sqlite3_value_blob(argv[1]),
                        static_cast<size_t>(nb));
        if (ta == SQLITE_BLOB && tb == SQLITE_BLOB)
            sqlite3_result_blob(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
        else
            sqlite3_result_text(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
        return;
    }
    Arithmetic(ctx, argv, 1);
}

// The divisor of '/' and '%', or the error SQL Server raises for zero.
void Divisor(sqlite3_context* ctx, int, sqlite3_value** argv) {
    sqlite3_value* v = argv[0];
    int t = sqlite3_value_numeric_type(v);
    if ((t == SQLITE_INTEGER && sqlite3_value_int64(v) == 0) ||
        (t == SQLITE_FLOAT && sqlite3_value_double(v) == 0.0)) {
        sqlite3_result_error(ctx, kDivideByZero, -1);
        return;
    }
    sqlite3_result_value(ctx, v);
}

// x LIKE pattern [ESCAPE e]: SQLite calls like(pattern, x[, e]).
void Like(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    const unsigned char* pPattern = sqlite3_value_text(argv[0]);
    const unsigned char* pText = sqlite3_value_text(argv[1]);
    if (pPattern == nullptr || pText == nullptr)
        return; // NULL
    unsigned chEscape = 0;
    if (argc == 3) {
        const unsigned char* pEscape = sqlite3_value_text(argv[2]);
        std::wstring e = pEscape ? WinUtf8ToWide(reinterpret_cast<const char*>(pEscape)) : L"";
        if (e.size() != 1) {
            sqlite3_result_error(ctx, "The escape character must be one character long.", -1);
            return;
        }
        chEscape = static_cast<unsigned>(e[0]);
    }
    sqlite3_result_int(ctx, SqlLikeMatch(pText, sqlite3_value_bytes(argv[1]), pPattern,
                                         sqlite3_value_bytes(argv[0]), chEscape)
                                ? 1
                                : 0);
}

void ChangeCase(sqlite3_context* ctx, sqlite3_value* v, bool bUpper) {
    if (sqlite3_value_type(v) == SQLITE_NULL)
        return;
    const unsigned char* p = sqlite3_value_text(v);
    std::string s = SqlChangeCase(p, sqlite3_value_bytes(v), bUpper);
    sqlite3_result_text(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

// An error of SQL Server's, raised by a check the bridge runs before a statement.
void RaiseFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    const char* psz = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
    sqlite3_result_error(ctx, psz ? psz : "", -1);
}

void UpperFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    ChangeCase(ctx, argv[0], true);
}

void LowerFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    ChangeCase(ctx, argv[0], false);
}

std::wstring WideArgument(sqlite3_value* v) {
    const unsigned char* p = sqlite3_value_text(v);
    return WinUtf8ToWide(reinterpret_cast<const char*>(p),
                         static_cast<size_t>(sqlite3_value_bytes(v)));
}

// The text folded as the default collation compares it (case-insensitive for all letters).
std::wstring Folded(sqlite3_value* v) {
    std::string s = SqlChangeCase(sqlite3_value_text(v), sqlite3_value_bytes(v), false);
    return WinUtf8ToWide(s);
}

void ResultWide(sqlite3_context* ctx, const std::wstring& w) {
    std::string s = WinWideToUtf8(w);
    sqlite3_result_text(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

bool AnyNull(int argc, sqlite3_value** argv) {
    for (int i = 0; i < argc; ++i)
        if (sqlite3_value_type(argv[i]) == SQLITE_NULL)
            return true;
    return false;
}

// LEFT(s, n) and RIGHT(s, n), in characters.
void LeftRight(sqlite3_context* ctx, int argc, sqlite3_value** argv, bool bLeft) {
    if (AnyNull(argc, argv))
        return;
    sqlite3_int64 n = sqlite3_value_int64(argv[1]);
    if (n < 0) {
        std::string m = std::string("Invalid length parameter passed to the ") +
                        (bLeft ? "left" : "right") + " function.";
        sqlite3_result_error(ctx, m.c_str(), -1);
        return;
    }
    std::wstring w = WideArgument(argv[0]);
    size_t k = static_cast<size_t>(n) < w.size() ? static_cast<size_t>(n) : w.size();
    ResultWide(ctx, bLeft ? w.substr(0, k) : w.substr(w.size() - k));
}

void LeftFn(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    LeftRight(ctx, argc, argv, true);
}

void RightFn(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    LeftRight(ctx, argc, argv, false);
}

// CHARINDEX(find, s[, start]): where find first stands in s, from 1; 0 when nowhere. The
// default collation decides what is the same text.
void CharIndexFn(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (AnyNull(argc, argv))
        return;
    std::wstring find = Folded(argv[0]), text = Folded(argv[1]);
    sqlite3_int64 nStart = argc > 2 ? sqlite3_value_int64(argv[2]) : 1;
    size_t nFrom = nStart > 1 ? static_cast<size_t>(nStart - 1) : 0;
    size_t nAt = find.empty() || nFrom > text.size() ? std::wstring::npos : text.find(find, nFrom);
    sqlite3_result_int64(ctx, nAt == std::wstring::npos ? 0 : static_cast<sqlite3_int64>(nAt) + 1);
}

// REPLACE(s, find, with), finding as the default collation compares.
void ReplaceFn(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (AnyNull(argc, argv))
        return;
    std::wstring text = WideArgument(argv[0]), with = WideArgument(argv[2]);
    std::wstring folded = Folded(argv[0]), find = Folded(argv[1]);
    if (find.empty() || folded.size() != text.size()) {
        sqlite3_result_value(ctx, argv[0]);
        return;
    }
    std::wstring out;
    size_t nFrom = 0;
    for (size_t nAt; (nAt = folded.find(find, nFrom)) != std::wstring::npos;
         nFrom = nAt + find.size())
        out += text.substr(nFrom, nAt - nFrom) + with;
    ResultWide(ctx, out + text.substr(nFrom));
}

// SPACE(n) and REPLICATE(s, n).
void ReplicateFn(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (AnyNull(argc, argv))
        return;
    std::wstring unit = argc == 1 ? std::wstring(L" ") : WideArgument(argv[0]);
    sqlite3_int64 n = sqlite3_value_int64(argv[argc - 1]);
    if (n < 0)
        return; // NULL, as SQL Server gives
    std::wstring out;
    for (sqlite3_int64 i = 0; i < n && out.size() < 8000; ++i)
        out += unit;
    ResultWide(ctx, out);
}

CSqlSession& Session(sqlite3_context* ctx) {
    return *static_cast<CSqlSession*>(sqlite3_user_data(ctx));
}

void IdentityFn(sqlite3_context* ctx, int, sqlite3_value**) {
    if (Session(ctx).bIdentity)
        sqlite3_result_int64(ctx, Session(ctx).nIdentity);
}

void ScopeIdentityFn(sqlite3_context* ctx, int, sqlite3_value**) {
    if (Session(ctx).bScopeIdentity)
        sqlite3_result_int64(ctx, Session(ctx).nScopeIdentity);
}

void RowCountFn(sqlite3_context* ctx, int, sqlite3_value**) {
    sqlite3_result_int64(ctx, Session(ctx).nRowCount);
}

void ErrorFn(sqlite3_context* ctx, int, sqlite3_value**) {
    sqlite3_result_int64(ctx, Session(ctx).nError);
}

void TranCountFn(sqlite3_context* ctx, int, sqlite3_value**) {
    bool bOpen = !sqlite3_get_autocommit(sqlite3_context_db_handle(ctx));
    int n = Session(ctx).nTranCount;
    sqlite3_result_int(ctx, bOpen ? (n > 1 ? n : 1) : 0);
}

} // namespace

int SqlRegisterPure(sqlite3* pDb, const CSqlPureFunction* pFunctions, size_t nCount) {
    const int kPure = SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS;
    for (size_t i = 0; i < nCount; ++i) {
        const CSqlPureFunction& f = pFunctions[i];
        int rc = sqlite3_create_function_v2(pDb, f.pszName, f.nArgs, kPure, nullptr, f.fn, nullptr,
                                            nullptr, nullptr);
        if (rc != SQLITE_OK)
            return rc;
    }
    return SQLITE_OK;
}

int SqlRegisterFunctions(sqlite3* pDb, CSqlSession* pSession) {
    const int kPure = SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS;
    struct {
        const char* pszName;
        int nArgs;
        void (*fn)(sqlite3_context*, int, sqlite3_value**);
        bool bSession;
    } const functions[] = {
        {"zqk_add", 2, &Add, false},
        {"zqk_subtract", 2, &Subtract, false},
        {"zqk_divisor", 1, &Divisor, false},
        {"like", 2, &Like, false},
        {"like", 3, &Like, false},
        {"upper", 1, &UpperFn, false},
        {"zqk_raise", 1, &RaiseFn, false},
        {"zqk_left", 2, &LeftFn, false},
        {"zqk_right", 2, &RightFn, false},
        {"charindex", 2, &CharIndexFn, false},
        {"charindex", 3, &CharIndexFn, false},
        {"replace", 3, &ReplaceFn, false},
        {"space", 1, &ReplicateFn, false},
        {"replicate", 2, &ReplicateFn, false},
        {"lower", 1, &LowerFn, false},
        {"zqk_identity", 0, &IdentityFn, true},
        {"zqk_scope_identity", 0, &ScopeIdentityFn, true},
        {"zqk_rowcount", 0, &RowCountFn, true},
        {"zqk_error", 0, &ErrorFn, true},
        {"zqk_trancount", 0, &TranCountFn, true},
    };
    if (SqlRegisterConvert(pDb) != SQLITE_OK || SqlRegisterDates(pDb) != SQLITE_OK ||
        SqlRegisterArithmetic(pDb) != SQLITE_OK || SqlRegisterStrings(pDb) != SQLITE_OK ||
        SqlRegisterFormat(pDb) != SQLITE_OK)
        return SQLITE_ERROR;
    for (const auto& f : functions) {
        int rc = sqlite3_create_function_v2(
            pDb, f.pszName, f.nArgs, f.bSession ? SQLITE_UTF8 : kPure,
            f.bSession ? pSession : nullptr, f.fn, nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK)
            return rc;
    }
    return SQLITE_OK;
}
