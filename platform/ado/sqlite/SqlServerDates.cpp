#include "platform/ado/sqlite/SqlServerDates.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/ado/sqlite/SqlServerConvert.h"
#include "platform/ado/sqlite/SqlServerFunctions.h"
#include "platform/com/Variant.h"
#include "platform/win/TextEncoding.h"

const char* const kSqlMonthNames[12] = {"January",   "February", "March",    "April",
                                        "May",       "June",     "July",     "August",
                                        "September", "October",  "November", "December"};
const char* const kSqlDayNames[7] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                     "Thursday", "Friday", "Saturday"};

namespace {

enum class Part {
    kYear,
    kQuarter,
    kMonth,
    kDayOfYear,
    kDay,
    kWeek,
    kWeekday,
    kHour,
    kMinute,
    kSecond,
    kMillisecond,
    kNone
};

// SQL Server's date parts and their abbreviations.
Part PartOf(const char* psz) {
    struct {
        const char* pszNames;
        Part nPart;
    } const kParts[] = {{" year yy yyyy ", Part::kYear},
                        {" quarter qq q ", Part::kQuarter},
                        {" month mm m ", Part::kMonth},
                        {" dayofyear dy y ", Part::kDayOfYear},
                        {" day dd d ", Part::kDay},
                        {" week wk ww ", Part::kWeek},
                        {" weekday dw w ", Part::kWeekday},
                        {" hour hh ", Part::kHour},
                        {" minute mi n ", Part::kMinute},
                        {" second ss s ", Part::kSecond},
                        {" millisecond ms ", Part::kMillisecond}};
    std::string name = " ";
    for (const char* p = psz ? psz : ""; *p; ++p)
        name += static_cast<char>(*p >= 'A' && *p <= 'Z' ? *p - 'A' + 'a' : *p);
    name += " ";
    for (const auto& k : kParts)
        if (std::strstr(k.pszNames, name.c_str()))
            return k.nPart;
    return Part::kNone;
}

const long long kMsPerDay = 86400000;

// A date as milliseconds from 1899-12-30 (the platform's DATE counts days from there).
long long Milliseconds(DATE d) {
    return std::llround(d * static_cast<double>(kMsPerDay));
}

long long FloorDiv(long long a, long long b) {
    long long q = a / b;
    return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}

struct CParts {
    int y, mo, d, h, mi, s, ms;
    long long nDay; // days from 1899-12-30
};

bool Split(DATE date, CParts* p) {
    long long ms = Milliseconds(date);
    p->nDay = FloorDiv(ms, kMsPerDay);
    long long nInDay = ms - p->nDay * kMsPerDay;
    if (!ZqkDateToParts(static_cast<double>(p->nDay), &p->y, &p->mo, &p->d, &p->h, &p->mi, &p->s))
        return false;
    p->h = static_cast<int>(nInDay / 3600000);
    p->mi = static_cast<int>(nInDay / 60000 % 60);
    p->s = static_cast<int>(nInDay / 1000 % 60);
    p->ms = static_cast<int>(nInDay % 1000);
    return true;
}

// Sunday is 0, as with SQL Server's default first day of the week.
int Weekday(long long nDay) {
    return static_cast<int>(((nDay + 6) % 7 + 7) % 7); // 1899-12-30 was a Saturday
}

// The function's date argument: a date text in the forms SQL Server reads, or a number of days
// from 1900-01-01.
bool DateArgument(sqlite3_context* ctx, sqlite3_value* v, DATE* pDate, bool* pbDateOnly) {
    CSqlValue value = CSqlValue::Of(v);
    *pbDateOnly = value.nClass == SQLITE_TEXT && value.s.size() <= 10;
    std::wstring error;
    if (!SqlConvert(SqlServerParseType("datetime"), 0, &value, &error)) {
        std::string m = WinWideToUtf8(error);
        sqlite3_result_error(ctx, m.c_str(), -1);
        return false;
    }
    return ZqkDateFromText(value.s.data(), value.s.size(), pDate);
}

bool PartArgument(sqlite3_context* ctx, sqlite3_value* v, Part* pPart) {
    const char* psz = reinterpret_cast<const char*>(sqlite3_value_text(v));
    *pPart = PartOf(psz);
    if (*pPart != Part::kNone)
        return true;
    std::string m = "'" + std::string(psz ? psz : "") + "' is not a recognized datepart option.";
    sqlite3_result_error(ctx, m.c_str(), -1);
    return false;
}

void ResultDate(sqlite3_context* ctx, DATE date, bool bDateOnly) {
    CParts p;
    if (!Split(date, &p)) {
        sqlite3_result_error(ctx, "Adding a value to a 'datetime' column caused an overflow.", -1);
        return;
    }
    char sz[40];
    if (bDateOnly)
        snprintf(sz, sizeof(sz), "%04d-%02d-%02d", p.y, p.mo, p.d);
    else if (p.ms)
        snprintf(sz, sizeof(sz), "%04d-%02d-%02d %02d:%02d:%02d.%03d", p.y, p.mo, p.d, p.h, p.mi,
                 p.s, p.ms);
    else
        snprintf(sz, sizeof(sz), "%04d-%02d-%02d %02d:%02d:%02d", p.y, p.mo, p.d, p.h, p.mi, p.s);
    sqlite3_result_text(ctx, sz, -1, SQLITE_TRANSIENT);
}

// DATEADD(part, n, date)
void DateAdd(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[1]) == SQLITE_NULL || sqlite3_value_type(argv[2]) == SQLITE_NULL)
        return;
    Part part;
    DATE date;
    bool bDateOnly = false;
    if (!PartArgument(ctx, argv[0], &part) || !DateArgument(ctx, argv[2], &date, &bDateOnly))
        return;
    long long n = static_cast<long long>(std::trunc(sqlite3_value_double(argv[1])));
    int nMonths = part == Part::kYear      ? 12
                  : part == Part::kQuarter ? 3
                  : part == Part::kMonth   ? 1
                                           : 0;
    if (nMonths) {
        // Months move the calendar; a day past the new month's end becomes its last day.
        CParts p;
        Split(date, &p);
        long long m = p.y * 12LL + (p.mo - 1) + n * nMonths;
        int y = static_cast<int>(FloorDiv(m, 12)),
            mo = static_cast<int>(m - FloorDiv(m, 12) * 12) + 1;
        DATE first;
        int d = p.d;
        while (d > 28 && !ZqkDateFromParts(y, mo, d, 0, 0, 0, &first))
            --d;
        if (!ZqkDateFromParts(y, mo, d, 0, 0, 0, &first)) {
            ResultDate(ctx, -1e9, false); // out of range: the overflow error
            return;
        }
        ResultDate(ctx, first + (date - std::floor(date)), bDateOnly);
        return;
    }
    long long ms = part == Part::kWeek          ? 7 * kMsPerDay
                   : part == Part::kHour        ? 3600000
                   : part == Part::kMinute      ? 60000
                   : part == Part::kSecond      ? 1000
                   : part == Part::kMillisecond ? 1
                                                : kMsPerDay;
    bool bWholeDays = ms % kMsPerDay == 0;
    ResultDate(ctx, date + static_cast<double>(n * ms) / kMsPerDay, bDateOnly && bWholeDays);
}

// DATEDIFF(part, start, end): the boundaries of the part crossed between the two.
void DateDiff(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[1]) == SQLITE_NULL || sqlite3_value_type(argv[2]) == SQLITE_NULL)
        return;
    Part part;
    DATE a, b;
    bool bDateOnly;
    if (!PartArgument(ctx, argv[0], &part) || !DateArgument(ctx, argv[1], &a, &bDateOnly) ||
        !DateArgument(ctx, argv[2], &b, &bDateOnly))
        return;
    CParts pa, pb;
    Split(a, &pa);
    Split(b, &pb);
    long long ma = Milliseconds(a), mb = Milliseconds(b), n = 0;
    switch (part) {
    case Part::kYear:
        n = pb.y - pa.y;
        break;
    case Part::kQuarter:
        n = (pb.y * 4LL + (pb.mo - 1) / 3) - (pa.y * 4LL + (pa.mo - 1) / 3);
        break;
    case Part::kMonth:
        n = (pb.y * 12LL + pb.mo) - (pa.y * 12LL + pa.mo);
        break;
    case Part::kWeek:
        n = ((pb.nDay - Weekday(pb.nDay)) - (pa.nDay - Weekday(pa.nDay))) / 7;
        break;
    case Part::kHour:
        n = FloorDiv(mb, 3600000) - FloorDiv(ma, 3600000);
        break;
    case Part::kMinute:
        n = FloorDiv(mb, 60000) - FloorDiv(ma, 60000);
        break;
    case Part::kSecond:
        n = FloorDiv(mb, 1000) - FloorDiv(ma, 1000);
        break;
    case Part::kMillisecond:
        n = mb - ma;
        break;
    default:
        n = pb.nDay - pa.nDay;
    }
    sqlite3_result_int64(ctx, n);
}

int PartValue(const CParts& p, Part part) {
    DATE jan1;
    ZqkDateFromParts(p.y, 1, 1, 0, 0, 0, &jan1);
    long long nJan1 = static_cast<long long>(jan1);
    switch (part) {
    case Part::kYear:
        return p.y;
    case Part::kQuarter:
        return (p.mo - 1) / 3 + 1;
    case Part::kMonth:
        return p.mo;
    case Part::kDayOfYear:
        return static_cast<int>(p.nDay - nJan1) + 1;
    case Part::kWeek:
        return static_cast<int>((p.nDay - nJan1 + Weekday(nJan1)) / 7) + 1;
    case Part::kWeekday:
        return Weekday(p.nDay) + 1;
    case Part::kHour:
        return p.h;
    case Part::kMinute:
        return p.mi;
    case Part::kSecond:
        return p.s;
    case Part::kMillisecond:
        return p.ms;
    default:
        return p.d;
    }
}

void Part_(sqlite3_context* ctx, sqlite3_value* vPart, Part part, sqlite3_value* vDate) {
    if (sqlite3_value_type(vDate) == SQLITE_NULL)
        return;
    DATE date;
    bool bDateOnly;
    if ((vPart && !PartArgument(ctx, vPart, &part)) || !DateArgument(ctx, vDate, &date, &bDateOnly))
        return;
    CParts p;
    Split(date, &p);
    sqlite3_result_int(ctx, PartValue(p, part));
}

void DatePart(sqlite3_context* ctx, int, sqlite3_value** argv) {
    Part_(ctx, argv[0], Part::kNone, argv[1]);
}

// DATENAME(part, date): the part as text; months and weekdays by their us_english names.
void DateName(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[1]) == SQLITE_NULL)
        return;
    Part part;
    DATE date;
    bool bDateOnly;
    if (!PartArgument(ctx, argv[0], &part) || !DateArgument(ctx, argv[1], &date, &bDateOnly))
        return;
    CParts p;
    Split(date, &p);
    std::string s = part == Part::kMonth     ? kSqlMonthNames[p.mo - 1]
                    : part == Part::kWeekday ? kSqlDayNames[Weekday(p.nDay)]
                                             : std::to_string(PartValue(p, part));
    sqlite3_result_text(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

// EOMONTH(date[, months]): the last day of the date's month, moved by whole months first.
void EndOfMonth(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL ||
        (argc > 1 && sqlite3_value_type(argv[1]) == SQLITE_NULL))
        return;
    DATE date;
    bool bDateOnly;
    if (!DateArgument(ctx, argv[0], &date, &bDateOnly))
        return;
    CParts p;
    Split(date, &p);
    double dMonths = argc > 1 ? std::trunc(sqlite3_value_double(argv[1])) : 0;
    long long n = std::fabs(dMonths) < 1e6 ? static_cast<long long>(dMonths) : 1000000;
    long long m = p.y * 12LL + (p.mo - 1) + n + 1; // the first day of the month after
    DATE next;
    if (m < 1753 * 12LL || m > 10000 * 12LL ||
        !ZqkDateFromParts(static_cast<int>(m / 12), static_cast<int>(m % 12) + 1, 1, 0, 0, 0,
                          &next)) {
        sqlite3_result_error(ctx, "Adding a value to a 'date' column caused an overflow.", -1);
        return;
    }
    ResultDate(ctx, next - 1, true);
}

void Year(sqlite3_context* ctx, int, sqlite3_value** argv) {
    Part_(ctx, nullptr, Part::kYear, argv[0]);
}

void Month(sqlite3_context* ctx, int, sqlite3_value** argv) {
    Part_(ctx, nullptr, Part::kMonth, argv[0]);
}

void Day(sqlite3_context* ctx, int, sqlite3_value** argv) {
    Part_(ctx, nullptr, Part::kDay, argv[0]);
}

// ISDATE(text): 1 when the text is a date SQL Server reads.
void IsDate(sqlite3_context* ctx, int, sqlite3_value** argv) {
    CSqlValue v = CSqlValue::Of(argv[0]);
    std::wstring error;
    sqlite3_result_int(ctx, v.nClass == SQLITE_TEXT &&
                                    SqlConvert(SqlServerParseType("datetime"), 0, &v, &error)
                                ? 1
                                : 0);
}

} // namespace

bool SqlReadDate(sqlite3_value* v, CSqlDateParts* pParts) {
    CSqlValue value = CSqlValue::Of(v);
    std::wstring error;
    DATE date;
    CParts p;
    if (value.nClass == SQLITE_NULL || value.nClass == SQLITE_BLOB ||
        !SqlConvert(SqlServerParseType("datetime"), 0, &value, &error) ||
        !ZqkDateFromText(value.s.data(), value.s.size(), &date) || !Split(date, &p))
        return false;
    pParts->y = p.y;
    pParts->mo = p.mo;
    pParts->d = p.d;
    pParts->h = p.h;
    pParts->mi = p.mi;
    pParts->s = p.s;
    pParts->ms = p.ms;
    pParts->nWeekday = Weekday(p.nDay);
    return true;
}

int SqlRegisterDates(sqlite3* pDb) {
    const CSqlPureFunction functions[] = {{"zqk_dateadd", 3, &DateAdd},
                                          {"zqk_datediff", 3, &DateDiff},
                                          {"zqk_datepart", 2, &DatePart},
                                          {"zqk_datename", 2, &DateName},
                                          {"eomonth", 1, &EndOfMonth},
                                          {"eomonth", 2, &EndOfMonth},
                                          {"year", 1, &Year},
                                          {"month", 1, &Month},
                                          {"day", 1, &Day},
                                          {"isdate", 1, &IsDate}};
    return SqlRegisterPure(pDb, functions);
}

std::string SqlFormatDate(DATE date, int nStyle, int nXtype) {
    int y, mo, d, h, mi, sec;
    if (!ZqkDateToParts(date, &y, &mo, &d, &h, &mi, &sec))
        return std::string();
    double dMs = std::round((date - std::floor(date)) * 86400000.0);
    int ms = static_cast<int>(std::fmod(dMs, 1000.0));
    char sz[48];
    switch (nStyle) {
    case 23:
        snprintf(sz, sizeof(sz), "%04d-%02d-%02d", y, mo, d);
        break;
    case 112:
        snprintf(sz, sizeof(sz), "%04d%02d%02d", y, mo, d);
        break;
    case 111:
        snprintf(sz, sizeof(sz), "%04d/%02d/%02d", y, mo, d);
        break;
    case 102:
        snprintf(sz, sizeof(sz), "%04d.%02d.%02d", y, mo, d);
        break;
    case 101:
        snprintf(sz, sizeof(sz), "%02d/%02d/%04d", mo, d, y);
        break;
    case 103:
        snprintf(sz, sizeof(sz), "%02d/%02d/%04d", d, mo, y);
        break;
    case 104:
        snprintf(sz, sizeof(sz), "%02d.%02d.%04d", d, mo, y);
        break;
    case 108:
    case 24:
        snprintf(sz, sizeof(sz), "%02d:%02d:%02d", h, mi, sec);
        break;
    case 121:
    case 126:
        snprintf(sz, sizeof(sz),
                 nStyle == 126 ? "%04d-%02d-%02dT%02d:%02d:%02d.%03d"
                               : "%04d-%02d-%02d %02d:%02d:%02d.%03d",
                 y, mo, d, h, mi, sec, ms);
        break;
    default: // 120, and how dates are stored
        if (nXtype == 40)
            snprintf(sz, sizeof(sz), "%04d-%02d-%02d", y, mo, d);
        else if (nXtype == 41)
            snprintf(sz, sizeof(sz), "%02d:%02d:%02d", h, mi, sec);
        else
            snprintf(sz, sizeof(sz), "%04d-%02d-%02d %02d:%02d:%02d", y, mo, d, h, mi, sec);
    }
    return sz;
}
