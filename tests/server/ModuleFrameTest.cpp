// The module as a host meets it when loading it at run time: its classes become known by
// name while it is loaded and are gone once it is unloaded.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstdlib>

#include "platform/afx/afx.h"
#include "support/ArchiveBytes.h"

TEST(ModuleFrame, LoadingRegistersTheSerialisableClassesAndUnloadingRemovesThem) {
    const char* path = std::getenv("ZQK_MODULE_PATH");
    ASSERT_NE(nullptr, path);
    ASSERT_EQ(nullptr, CRuntimeClass::FromName("CZORValueTable"));
    size_t nHostClasses = 0;
    for (CRuntimeClass* p = AfxGetModuleState()->m_pFirstClass; p; p = p->m_pNextClass)
        ++nHostClasses;

    void* h = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(nullptr, h) << dlerror();

    CRuntimeClass* pTable = CRuntimeClass::FromName("CZORValueTable");
    CRuntimeClass* pRecord = CRuntimeClass::FromName(L"CZORValueRecord");
    ASSERT_NE(nullptr, pTable);
    ASSERT_NE(nullptr, pRecord);
    EXPECT_EQ(0u, pTable->m_wSchema);
    EXPECT_EQ(0u, pRecord->m_wSchema);
    EXPECT_TRUE(pTable->IsDerivedFrom(RUNTIME_CLASS(CObject)));
    // The exported class records are the ones registered.
    EXPECT_EQ(pTable, dlsym(h, "_ZN14CZORValueTable19classCZORValueTableE"));
    EXPECT_EQ(pRecord, dlsym(h, "_ZN15CZORValueRecord20classCZORValueRecordE"));

    // The module's classes live in its own record, not in the host's list.
    size_t nAfter = 0;
    for (CRuntimeClass* p = AfxGetModuleState()->m_pFirstClass; p; p = p->m_pNextClass)
        ++nAfter;
    EXPECT_EQ(nHostClasses, nAfter);

    // An archive that names a table loads into a new table.
    Bytes framed = {0xFF, 0xFF, 0x00, 0x00, 0x0E, 0x00};
    const char name[] = "CZORValueTable";
    framed.insert(framed.end(), name, name + 14);
    framed.insert(framed.end(), 20, 0x00);
    CObject* pOb = nullptr;
    LoadFromBytes(framed, [&](CArchive& ar) { ar >> pOb; });
    ASSERT_NE(nullptr, pOb);
    EXPECT_EQ(pTable, pOb->GetRuntimeClass());
    delete pOb;

    ASSERT_EQ(0, dlclose(h));
    EXPECT_EQ(nullptr, CRuntimeClass::FromName("CZORValueTable"));
    EXPECT_EQ(nullptr, CRuntimeClass::FromName("CZORValueRecord"));
    EXPECT_EQ(nullptr, AfxGetModuleState()->m_pFirstDLL);
}
