#include <gtest/gtest.h>

#include "ZORValueTable.h"
#include "support/ArchiveBytes.h"

namespace {

using V = std::vector<std::wstring>;
using Rows = std::vector<V>;

CZORValueRecord Record(const V& values) {
    CZORValueRecord rec;
    for (const std::wstring& v : values)
        rec.m_LableValueAr.Add(v.c_str());
    return rec;
}

V Values(const CZORValueRecord& rec) {
    V out;
    for (INT_PTR i = 0; i < rec.m_LableValueAr.GetSize(); ++i)
        out.emplace_back(rec.m_LableValueAr[i].GetString());
    return out;
}

Rows AllRows(const CZORValueTable& t) {
    Rows rows;
    for (INT_PTR i = 0; i < t.m_RecordAr.GetSize(); ++i)
        rows.push_back(Values(t.m_RecordAr[i]));
    return rows;
}

Bytes Store(CObject& ob) {
    return StoreToBytes([&](CArchive& ar) { ob.Serialize(ar); });
}

Bytes Le32(int32_t n) {
    auto u = static_cast<uint32_t>(n);
    return {static_cast<unsigned char>(u), static_cast<unsigned char>(u >> 8),
            static_cast<unsigned char>(u >> 16), static_cast<unsigned char>(u >> 24)};
}

// A wide archive string holding one ASCII character.
Bytes Str1(char c) {
    return {0xFF, 0xFE, 0xFF, 0x01, static_cast<unsigned char>(c), 0};
}

} // namespace

TEST(ValueTableArchive, WorkedExamples) {
    CZORValueTable empty;
    EXPECT_EQ(Bytes(20, 0), Store(empty));

    CZORValueTable t;
    t.m_LableRecord = Record({L"ID", L"Name"});
    CZORValueRecord row = Record({L"1", L"x"});
    t.AddValueRecord(row);
    Bytes expected = {0x02, 0x00, 0x00, 0x00, 0xFF, 0xFE, 0xFF, 0x02, 0x49, 0x00, 0x44, 0x00,
                      0xFF, 0xFE, 0xFF, 0x04, 0x4E, 0x00, 0x61, 0x00, 0x6D, 0x00, 0x65, 0x00,
                      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                      0x01, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0xFF, 0xFE, 0xFF, 0x01,
                      0x31, 0x00, 0xFF, 0xFE, 0xFF, 0x01, 0x78, 0x00};
    EXPECT_EQ(56u, expected.size());
    EXPECT_EQ(expected, Store(t));

    CZORValueRecord longValue = Record({std::wstring(300, L'a')});
    Bytes bytes = Store(longValue);
    EXPECT_EQ((Bytes{0x01, 0, 0, 0, 0xFF, 0xFE, 0xFF, 0xFF, 0x2C, 0x01}),
              Bytes(bytes.begin(), bytes.begin() + 10));
    EXPECT_EQ(4u + 6u + 600u, bytes.size());
}

TEST(ValueTableArchive, LengthFormsRoundTrip) {
    struct Case {
        size_t nChars;
        Bytes prefix; // the string's tag and length bytes
    };
    const Case cases[] = {
        {254, {0xFF, 0xFE, 0xFF, 0xFE}},
        {255, {0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0x00}},
        {65533, {0xFF, 0xFE, 0xFF, 0xFF, 0xFD, 0xFF}},
        {65534, {0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00}},
    };
    for (const Case& c : cases) {
        std::wstring value(c.nChars, L'\x4E2D'); // a CJK character: two bytes in the archive
        CZORValueRecord rec = Record({value});
        Bytes bytes = Store(rec);
        ASSERT_EQ(4 + c.prefix.size() + 2 * c.nChars, bytes.size()) << c.nChars;
        EXPECT_EQ(c.prefix, Bytes(bytes.begin() + 4, bytes.begin() + 4 + c.prefix.size()))
            << c.nChars;
        CZORValueRecord loaded;
        LoadFromBytes(bytes, [&](CArchive& ar) { loaded.Serialize(ar); });
        EXPECT_EQ((V{value}), Values(loaded)) << c.nChars;
    }
}

TEST(ValueTableArchive, StoreAndLoadKeepEverything) {
    CZORValueTable t;
    t.m_LableRecord = Record({L"ID", L"名称", L""});
    t.m_LableIIRecord = Record({L"two"});
    t.m_LableIIIRecord = Record({L"three", L"3"});
    t.m_LineXRecord = Record({L"x"});
    for (const V& r :
         Rows{{L"1", L"", L"tail"}, {}, {L"only"}, {L"\U0001F600 astral", L" padded "}}) {
        CZORValueRecord rec = Record(r);
        t.m_RecordAr.Add(rec);
    }
    Bytes bytes = Store(t);

    CZORValueTable loaded;
    loaded.m_RecordAr.Add(t.m_RecordAr[0]); // loading replaces what was there
    LoadFromBytes(bytes, [&](CArchive& ar) { loaded.Serialize(ar); });
    EXPECT_EQ(Values(t.m_LableRecord), Values(loaded.m_LableRecord));
    EXPECT_EQ(Values(t.m_LableIIRecord), Values(loaded.m_LableIIRecord));
    EXPECT_EQ(Values(t.m_LableIIIRecord), Values(loaded.m_LableIIIRecord));
    EXPECT_EQ(Values(t.m_LineXRecord), Values(loaded.m_LineXRecord));
    EXPECT_EQ(AllRows(t), AllRows(loaded));
    EXPECT_EQ(bytes, Store(loaded));
}

TEST(ValueTableArchive, LoadsNarrowStringsAndOddCounts) {
    // A record whose value was stored in the narrow form: length byte, then the bytes.
    CZORValueRecord rec;
    LoadFromBytes(Cat({Le32(2), {0x03, 'a', 'b', 'c'}, {0xFF, 0x04, 0x00, 'w', 'x', 'y', 'z'}}),
                  [&](CArchive& ar) { rec.Serialize(ar); });
    EXPECT_EQ((V{L"abc", L"wxyz"}), Values(rec));

    // A negative row count loads a table without rows.
    CZORValueTable t;
    CZORValueRecord stale = Record({L"stale"});
    t.m_RecordAr.Add(stale);
    LoadFromBytes(
        Cat({Le32(1), Str1('L'), Le32(0), Le32(0), Le32(0), Le32(-5), Le32(1), Str1('r')}),
        [&](CArchive& ar) { t.Serialize(ar); });
    EXPECT_EQ((V{L"L"}), Values(t.m_LableRecord));
    EXPECT_EQ(0, t.GetTableLogicSize());
}

TEST(ValueTableArchive, TableCutInsideItsThirdRow) {
    Bytes full = Cat({Le32(1), Str1('H'), Le32(0), Le32(0), Le32(1), Str1('X'), Le32(3), Le32(1),
                      Str1('a'), Le32(2), Str1('b'), Str1('c'), Le32(2), Str1('d'), Str1('e')});
    Bytes cut(full.begin(), full.end() - 4); // inside the third row's second value

    CZORValueTable t;
    EXPECT_EQ(CArchiveException::endOfFile,
              ArchiveCause([&] { LoadFromBytes(cut, [&](CArchive& ar) { t.Serialize(ar); }); }));
    EXPECT_EQ((V{L"H"}), Values(t.m_LableRecord));
    EXPECT_EQ((V{L"X"}), Values(t.m_LineXRecord));
    EXPECT_EQ((Rows{{L"a"}, {L"b", L"c"}}), AllRows(t));

    // A damaged, huge row count runs into the end of the data the same way.
    Bytes huge = Cat({Le32(0), Le32(0), Le32(0), Le32(0), Le32(0x7FFFFFFF), Le32(1), Str1('z')});
    CZORValueTable u;
    EXPECT_EQ(CArchiveException::endOfFile,
              ArchiveCause([&] { LoadFromBytes(huge, [&](CArchive& ar) { u.Serialize(ar); }); }));
    EXPECT_EQ((Rows{{L"z"}}), AllRows(u));
}

TEST(ValueTableArchive, StoredAsObjectAndReadBackByClassName) {
    CZORValueTable t;
    t.m_LableRecord = Record({L"ID"});
    CZORValueRecord row = Record({L"7"});
    t.AddValueRecord(row);

    Bytes bytes = StoreToBytes([&](CArchive& ar) {
        ar << static_cast<const CObject*>(&t);
        ar << static_cast<const CObject*>(&t); // the second time only a back-reference
    });
    Bytes framing = {0xFF, 0xFF, 0x00, 0x00, 0x0E, 0x00};
    const char name[] = "CZORValueTable";
    framing.insert(framing.end(), name, name + 14);
    Bytes expected = Cat({framing, Store(t), {0x02, 0x00}});
    EXPECT_EQ(expected, bytes);

    CObject* pFirst = nullptr;
    CObject* pSecond = nullptr;
    LoadFromBytes(bytes, [&](CArchive& ar) { ar >> pFirst >> pSecond; });
    ASSERT_NE(nullptr, pFirst);
    EXPECT_EQ(pFirst, pSecond);
    ASSERT_TRUE(pFirst->IsKindOf(RUNTIME_CLASS(CZORValueTable)));
    auto* pLoaded = static_cast<CZORValueTable*>(pFirst);
    EXPECT_EQ((Rows{{L"7"}}), AllRows(*pLoaded));
    EXPECT_EQ((V{L"ID"}), Values(pLoaded->m_LableRecord));
    delete pLoaded;

    // The typed extraction checks the class: a record is not a table.
    CZORValueRecord rec = Record({L"r"});
    Bytes recBytes = StoreToBytes([&](CArchive& ar) { ar << static_cast<const CObject*>(&rec); });
    CZORValueRecord* pRec = nullptr;
    LoadFromBytes(recBytes, [&](CArchive& ar) { ar >> pRec; });
    ASSERT_NE(nullptr, pRec);
    EXPECT_EQ((V{L"r"}), Values(*pRec));
    delete pRec;
    CZORValueTable* pTable = nullptr;
    EXPECT_EQ(CArchiveException::badClass,
              ArchiveCause([&] { LoadFromBytes(recBytes, [&](CArchive& ar) { ar >> pTable; }); }));
    EXPECT_EQ(nullptr, pTable);

    // Another schema number is refused.
    Bytes otherSchema = bytes;
    otherSchema[2] = 0x01;
    EXPECT_EQ(CArchiveException::badSchema, ArchiveCause([&] {
                  LoadFromBytes(otherSchema, [&](CArchive& ar) { ar >> pTable; });
              }));
}
