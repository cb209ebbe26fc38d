#include <gtest/gtest.h>

#include <climits>
#include <cwchar>
#include <thread>
#include <vector>

#include "platform/afx/afx.h"
#include "support/Raises.h"

TEST(CString, Construction) {
    EXPECT_STREQ(L"", CString().GetString());
    EXPECT_STREQ(L"", CString(static_cast<LPCWSTR>(nullptr)).GetString());
    EXPECT_STREQ(L"", CString(static_cast<LPCSTR>(nullptr)).GetString());
    CString part(L"abcdef", 3);
    EXPECT_EQ(3, part.GetLength());
    EXPECT_STREQ(L"abc", part);
    // Narrow text is UTF-8; the emoji is one wide character.
    CString narrow("gr\xC3\xBC\xC3\x9F \xF0\x9F\x98\x80");
    EXPECT_EQ(6, narrow.GetLength());
    EXPECT_STREQ(L"gr\u00FC\u00DF \U0001F600", narrow);
    narrow = "x\xFFy";
    EXPECT_STREQ(L"x\uFFFDy", narrow);
    EXPECT_STREQ(L"xxx", CString(L'x', 3));
    EXPECT_TRUE(CString(L'x', 0).IsEmpty());
    CString s(L"abc");
    s.Empty();
    EXPECT_TRUE(s.IsEmpty());
    EXPECT_STREQ(L"", s.GetString());
}

TEST(CString, CopiesShareOneBufferUntilOneWrites) {
    const CString original(L"hello world");
    const LPCWSTR pOriginal = original.GetString();
    const auto check = [&](auto write, const wchar_t* pszExpected) {
        CString copy(original);
        CString assigned;
        assigned = original;
        EXPECT_EQ(pOriginal, copy.GetString());
        EXPECT_EQ(pOriginal, assigned.GetString());
        write(copy);
        EXPECT_STREQ(pszExpected, copy);
        EXPECT_NE(pOriginal, copy.GetString());
        EXPECT_EQ(pOriginal, original.GetString());
        EXPECT_STREQ(L"hello world", original);
        EXPECT_STREQ(L"hello world", assigned);
    };
    check([](CString& s) { s.SetAt(0, L'J'); }, L"Jello world");
    check([](CString& s) { s.MakeUpper(); }, L"HELLO WORLD");
    check([](CString& s) { s.MakeReverse(); }, L"dlrow olleh");
    check([](CString& s) { s += L"!"; }, L"hello world!");
    check([](CString& s) { s.Delete(0, 6); }, L"world");
    check([](CString& s) { s.Insert(5, L','); }, L"hello, world");
    check([](CString& s) { s.Replace(L"world", L"there"); }, L"hello there");
    check([](CString& s) { s.Remove(L'l'); }, L"heo word");
    check([](CString& s) { s.TrimRight(L"dl"); }, L"hello wor");
    check([](CString& s) { s.GetBuffer()[0] = L'y'; }, L"yello world");
    check(
        [](CString& s) {
            wcscpy(s.GetBuffer(20), L"rewritten");
            s.ReleaseBuffer();
        },
        L"rewritten");
    check([](CString& s) { s.GetBufferSetLength(4); }, L"hell");
    check([](CString& s) { s.ReleaseBuffer(5); }, L"hello");
}

TEST(CString, TrimCaseAndCompare) {
    CString s(L" \t\n x y \r\n");
    s.Trim();
    EXPECT_STREQ(L"x y", s);
    s = L"  both  ";
    EXPECT_STREQ(L"both  ", s.TrimLeft());
    EXPECT_STREQ(L"both", s.TrimRight());
    s = L"   ";
    EXPECT_TRUE(s.Trim().IsEmpty());
    s = L"xxaxbxx";
    EXPECT_STREQ(L"axb", s.Trim(L'x'));
    s = L"-+=a=+-";
    EXPECT_STREQ(L"=a=+-", s.TrimLeft(L"+-"));
    EXPECT_STREQ(L"=a=", s.TrimRight(L"-+"));
    EXPECT_STREQ(L"a", s.Trim(L"="));

    s = L"MiXeD 12_z";
    EXPECT_STREQ(L"mixed 12_z", s.MakeLower());
    EXPECT_STREQ(L"MIXED 12_Z", s.MakeUpper());

    const CString abc(L"abc");
    EXPECT_EQ(0, abc.Compare(L"abc"));
    EXPECT_LT(abc.Compare(L"abd"), 0);
    EXPECT_GT(abc.Compare(L"ab"), 0);
    EXPECT_EQ(0, abc.CompareNoCase(L"AbC"));
    // Ordinal 'a' > 'B', but without case a < b.
    EXPECT_GT(CString(L"a").Compare(L"B"), 0);
    EXPECT_LT(CString(L"a").CompareNoCase(L"B"), 0);
    EXPECT_GT(abc.CompareNoCase(L"AB"), 0);
}

TEST(CString, Find) {
    const CString s(L"abcabc");
    EXPECT_EQ(1, s.Find(L'b'));
    EXPECT_EQ(4, s.Find(L'b', 2));
    EXPECT_EQ(1, s.Find(L'b', -5));
    EXPECT_EQ(-1, s.Find(L'b', 5));
    EXPECT_EQ(3, s.Find(L"abc", 1));
    EXPECT_EQ(-1, s.Find(L"abc", 4));
    EXPECT_EQ(-1, s.Find(L"abcd"));
    EXPECT_EQ(2, s.FindOneOf(L"zc"));
    EXPECT_EQ(-1, s.FindOneOf(L"xyz"));
    EXPECT_EQ(-1, s.FindOneOf(L""));
    EXPECT_EQ(5, s.ReverseFind(L'c'));
    EXPECT_EQ(-1, s.ReverseFind(L'z'));
    EXPECT_EQ(-1, CString().Find(L'a'));
}

TEST(CString, MidLeftRightClampLikeWindows) {
    const CString s(L"abcdef");
    EXPECT_STREQ(L"cde", s.Mid(2, 3));
    EXPECT_STREQ(L"cdef", s.Mid(2));
    EXPECT_STREQ(L"abc", s.Mid(-4, 3));
    EXPECT_STREQ(L"abcdef", s.Mid(-1));
    EXPECT_STREQ(L"abcdef", s.Mid(INT_MIN));
    EXPECT_STREQ(L"bcdef", s.Mid(1, INT_MAX));
    EXPECT_STREQ(L"", s.Mid(6));
    EXPECT_STREQ(L"", s.Mid(INT_MAX, INT_MAX));
    EXPECT_STREQ(L"", s.Mid(2, -1));
    EXPECT_STREQ(L"ab", s.Left(2));
    EXPECT_STREQ(L"", s.Left(-1));
    EXPECT_STREQ(L"abcdef", s.Left(100));
    EXPECT_STREQ(L"ef", s.Right(2));
    EXPECT_STREQ(L"", s.Right(-3));
    EXPECT_STREQ(L"abcdef", s.Right(INT_MAX));
}

TEST(CString, BufferAccess) {
    // Growing an unshared string keeps its text and terminates at the new length.
    CString s(L"0123");
    LPWSTR p = s.GetBufferSetLength(6);
    EXPECT_EQ(6, s.GetLength());
    EXPECT_EQ(L'\0', p[6]);
    p[4] = L'x';
    p[5] = L'y';
    s.ReleaseBuffer();
    EXPECT_STREQ(L"0123xy", s);

    // An empty string hands out a real buffer too.
    CString e;
    wcscpy(e.GetBuffer(3), L"xyz");
    e.ReleaseBuffer();
    EXPECT_STREQ(L"xyz", e);
    CString none;
    none.GetBuffer(0);
    none.ReleaseBuffer();
    EXPECT_TRUE(none.IsEmpty());
    EXPECT_STREQ(L"", none.GetString());
}

TEST(CString, ConcatenationAndComparisonOperators) {
    const CString a(L"ab"), b(L"cd");
    EXPECT_STREQ(L"abcd", a + b);
    EXPECT_STREQ(L"ab!", a + L"!");
    EXPECT_STREQ(L"!ab", L"!" + a);
    EXPECT_STREQ(L"abx", a + L'x');
    EXPECT_STREQ(L"xab", L'x' + a);
    EXPECT_STREQ(L"ab", a + static_cast<LPCWSTR>(nullptr));
    EXPECT_STREQ(L"", CString() + CString());
    CString s;
    s += a;
    s += L"-";
    s += L'z';
    s += static_cast<LPCWSTR>(nullptr);
    EXPECT_STREQ(L"ab-z", s);

    EXPECT_TRUE(a == CString(L"ab") && a == L"ab" && L"ab" == a);
    EXPECT_FALSE(a == b || a == L"abc" || L"a" == a);
    EXPECT_TRUE(a != b && a != L"x" && L"x" != a);
    EXPECT_FALSE(a != CString(L"ab") || a != L"ab" || L"ab" != a);
    EXPECT_TRUE(a < b && a < L"b" && L"a" < a);
    EXPECT_FALSE(b < a || a < L"ab" || L"ab" < a);
    EXPECT_TRUE(b > a && b > L"ca" && L"zz" > b);
    EXPECT_FALSE(a > b || a > L"ab" || L"ab" > a);
    EXPECT_TRUE(a <= a && a <= L"ab" && L"aa" <= a);
    EXPECT_FALSE(b <= a || b <= L"cc" || L"ce" <= b);
    EXPECT_TRUE(b >= a && b >= L"cd" && L"cz" >= b);
    EXPECT_FALSE(a >= b || a >= L"b" || L"a" >= a);
    EXPECT_TRUE(CString() == L"" && CString() < L"a");
}

TEST(CString, IndexOutOfRangeRaises) {
    CString s(L"ab");
    EXPECT_EQ(L'b', s.GetAt(1));
    EXPECT_EQ(L'a', s[0]);
    EXPECT_TRUE(RaisesInvalidArg([&] { s.GetAt(2); }));
    EXPECT_TRUE(RaisesInvalidArg([&] { s.GetAt(-1); }));
    EXPECT_TRUE(RaisesInvalidArg([&] { s.SetAt(2, L'x'); }));
    EXPECT_TRUE(RaisesInvalidArg([&] { s.SetAt(-1, L'x'); }));
    EXPECT_TRUE(RaisesInvalidArg([] { CString().GetAt(0); }));
    EXPECT_STREQ(L"ab", s);
}

TEST(CString, EditsOfItselfAndReturnValues) {
    CString s(L"abc");
    s += s;
    EXPECT_STREQ(L"abcabc", s);
    s.Append(s.GetString() + 1, 2);
    EXPECT_STREQ(L"abcabcbc", s);
    EXPECT_EQ(11, s.Insert(1, s.GetString() + 5));
    EXPECT_STREQ(L"acbcbcabcbc", s);
    s = s.GetString() + 6;
    EXPECT_STREQ(L"abcbc", s);
    // The same with spare room, where the data is not moved.
    s.Preallocate(100);
    s += s;
    EXPECT_STREQ(L"abcbcabcbc", s);

    s = L"mid";
    EXPECT_EQ(4, s.Insert(100, L'!'));
    EXPECT_EQ(5, s.Insert(-3, L'^'));
    EXPECT_STREQ(L"^mid!", s);
    EXPECT_EQ(4, s.Delete(-2));
    EXPECT_EQ(2, s.Delete(2, 100));
    EXPECT_EQ(2, s.Delete(100));
    EXPECT_EQ(2, s.Delete(0, 0));
    EXPECT_STREQ(L"mi", s);

    CString r(L"a-b-c");
    EXPECT_EQ(2, r.Remove(L'-'));
    EXPECT_EQ(0, r.Remove(L'-'));
    EXPECT_STREQ(L"abc", r);
    r = L"aaa";
    EXPECT_EQ(1, r.Replace(L"aa", L"b"));
    EXPECT_STREQ(L"ba", r);
    r = L"aba";
    EXPECT_EQ(2, r.Replace(L"a", L"aa"));
    EXPECT_STREQ(L"aabaa", r);
    EXPECT_EQ(4, r.Replace(L"a", nullptr));
    EXPECT_STREQ(L"b", r);
    EXPECT_EQ(0, r.Replace(L"", L"x"));
    EXPECT_EQ(0, r.Replace(L'z', L'y'));
}

TEST(CString, AppendingOneCharacterAtATimeIsAmortised) {
    CString s;
    for (int i = 0; i < 1000000; ++i)
        s += static_cast<wchar_t>(L'a' + i % 26);
    EXPECT_EQ(1000000, s.GetLength());
    EXPECT_EQ(static_cast<wchar_t>(L'a' + 999999 % 26), s[999999]);
    EXPECT_EQ(static_cast<wchar_t>(L'a' + 123456 % 26), s[123456]);
}

TEST(CString, BuffersHoldAtLeastTheRequestAndAreBoundByTheirCapacity) {
    for (int n = 0; n < 80; ++n) {
        // The block a string of the same size class just freed, full of non-zero characters,
        // is what the next buffer is likely to get.
        { CString old(L'x', n + 3); }
        CString s;
        LPWSTR p = s.GetBuffer(n);
        for (int i = 0; i < n; ++i)
            p[i] = static_cast<wchar_t>(L'a' + i % 26);
        // Filled to the last requested character without a terminator: the length is the
        // request, not whatever the block holds after it.
        s.ReleaseBuffer();
        ASSERT_EQ(n, s.GetLength()) << n;
        EXPECT_EQ(L'\0', s.GetString()[n]);

        // The same from a string that has text: its buffer grown, or reused with old text
        // after the request.
        CString grown(L"abcd");
        LPWSTR pGrown = grown.GetBuffer(n + 5);
        for (int i = 0; i < n + 5; ++i)
            pGrown[i] = L'g';
        grown.ReleaseBuffer();
        ASSERT_EQ(n + 5, grown.GetLength()) << n;
        CString reused(L'r', n + 40);
        reused.GetBuffer();
        reused.ReleaseBuffer(1); // the old text stays in the buffer after the new end
        LPWSTR pReused = reused.GetBuffer(n + 2);
        for (int i = 0; i < n + 2; ++i)
            pReused[i] = L'q';
        reused.ReleaseBuffer();
        ASSERT_EQ(n + 2, reused.GetLength()) << n;

        // Any length up to the request is taken; the buffer asked for again is the same one.
        LPWSTR pAgain = s.GetBuffer(n);
        EXPECT_EQ(p, pAgain);
        s.ReleaseBuffer(n / 2);
        EXPECT_EQ(n / 2, s.GetLength());
        EXPECT_EQ(L'\0', s.GetString()[n / 2]);
        s.GetBuffer(n);
        s.ReleaseBuffer(n);
        EXPECT_EQ(n, s.GetLength());
        EXPECT_TRUE(RaisesInvalidArg([&] { s.ReleaseBuffer(n + 4096); }));
        EXPECT_EQ(n, s.GetLength());

        // A shared buffer is never released in place: the other owner keeps its text.
        CString shared(s);
        shared.ReleaseBuffer(n / 3);
        EXPECT_EQ(n / 3, shared.GetLength());
        EXPECT_EQ(n, s.GetLength());

        // FreeExtra keeps the text whatever block it ends in, and empties an empty one.
        CString roomy;
        wmemcpy(roomy.GetBuffer(n + 200), s.GetString(), static_cast<size_t>(n));
        roomy.ReleaseBuffer(n);
        roomy.FreeExtra();
        EXPECT_TRUE(roomy == s);
        roomy.GetBuffer(10);
        roomy.ReleaseBuffer(0);
        roomy.FreeExtra();
        EXPECT_TRUE(roomy.IsEmpty());
        EXPECT_STREQ(L"", roomy.GetString());
    }
}

TEST(CString, SharedBuffersAreFreedByTheirLastOwnerOnAnyThread) {
    // Copies dropped on two threads in any order: the last owner frees the buffer once (the
    // sanitizer builds report a double free or a leak), and every other copy still reads it.
    for (int nRound = 0; nRound < 200; ++nRound) {
        std::vector<CString> copies(64, CString(L"shared text of round"));
        std::vector<CString> theirs(copies.begin(), copies.begin() + 32);
        copies.resize(32);
        std::thread t([&] { theirs.clear(); });
        for (size_t i = copies.size(); i-- > 1;)
            copies.pop_back();
        t.join();
        EXPECT_STREQ(L"shared text of round", copies[0]);
    }
    // Assigning, moving and the empty string's buffer go through the same releases.
    CString a(L"a"), b(L"b");
    a = b;
    b = CString();
    CString c(std::move(a));
    EXPECT_STREQ(L"b", c);
    EXPECT_STREQ(L"", a.GetString());
}
