#include <gtest/gtest.h>

#include "platform/afx/afx.h"

TEST(CString, Basics) {
    CString s(L"abc");
    EXPECT_EQ(3, s.GetLength());
    CString t;
    t.Format(L"%s-%d-%ld-%I64d", s, 5, 7, 1234567890123LL);
    EXPECT_STREQ(L"abc-5-7-1234567890123", t);
}
