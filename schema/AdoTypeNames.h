// Names of data-access field types and their SQL Server counterparts, for reading a table's
// structure through the provider's field descriptions.
#pragma once

#include "platform/afx/CString.h"

// The DataTypeEnum member name of nADOType, or "*UNKNOWN*" (also for adArray and any value
// combined with it).
CString GetADOTypeName(LONG nADOType);

// The SQL Server type for a DataTypeEnum name (compared without regard to case) and the length
// that goes with it. A null name returns nSize and leaves strSQLType as it was; a name the
// table does not know gives "varchar" and 50.
int GetSQLSrvTypeFromADO(LPCWSTR lpszADOType, int nSize, CString& strSQLType);
