// The SQL the schema operations build, each format written once.
#pragma once

#include "platform/win/WinTypes.h"

// Table creation.
inline constexpr LPCWSTR kFmtCreateTableInDatabase = L"CREATE TABLE [%s].[dbo].[%s] (";
inline constexpr LPCWSTR kFmtCreateTable = L"CREATE TABLE %s (";
inline constexpr LPCWSTR kFmtClauseSized = L"[%s] %s (%d) ";
inline constexpr LPCWSTR kFmtClauseInt = L"[%s] int ";
inline constexpr LPCWSTR kFmtClauseFloat = L"[%s] float ";
inline constexpr LPCWSTR kFmtClauseImage = L"[%s] image NULL,";
inline constexpr LPCWSTR kFmtClauseDatetime = L"[%s] datetime DEFAULT GETDATE(),";
inline constexpr LPCWSTR kFmtClauseText = L"[%s] %s NULL,";
inline constexpr LPCWSTR kFmtClauseReal = L"[%s] real ";
inline constexpr LPCWSTR kSuffixPrimaryKey = L"PRIMARY KEY,";
inline constexpr LPCWSTR kSuffixNull = L"NULL,";
inline constexpr LPCWSTR kSuffixNotNull = L"NOT NULL,";
// Written for a null database name where a name is required: an empty delimited name, which
// names no database, so the statement fails and the failure is reported.
inline constexpr LPCWSTR kNoDatabase = L"[]";
inline constexpr LPCWSTR kFmtObjectByName = L"SELECT name FROM %s.dbo.sysobjects WHERE name = '%s'";

// Structure reading.
inline constexpr LPCWSTR kFmtColumnsInDatabase =
    L"SELECT name, xtype, length FROM %s.dbo.syscolumns WHERE id = (SELECT id FROM "
    L"%s.dbo.sysobjects WHERE name = "
    L"'%s') ORDER BY colid";
inline constexpr LPCWSTR kFmtColumns = L"SELECT name, xtype, length FROM syscolumns WHERE id = "
                                       L"(SELECT id FROM sysobjects WHERE name = '%s') ORDER BY "
                                       L"colid";
inline constexpr LPCWSTR kFmtTypesInDatabase = L"SELECT xtype,name from %s.dbo.systypes";
inline constexpr LPCWSTR kSqlTypes = L"SELECT xtype,name from systypes";
inline constexpr LPCWSTR kFmtColumnNamesInDatabase =
    L"SELECT name FROM %s.dbo.syscolumns WHERE id = (SELECT id FROM %s.dbo.sysobjects WHERE name = "
    L"'%s') ORDER BY "
    L"colid";
inline constexpr LPCWSTR kFmtColumnNames = L"SELECT name FROM syscolumns WHERE id = (SELECT id "
                                           L"FROM sysobjects WHERE name = '%s') ORDER BY colid";

// Alteration.
inline constexpr LPCWSTR kFmtDropTable = L"DROP TABLE [%s]";
inline constexpr LPCWSTR kFmtDropColumn = L"ALTER TABLE [%s].[dbo].[%s] DROP COLUMN [%s]";
inline constexpr LPCWSTR kFmtAddSizedColumn = L"ALTER TABLE [%s].[dbo].[%s] ADD [%s] %s(%d)";
inline constexpr LPCWSTR kFmtAddColumn = L"ALTER TABLE [%s].[dbo].[%s] ADD [%s] %s";

// Table names.
inline constexpr LPCWSTR kFmtUserTables = L"SELECT name FROM %s.dbo.sysobjects where xtype='U'";
inline constexpr LPCWSTR kDefaultTableType = L"TABLE";
inline constexpr LPCWSTR kColumnTableName = L"TABLE_NAME";
inline constexpr LPCWSTR kColumnTableType = L"TABLE_TYPE";
