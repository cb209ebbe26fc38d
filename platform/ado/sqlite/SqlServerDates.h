// SQL Server's date functions on SQLite: DATEADD, DATEDIFF and DATEPART (which the bridge
// writes as zqk_dateadd('part', ...) and so on, the part quoted), YEAR, MONTH, DAY and ISDATE,
// over dates stored as text and the numbers of days from 1900-01-01 that SQL Server reads as
// dates.
#pragma once

#include <sqlite3.h>

int SqlRegisterDates(sqlite3* pDb);
