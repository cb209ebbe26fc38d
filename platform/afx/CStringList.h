// Doubly linked list of CString with POSITION handles. A POSITION stays valid until its own
// element is removed; using a null or removed one is the caller's error (null raises the
// invalid-argument exception).
#pragma once

#include "platform/afx/CObject.h"
#include "platform/afx/CString.h"
#include "platform/afx/Position.h"

class CStringList : public CObject {
    DECLARE_SERIAL(CStringList)
public:
    explicit CStringList(INT_PTR nBlockSize = 10);
    ~CStringList() override;

    INT_PTR GetCount() const noexcept { return m_nCount; }
    INT_PTR GetSize() const noexcept { return m_nCount; }
    BOOL IsEmpty() const noexcept { return m_nCount == 0; }

    // The head and tail of an empty list raise the invalid-argument exception.
    CString& GetHead();
    const CString& GetHead() const;
    CString& GetTail();
    const CString& GetTail() const;
    CString RemoveHead();
    CString RemoveTail();

    POSITION AddHead(const CString& newElement);
    POSITION AddTail(const CString& newElement);
    POSITION AddHead(LPCWSTR newElement) { return AddHead(CString(newElement)); }
    POSITION AddTail(LPCWSTR newElement) { return AddTail(CString(newElement)); }
    void AddHead(const CStringList* pNewList);
    void AddTail(const CStringList* pNewList);
    void RemoveAll() noexcept;

    POSITION GetHeadPosition() const noexcept;
    POSITION GetTailPosition() const noexcept;
    CString& GetNext(POSITION& rPosition);
    const CString& GetNext(POSITION& rPosition) const;
    CString& GetPrev(POSITION& rPosition);
    const CString& GetPrev(POSITION& rPosition) const;
    CString& GetAt(POSITION position);
    const CString& GetAt(POSITION position) const;
    void SetAt(POSITION pos, const CString& newElement);
    void RemoveAt(POSITION position);
    POSITION InsertBefore(POSITION position, const CString& newElement);
    POSITION InsertAfter(POSITION position, const CString& newElement);

    // The first element equal to searchValue after startAfter (or from the head).
    POSITION Find(LPCWSTR searchValue, POSITION startAfter = nullptr) const;
    // The position of the element at nIndex, or null when out of range.
    POSITION FindIndex(INT_PTR nIndex) const;

    void Serialize(CArchive& ar) override;

private:
    struct CNode : __POSITION {
        CNode* pNext;
        CNode* pPrev;
        CString data;
    };
    static CNode* Node(POSITION pos);
    CNode* NewNode(CNode* pPrev, CNode* pNext, const CString& data);
    void FreeNode(CNode* pNode) noexcept;

    CNode* m_pNodeHead = nullptr;
    CNode* m_pNodeTail = nullptr;
    INT_PTR m_nCount = 0;
    INT_PTR m_nBlockSize;
};
