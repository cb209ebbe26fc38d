#include "platform/afx/CStringList.h"

#include "platform/afx/CArchive.h"
#include "platform/afx/Exceptions.h"

IMPLEMENT_SERIAL(CStringList, CObject, 0)

CStringList::CStringList(INT_PTR nBlockSize) : m_nBlockSize(nBlockSize) {}

CStringList::~CStringList() {
    RemoveAll();
}

CStringList::CNode* CStringList::Node(POSITION pos) {
    if (pos == nullptr)
        AfxThrowInvalidArgException();
    return static_cast<CNode*>(pos);
}

CStringList::CNode* CStringList::NewNode(CNode* pPrev, CNode* pNext, const CString& data) {
    CNode* pNode = new CNode;
    pNode->pPrev = pPrev;
    pNode->pNext = pNext;
    pNode->data = data;
    ++m_nCount;
    return pNode;
}

void CStringList::FreeNode(CNode* pNode) noexcept {
    delete pNode;
    --m_nCount;
}

void CStringList::RemoveAll() noexcept {
    CNode* p = m_pNodeHead;
    while (p) {
        CNode* pNext = p->pNext;
        delete p;
        p = pNext;
    }
    m_pNodeHead = m_pNodeTail = nullptr;
    m_nCount = 0;
}

CString& CStringList::GetHead() {
    return GetAt(m_pNodeHead);
}
const CString& CStringList::GetHead() const {
    return GetAt(m_pNodeHead);
}
CString& CStringList::GetTail() {
    return GetAt(m_pNodeTail);
}
const CString& CStringList::GetTail() const {
    return GetAt(m_pNodeTail);
}

CString CStringList::RemoveHead() {
    CString s = GetHead();
    RemoveAt(m_pNodeHead);
    return s;
}

CString CStringList::RemoveTail() {
    CString s = GetTail();
    RemoveAt(m_pNodeTail);
    return s;
}

POSITION CStringList::AddHead(const CString& newElement) {
    CNode* pNode = NewNode(nullptr, m_pNodeHead, newElement);
    if (m_pNodeHead)
        m_pNodeHead->pPrev = pNode;
    else
        m_pNodeTail = pNode;
    m_pNodeHead = pNode;
    return pNode;
}

POSITION CStringList::AddTail(const CString& newElement) {
    CNode* pNode = NewNode(m_pNodeTail, nullptr, newElement);
    if (m_pNodeTail)
        m_pNodeTail->pNext = pNode;
    else
        m_pNodeHead = pNode;
    m_pNodeTail = pNode;
    return pNode;
}

void CStringList::AddHead(const CStringList* pNewList) {
    if (pNewList == nullptr)
        AfxThrowInvalidArgException();
    CStringList copy; // the list may be this one
    for (CNode* p = pNewList->m_pNodeHead; p; p = p->pNext)
        copy.AddTail(p->data);
    for (CNode* p = copy.m_pNodeTail; p; p = p->pPrev)
        AddHead(p->data);
}

void CStringList::AddTail(const CStringList* pNewList) {
    if (pNewList == nullptr)
        AfxThrowInvalidArgException();
    INT_PTR n = pNewList->m_nCount; // stop at the original end when appending to ourselves
    CNode* p = pNewList->m_pNodeHead;
    for (INT_PTR i = 0; i < n; ++i, p = p->pNext)
        AddTail(p->data);
}

POSITION CStringList::GetHeadPosition() const noexcept {
    return m_pNodeHead;
}
POSITION CStringList::GetTailPosition() const noexcept {
    return m_pNodeTail;
}

CString& CStringList::GetNext(POSITION& rPosition) {
    CNode* pNode = Node(rPosition);
    rPosition = pNode->pNext;
    return pNode->data;
}

const CString& CStringList::GetNext(POSITION& rPosition) const {
    CNode* pNode = Node(rPosition);
    rPosition = pNode->pNext;
    return pNode->data;
}

CString& CStringList::GetPrev(POSITION& rPosition) {
    CNode* pNode = Node(rPosition);
    rPosition = pNode->pPrev;
    return pNode->data;
}

const CString& CStringList::GetPrev(POSITION& rPosition) const {
    CNode* pNode = Node(rPosition);
    rPosition = pNode->pPrev;
    return pNode->data;
}

CString& CStringList::GetAt(POSITION position) {
    return Node(position)->data;
}
const CString& CStringList::GetAt(POSITION position) const {
    return Node(position)->data;
}

void CStringList::SetAt(POSITION pos, const CString& newElement) {
    Node(pos)->data = newElement;
}

void CStringList::RemoveAt(POSITION position) {
    CNode* pNode = Node(position);
    (pNode == m_pNodeHead ? m_pNodeHead : pNode->pPrev->pNext) = pNode->pNext;
    (pNode == m_pNodeTail ? m_pNodeTail : pNode->pNext->pPrev) = pNode->pPrev;
    FreeNode(pNode);
}

POSITION CStringList::InsertBefore(POSITION position, const CString& newElement) {
    if (position == nullptr)
        return AddHead(newElement);
    CNode* pOld = Node(position);
    CNode* pNode = NewNode(pOld->pPrev, pOld, newElement);
    if (pOld->pPrev)
        pOld->pPrev->pNext = pNode;
    else
        m_pNodeHead = pNode;
    pOld->pPrev = pNode;
    return pNode;
}

POSITION CStringList::InsertAfter(POSITION position, const CString& newElement) {
    if (position == nullptr)
        return AddTail(newElement);
    CNode* pOld = Node(position);
    CNode* pNode = NewNode(pOld, pOld->pNext, newElement);
    if (pOld->pNext)
        pOld->pNext->pPrev = pNode;
    else
        m_pNodeTail = pNode;
    pOld->pNext = pNode;
    return pNode;
}

POSITION CStringList::Find(LPCWSTR searchValue, POSITION startAfter) const {
    CNode* p = startAfter ? static_cast<CNode*>(startAfter)->pNext : m_pNodeHead;
    for (; p; p = p->pNext)
        if (p->data == searchValue)
            return p;
    return nullptr;
}

POSITION CStringList::FindIndex(INT_PTR nIndex) const {
    if (nIndex < 0 || nIndex >= m_nCount)
        return nullptr;
    CNode* p = m_pNodeHead;
    while (nIndex--)
        p = p->pNext;
    return p;
}

void CStringList::Serialize(CArchive& ar) {
    if (ar.IsStoring()) {
        ar.WriteCount(static_cast<DWORD_PTR>(m_nCount));
        for (CNode* p = m_pNodeHead; p; p = p->pNext)
            ar << p->data;
    } else {
        DWORD_PTR nCount = ar.ReadCount();
        for (DWORD_PTR i = 0; i < nCount; ++i) {
            CString s;
            ar >> s;
            AddTail(s);
        }
    }
}
