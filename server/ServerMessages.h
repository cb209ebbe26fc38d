// The server's own message texts and report formats, each written once.
#pragma once

#include "platform/win/WinTypes.h"

// Shown when COM cannot be initialised while a server is constructed.
inline constexpr LPCWSTR kMsgComInitFailed = L"初始化Com失败!";
// Shown when an operation finds no connection object.
inline constexpr LPCWSTR kMsgNoConnection = L"数据库没有正常连接...";
// The detailed report of a COM failure: code, its meaning, source, description.
inline constexpr LPCWSTR kFmtComErrorReport =
    L"Error:\n\tCode = %08lx\n\tCode meaning = %s\n\tSource = %s\n\tDescription = %s\n";
// The connection string built from an ODBC data source, user and password.
inline constexpr LPCWSTR kFmtDsnConnection = L"DSN=%s; UID=%s; PWD=%s";
