#include "platform/afx/CMapStringToString.h"

#include <cwchar>

#include "platform/afx/CArchive.h"
#include "platform/afx/Exceptions.h"

IMPLEMENT_SERIAL(CMapStringToString, CObject, 0)

// Entries are allocated one by one, so the block size has nothing to tune.
CMapStringToString::CMapStringToString(INT_PTR) {}

CMapStringToString::~CMapStringToString() {
    RemoveAll();
}

UINT CMapStringToString::HashKey(LPCWSTR key) const {
    if (key == nullptr)
        AfxThrowInvalidArgException();
    UINT nHash = 0;
    while (*key)
        nHash = (nHash << 5) + nHash + static_cast<UINT>(*key++);
    return nHash;
}

void CMapStringToString::InitHashTable(UINT hashSize, BOOL bAllocNow) {
    if (hashSize == 0)
        AfxThrowInvalidArgException();
    if (m_nCount > 0) {
        Rehash(hashSize);
        return;
    }
    delete[] m_pHashTable;
    m_pHashTable = bAllocNow ? new CAssoc*[hashSize]() : nullptr;
    m_nHashTableSize = hashSize;
}

void CMapStringToString::Rehash(UINT nNewSize) {
    CAssoc** pNew = new CAssoc*[nNewSize]();
    if (m_pHashTable) {
        for (UINT i = 0; i < m_nHashTableSize; ++i) {
            CAssoc* p = m_pHashTable[i];
            while (p) {
                CAssoc* pNext = p->pNext;
                CAssoc*& rBucket = pNew[p->nHashValue % nNewSize];
                p->pNext = rBucket;
                rBucket = p;
                p = pNext;
            }
        }
    }
    delete[] m_pHashTable;
    m_pHashTable = pNew;
    m_nHashTableSize = nNewSize;
}

CMapStringToString::CAssoc* CMapStringToString::Find(LPCWSTR key, UINT nHash) const {
    if (m_pHashTable == nullptr)
        return nullptr;
    for (CAssoc* p = m_pHashTable[nHash % m_nHashTableSize]; p; p = p->pNext)
        if (p->nHashValue == nHash && p->key == key)
            return p;
    return nullptr;
}

BOOL CMapStringToString::Lookup(LPCWSTR key, CString& rValue) const {
    CAssoc* p = Find(key, HashKey(key));
    if (p == nullptr)
        return FALSE;
    rValue = p->value;
    return TRUE;
}

BOOL CMapStringToString::LookupKey(LPCWSTR key, LPCWSTR& rKey) const {
    CAssoc* p = Find(key, HashKey(key));
    if (p == nullptr)
        return FALSE;
    rKey = p->key;
    return TRUE;
}

CString& CMapStringToString::operator[](LPCWSTR key) {
    UINT nHash = HashKey(key);
    if (CAssoc* p = Find(key, nHash))
        return p->value;
    if (m_pHashTable == nullptr)
        InitHashTable(m_nHashTableSize);
    else if (static_cast<UINT>(m_nCount) >= m_nHashTableSize && m_nHashTableSize < 0x40000000u)
        Rehash(m_nHashTableSize * 2 + 1); // keep chains short as the map grows
    CAssoc* p = new CAssoc;
    p->nHashValue = nHash;
    p->key = key;
    CAssoc*& rBucket = m_pHashTable[nHash % m_nHashTableSize];
    p->pNext = rBucket;
    rBucket = p;
    ++m_nCount;
    return p->value;
}

void CMapStringToString::SetAt(LPCWSTR key, LPCWSTR newValue) {
    (*this)[key] = newValue;
}

BOOL CMapStringToString::RemoveKey(LPCWSTR key) {
    UINT nHash = HashKey(key);
    if (m_pHashTable == nullptr)
        return FALSE;
    for (CAssoc** pp = &m_pHashTable[nHash % m_nHashTableSize]; *pp; pp = &(*pp)->pNext) {
        CAssoc* p = *pp;
        if (p->nHashValue == nHash && p->key == key) {
            *pp = p->pNext;
            delete p;
            --m_nCount;
            return TRUE;
        }
    }
    return FALSE;
}

void CMapStringToString::RemoveAll() noexcept {
    if (m_pHashTable) {
        for (UINT i = 0; i < m_nHashTableSize; ++i) {
            CAssoc* p = m_pHashTable[i];
            while (p) {
                CAssoc* pNext = p->pNext;
                delete p;
                p = pNext;
            }
        }
    }
    delete[] m_pHashTable;
    m_pHashTable = nullptr;
    m_nCount = 0;
}

POSITION CMapStringToString::GetStartPosition() const noexcept {
    if (m_nCount == 0 || m_pHashTable == nullptr)
        return nullptr;
    for (UINT i = 0; i < m_nHashTableSize; ++i)
        if (m_pHashTable[i])
            return m_pHashTable[i];
    return nullptr;
}

void CMapStringToString::GetNextAssoc(POSITION& rNextPosition, CString& rKey,
                                      CString& rValue) const {
    if (rNextPosition == nullptr)
        AfxThrowInvalidArgException();
    CAssoc* p = static_cast<CAssoc*>(rNextPosition);
    rKey = p->key;
    rValue = p->value;
    CAssoc* pNext = p->pNext;
    for (UINT i = p->nHashValue % m_nHashTableSize + 1; pNext == nullptr && i < m_nHashTableSize;
         ++i)
        pNext = m_pHashTable[i];
    rNextPosition = pNext;
}

void CMapStringToString::Serialize(CArchive& ar) {
    if (ar.IsStoring()) {
        ar.WriteCount(static_cast<DWORD_PTR>(m_nCount));
        for (POSITION pos = GetStartPosition(); pos;) {
            CString key, value;
            GetNextAssoc(pos, key, value);
            ar << key << value;
        }
    } else {
        DWORD_PTR nCount = ar.ReadCount();
        for (DWORD_PTR i = 0; i < nCount; ++i) {
            CString key, value;
            ar >> key >> value;
            SetAt(key, value);
        }
    }
}
