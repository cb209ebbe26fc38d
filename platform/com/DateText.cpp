// The text a date column's stored text turns into on its way through a VT_DATE, without the
// VARIANT: what readers of text need from a date cell.
#include "platform/com/Variant.h"
#include "platform/win/TextEncoding.h"

namespace {

bool TwoDigits(const char* p, int* pValue) {
    if (p[0] < '0' || p[0] > '9' || p[1] < '0' || p[1] > '9')
        return false;
    *pValue = (p[0] - '0') * 10 + (p[1] - '0');
    return true;
}

// "YYYY-MM-DD HH:MM:SS", a valid date with a time of day other than midnight, on a day other
// than 1899-12-30: read into a DATE and written again it gives back the same characters (whole
// seconds survive the day fraction exactly), so it is its own text.
bool IsOwnDateText(const char* p, size_t n) {
    int nCentury, nYear, nMonth, nDay, nHour, nMinute, nSecond;
    if (n != 19 || p[4] != '-' || p[7] != '-' || p[10] != ' ' || p[13] != ':' || p[16] != ':' ||
        !TwoDigits(p, &nCentury) || !TwoDigits(p + 2, &nYear) || !TwoDigits(p + 5, &nMonth) ||
        !TwoDigits(p + 8, &nDay) || !TwoDigits(p + 11, &nHour) || !TwoDigits(p + 14, &nMinute) ||
        !TwoDigits(p + 17, &nSecond))
        return false;
    nYear += nCentury * 100;
    // The range ZqkDateFromParts accepts.
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (nYear < 100 || nMonth < 1 || nMonth > 12 || nDay < 1 || nHour > 23 || nMinute > 59 ||
        nSecond > 59)
        return false;
    bool bLeap = (nYear % 4 == 0 && nYear % 100 != 0) || nYear % 400 == 0;
    if (nDay > (nMonth == 2 && bLeap ? 29 : kDays[nMonth - 1]))
        return false;
    return (nHour | nMinute | nSecond) != 0 && !(nYear == 1899 && nMonth == 12 && nDay == 30);
}

} // namespace

HRESULT ZqkDateTextFromUtf8(const char* pUtf8, size_t nBytes, wchar_t* pOut, size_t* pnLength) {
    if (pUtf8 == nullptr || pOut == nullptr || pnLength == nullptr)
        return E_INVALIDARG;
    if (IsOwnDateText(pUtf8, nBytes)) {
        WinWidenBytes(pUtf8, nBytes, pOut);
        *pnLength = nBytes;
        return S_OK;
    }
    VARIANT date;
    VariantInit(&date);
    if (!ZqkDateFromText(pUtf8, nBytes, &date.date))
        return S_FALSE;
    date.vt = VT_DATE;
    return ZqkVariantToText(&date, pOut, pnLength);
}
