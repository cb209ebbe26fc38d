// Buffered binary serialisation over a CFile, in the framework's byte format: little-endian
// integers, its string format, variable-width counts and its persistent-object framing.
// Damaged input never crashes and never asks for memory the file cannot fill: a count or a
// length beyond the end of the data ends in CArchiveException(endOfFile).
#pragma once

#include <unordered_map>
#include <vector>

#include "platform/afx/CFile.h"
#include "platform/afx/CObject.h"
#include "platform/afx/CString.h"
#include "platform/win/WinTypes.h"

class CArchive {
public:
    enum Mode { store = 0, load = 1, bNoFlushOnDelete = 2, bNoByteSwap = 4 };

    // An own buffer has at least 128 bytes; a caller's buffer (lpBuf) is used at nBufSize.
    CArchive(CFile* pFile, UINT nMode, int nBufSize = 4096, void* lpBuf = nullptr);
    ~CArchive();
    CArchive(const CArchive&) = delete;
    CArchive& operator=(const CArchive&) = delete;

    BOOL IsLoading() const noexcept { return (m_nMode & load) != 0; }
    BOOL IsStoring() const noexcept { return (m_nMode & load) == 0; }
    BOOL IsByteSwapping() const noexcept { return FALSE; }
    BOOL IsBufferEmpty() const noexcept { return m_nBufPos == m_nBufEnd; }
    CFile* GetFile() const noexcept { return m_pFile; }

    // The schema of the object being loaded by ReadObject (for versionable classes).
    UINT GetObjectSchema();
    void SetObjectSchema(UINT nSchema) { m_nObjectSchema = nSchema; }

    // Reads up to nMax bytes; fewer only at the end of the data.
    UINT Read(void* lpBuf, UINT nMax);
    // Reads exactly nCount bytes or raises endOfFile.
    void EnsureRead(void* lpBuf, UINT nCount);
    void Write(const void* lpBuf, UINT nMax);
    // Storing: writes the waiting bytes. Loading: moves the file back to just after the bytes
    // consumed, so that the file can be read on from there.
    void Flush();
    // Flushes and detaches from the file (which stays open). The destructor does the same
    // unless the mode has bNoFlushOnDelete.
    void Close();
    // Detaches without flushing and without raising.
    void Abort() noexcept;

    // Counts: WORD below 0xFFFF, else 0xFFFF and a DWORD, else 0xFFFFFFFF and a QWORD.
    void WriteCount(DWORD_PTR dwCount);
    DWORD_PTR ReadCount();

    // Persistent-object framing (class name and schema, back-references by index).
    void WriteObject(const CObject* pOb);
    CObject* ReadObject(const CRuntimeClass* pClassRefRequested);
    void WriteClass(const CRuntimeClass* pClassRef);
    CRuntimeClass* ReadClass(const CRuntimeClass* pClassRefRequested = nullptr,
                             UINT* pSchema = nullptr, DWORD* pObTag = nullptr);
    // Lets later references to pOb be written (or read) as a back-reference.
    void MapObject(const CObject* pOb);

    CArchive& operator<<(BYTE by);
    CArchive& operator<<(WORD w);
    CArchive& operator<<(int i);
    CArchive& operator<<(unsigned int u);
    CArchive& operator<<(short w);
    CArchive& operator<<(char ch);
    CArchive& operator<<(signed char ch);
    CArchive& operator<<(bool b);
    CArchive& operator<<(long l);
    CArchive& operator<<(unsigned long l);
    CArchive& operator<<(long long l);
    CArchive& operator<<(unsigned long long l);
    CArchive& operator<<(float f);
    CArchive& operator<<(double d);
    // The wide string form: FF FE FF, a length in UTF-16 units (1, 3 or 7 bytes), UTF-16LE.
    CArchive& operator<<(const CString& str);
    CArchive& operator<<(LPCWSTR psz) { return *this << CString(psz); }

    CArchive& operator>>(BYTE& by);
    CArchive& operator>>(WORD& w);
    CArchive& operator>>(int& i);
    CArchive& operator>>(unsigned int& u);
    CArchive& operator>>(short& w);
    CArchive& operator>>(char& ch);
    CArchive& operator>>(signed char& ch);
    CArchive& operator>>(bool& b);
    CArchive& operator>>(long& l);
    CArchive& operator>>(unsigned long& l);
    CArchive& operator>>(long long& l);
    CArchive& operator>>(unsigned long long& l);
    CArchive& operator>>(float& f);
    CArchive& operator>>(double& d);
    // Reads the narrow and wide forms with any length form.
    CArchive& operator>>(CString& str);

    CString m_strFileName;

private:
    template <typename T> CArchive& WriteValue(T v);
    template <typename T> CArchive& ReadValue(T& v);
    void FillBuffer();
    void CheckCount();
    [[noreturn]] void Throw(int nCause) const;

    struct CLoadEntry {
        CObject* pOb;
        CRuntimeClass* pClass;
        UINT nSchema;
    };

    CFile* m_pFile;
    UINT m_nMode;
    std::vector<BYTE> m_ownBuffer;
    BYTE* m_lpBuf;
    UINT m_nBufSize;
    UINT m_nBufPos = 0; // loading: next byte to read; storing: bytes waiting
    UINT m_nBufEnd = 0; // loading: bytes in the buffer
    UINT m_nObjectSchema = static_cast<UINT>(-1);
    DWORD m_nMapCount = 1;
    std::unordered_map<const void*, DWORD> m_storeMap;
    std::vector<CLoadEntry> m_loadArray;
};

CArchive& operator<<(CArchive& ar, const CObject* pOb);
CArchive& operator>>(CArchive& ar, CObject*& pOb);
CArchive& operator>>(CArchive& ar, const CObject*& pOb);
