// The data-access component's enumerations and result codes, with their numbers.
#pragma once

#include "platform/win/WinTypes.h"

enum CursorTypeEnum {
    adOpenUnspecified = -1,
    adOpenForwardOnly = 0,
    adOpenKeyset = 1,
    adOpenDynamic = 2,
    adOpenStatic = 3,
};

enum LockTypeEnum {
    adLockUnspecified = -1,
    adLockReadOnly = 1,
    adLockPessimistic = 2,
    adLockOptimistic = 3,
    adLockBatchOptimistic = 4,
};

enum CommandTypeEnum {
    adCmdUnspecified = -1,
    adCmdText = 1,
    adCmdTable = 2,
    adCmdStoredProc = 4,
    adCmdUnknown = 8,
    adCmdFile = 256,
    adCmdTableDirect = 512,
};

enum ExecuteOptionEnum {
    adOptionUnspecified = -1,
    adAsyncExecute = 0x10,
    adAsyncFetch = 0x20,
    adExecuteNoRecords = 0x80,
};

enum ConnectOptionEnum {
    adConnectUnspecified = -1,
    adAsyncConnect = 0x10,
};

enum ConnectModeEnum {
    adModeUnknown = 0,
    adModeRead = 1,
    adModeWrite = 2,
    adModeReadWrite = 3,
    adModeShareDenyRead = 4,
    adModeShareDenyWrite = 8,
    adModeShareExclusive = 0xC,
    adModeShareDenyNone = 0x10,
};

enum ObjectStateEnum {
    adStateClosed = 0,
    adStateOpen = 1,
    adStateConnecting = 2,
    adStateExecuting = 4,
    adStateFetching = 8,
};

enum SchemaEnum {
    adSchemaColumns = 4,
    adSchemaTables = 20,
};

enum GetRowsOptionEnum {
    adGetRowsRest = -1,
};

enum BookmarkEnum {
    adBookmarkCurrent = 0,
    adBookmarkFirst = 1,
    adBookmarkLast = 2,
};

enum DataTypeEnum {
    adEmpty = 0,
    adTinyInt = 16,
    adSmallInt = 2,
    adInteger = 3,
    adBigInt = 20,
    adUnsignedTinyInt = 17,
    adUnsignedSmallInt = 18,
    adUnsignedInt = 19,
    adUnsignedBigInt = 21,
    adSingle = 4,
    adDouble = 5,
    adCurrency = 6,
    adDecimal = 14,
    adNumeric = 131,
    adBoolean = 11,
    adError = 10,
    adUserDefined = 132,
    adVariant = 12,
    adIDispatch = 9,
    adIUnknown = 13,
    adGUID = 72,
    adDate = 7,
    adDBDate = 133,
    adDBTime = 134,
    adDBTimeStamp = 135,
    adBSTR = 8,
    adChar = 129,
    adVarChar = 200,
    adLongVarChar = 201,
    adWChar = 130,
    adVarWChar = 202,
    adLongVarWChar = 203,
    adBinary = 128,
    adVarBinary = 204,
    adLongVarBinary = 205,
    adChapter = 136,
    adFileTime = 64,
    adPropVariant = 138,
    adVarNumeric = 139,
    adArray = 0x2000,
};

// Result codes of the data-access component and its providers.
#define DB_E_ERRORSINCOMMAND ((HRESULT)0x80040E14L)
#define DB_E_NOCOMMAND ((HRESULT)0x80040E0CL)
#define DB_E_ABORTLIMITREACHED ((HRESULT)0x80040E31L)
#define DB_E_INTEGRITYVIOLATION ((HRESULT)0x80040E2FL)
#define DB_E_NOTABLE ((HRESULT)0x80040E37L)
#define DB_E_NOTSUPPORTED ((HRESULT)0x80040E53L)
#define XACT_E_NOTRANSACTION ((HRESULT)0x8004D00EL)
#define adErrItemNotFound ((HRESULT)0x800A0CC1L)
#define adErrObjectClosed ((HRESULT)0x800A0E78L)
#define adErrNoCurrentRecord ((HRESULT)0x800A0BCDL)
#define adErrProviderNotFound ((HRESULT)0x800A0E7AL)
#define adErrFeatureNotAvailable ((HRESULT)0x800A0CB3L)
#define adErrObjectOpen ((HRESULT)0x800A0E79L)
#define adErrInvalidArgument ((HRESULT)0x800A0BB9L)
#define adErrIllegalOperation ((HRESULT)0x800A0C93L)
#define adErrDataConversion ((HRESULT)0x800A0D5AL)
#define adErrInvalidConnection ((HRESULT)0x800A0E7DL)
