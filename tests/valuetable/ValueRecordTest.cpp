#include <gtest/gtest.h>

#include "ZORValueRecord.h"
#include "support/ArchiveBytes.h"

namespace {

// Arrays are not copyable, so the literal helper is an array itself.
struct Strings : CStringArray {
    explicit Strings(std::initializer_list<const wchar_t*> values) {
        for (const wchar_t* v : values)
            Add(v);
    }
};

CZORValueRecord Record(std::initializer_list<const wchar_t*> values) {
    CZORValueRecord rec;
    Strings ar(values);
    rec.SetLableValueAr(ar);
    return rec;
}

std::vector<std::wstring> Values(CZORValueRecord& rec) {
    CStringArray ar;
    rec.GetLableValueAr(ar);
    std::vector<std::wstring> out;
    for (INT_PTR i = 0; i < ar.GetSize(); ++i)
        out.emplace_back(ar[i].GetString());
    return out;
}

using V = std::vector<std::wstring>;

} // namespace

TEST(CZORValueRecord, SetIgnoresEmptyInputAndGetReplacesOutput) {
    CZORValueRecord rec = Record({L"a", L"b"});
    CStringArray empty;
    rec.SetLableValueAr(empty);
    EXPECT_EQ((V{L"a", L"b"}), Values(rec));

    Strings out({L"old1", L"old2", L"old3"});
    rec.GetLableValueAr(out);
    ASSERT_EQ(2, out.GetSize());
    EXPECT_STREQ(L"a", out[0]);

    CZORValueRecord none;
    none.GetLableValueAr(out);
    EXPECT_EQ(0, out.GetSize());

    // Values are copies: changing the source array later does not reach the record.
    Strings src({L"x"});
    rec.SetLableValueAr(src);
    src[0] = L"changed";
    EXPECT_EQ((V{L"x"}), Values(rec));

    rec.RemoveAll();
    EXPECT_EQ(0, rec.GetLableLogicSize());
}

TEST(CZORValueRecord, GetValueChecksTheIndex) {
    CZORValueRecord rec = Record({L"only"});
    CString s = L"untouched";
    EXPECT_EQ(0, rec.GetValue(-1, s));
    EXPECT_EQ(0, rec.GetValue(1, s));
    EXPECT_STREQ(L"untouched", s);
    EXPECT_EQ(1, rec.GetValue(0, s));
    EXPECT_STREQ(L"only", s);
}

TEST(CZORValueRecord, CopyAndAssignment) {
    CZORValueRecord rec = Record({L"", L"x"});
    EXPECT_EQ(2, rec.GetLableLogicSize()); // an empty string is a value like any other

    CZORValueRecord copy(rec);
    EXPECT_EQ((V{L"", L"x"}), Values(copy));

    CZORValueRecord& self = rec;
    rec = self;
    EXPECT_EQ((V{L"", L"x"}), Values(rec));

    CZORValueRecord empty;
    copy = empty; // assignment, unlike SetLableValueAr, can empty a record
    EXPECT_EQ(0, copy.GetLableLogicSize());
}

TEST(CZORValueRecord, StoresTheDocumentedBytes) {
    CZORValueRecord rec = Record({L"ab", L""});
    Bytes bytes = StoreToBytes([&](CArchive& ar) { rec.Serialize(ar); });
    EXPECT_EQ((Bytes{0x02, 0, 0, 0, 0xFF, 0xFE, 0xFF, 0x02, 0x61, 0, 0x62, 0, 0xFF, 0xFE, 0xFF, 0}),
              bytes);

    CZORValueRecord loaded = Record({L"previous", L"values", L"here"});
    LoadFromBytes(bytes, [&](CArchive& ar) { loaded.Serialize(ar); });
    EXPECT_EQ((V{L"ab", L""}), Values(loaded)); // replaced, not appended
}

TEST(CZORValueRecord, LoadingDamagedInput) {
    // A count of zero or below reads nothing more.
    CZORValueRecord rec = Record({L"x"});
    LoadFromBytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x01, 0x41, 0},
                  [&](CArchive& ar) { rec.Serialize(ar); });
    EXPECT_EQ(0, rec.GetLableLogicSize());

    // A huge count runs into the end of the data; the values read so far stay.
    Bytes damaged = {0xFF, 0xFF, 0xFF, 0x7F, 0xFF, 0xFE, 0xFF, 0x01, 0x41, 0};
    EXPECT_EQ(CArchiveException::endOfFile, ArchiveCause([&] {
                  LoadFromBytes(damaged, [&](CArchive& ar) { rec.Serialize(ar); });
              }));
    EXPECT_EQ((V{L"A"}), Values(rec));

    // Cut inside the count itself.
    EXPECT_EQ(CArchiveException::endOfFile, ArchiveCause([&] {
                  LoadFromBytes({0x01, 0x00}, [&](CArchive& ar) { rec.Serialize(ar); });
              }));
}
