// ZqkDateTextFromUtf8 gives what reading the bytes as a date and coercing that date to text
// gives, character for character, and says when the bytes are not a date.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "platform/com/Variant.h"

namespace {

// The long way: ZqkDateFromText, then VariantChangeType to VT_BSTR. Empty optional-like pair:
// (false, "") when the bytes are not a date.
std::pair<bool, std::wstring> LongWay(const std::string& s) {
    VARIANT date, text;
    VariantInit(&date);
    VariantInit(&text);
    if (!ZqkDateFromText(s.data(), s.size(), &date.date))
        return {false, L""};
    date.vt = VT_DATE;
    EXPECT_EQ(S_OK, VariantChangeType(&text, &date, 0, VT_BSTR)) << s;
    std::wstring out(text.bstrVal, SysStringLen(text.bstrVal));
    VariantClear(&text);
    return {true, out};
}

void ExpectSameAsLongWay(const std::string& s) {
    wchar_t sz[kZqkVariantTextRoom];
    size_t n = 12345;
    HRESULT hr = ZqkDateTextFromUtf8(s.data(), s.size(), sz, &n);
    std::pair<bool, std::wstring> expected = LongWay(s);
    if (!expected.first) {
        EXPECT_EQ(S_FALSE, hr) << s;
        EXPECT_EQ(12345u, n) << s;
        return;
    }
    ASSERT_EQ(S_OK, hr) << s;
    EXPECT_EQ(expected.second, std::wstring(sz, n)) << s;
}

} // namespace

TEST(DateText, EdgesOfTheStoredForms) {
    for (const char* s : {"2024-01-02 03:04:05",
                          "2024-01-02 00:00:00",
                          "2024-01-02 00:00:01",
                          "1899-12-30 10:00:00",
                          "1899-12-30 00:00:00",
                          "1899-12-29 23:59:59",
                          "1899-12-31 00:00:01",
                          "2024-02-29 12:00:00",
                          "2023-02-29 12:00:00",
                          "2000-02-29 12:00:00",
                          "1900-02-29 12:00:00",
                          "2024-04-31 12:00:00",
                          "2024-13-01 12:00:00",
                          "2024-00-01 12:00:00",
                          "2024-01-00 12:00:00",
                          "2024-01-02 24:00:00",
                          "2024-01-02 23:60:00",
                          "2024-01-02 23:59:60",
                          "0099-12-31 23:59:59",
                          "0100-01-01 00:00:01",
                          "9999-12-31 23:59:59",
                          "2024-01-02T03:04:05",
                          " 2024-01-02 03:04:05",
                          "2024-01-02 03:04:05 ",
                          "2024-01-02  03:04:05",
                          "2024-01-02 03:04:05.5",
                          "2024-01-02 03:04:05.",
                          "2024-1-2 3:04:05",
                          "2024-01-02 3:04:05",
                          "2024-01-02 03:04",
                          "2024-01-02",
                          "12:34",
                          "12:34:56",
                          "1:02",
                          "2024/01/02 03:04:05",
                          "2024-01-02 03:04:0x",
                          "2024-01-02 03-04-05",
                          "+024-01-02 03:04:05",
                          "2024-01-02 03:04:05\x01",
                          "",
                          " ",
                          "not a date",
                          "2024-01-02 03:04:05x"})
        ExpectSameAsLongWay(s);
    // A NUL ends the text, as it ends the string the long way would read.
    ExpectSameAsLongWay(std::string("2024-01-02 03:04:05\0junk", 24));
    ExpectSameAsLongWay(std::string("2024-01-02\0 03:04:05", 19));
    // Text beyond ASCII is read as its characters.
    ExpectSameAsLongWay("2024-01-02\xC2\xA0"
                        "03:04:05");
    ExpectSameAsLongWay("\xE3\x80\x80"
                        "2024-01-02 03:04:05");
}

// Every field of the stored form over and past its range, at random.
TEST(DateText, RandomStoredForms) {
    std::mt19937 rnd(20261207);
    char sz[64];
    for (int i = 0; i < 200000; ++i) {
        unsigned y = rnd() % 10100, mo = rnd() % 14, d = rnd() % 33, h = rnd() % 25,
                 mi = rnd() % 61, s = rnd() % 61;
        if (rnd() % 4 == 0)
            h = mi = s = 0; // midnight
        if (rnd() % 8 == 0)
            y = 1899, mo = 12, d = 30;
        std::snprintf(sz, sizeof sz, "%04u-%02u-%02u %02u:%02u:%02u", y % 10000, mo, d, h, mi, s);
        ExpectSameAsLongWay(sz);
        if (::testing::Test::HasFailure())
            return;
    }
}

// Stored dates of the usual form are read as their text is read through a BSTR (the general
// parse): the same date to the bit, or no date, in and out of every field's range, and forms
// that only look alike.
TEST(DateText, StoredFormReadsAsItsTextDoes) {
    auto expectSame = [](const std::string& s) {
        DATE fromBytes = 0;
        bool bBytes = ZqkDateFromText(s.data(), s.size(), &fromBytes);
        std::wstring w(s.begin(), s.end());
        VARIANT text, date;
        VariantInit(&date);
        text.vt = VT_BSTR;
        text.bstrVal = SysAllocStringLen(w.data(), static_cast<UINT>(w.size()));
        bool bText = SUCCEEDED(VariantChangeType(&date, &text, 0, VT_DATE));
        VariantClear(&text);
        EXPECT_EQ(bText, bBytes) << s;
        if (bText && bBytes) {
            EXPECT_EQ(0, std::memcmp(&date.date, &fromBytes, sizeof(DATE))) << s;
        }
    };
    std::mt19937 rnd(20261206);
    char sz[64];
    for (int i = 0; i < 200000; ++i) {
        unsigned y = rnd() % 10000, mo = rnd() % 100, d = rnd() % 100, h = rnd() % 100,
                 mi = rnd() % 100, s = rnd() % 100;
        if (rnd() % 2 == 0) { // mostly in range
            mo = 1 + mo % 12, d = 1 + d % 31, h %= 24, mi %= 60, s %= 60;
            y = rnd() % 4 ? 1753 + y % 300 : y;
        }
        std::snprintf(sz, sizeof sz, "%04u-%02u-%02u %02u:%02u:%02u", y, mo, d, h, mi, s);
        expectSame(sz);
        if (::testing::Test::HasFailure())
            return;
    }
    for (const char* psz : {"2000-02-29 23:59:59", "1900-02-29 00:00:00", "0099-12-31 12:00:00",
                            "0100-01-01 00:00:00", "9999-12-31 23:59:59", "1899-12-30 00:00:00",
                            "1899-12-29 18:00:00", "2024-1a-01 00:00:00", "2024-01-01T00:00:00",
                            "2024-01-01 00:00:0 ", " 024-01-01 00:00:00", "2024-01-01 00:00 00",
                            "2024-01-01 +1:00:00", "2024-01-01 00:00:00.5", "2024/01/01 00:00:00"})
        expectSame(psz);
}
