// SQL Server's date functions on SQLite: DATEADD, DATEDIFF, DATEPART and DATENAME (which the
// bridge writes as zqk_dateadd('part', ...) and so on, the part quoted), YEAR, MONTH, DAY,
// EOMONTH and ISDATE, over dates stored as text and the numbers of days from 1900-01-01 that
// SQL Server reads as dates.
#pragma once

#include <sqlite3.h>

#include <string>

#include "platform/com/Variant.h"

// A date and time in its calendar parts.
struct CSqlDateParts {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, ms = 0;
    int nWeekday = 0; // 0 for Sunday
};

// A value that is a date: a text in the forms SQL Server reads or a number of days from
// 1900-01-01; false for anything else.
bool SqlReadDate(sqlite3_value* v, CSqlDateParts* pParts);

// us_english names, January and Sunday first.
extern const char* const kSqlMonthNames[12];
extern const char* const kSqlDayNames[7];

int SqlRegisterDates(sqlite3* pDb);

// A date as CONVERT writes it in a style (23, 101-104, 108, 111, 112, 120, 121, 126; 0 as the
// column type nXtype stores it: date, time or datetime); empty for a date out of range.
std::string SqlFormatDate(DATE date, int nStyle, int nXtype);
