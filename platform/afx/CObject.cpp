#include "platform/afx/CObject.h"

#include <cstring>
#include <string>

#include "platform/afx/CArchive.h"
#include "platform/afx/ExtensionModule.h"
#include "platform/afx/Exceptions.h"
#include "platform/win/TextEncoding.h"

CRuntimeClass CObject::classCObject = {"CObject", sizeof(CObject), 0xFFFF,
                                       nullptr,   nullptr,         nullptr};

CRuntimeClass* CObject::GetThisClass() {
    return &classCObject;
}
CRuntimeClass* CObject::_GetBaseClass() {
    return nullptr;
}
CRuntimeClass* CObject::GetRuntimeClass() const {
    return &classCObject;
}
void CObject::Serialize(CArchive&) {}
void CObject::AssertValid() const {}
void CObject::Dump(CDumpContext&) const {}

BOOL CObject::IsSerializable() const {
    return GetRuntimeClass()->m_wSchema != 0xFFFF;
}

BOOL CObject::IsKindOf(const CRuntimeClass* pClass) const {
    return GetRuntimeClass()->IsDerivedFrom(pClass);
}

CObject* CRuntimeClass::CreateObject() const {
    if (m_pfnCreateObject == nullptr)
        return nullptr;
    try {
        return m_pfnCreateObject();
    } catch (CException* e) {
        e->Delete();
        return nullptr;
    }
}

BOOL CRuntimeClass::IsDerivedFrom(const CRuntimeClass* pBaseClass) const {
    for (const CRuntimeClass* p = this; p != nullptr; p = p->GetBaseClass())
        if (p == pBaseClass)
            return TRUE;
    return FALSE;
}

CRuntimeClass* CRuntimeClass::FromName(LPCSTR lpszClassName) {
    return lpszClassName ? AfxFindClassByName(lpszClassName) : nullptr;
}

CRuntimeClass* CRuntimeClass::FromName(LPCWSTR lpszClassName) {
    if (lpszClassName == nullptr)
        return nullptr;
    return FromName(WinWideToUtf8(lpszClassName).c_str());
}

CObject* CRuntimeClass::CreateObject(LPCSTR lpszClassName) {
    CRuntimeClass* p = FromName(lpszClassName);
    return p ? p->CreateObject() : nullptr;
}

CObject* CRuntimeClass::CreateObject(LPCWSTR lpszClassName) {
    CRuntimeClass* p = FromName(lpszClassName);
    return p ? p->CreateObject() : nullptr;
}

void CRuntimeClass::Store(CArchive& ar) const {
    WORD nLen = static_cast<WORD>(strlen(m_lpszClassName));
    ar << static_cast<WORD>(m_wSchema) << nLen;
    ar.Write(m_lpszClassName, nLen);
}

CRuntimeClass* CRuntimeClass::Load(CArchive& ar, UINT* pwSchemaNum) {
    // Class names longer than this are not ours to create.
    const WORD nMaxName = 64;
    WORD wSchema = 0, nLen = 0;
    ar >> wSchema >> nLen;
    if (pwSchemaNum)
        *pwSchemaNum = wSchema;
    char szName[nMaxName];
    if (nLen >= nMaxName || ar.Read(szName, nLen) != nLen)
        return nullptr;
    szName[nLen] = 0;
    return FromName(szName);
}
