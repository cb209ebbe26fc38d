#include <gtest/gtest.h>

#include <map>
#include <string>

#include "platform/afx/afx.h"
#include "support/Raises.h"

namespace {

// Every entry the iteration visits, with how often it was visited.
std::map<std::wstring, std::pair<std::wstring, int>> Visit(const CMapStringToString& map) {
    std::map<std::wstring, std::pair<std::wstring, int>> seen;
    for (POSITION pos = map.GetStartPosition(); pos;) {
        CString key, value;
        map.GetNextAssoc(pos, key, value);
        auto& entry = seen[std::wstring(key)];
        entry.first = std::wstring(value);
        ++entry.second;
    }
    return seen;
}

std::wstring Key(int i) {
    return L"key" + std::to_wstring(i);
}
std::wstring Value(int i) {
    return L"value " + std::to_wstring(i * 7);
}

} // namespace

TEST(CMapStringToString, LookupSetAndRemove) {
    CMapStringToString map(4);
    CString out(L"untouched");
    EXPECT_FALSE(map.Lookup(L"Key", out)); // no table yet
    EXPECT_EQ(nullptr, map.GetStartPosition());

    map.SetAt(L"Key", L"upper");
    map.SetAt(L"key", L"lower"); // case-sensitive: a second entry
    map[L"KEY"] = L"caps";
    map.SetAt(L"Ez", L"first"); // these two hash alike: only the text tells them apart
    map.SetAt(L"FY", L"second");
    ASSERT_EQ(map.HashKey(L"Ez"), map.HashKey(L"FY"));
    EXPECT_EQ(5, map.GetCount());
    ASSERT_TRUE(map.Lookup(L"key", out));
    EXPECT_STREQ(L"lower", out);
    EXPECT_STREQ(L"caps", map[L"KEY"]);
    EXPECT_STREQ(L"first", map[L"Ez"]);
    EXPECT_STREQ(L"second", map[L"FY"]);
    out = L"untouched";
    EXPECT_FALSE(map.Lookup(L"kEy", out));
    EXPECT_STREQ(L"untouched", out);

    map.SetAt(L"Key", L"again"); // overwriting keeps one entry
    map[L"key"] = L"twice";
    EXPECT_STREQ(L"", map[L"fresh"]); // operator[] inserts an empty value
    map.SetAt(L"null", nullptr);
    ASSERT_TRUE(map.Lookup(L"null", out));
    EXPECT_STREQ(L"", out);
    EXPECT_EQ(7, map.GetCount());
    EXPECT_STREQ(L"again", map[L"Key"]);
    EXPECT_STREQ(L"twice", map[L"key"]);

    EXPECT_TRUE(map.RemoveKey(L"key"));
    EXPECT_FALSE(map.RemoveKey(L"key"));
    EXPECT_TRUE(map.RemoveKey(L"FY"));
    EXPECT_STREQ(L"first", map[L"Ez"]);
    EXPECT_STREQ(L"again", map[L"Key"]);
    EXPECT_EQ(5, map.GetCount());

    map.RemoveAll();
    EXPECT_EQ(nullptr, map.GetStartPosition());
    EXPECT_FALSE(map.Lookup(L"Key", out));
    map.SetAt(L"after", L"clear"); // usable again after RemoveAll
    EXPECT_STREQ(L"clear", map[L"after"]);
}

TEST(CMapStringToString, IterationVisitsEveryEntryOnceAfterGrowingAndRemoving) {
    CMapStringToString map;
    const int n = 5000;
    for (int i = 0; i < n; ++i)
        map.SetAt(Key(i).c_str(), Value(i).c_str());
    for (int i = 0; i < n; i += 3)
        ASSERT_TRUE(map.RemoveKey(Key(i).c_str()));
    const int nLeft = n - (n + 2) / 3;
    EXPECT_EQ(nLeft, map.GetCount());
    for (int pass = 0; pass < 2; ++pass) {
        auto seen = Visit(map);
        ASSERT_EQ(static_cast<size_t>(nLeft), seen.size());
        for (int i = 1; i < n; i += 1 + (i % 3 == 2)) {
            const auto& entry = seen[Key(i)];
            EXPECT_EQ(Value(i), entry.first) << i;
            EXPECT_EQ(1, entry.second) << i;
        }
        map.InitHashTable(101); // rehashing an occupied table keeps every entry
    }
    CString out;
    EXPECT_FALSE(map.Lookup(Key(4998).c_str(), out));
    ASSERT_TRUE(map.Lookup(Key(4999).c_str(), out));
    EXPECT_EQ(Value(4999), std::wstring(out));
}

TEST(CMapStringToString, NullKeyRaisesInvalidArgument) {
    CMapStringToString map;
    map.SetAt(L"a", L"b");
    CString out;
    EXPECT_TRUE(RaisesInvalidArg([&] { map.Lookup(nullptr, out); }));
    EXPECT_TRUE(RaisesInvalidArg([&] { map.SetAt(nullptr, L"x"); }));
    EXPECT_TRUE(RaisesInvalidArg([&] { map[nullptr]; }));
    EXPECT_TRUE(RaisesInvalidArg([&] { map.RemoveKey(nullptr); }));
    EXPECT_EQ(1, map.GetCount());
}
