// CZORPackageDbOper: stores files in a binary column of a table row and writes such a column
// back to a file, through the connection of a CZORADORXServer it is given (and never owns).
// Binary data travels as a variant holding a one-dimensional byte array with lower bound 0.
#pragma once

#include "platform/afx/CString.h"
#include "platform/afx/ExtensionModule.h"
#include "platform/com/Variant.h"
#include "platform/com/VariantT.h"

class CZORADORXServer;

class AFX_EXT_CLASS CZORPackageDbOper {
public:
    CZORPackageDbOper();
    // Copies share the server.
    CZORPackageDbOper(const CZORPackageDbOper& src);
    CZORPackageDbOper& operator=(const CZORPackageDbOper& src);
    virtual ~CZORPackageDbOper();

    void SetDbSrv(CZORADORXServer* pSrv);

protected:
    // Reads the whole file into var (VT_ARRAY | VT_UI1; var's old contents are overwritten,
    // not released). 0 when the file does not exist or, after a message box, is larger than
    // 20,020,000 bytes. A file that cannot be opened or read raises CFileException.
    int MakeVariantFromFile(VARIANT& var, CString& strFile);
    // Takes the byte array out of var (left VT_EMPTY) and writes its first nSize bytes to
    // strFile, created or emptied. Returns 1, also when the file cannot be created.
    int MakeFileFromVariant(CString& strFile, VARIANT& var, long nSize);
    // Turns text into the value of a column of SQL type strType ("varchar", "text", "int",
    // "float", "datetime"; exact names). 1 for those types, 0 (var unchanged) otherwise.
    int GetConvertValue(_variant_t& var, CString& strValue, CString& strType);

    CZORADORXServer* m_pDbSrv;
};
