#include "platform/afx/CFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/win/TextEncoding.h"

IMPLEMENT_DYNAMIC(CFile, CObject)
IMPLEMENT_DYNAMIC(CMemFile, CFile)

CFile::CFile() : m_hFile(hFileNull), m_bCloseOnDelete(FALSE) {}

CFile::CFile(LPCWSTR lpszFileName, UINT nOpenFlags) : CFile() {
    CFileException e;
    if (!Open(lpszFileName, nOpenFlags, &e))
        AfxThrowFileException(e.m_cause, e.m_lOsError, e.m_strFileName);
}

CFile::~CFile() {
    if (m_hFile != hFileNull && m_bCloseOnDelete)
        Abort();
}

BOOL CFile::Open(LPCWSTR lpszFileName, UINT nOpenFlags, CFileException* pError) {
    if (m_hFile != hFileNull)
        Abort();
    m_strFileName = lpszFileName;
    int nFlags = O_CLOEXEC;
    switch (nOpenFlags & 3) {
    case modeRead:
        nFlags |= O_RDONLY;
        break;
    case modeWrite:
        nFlags |= O_WRONLY;
        break;
    default:
        nFlags |= O_RDWR;
        break;
    }
    if (nOpenFlags & modeCreate)
        nFlags |= (nOpenFlags & modeNoTruncate) ? O_CREAT : (O_CREAT | O_TRUNC);
    std::string path = WinWideToUtf8(lpszFileName ? lpszFileName : L"");
    int fd = path.empty() ? -1 : ::open(path.c_str(), nFlags, 0666);
    if (fd < 0) {
        int nErr = path.empty() ? ENOENT : errno;
        if (pError) {
            pError->m_cause = CFileException::OsErrorToException(nErr);
            pError->m_lOsError = nErr;
            pError->m_strFileName = m_strFileName;
        }
        return FALSE;
    }
    m_hFile = fd;
    m_bCloseOnDelete = TRUE;
    return TRUE;
}

void CFile::ThrowLastError() const {
    CFileException::ThrowOsError(errno, m_strFileName);
}

UINT CFile::Read(void* lpBuf, UINT nCount) {
    if (m_hFile == hFileNull)
        AfxThrowFileException(CFileException::invalidFile, EBADF, m_strFileName);
    if (lpBuf == nullptr && nCount != 0)
        AfxThrowInvalidArgException();
    UINT nDone = 0;
    auto* p = static_cast<char*>(lpBuf);
    while (nDone < nCount) {
        ssize_t n = ::read(m_hFile, p + nDone, nCount - nDone);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ThrowLastError();
        }
        if (n == 0)
            break;
        nDone += static_cast<UINT>(n);
    }
    return nDone;
}

void CFile::Write(const void* lpBuf, UINT nCount) {
    if (m_hFile == hFileNull)
        AfxThrowFileException(CFileException::invalidFile, EBADF, m_strFileName);
    if (lpBuf == nullptr && nCount != 0)
        AfxThrowInvalidArgException();
    UINT nDone = 0;
    auto* p = static_cast<const char*>(lpBuf);
    while (nDone < nCount) {
        ssize_t n = ::write(m_hFile, p + nDone, nCount - nDone);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ThrowLastError();
        }
        nDone += static_cast<UINT>(n);
    }
}

ULONGLONG CFile::Seek(LONGLONG lOff, UINT nFrom) {
    int nWhence = nFrom == begin ? SEEK_SET : nFrom == current ? SEEK_CUR : SEEK_END;
    if (nFrom > end)
        AfxThrowFileException(CFileException::badSeek, EINVAL, m_strFileName);
    off_t pos = ::lseek(m_hFile, static_cast<off_t>(lOff), nWhence);
    if (pos < 0)
        ThrowLastError();
    return static_cast<ULONGLONG>(pos);
}

ULONGLONG CFile::GetLength() const {
    struct stat st;
    if (::fstat(m_hFile, &st) != 0)
        ThrowLastError();
    return static_cast<ULONGLONG>(st.st_size);
}

void CFile::SetLength(ULONGLONG dwNewLen) {
    if (::ftruncate(m_hFile, static_cast<off_t>(dwNewLen)) != 0)
        ThrowLastError();
}

ULONGLONG CFile::GetPosition() const {
    off_t pos = ::lseek(m_hFile, 0, SEEK_CUR);
    if (pos < 0)
        ThrowLastError();
    return static_cast<ULONGLONG>(pos);
}

void CFile::Flush() {
    if (m_hFile != hFileNull && ::fsync(m_hFile) != 0 && errno != EINVAL && errno != EROFS)
        ThrowLastError();
}

void CFile::Close() {
    int fd = m_hFile;
    m_hFile = hFileNull;
    m_bCloseOnDelete = FALSE;
    if (fd != hFileNull && ::close(fd) != 0 && errno != EINTR)
        CFileException::ThrowOsError(errno, m_strFileName);
    m_strFileName.Empty();
}

void CFile::Abort() {
    if (m_hFile != hFileNull)
        ::close(m_hFile);
    m_hFile = hFileNull;
    m_bCloseOnDelete = FALSE;
    m_strFileName.Empty();
}

CString CFile::GetFileName() const {
    int nSlash = std::max(m_strFileName.ReverseFind(L'/'), m_strFileName.ReverseFind(L'\\'));
    return m_strFileName.Mid(nSlash + 1);
}

CString CFile::GetFileTitle() const {
    CString strName = GetFileName();
    int nDot = strName.ReverseFind(L'.');
    return nDot > 0 ? strName.Left(nDot) : strName;
}

void CFile::Remove(LPCWSTR lpszFileName) {
    if (::unlink(WinWideToUtf8(lpszFileName).c_str()) != 0)
        CFileException::ThrowOsError(errno, lpszFileName);
}

void CFile::Rename(LPCWSTR lpszOldName, LPCWSTR lpszNewName) {
    if (::rename(WinWideToUtf8(lpszOldName).c_str(), WinWideToUtf8(lpszNewName).c_str()) != 0)
        CFileException::ThrowOsError(errno, lpszOldName);
}

CMemFile::CMemFile(UINT nGrowBytes) : m_nGrowBytes(nGrowBytes) {}

CMemFile::CMemFile(BYTE* lpBuffer, UINT nBufferSize, UINT nGrowBytes) : m_nGrowBytes(nGrowBytes) {
    Attach(lpBuffer, nBufferSize, nGrowBytes);
}

CMemFile::~CMemFile() {
    Close();
}

void CMemFile::Attach(BYTE* lpBuffer, UINT nBufferSize, UINT nGrowBytes) {
    if (lpBuffer == nullptr && nBufferSize != 0)
        AfxThrowInvalidArgException();
    Close();
    m_lpBuffer = lpBuffer;
    m_nBufferSize = nBufferSize;
    // A fixed buffer is a file of that size; a growable one starts empty.
    m_nFileSize = nGrowBytes == 0 ? nBufferSize : 0;
    m_nPosition = 0;
    m_nGrowBytes = nGrowBytes;
    m_bAutoDelete = FALSE;
}

BYTE* CMemFile::Detach() {
    BYTE* p = m_lpBuffer;
    m_lpBuffer = nullptr;
    m_nBufferSize = m_nFileSize = m_nPosition = 0;
    m_bAutoDelete = TRUE;
    return p;
}

void CMemFile::GrowFile(size_t nNewLen) {
    if (nNewLen <= m_nBufferSize)
        return;
    if (m_nGrowBytes == 0 || !m_bAutoDelete)
        AfxThrowMemoryException(); // a fixed buffer cannot grow
    size_t nNew = std::max(nNewLen, m_nBufferSize + m_nBufferSize / 2);
    nNew = (nNew + m_nGrowBytes - 1) / m_nGrowBytes * m_nGrowBytes;
    auto* p = static_cast<BYTE*>(std::realloc(m_lpBuffer, nNew));
    if (p == nullptr)
        AfxThrowMemoryException();
    m_lpBuffer = p;
    m_nBufferSize = nNew;
}

UINT CMemFile::Read(void* lpBuf, UINT nCount) {
    if (lpBuf == nullptr && nCount != 0)
        AfxThrowInvalidArgException();
    if (m_nPosition >= m_nFileSize || nCount == 0)
        return 0;
    size_t n = std::min<size_t>(nCount, m_nFileSize - m_nPosition);
    std::memcpy(lpBuf, m_lpBuffer + m_nPosition, n);
    m_nPosition += n;
    return static_cast<UINT>(n);
}

void CMemFile::Write(const void* lpBuf, UINT nCount) {
    if (nCount == 0)
        return;
    if (lpBuf == nullptr)
        AfxThrowInvalidArgException();
    size_t nEnd = m_nPosition + nCount;
    GrowFile(nEnd);
    if (m_nPosition > m_nFileSize) // writing after a seek past the end fills the gap
        std::memset(m_lpBuffer + m_nFileSize, 0, m_nPosition - m_nFileSize);
    std::memmove(m_lpBuffer + m_nPosition, lpBuf, nCount);
    m_nPosition = nEnd;
    if (nEnd > m_nFileSize)
        m_nFileSize = nEnd;
}

ULONGLONG CMemFile::Seek(LONGLONG lOff, UINT nFrom) {
    LONGLONG nBase = nFrom == begin     ? 0
                     : nFrom == current ? static_cast<LONGLONG>(m_nPosition)
                                        : static_cast<LONGLONG>(m_nFileSize);
    // The sum is checked before it is formed: LLONG_MAX from the end must not wrap.
    if (nFrom > end || (lOff > 0 && nBase > LLONG_MAX - lOff) || nBase + lOff < 0)
        AfxThrowFileException(CFileException::badSeek, EINVAL, m_strFileName);
    m_nPosition = static_cast<size_t>(nBase + lOff);
    return m_nPosition;
}

void CMemFile::SetLength(ULONGLONG dwNewLen) {
    GrowFile(static_cast<size_t>(dwNewLen));
    if (dwNewLen > m_nFileSize)
        std::memset(m_lpBuffer + m_nFileSize, 0, static_cast<size_t>(dwNewLen) - m_nFileSize);
    m_nFileSize = static_cast<size_t>(dwNewLen);
    if (m_nPosition > m_nFileSize)
        m_nPosition = m_nFileSize;
}

void CMemFile::Close() {
    if (m_bAutoDelete)
        std::free(m_lpBuffer);
    m_lpBuffer = nullptr;
    m_nBufferSize = m_nFileSize = m_nPosition = 0;
    m_bAutoDelete = TRUE;
}
