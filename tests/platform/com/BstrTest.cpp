#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <thread>
#include <vector>

#include "platform/com/BstrT.h"
#include "platform/com/ComError.h"
#include "platform/com/VariantT.h"

namespace {

const wchar_t* W(const _bstr_t& b) {
    return b;
}

} // namespace

TEST(Bstr, LengthsNullsAndReallocation) {
    EXPECT_EQ(nullptr, SysAllocString(nullptr));
    EXPECT_EQ(0u, SysStringLen(nullptr));
    SysFreeString(nullptr);
    BSTR b = SysAllocString(L"abc");
    EXPECT_EQ(3u, SysStringLen(b));
    EXPECT_EQ(3u * sizeof(wchar_t), SysStringByteLen(b));
    EXPECT_STREQ(L"abc", b);

    BSTR n = SysAllocStringLen(L"a\0b\0", 4);
    EXPECT_EQ(4u, SysStringLen(n));
    EXPECT_EQ(0, std::wmemcmp(L"a\0b\0", n, 5)); // and terminated
    SysFreeString(n);
    n = SysAllocStringLen(nullptr, 3); // room to fill, zeroed
    EXPECT_EQ(3u, SysStringLen(n));
    EXPECT_EQ(0, std::wmemcmp(L"\0\0\0", n, 4));
    SysFreeString(n);

    EXPECT_TRUE(SysReAllocString(&b, L"longer text"));
    EXPECT_EQ(11u, SysStringLen(b));
    EXPECT_STREQ(L"longer text", b);
    EXPECT_TRUE(SysReAllocStringLen(&b, L"x\0y", 3));
    EXPECT_EQ(3u, SysStringLen(b));
    EXPECT_EQ(L'y', b[2]);
    EXPECT_TRUE(SysReAllocString(&b, nullptr));
    ASSERT_NE(nullptr, b);
    EXPECT_EQ(0u, SysStringLen(b));
    SysFreeString(b);
}

// Freed short strings are kept per thread and their blocks reused: every length around the
// size classes, freed in mixed order, on this thread and on others (including threads that end
// holding blocks), must come back with exactly its own length and characters.
TEST(Bstr, ReusedBlocksKeepEveryLengthExact) {
    auto make = [](UINT n, wchar_t c) {
        std::wstring s(n, c);
        for (UINT i = 0; i < n; i += 7)
            s[i] = static_cast<wchar_t>(0x4E00 + i); // not only one character
        return s;
    };
    auto check = [](BSTR b, const std::wstring& s) {
        ASSERT_NE(nullptr, b);
        EXPECT_EQ(s.size(), SysStringLen(b));
        EXPECT_EQ(0, wmemcmp(b, s.data(), s.size()));
        EXPECT_EQ(L'\0', b[s.size()]);
    };
    for (int round = 0; round < 3; ++round) {
        std::vector<BSTR> strings;
        std::vector<std::wstring> expected;
        for (UINT n = 0; n <= 130; ++n) {
            expected.push_back(make(n, static_cast<wchar_t>(L'a' + round)));
            strings.push_back(SysAllocStringLen(expected.back().data(), n));
        }
        // Every other one freed, then made again at another length: a block of one class must
        // never serve a longer string.
        for (size_t i = 0; i < strings.size(); i += 2)
            SysFreeString(strings[i]);
        for (size_t i = 0; i < strings.size(); i += 2) {
            UINT n = static_cast<UINT>(strings.size() - 1 - i);
            expected[i] = make(n, L'x');
            // Half zero-filled, half left for the caller to fill (length and terminator set).
            if (i % 4 == 0) {
                strings[i] = SysAllocStringLen(nullptr, n);
                for (UINT k = 0; k < n; ++k)
                    EXPECT_EQ(L'\0', strings[i][k]);
            } else {
                strings[i] = ZqkSysAllocStringUnset(n);
            }
            wmemcpy(strings[i], expected[i].data(), n);
        }
        for (size_t i = 0; i < strings.size(); ++i)
            check(strings[i], expected[i]);
        // Freed on another thread, which ends holding some of the blocks.
        std::thread([&] {
            for (BSTR b : strings)
                SysFreeString(b);
            BSTR b = SysAllocString(L"made on a thread that ends");
            check(b, L"made on a thread that ends");
            SysFreeString(b);
        }).join();
    }
    // Reallocation through the same blocks.
    BSTR b = SysAllocString(L"short");
    for (UINT n : {15u, 16u, 31u, 32u, 63u, 64u, 3u, 0u}) {
        std::wstring s = make(n, L'r');
        ASSERT_TRUE(SysReAllocStringLen(&b, s.data(), n));
        check(b, s);
    }
    SysFreeString(b);
}

TEST(BstrT, NullEmptySharingAndNarrowText) {
    _bstr_t none;
    EXPECT_TRUE(!none);
    EXPECT_EQ(nullptr, W(none));
    EXPECT_EQ(nullptr, static_cast<const char*>(none));
    EXPECT_EQ(0u, none.length());
    _bstr_t empty(L"");
    EXPECT_FALSE(!empty);
    EXPECT_STREQ(L"", W(empty));
    EXPECT_TRUE(none == empty);
    EXPECT_TRUE(!_bstr_t(static_cast<const char*>(nullptr)));

    // Copies share one string until one of them is written through GetBSTR.
    _bstr_t a(L"shared");
    _bstr_t b = a;
    EXPECT_EQ(W(a), W(b));
    b.GetBSTR()[0] = L'S';
    EXPECT_STREQ(L"shared", W(a));
    EXPECT_STREQ(L"Shared", W(b));
    a = b;
    EXPECT_EQ(W(a), W(b));
    _bstr_t moved(std::move(b));
    EXPECT_STREQ(L"Shared", W(moved));

    // Narrow text is UTF-8, made once and kept with the string until it is written to.
    _bstr_t wide(L"h\u00e9\U0001F600");
    const char* p1 = wide;
    EXPECT_STREQ("h\xc3\xa9\xf0\x9f\x98\x80", p1);
    EXPECT_EQ(p1, static_cast<const char*>(wide));
    _bstr_t fromNarrow("h\xc3\xa9");
    EXPECT_EQ(2u, fromNarrow.length());
    EXPECT_STREQ(L"h\u00e9", W(fromNarrow));
    EXPECT_STREQ("h\xc3\xa9", static_cast<const char*>(fromNarrow));
    fromNarrow.GetBSTR()[0] = L'H';
    EXPECT_STREQ("H\xc3\xa9", static_cast<const char*>(fromNarrow));
}

TEST(BstrT, ConcatenationAndComparison) {
    _bstr_t ab(L"ab");
    EXPECT_STREQ(L"abcd", W(ab + _bstr_t(L"cd")));
    EXPECT_STREQ(L"xab", W(L"x" + ab));
    EXPECT_STREQ(L"yab", W("y" + ab));
    EXPECT_STREQ(L"ab", W(_bstr_t() + ab));
    _bstr_t acc;
    acc += L"one";
    acc += _bstr_t(SysAllocStringLen(L"\0!", 2), false);
    ASSERT_EQ(5u, acc.length());
    EXPECT_EQ(0, std::wmemcmp(L"one\0!", W(acc), 5));

    EXPECT_TRUE(_bstr_t(L"abc") == _bstr_t(L"abc"));
    EXPECT_TRUE(_bstr_t(L"abc") != _bstr_t(L"abd"));
    EXPECT_TRUE(_bstr_t(L"ab") < _bstr_t(L"abc"));
    EXPECT_TRUE(_bstr_t(L"b") > _bstr_t(L"abc"));
    EXPECT_TRUE(_bstr_t(L"") <= _bstr_t());
    EXPECT_TRUE(_bstr_t() < _bstr_t(L"a"));
    // Characters after an embedded NUL still count.
    EXPECT_TRUE(_bstr_t(SysAllocStringLen(L"a\0b", 3), false) > _bstr_t(L"a"));
}

TEST(BstrT, OwnershipTransfer) {
    BSTR raw = SysAllocString(L"owned");
    _bstr_t a;
    a.Attach(raw);
    EXPECT_EQ(raw, W(a));
    EXPECT_EQ(raw, a.copy(false));
    BSTR dup = a.copy();
    EXPECT_NE(raw, dup);
    EXPECT_STREQ(L"owned", dup);
    SysFreeString(dup);
    EXPECT_EQ(raw, a.Detach());
    EXPECT_TRUE(!a);
    SysFreeString(raw);

    // Detaching a shared string hands out a copy; the other owner keeps its own.
    _bstr_t b(L"both"), c = b;
    BSTR mine = c.Detach();
    EXPECT_NE(W(b), mine);
    EXPECT_STREQ(L"both", mine);
    EXPECT_STREQ(L"both", W(b));
    SysFreeString(mine);

    // GetAddress frees the old string and lets a callee fill in a new one.
    BSTR* pp = b.GetAddress();
    EXPECT_EQ(nullptr, *pp);
    *pp = SysAllocString(L"filled");
    EXPECT_STREQ(L"filled", W(b));

    EXPECT_STREQ(L"42", W(_bstr_t(_variant_t(42))));
    EXPECT_STREQ(L"", W(_bstr_t(_variant_t())));
    try {
        VARIANT null;
        VariantInit(&null);
        null.vt = VT_NULL;
        _bstr_t text{_variant_t(null)};
        ADD_FAILURE() << "a null variant has no text";
    } catch (_com_error& e) {
        EXPECT_EQ(DISP_E_TYPEMISMATCH, e.Error());
    }
}
