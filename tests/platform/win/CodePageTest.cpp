// The narrow code page: UTF-8 by default, GBK or Windows-1252 when the host chooses them, for
// every place narrow text enters or leaves the framework and COM types.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/afx/CArchive.h"
#include "platform/afx/CString.h"
#include "platform/com/BstrT.h"
#include "platform/com/VariantT.h"
#include "platform/win/CodePage.h"
#include "support/ArchiveBytes.h"
#include "support/PrintCString.h"

namespace {

// Chooses a code page for one test and restores UTF-8 afterwards.
class CodePageTest : public ::testing::Test {
protected:
    void TearDown() override { ZqkSetNarrowCodePage(CP_UTF8); }
};

const char kGbk[] = "\xD6\xD0\xCE\xC4 ok"; // "中文 ok"
const char kLatin[] = "caf\xE9 \x80 \x9C"; // "café € œ"

TEST_F(CodePageTest, UnknownCodePagesAreRefused) {
    EXPECT_EQ(UINT(CP_UTF8), GetACP());
    EXPECT_FALSE(ZqkSetNarrowCodePage(12345));
    EXPECT_FALSE(ZqkSetNarrowCodePage(CP_ACP));
    EXPECT_EQ(UINT(CP_UTF8), GetACP());
    EXPECT_TRUE(ZqkSetNarrowCodePage(936));
    EXPECT_EQ(936u, GetACP());
}

TEST_F(CodePageTest, GbkAndWindows1252EverywhereNarrowTextGoes) {
    ASSERT_TRUE(ZqkSetNarrowCodePage(936));
    EXPECT_EQ(CString(L"中文 ok"), CString(kGbk));
    CString formatted;
    formatted.Format(L"[%S|%hs]", kGbk, "\xB0\xA1"); // 啊
    EXPECT_EQ(CString(L"[中文 ok|啊]"), formatted);
    _bstr_t b(kGbk);
    EXPECT_EQ(std::wstring(L"中文 ok"), static_cast<const wchar_t*>(b));
    EXPECT_EQ(std::string(kGbk), static_cast<const char*>(_bstr_t(L"中文 ok")));
    _variant_t v(kGbk);
    EXPECT_EQ(std::wstring(L"中文 ok"), v.bstrVal);
    // An archive's narrow string (length byte, then the bytes) is read in the code page.
    CString loaded;
    LoadFromBytes(Cat({{0x07}, Bytes(kGbk, kGbk + 7)}), [&](CArchive& ar) { ar >> loaded; });
    EXPECT_EQ(CString(L"中文 ok"), loaded);

    ASSERT_TRUE(ZqkSetNarrowCodePage(1252));
    EXPECT_EQ(CString(L"café € œ"), CString(kLatin));
    EXPECT_EQ(std::string(kLatin), static_cast<const char*>(_bstr_t(L"café € œ")));
    LoadFromBytes(Cat({{0x08}, Bytes(kLatin, kLatin + 8)}), [&](CArchive& ar) { ar >> loaded; });
    EXPECT_EQ(CString(L"café € œ"), loaded);
}

TEST_F(CodePageTest, BadBytesAndUnrepresentableCharacters) {
    ASSERT_TRUE(ZqkSetNarrowCodePage(936));
    // A lead byte without its trail byte, at the end and in the middle.
    EXPECT_EQ(std::wstring(L"a\uFFFD"), WinNarrowToWide("a\xD6", 2));
    EXPECT_EQ(std::wstring(L"\uFFFD\x7F"
                           L"b"),
              WinNarrowToWide("\xD6\x7F"
                              "b",
                              3));
    EXPECT_EQ(std::wstring(), WinNarrowToWide("", 0));
    // GBK has no Hangul syllables.
    EXPECT_EQ(std::string("x?y"), WinWideToNarrow(L"x\uAC00y", 3));
    ASSERT_TRUE(ZqkSetNarrowCodePage(1252));
    EXPECT_EQ(std::string("?"), WinWideToNarrow(L"中", 1));
    // 0x81 is unassigned in Windows-1252.
    std::wstring w = WinNarrowToWide("A\x81"
                                     "B",
                                     3);
    EXPECT_EQ(3u, w.size());
    EXPECT_EQ(L'A', w[0]);
    EXPECT_EQ(L'B', w[2]);
    // Long text goes through in pieces.
    std::string many(100000, '\xE9');
    EXPECT_EQ(std::wstring(100000, L'é'), WinNarrowToWide(many.data(), many.size()));
    std::wstring wide(100000, L'é');
    EXPECT_EQ(many, WinWideToNarrow(wide.data(), wide.size()));
}

TEST_F(CodePageTest, ThreadsConvertAtTheSameTime) {
    ASSERT_TRUE(ZqkSetNarrowCodePage(936));
    std::vector<std::thread> threads;
    std::vector<int> failures(4, 0);
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t, &failures] {
            for (int i = 0; i < 2000; ++i) {
                if (CString(kGbk) != CString(L"中文 ok") ||
                    WinWideToNarrow(L"中文 ok", 5) != std::string(kGbk))
                    ++failures[t];
            }
        });
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(std::vector<int>(4, 0), failures);
}

} // namespace
