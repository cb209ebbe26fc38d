// CZORTableField: the description of one table column, filled by the host to create tables
// or add columns, and by the library when it reads a table's structure.
#pragma once

#include "platform/afx/CString.h"
#include "platform/afx/ExtensionModule.h"
#include "platform/win/WinTypes.h"

class AFX_EXT_CLASS CZORTableField {
public:
    CZORTableField();
    CZORTableField(const CZORTableField& src);
    CZORTableField& operator=(const CZORTableField& src);
    virtual ~CZORTableField();

    CString m_strName;  // column name, without brackets
    CString m_strType;  // SQL Server type name: "varchar", "int", "datetime", ...
    int m_nSize;        // declared length for varchar/nvarchar; read back as its producer stored it
    BOOL m_bAllowNull;  // TRUE by default
    BOOL m_bPrimaryKey; // FALSE by default; overrides m_bAllowNull
};
