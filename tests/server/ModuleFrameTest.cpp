#include <gtest/gtest.h>

#include <dlfcn.h>

#include "platform/afx/afx.h"

TEST(ModuleFrame, Loads) {
    const char* path = getenv("ZQK_MODULE_PATH");
    ASSERT_NE(nullptr, path);
    void* h = dlopen(path, RTLD_NOW);
    ASSERT_NE(nullptr, h) << dlerror();
    EXPECT_NE(nullptr, CRuntimeClass::FromName("CZORValueTable"));
    dlclose(h);
    EXPECT_EQ(nullptr, CRuntimeClass::FromName("CZORValueTable"));
}
