#include <gtest/gtest.h>

#include <cerrno>

#include "platform/afx/afx.h"

// A small hierarchy: CShape (serial) <- CCircle (serial, versionable) <- CRing (dynamic only),
// and a serial class whose factory fails.
class CShape : public CObject {
    DECLARE_SERIAL(CShape)
};
IMPLEMENT_SERIAL(CShape, CObject, 1)

class CCircle : public CShape {
    DECLARE_SERIAL(CCircle)
public:
    double m_dRadius = 1.5;
};
IMPLEMENT_SERIAL(CCircle, CShape, VERSIONABLE_SCHEMA | 2)

class CRing : public CCircle {
    DECLARE_DYNAMIC(CRing)
};
IMPLEMENT_DYNAMIC(CRing, CCircle)

class CUnbuildable : public CObject {
    DECLARE_SERIAL(CUnbuildable)
public:
    CUnbuildable() { AfxThrowNotSupportedException(); }
};
IMPLEMENT_SERIAL(CUnbuildable, CObject, 0)

TEST(CObject, RuntimeClassesAndKindOf) {
    EXPECT_STREQ("CObject", RUNTIME_CLASS(CObject)->m_lpszClassName);
    EXPECT_STREQ("CCircle", RUNTIME_CLASS(CCircle)->m_lpszClassName);
    EXPECT_STREQ("CRing", RUNTIME_CLASS(CRing)->m_lpszClassName);
    EXPECT_EQ(1u, RUNTIME_CLASS(CShape)->m_wSchema);
    EXPECT_EQ(0x80000002u, RUNTIME_CLASS(CCircle)->m_wSchema);
    EXPECT_EQ(0xFFFFu, RUNTIME_CLASS(CRing)->m_wSchema);
    EXPECT_EQ(static_cast<int>(sizeof(CCircle)), RUNTIME_CLASS(CCircle)->m_nObjectSize);
    EXPECT_EQ(RUNTIME_CLASS(CCircle), RUNTIME_CLASS(CRing)->GetBaseClass());
    EXPECT_EQ(RUNTIME_CLASS(CObject), RUNTIME_CLASS(CShape)->GetBaseClass());
    EXPECT_EQ(nullptr, RUNTIME_CLASS(CObject)->GetBaseClass());

    CRing ring;
    CShape shape;
    const CObject* pRing = &ring;
    const CObject* pShape = &shape;
    EXPECT_EQ(RUNTIME_CLASS(CRing), pRing->GetRuntimeClass()); // virtual, through the base
    for (const CRuntimeClass* p : {RUNTIME_CLASS(CRing), RUNTIME_CLASS(CCircle),
                                   RUNTIME_CLASS(CShape), RUNTIME_CLASS(CObject)})
        EXPECT_TRUE(pRing->IsKindOf(p)) << p->m_lpszClassName;
    EXPECT_FALSE(pShape->IsKindOf(RUNTIME_CLASS(CCircle)));
    EXPECT_FALSE(pRing->IsKindOf(RUNTIME_CLASS(CUnbuildable)));
    EXPECT_FALSE(RUNTIME_CLASS(CShape)->IsDerivedFrom(RUNTIME_CLASS(CRing)));
    EXPECT_FALSE(RUNTIME_CLASS(CShape)->IsDerivedFrom(nullptr));
    EXPECT_TRUE(pShape->IsSerializable());
    EXPECT_FALSE(pRing->IsSerializable());
}

TEST(CObject, CreateObjectAndFindClassesByName) {
    CObject* p = RUNTIME_CLASS(CCircle)->CreateObject();
    ASSERT_NE(nullptr, p);
    EXPECT_EQ(RUNTIME_CLASS(CCircle), p->GetRuntimeClass());
    EXPECT_EQ(1.5, static_cast<CCircle*>(p)->m_dRadius);
    delete p;
    EXPECT_EQ(nullptr, RUNTIME_CLASS(CRing)->CreateObject()); // no factory
    // A factory that raises a framework exception yields null (and frees the exception).
    EXPECT_EQ(nullptr, RUNTIME_CLASS(CUnbuildable)->CreateObject());

    EXPECT_EQ(RUNTIME_CLASS(CShape), CRuntimeClass::FromName("CShape"));
    EXPECT_EQ(RUNTIME_CLASS(CCircle), CRuntimeClass::FromName(L"CCircle"));
    // Classes the framework library registers itself.
    EXPECT_EQ(RUNTIME_CLASS(CStringArray), CRuntimeClass::FromName(L"CStringArray"));
    EXPECT_EQ(RUNTIME_CLASS(CMapStringToString), CRuntimeClass::FromName("CMapStringToString"));
    for (LPCSTR psz : {"cshape", "CShap", "CShapes", "", "CRing"})
        EXPECT_EQ(nullptr, CRuntimeClass::FromName(psz)) << psz;
    EXPECT_EQ(nullptr, CRuntimeClass::FromName(L"CNoSuchClass"));
    EXPECT_EQ(nullptr, CRuntimeClass::FromName(static_cast<LPCWSTR>(nullptr)));

    p = CRuntimeClass::CreateObject(L"CShape");
    ASSERT_NE(nullptr, p);
    EXPECT_EQ(RUNTIME_CLASS(CShape), p->GetRuntimeClass());
    delete p;
    EXPECT_EQ(nullptr, CRuntimeClass::CreateObject("CNoSuchClass"));
    EXPECT_EQ(nullptr, CRuntimeClass::CreateObject(L"CUnbuildable"));
}

// The exception fn throws, when it is an E (the caller deletes it); null otherwise.
template <class E, class Fn> E* Caught(Fn fn) {
    try {
        fn();
    } catch (CException* e) {
        if (e->IsKindOf(RUNTIME_CLASS(E)))
            return static_cast<E*>(e);
        e->Delete();
    }
    return nullptr;
}

TEST(Exceptions, ThrowFunctionsThrowTheirClassWithItsFields) {
    auto* pArchive = Caught<CArchiveException>(
        [] { AfxThrowArchiveException(CArchiveException::endOfFile, L"data.bin"); });
    ASSERT_NE(nullptr, pArchive);
    EXPECT_EQ(CArchiveException::endOfFile, pArchive->m_cause);
    EXPECT_STREQ(L"data.bin", pArchive->m_strFileName);
    pArchive->Delete();
    auto* pFile = Caught<CFileException>(
        [] { AfxThrowFileException(CFileException::sharingViolation, EBUSY, L"/tmp/f.txt"); });
    ASSERT_NE(nullptr, pFile);
    EXPECT_EQ(CFileException::sharingViolation, pFile->m_cause);
    EXPECT_EQ(EBUSY, pFile->m_lOsError);
    EXPECT_STREQ(L"/tmp/f.txt", pFile->m_strFileName);
    pFile->Delete();
    pFile = Caught<CFileException>([] { CFileException::ThrowOsError(EACCES, L"locked"); });
    ASSERT_NE(nullptr, pFile);
    EXPECT_EQ(CFileException::accessDenied, pFile->m_cause);
    EXPECT_EQ(EACCES, pFile->m_lOsError);
    pFile->Delete();
    auto* pOle = Caught<COleException>([] { AfxThrowOleException(E_NOTIMPL); });
    ASSERT_NE(nullptr, pOle);
    EXPECT_EQ(E_NOTIMPL, pOle->m_sc);
    pOle->Delete();
    auto* pNotSupported = Caught<CNotSupportedException>([] { AfxThrowNotSupportedException(); });
    ASSERT_NE(nullptr, pNotSupported);
    pNotSupported->Delete();

    // The memory exception is preallocated: Delete leaves it alive for the next throw.
    auto* pMemory = Caught<CMemoryException>([] { AfxThrowMemoryException(); });
    ASSERT_NE(nullptr, pMemory);
    EXPECT_FALSE(pMemory->m_bAutoDelete);
    pMemory->Delete();
    EXPECT_EQ(pMemory, Caught<CMemoryException>([] { AfxThrowMemoryException(); }));

    EXPECT_EQ(CFileException::fileNotFound, CFileException::OsErrorToException(ENOENT));
    EXPECT_EQ(CFileException::accessDenied, CFileException::OsErrorToException(EACCES));
    EXPECT_EQ(CFileException::diskFull, CFileException::OsErrorToException(ENOSPC));
    EXPECT_EQ(CFileException::genericException, CFileException::OsErrorToException(EINTR));
}

TEST(Exceptions, ErrorMessagesAreTruncatedAndTerminated) {
    CFileException e(CFileException::fileNotFound, ENOENT, L"a.txt");
    const CString strFull(L"The file could not be found. (a.txt)");
    EXPECT_STREQ(strFull, e.GetErrorText());
    wchar_t buf[64];
    UINT nHelp = 99;
    wmemset(buf, L'#', 64);
    EXPECT_TRUE(e.GetErrorMessage(buf, strFull.GetLength() + 1, &nHelp)); // exactly fits
    EXPECT_STREQ(strFull, buf);
    EXPECT_EQ(0u, nHelp);
    wmemset(buf, L'#', 64);
    EXPECT_TRUE(e.GetErrorMessage(buf, 9));
    EXPECT_STREQ(L"The file", buf);
    EXPECT_EQ(L'#', buf[9]); // nothing written past the buffer
    EXPECT_TRUE(e.GetErrorMessage(buf, 1));
    EXPECT_EQ(L'\0', buf[0]);
    wmemset(buf, L'#', 64);
    EXPECT_FALSE(e.GetErrorMessage(buf, 0));
    EXPECT_EQ(L'#', buf[0]);

    EXPECT_STREQ(L"An OLE error 0x80004001 occurred.", COleException(E_NOTIMPL).GetErrorText());
}

TEST(Exceptions, OleProcessMapsExceptionsToCodes) {
    COleException ole(static_cast<SCODE>(0x80030002L));
    CMemoryException memory;
    CInvalidArgException invalid;
    CNotSupportedException unsupported;
    CFileException file(CFileException::diskFull);
    EXPECT_EQ(static_cast<SCODE>(0x80030002L), COleException::Process(&ole));
    EXPECT_EQ(E_OUTOFMEMORY, COleException::Process(&memory));
    EXPECT_EQ(E_INVALIDARG, COleException::Process(&invalid));
    EXPECT_EQ(E_NOTIMPL, COleException::Process(&unsupported));
    EXPECT_EQ(E_UNEXPECTED, COleException::Process(&file));
    EXPECT_EQ(E_UNEXPECTED, COleException::Process(nullptr));
}
