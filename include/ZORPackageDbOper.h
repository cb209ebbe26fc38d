// CZORPackageDbOper: stores files in a binary column of a table row and writes such a column
// back to a file, through the connection of a CZORADORXServer it is given (and never owns).
// Binary data travels as a variant holding a one-dimensional byte array with lower bound 0.
// Thread safety: a packer belongs to one thread at a time, the thread that owns its server;
// it runs message boxes, the wait cursor and the folder picker on that thread.
#pragma once

#include "platform/afx/CString.h"
#include "platform/afx/ExtensionModule.h"
#include "platform/com/Variant.h"
#include "platform/com/VariantT.h"

class CZORADORXServer;
class CZORValueTable;

class AFX_EXT_CLASS CZORPackageDbOper {
public:
    CZORPackageDbOper();
    // Copies share the server.
    CZORPackageDbOper(const CZORPackageDbOper& src);
    CZORPackageDbOper& operator=(const CZORPackageDbOper& src);
    virtual ~CZORPackageDbOper();

    void SetDbSrv(CZORADORXServer* pSrv);

    // Stores the file strFile as a new row of table strTable: its bytes in the binary column
    // strField, and one further column per row of tabValues (column name, value as text, SQL
    // type name "varchar", "text", "int", "float" or "datetime"; other rows are skipped).
    // 1 when the row was written. 0, with nothing written, without a server, for a missing
    // file or one over the size limit (after a message box), or when the database refuses
    // the row. Other data-access failures raise _com_error; file errors CFileException.
    int PutPackageToDb(CString& strFile, const CString& strTable, const CString& strField,
                       CZORValueTable& tabValues);
    // Runs strSQL and writes the bytes of column strField of its first row to a file named by
    // strFile. nMode 0: into the temporary-files folder. Otherwise into strFile's own folder,
    // or, when it has none, into a folder the user picks. strFile receives the full path
    // (unless the picker is cancelled). 1 when written (also when the file cannot be created);
    // 0 when cancelled, without a server, for no row, or an empty or NULL value.
    // Data-access failures raise _com_error; write errors CFileException.
    int OutPackageToFile(CString& strFile, const CString& strSQL, const CString& strField,
                         int nMode);

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
