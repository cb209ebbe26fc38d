#include "platform/afx/Exceptions.h"

#include <cerrno>
#include <cwchar>

#include "platform/afx/CWinApp.h"
#include "platform/win/WinError.h"

IMPLEMENT_DYNAMIC(CException, CObject)
IMPLEMENT_DYNAMIC(CMemoryException, CException)
IMPLEMENT_DYNAMIC(CNotSupportedException, CException)
IMPLEMENT_DYNAMIC(CInvalidArgException, CException)
IMPLEMENT_DYNAMIC(CArchiveException, CException)
IMPLEMENT_DYNAMIC(CFileException, CException)
IMPLEMENT_DYNAMIC(COleException, CException)

void CException::Delete() {
    if (m_bAutoDelete)
        delete this;
}

CString CException::MessageText() const {
    return CString(L"An unknown error has occurred.");
}

CString CException::GetErrorText() const {
    return MessageText();
}

BOOL CException::GetErrorMessage(LPWSTR lpszError, UINT nMaxError, UINT* pnHelpContext) const {
    if (pnHelpContext)
        *pnHelpContext = 0;
    if (lpszError == nullptr || nMaxError == 0)
        return FALSE;
    CString strText = MessageText();
    size_t n = static_cast<size_t>(strText.GetLength());
    if (n >= nMaxError)
        n = nMaxError - 1;
    wmemcpy(lpszError, strText.GetString(), n);
    lpszError[n] = 0;
    return TRUE;
}

int CException::ReportError(UINT nType, UINT nMessageID) {
    return AfxMessageBox(MessageText(), nType, nMessageID);
}

CString CMemoryException::MessageText() const {
    return CString(L"Out of memory.");
}

CString CNotSupportedException::MessageText() const {
    return CString(L"The requested operation is not supported.");
}

CString CInvalidArgException::MessageText() const {
    return CString(L"An invalid argument was encountered.");
}

namespace {

CString WithFile(LPCWSTR pszText, const CString& strFile) {
    CString s(pszText);
    if (!strFile.IsEmpty())
        s += L" (" + strFile + L")";
    return s;
}

} // namespace

CString CArchiveException::MessageText() const {
    static const wchar_t* const kTexts[] = {
        L"No error occurred.",
        L"An unspecified error occurred while reading or writing an archive.",
        L"An attempt was made to write to an archive opened for loading.",
        L"An attempt was made to read past the end of an archive.",
        L"An attempt was made to read from an archive opened for storing.",
        L"An archive holds an invalid object index.",
        L"An archive names a class that is unknown or not the one expected.",
        L"An archive holds an object of an unsupported version.",
        L"An archive's buffer is full.",
    };
    LPCWSTR psz = m_cause >= 0 && m_cause < static_cast<int>(sizeof kTexts / sizeof kTexts[0])
                      ? kTexts[m_cause]
                      : kTexts[genericException];
    return WithFile(psz, m_strFileName);
}

int CFileException::OsErrorToException(LONG lOsError) {
    switch (lOsError) {
    case 0:
        return none;
    case ENOENT:
        return fileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
        return badPath;
    case EMFILE:
    case ENFILE:
        return tooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case EEXIST:
        return accessDenied;
    case EBADF:
        return invalidFile;
    case EBUSY:
        return sharingViolation;
    case ESPIPE:
    case EINVAL:
        return badSeek;
    case EIO:
        return hardIO;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return diskFull;
    default:
        return genericException;
    }
}

void CFileException::ThrowOsError(LONG lOsError, LPCWSTR lpszFileName) {
    AfxThrowFileException(OsErrorToException(lOsError), lOsError, lpszFileName);
}

CString CFileException::MessageText() const {
    static const wchar_t* const kTexts[] = {
        L"No error occurred.",
        L"An unspecified error occurred while accessing a file.",
        L"The file could not be found.",
        L"The path is invalid.",
        L"Too many files are open.",
        L"Access to the file was denied.",
        L"An invalid file handle was used.",
        L"The current working directory cannot be removed.",
        L"There are no more directory entries.",
        L"An error occurred while setting the file position.",
        L"A hardware error occurred.",
        L"The file is in use.",
        L"The file region is locked.",
        L"The disk is full.",
        L"The end of the file was reached.",
    };
    LPCWSTR psz = m_cause >= 0 && m_cause < static_cast<int>(sizeof kTexts / sizeof kTexts[0])
                      ? kTexts[m_cause]
                      : kTexts[genericException];
    return WithFile(psz, m_strFileName);
}

SCODE COleException::Process(const CException* pAnyException) {
    if (pAnyException == nullptr)
        return E_UNEXPECTED;
    if (pAnyException->IsKindOf(RUNTIME_CLASS(COleException)))
        return static_cast<const COleException*>(pAnyException)->m_sc;
    if (pAnyException->IsKindOf(RUNTIME_CLASS(CMemoryException)))
        return E_OUTOFMEMORY;
    if (pAnyException->IsKindOf(RUNTIME_CLASS(CInvalidArgException)))
        return E_INVALIDARG;
    if (pAnyException->IsKindOf(RUNTIME_CLASS(CNotSupportedException)))
        return E_NOTIMPL;
    return E_UNEXPECTED;
}

CString COleException::MessageText() const {
    CString s;
    s.Format(L"An OLE error 0x%08lX occurred.", static_cast<ULONG>(m_sc));
    return s;
}

void AfxThrowMemoryException() {
    // Preallocated: throwing it must not need memory.
    static CMemoryException s_memoryException(FALSE);
    throw &s_memoryException;
}

void AfxThrowNotSupportedException() {
    throw new CNotSupportedException;
}

void AfxThrowInvalidArgException() {
    throw new CInvalidArgException;
}

void AfxThrowArchiveException(int cause, LPCWSTR lpszArchiveName) {
    throw new CArchiveException(cause, lpszArchiveName);
}

void AfxThrowFileException(int cause, LONG lOsError, LPCWSTR lpszFileName) {
    throw new CFileException(cause, lOsError, lpszFileName);
}

void AfxThrowOleException(SCODE sc) {
    throw new COleException(sc);
}
