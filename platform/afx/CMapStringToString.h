// Hash map from CString to CString. Keys compare exactly (case-sensitive). A null key raises
// the invalid-argument exception; a null value is the empty string. The table grows with
// its contents, so iteration order changes when entries are added.
#pragma once

#include "platform/afx/CObject.h"
#include "platform/afx/CString.h"
#include "platform/afx/Position.h"

class CMapStringToString : public CObject {
    DECLARE_SERIAL(CMapStringToString)
public:
    explicit CMapStringToString(INT_PTR nBlockSize = 10);
    ~CMapStringToString() override;

    INT_PTR GetCount() const noexcept { return m_nCount; }
    INT_PTR GetSize() const noexcept { return m_nCount; }
    BOOL IsEmpty() const noexcept { return m_nCount == 0; }

    BOOL Lookup(LPCWSTR key, CString& rValue) const;
    BOOL LookupKey(LPCWSTR key, LPCWSTR& rKey) const;
    // The value of key, inserted empty when missing.
    CString& operator[](LPCWSTR key);
    void SetAt(LPCWSTR key, LPCWSTR newValue);
    BOOL RemoveKey(LPCWSTR key);
    void RemoveAll() noexcept;

    POSITION GetStartPosition() const noexcept;
    void GetNextAssoc(POSITION& rNextPosition, CString& rKey, CString& rValue) const;

    UINT GetHashTableSize() const noexcept { return m_nHashTableSize; }
    void InitHashTable(UINT hashSize, BOOL bAllocNow = TRUE);
    UINT HashKey(LPCWSTR key) const;

    void Serialize(CArchive& ar) override;

private:
    struct CAssoc : __POSITION {
        CAssoc* pNext;
        UINT nHashValue;
        CString key;
        CString value;
    };
    CAssoc* Find(LPCWSTR key, UINT nHash) const;
    void Rehash(UINT nNewSize);

    CAssoc** m_pHashTable = nullptr;
    UINT m_nHashTableSize = 17;
    INT_PTR m_nCount = 0;
};
