#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/win/TextEncoding.h"

namespace {

const wchar_t kR = 0xFFFD;
const char kUtf8R[] = "\xEF\xBF\xBD";

std::wstring Decode(const std::string& bytes) {
    return WinUtf8ToWide(bytes);
}

} // namespace

TEST(TextEncoding, Utf8RoundTripsEveryLength) {
    // The edges of each sequence length, from one byte to four.
    const std::wstring text = L"\x7F\x80\x7FF\x800\uFFFD\xFFFF\U00010000\U0001F600\U0010FFFF";
    const std::string utf8 = "\x7F"
                             "\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBD\xEF\xBF\xBF"
                             "\xF0\x90\x80\x80\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF";
    EXPECT_EQ(utf8, WinWideToUtf8(text));
    EXPECT_EQ(utf8, WinWideToUtf8(text.c_str()));
    EXPECT_EQ(text, Decode(utf8));
    EXPECT_EQ(std::wstring(L"a\0b", 3), Decode(std::string("a\0b", 3)));
    EXPECT_EQ("", WinWideToUtf8(static_cast<const wchar_t*>(nullptr)));
    EXPECT_EQ(L"", WinUtf8ToWide(nullptr, 0));
}

TEST(TextEncoding, InvalidUtf8BecomesOneReplacementPerBadByte) {
    const std::wstring R1(1, kR), R2(2, kR), R3(3, kR), R4(4, kR);
    EXPECT_EQ(R1, Decode("\x80"));         // stray continuation byte
    EXPECT_EQ(R1, Decode("\xC3"));         // truncated at the end
    EXPECT_EQ(R2, Decode("\xE2\x82"));     // truncated at the end
    EXPECT_EQ(R3, Decode("\xF0\x9F\x98")); // truncated at the end
    EXPECT_EQ(L"\xFFFD"
              L"A",
              Decode("\xC3"
                     "A")); // trail byte missing
    EXPECT_EQ(L"\xFFFD\xFFFD"
              L"A",
              Decode("\xE2\x82"
                     "A"));
    EXPECT_EQ(R2, Decode("\xC0\x80"));         // overlong U+0000
    EXPECT_EQ(R2, Decode("\xC1\xBF"));         // overlong U+007F
    EXPECT_EQ(R3, Decode("\xE0\x80\xAF"));     // overlong '/'
    EXPECT_EQ(R4, Decode("\xF0\x8F\xBF\xBF")); // overlong U+FFFF
    EXPECT_EQ(R3, Decode("\xED\xA0\x80"));     // U+D800
    EXPECT_EQ(R3, Decode("\xED\xBF\xBF"));     // U+DFFF
    EXPECT_EQ(R4, Decode("\xF4\x90\x80\x80")); // U+110000
    EXPECT_EQ(std::wstring(5, kR), Decode("\xF8\x88\x80\x80\x80"));
    EXPECT_EQ(L"a\xFFFD\xFFFD"
              L"b",
              Decode("a\xFE\xFF"
                     "b"));
    EXPECT_EQ(L"\xD7FF\xE000", Decode("\xED\x9F\xBF\xEE\x80\x80")); // either side of surrogates
}

TEST(TextEncoding, WideValuesThatAreNotCharactersEncodeAsReplacement) {
    const wchar_t bad[] = {0xD800, L'x', 0xDFFF, 0x110000, static_cast<wchar_t>(-1)};
    EXPECT_EQ(std::string(kUtf8R) + "x" + kUtf8R + kUtf8R + kUtf8R, WinWideToUtf8(bad, 5));
}

TEST(TextEncoding, Utf16SurrogatePairs) {
    const std::wstring text = L"a\u00E9\U0001F600\U00010000\U0010FFFF\uFFFF";
    const std::u16string units = u"a\u00E9\xD83D\xDE00\xD800\xDC00\xDBFF\xDFFF\xFFFF";
    EXPECT_EQ(units, WinWideToUtf16(text.data(), text.size()));
    EXPECT_EQ(units.size(), WinUtf16Length(text.data(), text.size()));
    EXPECT_EQ(text, WinUtf16ToWide(units.data(), units.size()));

    std::wstring appended = L"x";
    WinAppendUtf16AsWide(appended, u"\xD83D\xDE00y", 3);
    EXPECT_EQ(L"x\U0001F600y", appended);

    // Values beyond Unicode become a single U+FFFD unit; the length must agree.
    const wchar_t odd[] = {0x110000, static_cast<wchar_t>(-1), L'a'};
    EXPECT_EQ(u"\xFFFD\xFFFD"
              u"a",
              WinWideToUtf16(odd, 3));
    EXPECT_EQ(3u, WinUtf16Length(odd, 3));
}

TEST(TextEncoding, LoneSurrogatesPassThroughUtf16) {
    // Reversed and doubled halves are not pairs either.
    const std::wstring text = L"\xD800x\xDC00\xDC00\xD800\xD800\xD800";
    const std::u16string units = u"\xD800x\xDC00\xDC00\xD800\xD800\xD800";
    EXPECT_EQ(units, WinWideToUtf16(text.data(), text.size()));
    EXPECT_EQ(units.size(), WinUtf16Length(text.data(), text.size()));
    EXPECT_EQ(text, WinUtf16ToWide(units.data(), units.size()));
}

TEST(TextEncoding, AsciiRunsAndWideningAtEveryLengthAndPosition) {
    // Lengths around the eight-byte steps, with the first non-ASCII byte at every position.
    for (size_t n = 0; n <= 40; ++n) {
        for (size_t nHigh = 0; nHigh <= n; ++nHigh) {
            std::string bytes;
            for (size_t i = 0; i < n; ++i)
                bytes += static_cast<char>(1 + (i * 37) % 127);
            if (nHigh < n)
                bytes[nHigh] = static_cast<char>(0x80 + nHigh);
            ASSERT_EQ(nHigh, WinAsciiPrefix(bytes.data(), n)) << n;

            std::vector<wchar_t> out(n + 2, L'#');
            WinWidenBytes(bytes.data(), n, out.data());
            for (size_t i = 0; i < n; ++i)
                ASSERT_EQ(static_cast<wchar_t>(static_cast<unsigned char>(bytes[i])), out[i]);
            EXPECT_EQ(L'#', out[n]) << "wrote past " << n;

            // Decoding takes the ASCII start as it is and the rest as UTF-8.
            std::wstring expected(bytes.begin(), bytes.begin() + static_cast<long>(nHigh));
            if (nHigh < n)
                expected += Decode(bytes.substr(nHigh));
            std::vector<wchar_t> decoded(n + 1, L'#');
            size_t nDecoded = WinUtf8ToWideInto(bytes.data(), n, decoded.data());
            EXPECT_EQ(expected, std::wstring(decoded.data(), nDecoded));
            EXPECT_EQ(Decode(bytes), expected);
        }
    }
    EXPECT_EQ(0u, WinAsciiPrefix(nullptr, 0));
    WinWidenBytes(nullptr, 0, nullptr);
}
