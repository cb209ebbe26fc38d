// The framework's root class and its run-time class records: class names, schemas,
// factories and the class registry that archives use to create objects by name.
#pragma once

#include "platform/win/WinTypes.h"

class CObject;
class CArchive;

// Set in a schema number: loading accepts any schema of the class, which reads it through
// CArchive::GetObjectSchema.
#define VERSIONABLE_SCHEMA (0x80000000)

struct CRuntimeClass {
    LPCSTR m_lpszClassName;
    int m_nObjectSize;
    UINT m_wSchema; // 0xFFFF for classes that cannot be serialised
    CObject* (*m_pfnCreateObject)();
    CRuntimeClass* (*m_pfnGetBaseClass)();
    CRuntimeClass* m_pNextClass; // link in the class list of the module that registered it

    // A new object from the factory, or null for a class without one.
    CObject* CreateObject() const;
    BOOL IsDerivedFrom(const CRuntimeClass* pBaseClass) const;
    CRuntimeClass* GetBaseClass() const {
        return m_pfnGetBaseClass ? m_pfnGetBaseClass() : nullptr;
    }

    // Looks a registered class up by its exact name: first the classes of the host program,
    // then those of every loaded extension module, newest first.
    static CRuntimeClass* FromName(LPCSTR lpszClassName);
    static CRuntimeClass* FromName(LPCWSTR lpszClassName);
    static CObject* CreateObject(LPCSTR lpszClassName);
    static CObject* CreateObject(LPCWSTR lpszClassName);

    // The class reference of the archive format: WORD schema, WORD name length, ASCII name.
    void Store(CArchive& ar) const;
    // Reads a class reference; null when the name is not registered or cannot be read.
    static CRuntimeClass* Load(CArchive& ar, UINT* pwSchemaNum);
};

// Registers a class with the module that is being initialised (or the host program).
void AfxClassInit(CRuntimeClass* pNewClass);

// Constructed during static initialisation by IMPLEMENT_SERIAL. The priority places it after
// an extension module's start marker and before its entry point (see ExtensionModule.h).
struct AFX_CLASSINIT {
    explicit AFX_CLASSINIT(CRuntimeClass* pNewClass) { AfxClassInit(pNewClass); }
};
#define AFX_PRIORITY_MODULE_PROLOGUE 150
#define AFX_PRIORITY_CLASSINIT 200
#define AFX_PRIORITY_MODULE_ENTRY 250

// Reads an object reference with the archive's object framing (CArchive::ReadObject).
CObject* AfxReadObject(CArchive& ar, const CRuntimeClass* pClassRefRequested);

class CDumpContext {
public:
    CDumpContext() = default;
};

class CObject {
public:
    virtual CRuntimeClass* GetRuntimeClass() const;
    virtual ~CObject() = default;
    virtual void Serialize(CArchive& ar);
    virtual void AssertValid() const;
    virtual void Dump(CDumpContext& dc) const;

    BOOL IsSerializable() const;
    BOOL IsKindOf(const CRuntimeClass* pClass) const;

    static CRuntimeClass classCObject;
    static CRuntimeClass* GetThisClass();
    static CRuntimeClass* _GetBaseClass();

protected:
    CObject() = default;

private:
    CObject(const CObject&) = delete;
    CObject& operator=(const CObject&) = delete;
};

#define RUNTIME_CLASS(class_name) (class_name::GetThisClass())

#define DECLARE_DYNAMIC(class_name)                                                                \
public:                                                                                            \
    static CRuntimeClass class##class_name;                                                        \
    static CRuntimeClass* GetThisClass();                                                          \
    static CRuntimeClass* _GetBaseClass();                                                         \
    CRuntimeClass* GetRuntimeClass() const override;

#define DECLARE_DYNCREATE(class_name)                                                              \
    DECLARE_DYNAMIC(class_name)                                                                    \
    static CObject* CreateObject();

#define DECLARE_SERIAL(class_name)                                                                 \
    DECLARE_DYNCREATE(class_name)                                                                  \
    friend CArchive& operator>>(CArchive& ar, class_name*& pOb);

#define IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, wSchema, pfnNew)                       \
    CRuntimeClass* class_name::_GetBaseClass() {                                                   \
        return RUNTIME_CLASS(base_class_name);                                                     \
    }                                                                                              \
    CRuntimeClass class_name::class##class_name = {#class_name,                                    \
                                                   static_cast<int>(sizeof(class class_name)),     \
                                                   wSchema,                                        \
                                                   pfnNew,                                         \
                                                   &class_name::_GetBaseClass,                     \
                                                   nullptr};                                       \
    CRuntimeClass* class_name::GetThisClass() {                                                    \
        return &class_name::class##class_name;                                                     \
    }                                                                                              \
    CRuntimeClass* class_name::GetRuntimeClass() const {                                           \
        return &class_name::class##class_name;                                                     \
    }

#define IMPLEMENT_DYNAMIC(class_name, base_class_name)                                             \
    IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, 0xFFFF, nullptr)

#define IMPLEMENT_DYNCREATE(class_name, base_class_name)                                           \
    CObject* class_name::CreateObject() {                                                          \
        return new class_name;                                                                     \
    }                                                                                              \
    IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, 0xFFFF, &class_name::CreateObject)

#define IMPLEMENT_SERIAL(class_name, base_class_name, wSchema)                                     \
    CObject* class_name::CreateObject() {                                                          \
        return new class_name;                                                                     \
    }                                                                                              \
    IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, wSchema, &class_name::CreateObject)        \
    static const AFX_CLASSINIT _init_##class_name                                                  \
        __attribute__((init_priority(AFX_PRIORITY_CLASSINIT))) (RUNTIME_CLASS(class_name));        \
    __attribute__((visibility("default"))) CArchive& operator>>(CArchive& ar, class_name*& pOb) {  \
        pOb = static_cast<class_name*>(AfxReadObject(ar, RUNTIME_CLASS(class_name)));              \
        return ar;                                                                                 \
    }
