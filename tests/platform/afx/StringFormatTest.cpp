#include <gtest/gtest.h>

#include <climits>
#include <cstdarg>
#include <cstddef>

#include "platform/afx/afx.h"

namespace {

template <typename... Args> CString Fmt(LPCWSTR pszFormat, const Args&... args) {
    CString s;
    s.Format(pszFormat, args...);
    return s;
}

CString FmtV(LPCWSTR pszFormat, ...) {
    va_list args;
    va_start(args, pszFormat);
    CString s;
    s.FormatV(pszFormat, args);
    va_end(args);
    return s;
}

// Formats into a string that already holds text: a rejected format must leave it alone.
template <typename... Args> bool Rejected(LPCWSTR pszFormat, const Args&... args) {
    CString s(L"kept");
    bool bRaised = false;
    try {
        s.Format(pszFormat, args...);
    } catch (CInvalidArgException* e) {
        e->Delete();
        bRaised = true;
    }
    EXPECT_STREQ(L"kept", s) << pszFormat;
    return bRaised;
}

} // namespace

TEST(StringFormat, StringsAndCharacters) {
    const CString name(L"zqk");
    const wchar_t* pszWide = L"wide";
    EXPECT_STREQ(L"[zqk|wide|lit]", Fmt(L"[%s|%s|%s]", name, pszWide, L"lit"));
    EXPECT_STREQ(
        L"[gr\u00FC\u00DF|n|w|w2|\U0001F600]",
        Fmt(L"[%S|%hs|%ls|%ws|%hs]", "gr\xC3\xBC\xC3\x9F", "n", L"w", L"w2", "\xF0\x9F\x98\x80"));
    EXPECT_STREQ(L"a b c \u00E9 d", Fmt(L"%c %C %hc %lc %wc", L'a', 'b', 'c', L'\u00E9', L'd'));
    EXPECT_STREQ(L"(null)|(null)|(null)",
                 Fmt(L"%s|%s|%hs", nullptr, static_cast<const wchar_t*>(nullptr),
                     static_cast<const char*>(nullptr)));
    EXPECT_STREQ(
        L"[   ab|ab   |ab|    x|(nu|000ab]",
        Fmt(L"[%5s|%-5s|%.2s|%5.1s|%.3s|%05s]", L"ab", L"ab", L"abcdef", L"xyz", nullptr, L"ab"));
    EXPECT_STREQ(L"[  x|x  ]", Fmt(L"[%3c|%-3c]", L'x', L'x'));
    EXPECT_STREQ(L"100% sure", Fmt(L"100%% %s", L"sure"));
    EXPECT_STREQ(L"no conversions", Fmt(L"no conversions"));
}

TEST(StringFormat, IntegerSizesFollowWindows) {
    // Without a size and with l, integers are 32 bits wide whatever was passed.
    EXPECT_STREQ(L"5 5 5 5", Fmt(L"%ld %d %lu %I32d", 0x100000005LL, 0x100000005LL, 0x100000005ULL,
                                 0x100000005LL));
    EXPECT_STREQ(L"4294967295 ffffffff FFFFFFFF 37777777777 -1",
                 Fmt(L"%u %x %X %o %d", -1, -1, -1, -1, 0xFFFFFFFFu));
    EXPECT_STREQ(L"-1 65535 -1 255 44", Fmt(L"%hd %hu %hhd %hhu %hhu", 65535, -1, 255, -1, 300));
    EXPECT_STREQ(L"4294967296 -1 18446744073709551615 ffffffffffffffff -4294967296",
                 Fmt(L"%lld %I64d %llu %I64x %Id", 4294967296LL, -1LL, -1LL, -1LL, -4294967296LL));
    EXPECT_STREQ(L"1099511627776", Fmt(L"%zu", static_cast<size_t>(1) << 40));
    EXPECT_STREQ(L"65 1 7", Fmt(L"%d %d %u", 'A', true, static_cast<unsigned char>(7)));
}

TEST(StringFormat, WidthPrecisionAndFlags) {
    EXPECT_STREQ(L"[   42|42   |00042|+42| 42|  042|-0042]",
                 Fmt(L"[%5d|%-5d|%05d|%+d|% d|%5.3d|%05d]", 42, 42, 42, 42, 42, 42, -42));
    EXPECT_STREQ(L"[0x1f|017|0X1F|0]", Fmt(L"[%#x|%#o|%#X|%#x]", 31, 15, 31, 0));
    // A negative * width left-justifies; a negative * precision counts as none.
    EXPECT_STREQ(L"[   ab|ab   |  007|abc|abcdef]",
                 Fmt(L"[%*s|%*s|%*.*d|%.*s|%.*s]", 5, L"ab", -5, L"ab", 5, 3, 7, 3, L"abcdef", -1,
                     L"abcdef"));
    EXPECT_STREQ(L"[7    ]", Fmt(L"[%0*d]", -5, 7));
}

TEST(StringFormat, FloatingPointAndPointers) {
    EXPECT_STREQ(L"3.141593 3.14 1.500000e+00 1.5E+10 0.0001 1e-05 1.5",
                 Fmt(L"%f %.2f %e %.1E %g %g %g", 3.14159265, 3.14159265, 1.5, 1.5e10, 0.0001,
                     0.00001, 1.5f));
    EXPECT_STREQ(L"[  2.50|2.5   |+2.500|002.5]",
                 Fmt(L"[%6.2f|%-6g|%+.3f|%05.1f]", 2.5, 2.5, 2.5, 2.5));
    EXPECT_STREQ(L"0000000000ABCDEF|0000000000000000|  000000000000000A|000000000000000A  |",
                 Fmt(L"%p|%p|%18p|%-18p|", reinterpret_cast<void*>(0xABCDEF), nullptr,
                     reinterpret_cast<void*>(0xA), reinterpret_cast<void*>(0xA)));
}

TEST(StringFormat, AppendFormatAndFormattingItself) {
    CString s(L"n=");
    const CString shared(s);
    s.AppendFormat(L"%d;", 1);
    EXPECT_STREQ(L"n=1;", s);
    EXPECT_STREQ(L"n=", shared);
    s.AppendFormat(L"%s", s);
    EXPECT_STREQ(L"n=1;n=1;", s);
    s.Format(L"<%s>", s);
    EXPECT_STREQ(L"<n=1;n=1;>", s);
    s.Format(L"");
    EXPECT_TRUE(s.IsEmpty());
}

TEST(StringFormat, BadFormatsAndArgumentsRaise) {
    int n = 0;
    EXPECT_TRUE(Rejected(L"%d"));
    EXPECT_TRUE(Rejected(L"%d %d", 1));
    EXPECT_TRUE(Rejected(L"%*d", 5));
    EXPECT_TRUE(Rejected(L"%s", 5));
    EXPECT_TRUE(Rejected(L"%s", 1.5));
    EXPECT_TRUE(Rejected(L"%s", &n));
    EXPECT_TRUE(Rejected(L"%d", L"text"));
    EXPECT_TRUE(Rejected(L"%x", CString(L"text")));
    EXPECT_TRUE(Rejected(L"%d", 1.5));
    EXPECT_TRUE(Rejected(L"%c", L"x"));
    EXPECT_TRUE(Rejected(L"%f", L"x"));
    EXPECT_TRUE(Rejected(L"%p", 1.5));
    EXPECT_TRUE(Rejected(L"%*d", L"x", 5));
    EXPECT_TRUE(Rejected(L"%q", 1));
    EXPECT_TRUE(Rejected(L"%n", &n));
    EXPECT_TRUE(Rejected(L"50%", 1));
    EXPECT_TRUE(Rejected(L"%5", 1));
    EXPECT_TRUE(Rejected(L"%99999999999d", 1));
    EXPECT_TRUE(Rejected(L"%.99999999999d", 1));
    EXPECT_TRUE(Rejected(L"%*d", INT_MIN, 1));
    EXPECT_EQ(0, n);
}

TEST(StringFormat, FormatVReadsArgumentsByWindowsRules) {
    EXPECT_STREQ(L"wide|narrow|w2|\u00E9|(null)",
                 FmtV(L"%s|%S|%ls|%hs|%s", L"wide", "narrow", L"w2", "\xC3\xA9",
                      static_cast<const wchar_t*>(nullptr)));
    EXPECT_STREQ(L"5|4294967295|-1|255|ffffffff",
                 FmtV(L"%ld|%u|%hd|%hhu|%lx", 5, -1, 65535, 511, -1));
    EXPECT_STREQ(L"1099511627776|-2|18446744073709551615|  x|y|2.50|0.5",
                 FmtV(L"%I64d|%lld|%Iu|%*c|%C|%.2f|%g", 1LL << 40, -2LL, static_cast<size_t>(-1), 3,
                      L'x', 'y', 2.5, 0.5f));
    EXPECT_STREQ(L"[ab   ]|0000000000001234",
                 FmtV(L"[%-*s]|%p", 5, L"ab", reinterpret_cast<void*>(0x1234)));
}
