// Connection strings: key=value pairs separated by ';'. Keys compare without regard to case
// (they come back lower-case), blanks around keys and values are dropped, and a value may be
// quoted with ' or " to hold ';' or blanks (a doubled quote inside stands for one).
#pragma once

#include <map>
#include <string>

// False for text that is not a connection string (a pair without '=', an unclosed quote, an
// empty key).
bool AdoParseConnectionString(const std::wstring& strText,
                              std::map<std::wstring, std::wstring>* pPairs);
