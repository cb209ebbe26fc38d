// Automation dates: the calendar, their parts, and dates read from text.
#include <cmath>
#include <cstring>
#include <cwctype>
#include <string>

#include "platform/com/VariantDetail.h"
#include "platform/win/TextEncoding.h"

using namespace ZqkVariantDetail;

namespace {

// Days from 1970-01-01 to a civil date (proleptic Gregorian calendar).
long long DaysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

void CivilFromDays(long long z, int* py, int* pm, int* pd) {
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long y = static_cast<long long>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    *py = static_cast<int>(y + (m <= 2));
    *pm = static_cast<int>(m);
    *pd = static_cast<int>(d);
}

const long long kEpochDays = DaysFromCivil(1899, 12, 30);

int DaysInMonth(int y, int m) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool bLeap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return m == 2 && bLeap ? 29 : kDays[m - 1];
}

} // namespace

bool ZqkDateFromParts(int nYear, int nMonth, int nDay, int nHour, int nMinute, int nSecond,
                      DATE* pDate) {
    if (nYear < 100 || nYear > 9999 || nMonth < 1 || nMonth > 12 || nDay < 1 ||
        nDay > DaysInMonth(nYear, nMonth) || nHour < 0 || nHour > 23 || nMinute < 0 ||
        nMinute > 59 || nSecond < 0 || nSecond > 59)
        return false;
    double dDay = static_cast<double>(
        DaysFromCivil(nYear, static_cast<unsigned>(nMonth), static_cast<unsigned>(nDay)) -
        kEpochDays);
    double dTime = (nHour * 3600 + nMinute * 60 + nSecond) / 86400.0;
    *pDate = dDay >= 0 ? dDay + dTime : dDay - dTime;
    return true;
}

bool ZqkDateToParts(DATE date, int* pYear, int* pMonth, int* pDay, int* pHour, int* pMinute,
                    int* pSecond) {
    if (!(date > kMinDate - 1 && date < kMaxDate))
        return false;
    // The whole part counts days; the fraction's size is the time of that day, also for
    // dates before 1899-12-30.
    long long nDay = static_cast<long long>(date); // truncated, as the range above allows
    double dDay = static_cast<double>(nDay);
    long long nSeconds = RoundHalfAway(std::fabs(date - dDay) * 86400.0);
    if (nSeconds >= 86400) {
        nSeconds -= 86400;
        ++nDay;
    }
    // Rounding up the last moment of 9999-12-31 must not reach a year that has no date.
    if (nDay >= static_cast<long long>(kMaxDate)) {
        nDay = static_cast<long long>(kMaxDate) - 1;
        nSeconds = 86399;
    }
    CivilFromDays(nDay + kEpochDays, pYear, pMonth, pDay);
    *pHour = static_cast<int>(nSeconds / 3600);
    *pMinute = static_cast<int>(nSeconds / 60 % 60);
    *pSecond = static_cast<int>(nSeconds % 60);
    return true;
}

namespace {

template <typename Ch> bool IsSpace(Ch c) {
    return iswspace(static_cast<wint_t>(c)) != 0;
}

template <typename Ch>
bool ParseDigits(const Ch*& p, const Ch* e, int nMin, int nMax, int* pValue) {
    int n = 0, v = 0;
    while (n < nMax && p < e && *p >= '0' && *p <= '9') {
        v = v * 10 + (*p++ - '0');
        ++n;
    }
    *pValue = v;
    return n >= nMin;
}

// "YYYY-MM-DD", optionally followed by a blank or 'T' and a time; or a time alone. A time is
// "HH:MM" with optional ":SS" and fraction. [p, e) is the text; Ch is wchar_t, or char for
// ASCII text.
template <typename Ch> bool ParseText(const Ch* p, const Ch* e, DATE* pDate) {
    while (e > p && IsSpace(e[-1]))
        --e;
    while (p < e && IsSpace(*p))
        ++p;
    auto at = [e](const Ch* q) { return q < e ? *q : Ch(0); };
    int y = 1899, mo = 12, d = 30, h = 0, mi = 0, sec = 0;
    double dFraction = 0;
    bool bHasDate = false;
    const Ch* pStart = p;
    if (ParseDigits(p, e, 4, 4, &y) && at(p) == '-') {
        ++p;
        if (!ParseDigits(p, e, 1, 2, &mo) || at(p) != '-' || !ParseDigits(++p, e, 1, 2, &d))
            return false;
        bHasDate = true;
        if (at(p) == ' ' || at(p) == 'T')
            ++p;
        else if (p < e)
            return false;
    } else {
        p = pStart;
        y = 1899;
    }
    if (p < e || !bHasDate) {
        if (!ParseDigits(p, e, 1, 2, &h) || at(p) != ':' || !ParseDigits(++p, e, 2, 2, &mi))
            return false;
        if (at(p) == ':') {
            ++p;
            if (!ParseDigits(p, e, 2, 2, &sec))
                return false;
            if (at(p) == '.') {
                ++p;
                double dScale = 0.1;
                if (!(at(p) >= '0' && at(p) <= '9'))
                    return false;
                while (at(p) >= '0' && at(p) <= '9') {
                    dFraction += (*p++ - '0') * dScale;
                    dScale /= 10;
                }
            }
        }
        if (p < e)
            return false;
    }
    DATE date;
    if (!ZqkDateFromParts(y, mo, d, h, mi, sec, &date))
        return false;
    double dExtra = dFraction / 86400.0;
    *pDate = date >= 0 ? date + dExtra : date - dExtra;
    return true;
}

} // namespace

bool ZqkVariantDetail::ParseDateText(const wchar_t* p, const wchar_t* e, DATE* pDate) {
    return ParseText(p, e, pDate);
}

namespace {

// The two digits at p, or -1.
inline int TwoDigits(const char* p) {
    unsigned a = static_cast<unsigned>(p[0] - '0'), b = static_cast<unsigned>(p[1] - '0');
    return a <= 9 && b <= 9 ? static_cast<int>(a * 10 + b) : -1;
}

} // namespace

bool ZqkDateFromText(const char* pUtf8, size_t nBytes, DATE* pDate) {
    // The form nearly every stored date has, "YYYY-MM-DD HH:MM:SS": its fields read straight
    // away, as the parse below reads them (nothing to trim, no fraction).
    if (nBytes == 19 && pUtf8[4] == '-' && pUtf8[7] == '-' && pUtf8[10] == ' ' &&
        pUtf8[13] == ':' && pUtf8[16] == ':') {
        int nCentury = TwoDigits(pUtf8), nYear = TwoDigits(pUtf8 + 2);
        int nMonth = TwoDigits(pUtf8 + 5), nDay = TwoDigits(pUtf8 + 8);
        int nHour = TwoDigits(pUtf8 + 11), nMinute = TwoDigits(pUtf8 + 14);
        int nSecond = TwoDigits(pUtf8 + 17);
        if (nCentury >= 0 && nYear >= 0 && nMonth >= 0 && nDay >= 0 && nHour >= 0 && nMinute >= 0 &&
            nSecond >= 0)
            return ZqkDateFromParts(nCentury * 100 + nYear, nMonth, nDay, nHour, nMinute, nSecond,
                                    pDate);
    }
    // As the text converted to a BSTR would parse: up to the first NUL.
    const char* e = static_cast<const char*>(std::memchr(pUtf8, 0, nBytes));
    if (e == nullptr)
        e = pUtf8 + nBytes;
    for (const char* p = pUtf8; p < e; ++p)
        if (static_cast<unsigned char>(*p) >= 0x80) {
            std::wstring w = WinUtf8ToWide(pUtf8, static_cast<size_t>(e - pUtf8));
            return ParseText(w.data(), w.data() + w.size(), pDate);
        }
    return ParseText(pUtf8, e, pDate);
}
