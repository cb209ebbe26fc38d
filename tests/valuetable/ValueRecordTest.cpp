#include <gtest/gtest.h>

#include "ZORValueRecord.h"

TEST(CZORValueRecord, Basics) {
    CZORValueRecord rec;
    EXPECT_EQ(0, rec.GetLableLogicSize());
}
