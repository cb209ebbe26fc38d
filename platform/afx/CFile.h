// Files through the framework's interface: a CFile wraps a system file descriptor and raises
// CFileException on failure; CMemFile keeps its bytes in memory.
#pragma once

#include "platform/afx/CObject.h"
#include "platform/afx/CString.h"
#include "platform/afx/Exceptions.h"
#include "platform/win/WinTypes.h"

class CFile : public CObject {
    DECLARE_DYNAMIC(CFile)
public:
    enum OpenFlags : UINT {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        modeReadWrite = 0x0002,
        shareCompat = 0x0000,
        shareExclusive = 0x0010,
        shareDenyWrite = 0x0020,
        shareDenyRead = 0x0030,
        shareDenyNone = 0x0040,
        modeNoInherit = 0x0080,
        modeCreate = 0x1000,
        modeNoTruncate = 0x2000,
        typeText = 0x4000,
        typeBinary = 0x8000,
    };
    enum SeekPosition { begin = 0, current = 1, end = 2 };
    static constexpr int hFileNull = -1; // constexpr: inline, so it can be bound to a reference

    CFile();
    // Opens or raises CFileException.
    CFile(LPCWSTR lpszFileName, UINT nOpenFlags);
    ~CFile() override;

    // Sharing flags are accepted and not enforced: this system has no mandatory sharing
    // modes. Text and binary mode are the same here.
    virtual BOOL Open(LPCWSTR lpszFileName, UINT nOpenFlags, CFileException* pError = nullptr);
    // Reads up to nCount bytes; fewer only at the end of the file.
    virtual UINT Read(void* lpBuf, UINT nCount);
    virtual void Write(const void* lpBuf, UINT nCount);
    virtual ULONGLONG Seek(LONGLONG lOff, UINT nFrom);
    void SeekToBegin() { Seek(0, begin); }
    ULONGLONG SeekToEnd() { return Seek(0, end); }
    virtual ULONGLONG GetLength() const;
    virtual void SetLength(ULONGLONG dwNewLen);
    virtual ULONGLONG GetPosition() const;
    virtual void Flush();
    virtual void Close();
    // Closes without raising.
    virtual void Abort();

    virtual CString GetFilePath() const { return m_strFileName; }
    // The last component of the path (after '/' or '\').
    virtual CString GetFileName() const;
    // The file name without its extension.
    virtual CString GetFileTitle() const;

    static void Remove(LPCWSTR lpszFileName);
    static void Rename(LPCWSTR lpszOldName, LPCWSTR lpszNewName);

    int m_hFile;
    BOOL m_bCloseOnDelete;
    CString m_strFileName;

protected:
    [[noreturn]] void ThrowLastError() const;
};

class CMemFile : public CFile {
    DECLARE_DYNAMIC(CMemFile)
public:
    explicit CMemFile(UINT nGrowBytes = 1024);
    // Uses the caller's buffer; nGrowBytes 0 keeps it fixed in size.
    CMemFile(BYTE* lpBuffer, UINT nBufferSize, UINT nGrowBytes = 0);
    ~CMemFile() override;

    void Attach(BYTE* lpBuffer, UINT nBufferSize, UINT nGrowBytes = 0);
    // Hands the buffer (allocated with malloc unless attached) to the caller.
    BYTE* Detach();

    UINT Read(void* lpBuf, UINT nCount) override;
    void Write(const void* lpBuf, UINT nCount) override;
    ULONGLONG Seek(LONGLONG lOff, UINT nFrom) override;
    ULONGLONG GetLength() const override { return m_nFileSize; }
    void SetLength(ULONGLONG dwNewLen) override;
    ULONGLONG GetPosition() const override { return m_nPosition; }
    void Flush() override {}
    void Close() override;
    void Abort() override { Close(); }

private:
    void GrowFile(size_t nNewLen);

    BYTE* m_lpBuffer = nullptr;
    size_t m_nBufferSize = 0;
    size_t m_nFileSize = 0;
    size_t m_nPosition = 0;
    UINT m_nGrowBytes;
    BOOL m_bAutoDelete = TRUE;
};
