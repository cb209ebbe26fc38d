// SQL Server's string functions beyond the basic ones: STUFF, STR, PATINDEX, DATALENGTH (which
// the bridge writes as zqk_datalength(value, 'type'), the type its argument is declared with
// when it is known) and FORMAT with a subset of .NET's format strings in en-US.
#pragma once

#include <sqlite3.h>

#include <string>

// A number's 15 significant digits with a number of decimals, halves rounded away from zero,
// without "-0".
std::string SqlFixed(double d, int nDecimals);

// The functions of SqlServerStrings.cpp on a connection.
int SqlRegisterStrings(sqlite3* pDb);
// FORMAT(value, format[, culture]) on a connection.
int SqlRegisterFormat(sqlite3* pDb);
