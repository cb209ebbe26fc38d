// The driver manager's interface (unixODBC), brought in next to the platform's Windows types.
// unixODBC declares its own Windows types unless told they exist; ours win, except that
// SQLWCHAR must stay the 16-bit unit the driver manager was built with, so it is char16_t here
// (same size and representation as unixODBC's unsigned short).
#pragma once

#include <memory>
#include <string>

#include "platform/win/WinTypes.h"

#define ALREADY_HAVE_WINDOWS_TYPE
#ifndef SQL_API
#define SQL_API
#endif
#ifndef FAR
#define FAR
#endif
#ifndef CALLBACK
#define CALLBACK
#endif
// What unixODBC leaves out along with the Windows types and still uses itself.
typedef signed char SQLSCHAR;
typedef signed short RETCODE;
typedef void* SQLHWND;
#define WCHAR char16_t
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>
#undef WCHAR

static_assert(sizeof(SQLWCHAR) == 2, "the driver manager speaks UTF-16");

// An ODBC handle of one type, freed when its owner goes. Not copyable; one thread at a time.
class COdbcHandle {
public:
    explicit COdbcHandle(SQLSMALLINT nType) : m_nType(nType) {}
    ~COdbcHandle() { Free(); }
    COdbcHandle(const COdbcHandle&) = delete;
    COdbcHandle& operator=(const COdbcHandle&) = delete;

    // Allocates under a parent handle (SQL_NULL_HANDLE for an environment).
    SQLRETURN Allocate(SQLHANDLE hParent) {
        Free();
        return SQLAllocHandle(m_nType, hParent, &m_h);
    }
    void Free() {
        if (m_h != SQL_NULL_HANDLE)
            SQLFreeHandle(m_nType, m_h);
        m_h = SQL_NULL_HANDLE;
    }
    // Hands the handle over to a new owner.
    SQLHANDLE Release() {
        SQLHANDLE h = m_h;
        m_h = SQL_NULL_HANDLE;
        return h;
    }
    SQLHANDLE Get() const { return m_h; }
    SQLSMALLINT Type() const { return m_nType; }

private:
    SQLSMALLINT m_nType;
    SQLHANDLE m_h = SQL_NULL_HANDLE;
};

// Text for the wide calls: UTF-16 units, null-terminated.
std::u16string OdbcText(const std::wstring& str);
// Wide text that came back from the driver manager (nUnits units, or up to a null when
// nUnits is SQL_NTS).
std::wstring OdbcWide(const SQLWCHAR* pUnits, SQLLEN nUnits);
