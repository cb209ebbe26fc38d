#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <tuple>

#include "platform/afx/afx.h"
#include "support/ArchiveBytes.h"
#include "support/TempDir.h"

// Small persistent classes: a base with an int (schema 1) and a derived one adding a string
// (schema 2). They count live instances so that failed loads can be checked for leaks.
class CArchiveTestItem : public CObject {
    DECLARE_SERIAL(CArchiveTestItem)
public:
    explicit CArchiveTestItem(int n = 0) : m_n(n) { ++s_nLive; }
    ~CArchiveTestItem() override { --s_nLive; }
    void Serialize(CArchive& ar) override { ar.IsStoring() ? ar << m_n : ar >> m_n; }
    int m_n;
    static int s_nLive;
};
int CArchiveTestItem::s_nLive = 0;
IMPLEMENT_SERIAL(CArchiveTestItem, CObject, 1)

class CArchiveTestNamedItem : public CArchiveTestItem {
    DECLARE_SERIAL(CArchiveTestNamedItem)
public:
    explicit CArchiveTestNamedItem(int n = 0, const wchar_t* pszName = L"")
        : CArchiveTestItem(n), m_strName(pszName) {}
    void Serialize(CArchive& ar) override {
        CArchiveTestItem::Serialize(ar);
        ar.IsStoring() ? ar << m_strName : ar >> m_strName;
    }
    CString m_strName;
};
IMPLEMENT_SERIAL(CArchiveTestNamedItem, CArchiveTestItem, 2)

class CArchiveTestPlain : public CObject {
    DECLARE_DYNAMIC(CArchiveTestPlain)
};
IMPLEMENT_DYNAMIC(CArchiveTestPlain, CObject)

namespace {

// n little-endian bytes of v.
Bytes Le(unsigned long long v, int n) {
    Bytes out;
    for (int i = 0; i < n; ++i)
        out.push_back(static_cast<unsigned char>(v >> (8 * i)));
    return out;
}

// n repetitions of the UTF-16LE unit u.
Bytes Units(size_t n, unsigned u) {
    Bytes out;
    for (size_t i = 0; i < n; ++i)
        out.insert(out.end(), {static_cast<unsigned char>(u), static_cast<unsigned char>(u >> 8)});
    return out;
}

// The bytes of a class written for the first time.
Bytes NewClass(const std::string& name, WORD wSchema) {
    return Cat({{0xFF, 0xFF}, Le(wSchema, 2), Le(name.size(), 2), Bytes(name.begin(), name.end())});
}

int LoadCause(const Bytes& bytes, const std::function<void(CArchive&)>& fnLoad) {
    return ArchiveCause([&] { LoadFromBytes(bytes, fnLoad); });
}

CString LoadString(const Bytes& bytes) {
    CString s;
    LoadFromBytes(bytes, [&](CArchive& ar) { ar >> s; });
    return s;
}

// The status code of the COleException that fn raises, or 0 for none.
SCODE OleCode(const std::function<void()>& fn) {
    try {
        fn();
    } catch (COleException* e) {
        SCODE sc = e->m_sc;
        e->Delete();
        return sc;
    }
    return 0;
}

// Loads two objects, as T1* and then as T2*, and returns the cause of the exception that
// ends it (-1 for none); what was loaded is freed.
template <typename T1, typename T2 = T1> int ReadTwoCause(const Bytes& bytes) {
    return LoadCause(bytes, [](CArchive& ar) {
        T1* p = nullptr;
        ar >> p;
        std::unique_ptr<T1> own(p);
        T2* q = nullptr;
        ar >> q;
        if (q != p)
            delete q;
    });
}

Bytes StoreWithBuffer(int nBufSize, const std::function<void(CArchive&)>& fnStore,
                      void* lpBuf = nullptr) {
    return StoreToBytes([&](CArchive& outer) {
        CArchive ar(outer.GetFile(), CArchive::store, nBufSize, lpBuf);
        fnStore(ar);
        ar.Close();
    });
}

} // namespace

TEST(CArchive, IntegersAreLittleEndianWithWindowsWidths) {
    using Values = std::tuple<BYTE, WORD, int, unsigned, DWORD, short, char, bool, bool, LONG,
                              long long, float, double>;
    const Values values{0x12, 0x3456, -2,          0x89ABCDEF,         7,    -3,  'A',
                        true, false,  -0x12345678, 0x0102030405060708, 1.5f, -2.0};
    Bytes bytes = StoreToBytes(
        [&](CArchive& ar) { std::apply([&](auto... v) { (ar << ... << v); }, values); });
    // BYTE, WORD, int, unsigned, DWORD, short, char, two bools, LONG, long long, float, double.
    EXPECT_EQ((Bytes{0x12, 0x56, 0x34, 0xFE, 0xFF, 0xFF, 0xFF, 0xEF, 0xCD, 0xAB, 0x89, 7, 0, 0,   0,
                     0xFD, 0xFF, 'A',  1,    0,    0x88, 0xA9, 0xCB, 0xED, 8,    7,    6, 5, 4,   3,
                     2,    1,    0,    0,    0xC0, 0x3F, 0,    0,    0,    0,    0,    0, 0, 0xC0}),
              bytes);

    bytes[18] = 2; // any non-zero byte is true
    Values loaded;
    LoadFromBytes(bytes, [&](CArchive& ar) {
        std::apply([&](auto&... v) { (ar >> ... >> v); }, loaded);
        EXPECT_TRUE(ar.IsBufferEmpty());
    });
    EXPECT_EQ(values, loaded);
}

TEST(CArchive, DirectionAndEndOfData) {
    int i;
    WORD w;
    EXPECT_EQ(CArchiveException::readOnly, LoadCause({1}, [](CArchive& ar) { ar << BYTE(1); }));
    EXPECT_EQ(CArchiveException::readOnly, LoadCause({1}, [](CArchive& ar) { ar << L"x"; }));
    EXPECT_EQ(CArchiveException::writeOnly,
              ArchiveCause([&] { StoreToBytes([&](CArchive& ar) { ar >> i; }); }));
    // A value cut short and a read after the last byte both end the data.
    EXPECT_EQ(CArchiveException::endOfFile, LoadCause({1, 2, 3}, [&](CArchive& ar) { ar >> i; }));
    EXPECT_EQ(CArchiveException::endOfFile, LoadCause({1, 2}, [&](CArchive& ar) { ar >> w >> w; }));
    LoadFromBytes({1, 2, 3}, [](CArchive& ar) {
        char buf[10];
        EXPECT_EQ(3u, ar.Read(buf, 10)); // plain reads just come up short
        EXPECT_EQ(0u, ar.Read(buf, 10));
        EXPECT_EQ(CArchiveException::endOfFile, ArchiveCause([&] { ar.EnsureRead(buf, 1); }));
    });
}

TEST(CArchive, BufferingDoesNotChangeTheBytes) {
    Bytes data(1000);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<unsigned char>(i * 7);
    const unsigned char* p = data.data();

    EXPECT_EQ(data, StoreWithBuffer(128, [&](CArchive& ar) {
                  for (int i = 0; i < 1000; ++i)
                      ar << p[i];
              }));
    auto mixed = [&](CArchive& ar) {
        ar.Write(p, 3);
        ar.Write(p + 3, 200); // larger than the buffer, with bytes waiting
        ar.Write(p + 203, 1);
        ar.Write(p + 204, 127);
        ar.Write(p + 331, 669);
    };
    EXPECT_EQ(data, StoreWithBuffer(128, mixed));
    // A small buffer of the caller's is used at its size, never beyond.
    BYTE guarded[48];
    std::memset(guarded, 0xAA, sizeof guarded);
    EXPECT_EQ(data, StoreWithBuffer(16, mixed, guarded + 16));
    EXPECT_EQ(Bytes(16, 0xAA), Bytes(guarded, guarded + 16));
    EXPECT_EQ(Bytes(16, 0xAA), Bytes(guarded + 32, guarded + 48));

    // Reads across buffer refills and straight from the file give the same bytes back.
    CMemFile file;
    file.Write(p, 1000);
    file.SeekToBegin();
    CArchive ar(&file, CArchive::load, 128);
    Bytes back(1000);
    EXPECT_EQ(3u, ar.Read(back.data(), 3));
    EXPECT_EQ(200u, ar.Read(back.data() + 3, 200));
    for (int i = 203; i < 331; i += 4) { // values across refills
        int n;
        ar >> n;
        std::memcpy(back.data() + i, &n, 4);
    }
    EXPECT_EQ(669u, ar.Read(back.data() + 331, 700));
    EXPECT_EQ(data, back);

    // Destroying a storing archive flushes it unless told not to.
    CMemFile f1, f2;
    CArchive(&f1, CArchive::store) << 5;
    CArchive(&f2, CArchive::store | CArchive::bNoFlushOnDelete) << 5;
    EXPECT_EQ(4u, f1.GetLength());
    EXPECT_EQ(0u, f2.GetLength());
}

TEST(CArchive, FilePositionAfterClose) {
    // Two archives one after the other in a disk file: closing (or destroying) a loading
    // archive leaves the file right after what it consumed, although it read ahead.
    TempDir dir;
    std::wstring name = dir.WideFile("two.bin");
    CFile two(name.c_str(), CFile::modeCreate | CFile::modeReadWrite);
    {
        CArchive ar(&two, CArchive::store);
        EXPECT_STREQ(name.c_str(), ar.m_strFileName);
        ar << 7;
    }
    CArchive(&two, CArchive::store) << CString(L"Grüße") << WORD(9);
    EXPECT_EQ(4u + 14 + 2, two.GetLength());
    two.SeekToBegin();
    CArchive first(&two, CArchive::load);
    int i = 0;
    first >> i;
    first.Close();
    EXPECT_EQ(7, i);
    EXPECT_EQ(4u, two.GetPosition());
    EXPECT_EQ(CArchiveException::genericException, ArchiveCause([&] { first >> i; }));
    CString s;
    CArchive(&two, CArchive::load) >> s;
    EXPECT_STREQ(L"Grüße", s);
    EXPECT_EQ(4u + 14, two.GetPosition());
}

TEST(CArchiveString, WideFormAndLengthForms) {
    auto bytesOf = [](const CString& s) { return StoreToBytes([&](CArchive& ar) { ar << s; }); };
    const Bytes wide = {0xFF, 0xFE, 0xFF};
    EXPECT_EQ(Cat({wide, {0}}), bytesOf(L""));
    EXPECT_EQ(Cat({wide, {2, 'a', 0, 0xE9, 0}}), bytesOf(L"aé"));
    // Above U+FFFF: a surrogate pair, counted as two units, read back as one character.
    EXPECT_EQ(Cat({wide, {3, 0x3D, 0xD8, 0x00, 0xDE, 'a', 0}}), bytesOf(L"\U0001F600a"));
    EXPECT_STREQ(L"\U0001F600a", LoadString(bytesOf(L"\U0001F600a")));

    struct {
        size_t nChars;
        Bytes head;
    } cases[] = {
        {254, Cat({wide, {0xFE}})},
        {255, Cat({wide, {0xFF, 0xFF, 0x00}})},
        {300, Cat({wide, {0xFF, 0x2C, 0x01}})},
        {65533, Cat({wide, {0xFF, 0xFD, 0xFF}})},
        {65534, Cat({wide, {0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00}})},
    };
    for (const auto& c : cases) {
        CString s(L'ж', static_cast<int>(c.nChars));
        EXPECT_EQ(Cat({c.head, Units(c.nChars, 0x0436)}), bytesOf(s)) << c.nChars;
        EXPECT_TRUE(LoadString(bytesOf(s)) == s) << c.nChars;
    }
}

// Strings of characters of every width at every position against the end of the buffer, for
// both directions: the bytes are the format's, and loading gives the characters back (a pair
// of surrogates, as two characters, comes back as the one character the units encode).
TEST(CArchiveString, EveryPositionAgainstTheBufferEnd) {
    const wchar_t kChars[] = {L'a',   0xE9,     0x0436, 0xFFFF, 0x1F600, 0xD800,
                              0xDC00, 0x110000, -5,     L' ',   0xDBFF,  0xDFFF};
    std::vector<CString> strings;
    std::vector<std::wstring> loaded;
    Bytes expected;
    for (size_t n = 0; n < 320; n += n < 40 ? 1 : 37) {
        std::wstring s;
        for (size_t i = 0; i < n; ++i)
            s += kChars[(i * 7 + n) % std::size(kChars)];
        strings.emplace_back(s.data(), static_cast<int>(s.size()));
        std::vector<unsigned> units;
        for (wchar_t ch : s) {
            unsigned c = static_cast<unsigned>(ch);
            if (c > 0x10FFFF)
                units.push_back(0xFFFD);
            else if (c > 0xFFFF)
                units.insert(units.end(), {0xD800 | ((c - 0x10000) >> 10), 0xDC00 | (c & 0x3FF)});
            else
                units.push_back(c);
        }
        expected =
            Cat({expected,
                 {0xFF, 0xFE, 0xFF},
                 units.size() < 255 ? Le(units.size(), 1) : Cat({{0xFF}, Le(units.size(), 2)})});
        std::wstring back;
        for (unsigned u : units)
            expected = Cat({expected, Le(u, 2)});
        for (size_t i = 0; i < units.size(); ++i) {
            unsigned u = units[i];
            if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
                units[i + 1] <= 0xDFFF)
                u = 0x10000 + ((u - 0xD800) << 10) + (units[++i] - 0xDC00);
            back += static_cast<wchar_t>(u);
        }
        loaded.push_back(back);
    }
    for (int nBuf : {128, 4096})
        for (size_t nLead = 0; nLead < 8; ++nLead) {
            SCOPED_TRACE(std::to_string(nBuf) + " " + std::to_string(nLead));
            Bytes lead(nLead, 0x5A);
            Bytes bytes = StoreWithBuffer(nBuf, [&](CArchive& ar) {
                if (nLead > 0)
                    ar.Write(lead.data(), static_cast<UINT>(nLead));
                for (const CString& str : strings)
                    ar << str;
            });
            ASSERT_EQ(Cat({lead, expected}), bytes);
            LoadFromBytes(bytes, [&](CArchive& outer) {
                CArchive ar(outer.GetFile(), CArchive::load, nBuf);
                Bytes skipped(nLead);
                ar.Read(skipped.data(), static_cast<UINT>(nLead));
                for (const std::wstring& want : loaded) {
                    CString str(L"old");
                    ar >> str;
                    ASSERT_EQ(want, std::wstring(str.GetString(), str.GetLength()));
                }
            });
        }
}

TEST(CArchiveString, LoadingAcceptsNarrowAndEveryLengthForm) {
    EXPECT_STREQ(L"", LoadString({0}));
    EXPECT_STREQ(L"abc", LoadString({3, 'a', 'b', 'c'}));
    EXPECT_STREQ(L"é", LoadString({2, 0xC3, 0xA9})); // narrow text is UTF-8
    EXPECT_STREQ(CString(L'n', 300), LoadString(Cat({{0xFF, 0x2C, 0x01}, Bytes(300, 'n')})));
    EXPECT_STREQ(L"xyz", LoadString(Cat({{0xFF, 0xFF, 0xFF}, Le(3, 4), {'x', 'y', 'z'}})));
    EXPECT_STREQ(L"hi", LoadString(Cat({Bytes(7, 0xFF), Le(2, 8), {'h', 'i'}})));

    const Bytes wide = {0xFF, 0xFE, 0xFF};
    EXPECT_STREQ(L"ab", LoadString(Cat({wide, {0xFF, 2, 0}, Units(1, 'a'), Units(1, 'b')})));
    EXPECT_STREQ(L"жж", LoadString(Cat({wide, {0xFF, 0xFF, 0xFF}, Le(2, 4), Units(2, 0x436)})));
    EXPECT_STREQ(L"q", LoadString(Cat({wide, Bytes(7, 0xFF), Le(1, 8), Units(1, 'q')})));
}

TEST(CArchiveString, DamagedLengthsFailCleanly) {
    auto load = [](const Bytes& b) { return [b] { LoadString(b); }; };
    const Bytes wide = {0xFF, 0xFE, 0xFF};
    // Lengths far beyond the data run into its end instead of taking that much memory; so do
    // texts and length forms cut short.
    for (const Bytes& b :
         {Cat({wide, {0xFF, 0xFF, 0xFF}, Le(0x7FFFFFF0, 4), Bytes(10)}),
          Cat({{0xFF, 0xFF, 0xFF}, Le(0xFFFFFFF0, 4), Bytes(10)}), Cat({wide, {2, 'a', 0, 'b'}}),
          Bytes{0xFF, 0xFE}, Bytes{0xFF, 0xFF, 0xFF, 1, 0}})
        EXPECT_EQ(CArchiveException::endOfFile, ArchiveCause(load(b)));

    // A 64-bit length whose byte count does not fit 32 bits is refused before any reading.
    EXPECT_EQ(E_INVALIDARG,
              OleCode(load(Cat({wide, Bytes(7, 0xFF), Le(0x80000000, 8), Bytes(4)}))));
    EXPECT_EQ(E_INVALIDARG, OleCode(load(Cat({Bytes(7, 0xFF), Le(0x100000000, 8), Bytes(4)}))));
}

TEST(CArchive, CountsUseTheShortestForm) {
    struct {
        DWORD_PTR n;
        Bytes bytes;
    } cases[] = {
        {0, {0, 0}},
        {0xFFFE, {0xFE, 0xFF}},
        {0xFFFF, Cat({{0xFF, 0xFF}, Le(0xFFFF, 4)})},
        {0xFFFFFFFE, Cat({{0xFF, 0xFF}, Le(0xFFFFFFFE, 4)})},
        {0xFFFFFFFF, Cat({Bytes(6, 0xFF), Le(0xFFFFFFFF, 8)})},
        {0x123456789, Cat({Bytes(6, 0xFF), Le(0x123456789, 8)})},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.bytes, StoreToBytes([&](CArchive& ar) { ar.WriteCount(c.n); })) << c.n;
        LoadFromBytes(c.bytes, [&](CArchive& ar) { EXPECT_EQ(c.n, ar.ReadCount()); });
    }
    EXPECT_EQ(CArchiveException::endOfFile,
              LoadCause({0xFF, 0xFF, 1}, [](CArchive& ar) { ar.ReadCount(); }));
}

TEST(CArchiveObjects, FramingBytes) {
    const Bytes item = NewClass("CArchiveTestItem", 1);
    const Bytes named = NewClass("CArchiveTestNamedItem", 2);
    CArchiveTestItem a(0x11223344), b(5);
    CArchiveTestNamedItem n1(6, L"é"), n2(7);

    // Classes and objects share one index sequence in order of first appearance: the item
    // class is 1, a 2, the named class 3, n1 4. Repeats are back-references (a class one has
    // 0x8000 added); null is 0.
    Bytes bytes = StoreToBytes([&](CArchive& ar) {
        ar.WriteObject(&a);
        ar << &n1 << &a << &n1 << &n2 << &b << static_cast<const CObject*>(nullptr);
    });
    Bytes n1Bytes = Cat({Le(6, 4), {0xFF, 0xFE, 0xFF, 1, 0xE9, 0}});
    Bytes n2Bytes = Cat({Le(7, 4), {0xFF, 0xFE, 0xFF, 0}});
    EXPECT_EQ(Cat({item,
                   Le(a.m_n, 4),
                   named,
                   n1Bytes,
                   {2, 0, 4, 0, 0x03, 0x80},
                   n2Bytes,
                   {0x01, 0x80, 5, 0, 0, 0, 0, 0}}),
              bytes);

    // Loading makes one object per first appearance of the right class, and storing what it
    // made gives the same bytes back: same values, same sharing, same null.
    int nLiveBefore = CArchiveTestItem::s_nLive;
    LoadFromBytes(bytes, [&](CArchive& ar) {
        CArchiveTestItem *pA, *pA2, *pB;
        CObject *pN1, *pN1Again, *pNull;
        CArchiveTestNamedItem* pN2;
        pA = static_cast<CArchiveTestItem*>(ar.ReadObject(RUNTIME_CLASS(CArchiveTestItem)));
        ar >> pN1 >> pA2 >> pN1Again >> pN2 >> pB >> pNull;
        std::unique_ptr<CObject> own[] = {
            std::unique_ptr<CObject>(pA), std::unique_ptr<CObject>(pN1),
            std::unique_ptr<CObject>(pN2), std::unique_ptr<CObject>(pB)};
        EXPECT_EQ(nLiveBefore + 4, CArchiveTestItem::s_nLive);
        EXPECT_EQ(bytes, StoreToBytes([&](CArchive& out) {
                      out.WriteObject(pA);
                      out << pN1 << pA2 << pN1Again << pN2 << pB << pNull;
                  }));
    });
    EXPECT_EQ(nLiveBefore, CArchiveTestItem::s_nLive);
}

TEST(CArchiveObjects, LoadingChecksWhatItReads) {
    const Bytes item = Cat({NewClass("CArchiveTestItem", 1), Le(1, 4)});
    int nLiveBefore = CArchiveTestItem::s_nLive;
    using Item = CArchiveTestItem;
    using Named = CArchiveTestNamedItem;
    EXPECT_EQ(CArchiveException::badSchema,
              ReadTwoCause<Item>(Cat({NewClass("CArchiveTestItem", 5), Le(1, 4)})));
    EXPECT_EQ(CArchiveException::badClass, ReadTwoCause<Named>(item)); // a base is no derived
    EXPECT_EQ(CArchiveException::badClass,
              ReadTwoCause<Item>(Cat({NewClass("CArchiveTestNoSuch", 1), Le(1, 4)})));
    EXPECT_EQ(CArchiveException::badIndex, ReadTwoCause<Item>({5, 0}));
    EXPECT_EQ(CArchiveException::badIndex, ReadTwoCause<Item>({0x01, 0x80}));
    EXPECT_EQ(CArchiveException::badIndex, ReadTwoCause<Item>(Cat({item, {0x05, 0x80}})));
    EXPECT_EQ(CArchiveException::badIndex, ReadTwoCause<Item>(Cat({item, {1, 0}}))); // a class
    // A back-reference to an object of the wrong class.
    EXPECT_EQ(CArchiveException::badClass, (ReadTwoCause<Item, Named>(Cat({item, {2, 0}}))));
    EXPECT_EQ(-1, ReadTwoCause<Item>(Cat({item, {2, 0}}))); // read as the right class
    // An object whose contents end early is freed, not handed out or leaked.
    EXPECT_EQ(CArchiveException::endOfFile,
              ReadTwoCause<Item>(
                  Cat({NewClass("CArchiveTestNamedItem", 2), Le(1, 4), {0xFF, 0xFE, 0xFF, 3}})));
    EXPECT_EQ(nLiveBefore, CArchiveTestItem::s_nLive);

    // A class without serialisation is refused before anything is written.
    CArchiveTestPlain plain;
    CMemFile file;
    CArchive ar(&file, CArchive::store);
    EXPECT_EQ(CArchiveException::badClass, ArchiveCause([&] { ar << &plain; }));
    ar.Close();
    EXPECT_EQ(0u, file.GetLength());
}

TEST(CArchiveObjects, IndicesFrom0x7FFFUseTheLongForm) {
    const size_t nFill = 0x7FFE; // takes indices 1 to 0x7FFE
    std::unique_ptr<CArchiveTestItem[]> fill(new CArchiveTestItem[nFill]);
    CArchiveTestItem a(1), b(2);
    Bytes bytes = StoreToBytes([&](CArchive& ar) {
        for (size_t i = 0; i < nFill; ++i)
            ar.MapObject(&fill[i]);
        ar << &a << &b << &a;
    });
    EXPECT_EQ(Cat({NewClass("CArchiveTestItem", 1),
                   Le(1, 4),
                   {0xFF, 0x7F, 0xFF, 0x7F, 0x00, 0x80},
                   Le(2, 4),
                   {0xFF, 0x7F, 0x00, 0x80, 0x00, 0x00}}),
              bytes);

    LoadFromBytes(bytes, [&](CArchive& ar) {
        for (size_t i = 0; i < nFill; ++i)
            ar.MapObject(&fill[i]);
        CArchiveTestItem *pA, *pB, *pA2;
        ar >> pA >> pB >> pA2;
        std::unique_ptr<CArchiveTestItem> ownA(pA), ownB(pB);
        EXPECT_EQ(bytes, StoreToBytes([&](CArchive& out) {
                      for (size_t i = 0; i < nFill; ++i)
                          out.MapObject(&fill[i]);
                      out << pA << pB << pA2;
                  }));
    });
}
