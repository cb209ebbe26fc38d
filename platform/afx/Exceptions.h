// The framework's exceptions. They are thrown as heap objects by pointer and the catcher
// releases them with Delete():   catch (CException* e) { ...; e->Delete(); }
#pragma once

#include "platform/afx/CObject.h"
#include "platform/afx/CString.h"
#include "platform/win/WinTypes.h"

class CException : public CObject {
    DECLARE_DYNAMIC(CException)
public:
    explicit CException(BOOL bAutoDelete = TRUE) : m_bAutoDelete(bAutoDelete) {}
    ~CException() override = default;

    // Frees the exception unless it is one of the preallocated ones.
    void Delete();
    // Copies the message into the buffer (truncated, always terminated).
    virtual BOOL GetErrorMessage(LPWSTR lpszError, UINT nMaxError,
                                 UINT* pnHelpContext = nullptr) const;
    // The message text, as GetErrorMessage gives it.
    CString GetErrorText() const;
    // Shows the message through AfxMessageBox and returns its answer.
    virtual int ReportError(UINT nType = 0x00000030L /* MB_ICONEXCLAMATION */, UINT nMessageID = 0);

    BOOL m_bAutoDelete;

protected:
    virtual CString MessageText() const;
};

class CMemoryException : public CException {
    DECLARE_DYNAMIC(CMemoryException)
public:
    explicit CMemoryException(BOOL bAutoDelete = TRUE) : CException(bAutoDelete) {}

protected:
    CString MessageText() const override;
};

class CNotSupportedException : public CException {
    DECLARE_DYNAMIC(CNotSupportedException)
public:
    explicit CNotSupportedException(BOOL bAutoDelete = TRUE) : CException(bAutoDelete) {}

protected:
    CString MessageText() const override;
};

class CInvalidArgException : public CException {
    DECLARE_DYNAMIC(CInvalidArgException)
public:
    explicit CInvalidArgException(BOOL bAutoDelete = TRUE) : CException(bAutoDelete) {}

protected:
    CString MessageText() const override;
};

class CArchiveException : public CException {
    DECLARE_DYNAMIC(CArchiveException)
public:
    enum {
        none,
        genericException,
        readOnly,
        endOfFile,
        writeOnly,
        badIndex,
        badClass,
        badSchema,
        bufferFull,
        generic = genericException,
    };
    explicit CArchiveException(int cause = none, LPCWSTR lpszArchiveName = nullptr)
        : m_cause(cause), m_strFileName(lpszArchiveName) {}

    int m_cause;
    CString m_strFileName;

protected:
    CString MessageText() const override;
};

class CFileException : public CException {
    DECLARE_DYNAMIC(CFileException)
public:
    enum {
        none,
        genericException,
        fileNotFound,
        badPath,
        tooManyOpenFiles,
        accessDenied,
        invalidFile,
        removeCurrentDir,
        directoryFull,
        badSeek,
        hardIO,
        sharingViolation,
        lockViolation,
        diskFull,
        endOfFile,
        generic = genericException,
    };
    explicit CFileException(int cause = none, LONG lOsError = -1, LPCWSTR lpszArchiveName = nullptr)
        : m_cause(cause), m_lOsError(lOsError), m_strFileName(lpszArchiveName) {}

    // The cause for a system error number (errno).
    static int OsErrorToException(LONG lOsError);
    [[noreturn]] static void ThrowOsError(LONG lOsError, LPCWSTR lpszFileName = nullptr);

    int m_cause;
    LONG m_lOsError;
    CString m_strFileName;

protected:
    CString MessageText() const override;
};

class COleException : public CException {
    DECLARE_DYNAMIC(COleException)
public:
    explicit COleException(SCODE sc = 0) : m_sc(sc) {}
    // The status code an exception stands for: its own for a COleException, E_OUTOFMEMORY for
    // a memory exception, E_INVALIDARG for an invalid argument, E_NOTIMPL for an unsupported
    // operation, E_UNEXPECTED otherwise.
    static SCODE Process(const CException* pAnyException);

    SCODE m_sc;

protected:
    CString MessageText() const override;
};

[[noreturn]] void AfxThrowMemoryException();
[[noreturn]] void AfxThrowNotSupportedException();
[[noreturn]] void AfxThrowInvalidArgException();
[[noreturn]] void AfxThrowArchiveException(int cause, LPCWSTR lpszArchiveName = nullptr);
[[noreturn]] void AfxThrowFileException(int cause, LONG lOsError = -1,
                                        LPCWSTR lpszFileName = nullptr);
[[noreturn]] void AfxThrowOleException(SCODE sc);
