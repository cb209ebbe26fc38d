// The declared types a connection remembers describe columns exactly as reading them anew does,
// also once more types have come than it keeps.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/ado/sqlite/SqliteTypes.h"

TEST(SqliteDeclaredTypes, RememberedTypesReadAsNewOnes) {
    std::vector<std::string> types = {"int",
                                      "INTEGER",
                                      "nvarchar(40)",
                                      "NVARCHAR(40)",
                                      "nvarchar(41)",
                                      "decimal(10,2)",
                                      "decimal(10, 3)",
                                      "money",
                                      "datetime",
                                      "float",
                                      "real",
                                      "bit",
                                      "varbinary(max)",
                                      "image",
                                      "text",
                                      "char(3)",
                                      "bigint",
                                      "smallint",
                                      "tinyint",
                                      "numeric(38,0)",
                                      "uniqueidentifier",
                                      "date",
                                      "something else",
                                      " int "};
    CSqliteDeclaredTypes remembered;
    for (int nRound = 0; nRound < 3; ++nRound) {
        for (size_t i = 0; i < types.size(); ++i) {
            // Every round in another order, so that types leave and come back.
            const std::string& s = types[(i * (nRound + 1) * 7) % types.size()];
            CSqliteColumnType expected = SqliteMapDeclaredType(s.c_str()),
                              got = remembered.Map(s.c_str());
            EXPECT_EQ(expected.nType, got.nType) << s;
            EXPECT_EQ(expected.nDefinedSize, got.nDefinedSize) << s;
            EXPECT_EQ(expected.bDeclared, got.bDeclared) << s;
            EXPECT_EQ(expected.nPrecision, got.nPrecision) << s;
            EXPECT_EQ(expected.nNumericScale, got.nNumericScale) << s;
        }
    }
    EXPECT_FALSE(remembered.Map(nullptr).bDeclared);
    EXPECT_FALSE(remembered.Map("").bDeclared);
}
