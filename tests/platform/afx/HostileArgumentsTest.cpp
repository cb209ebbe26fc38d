// Framework classes given what a careful host would not give them: references where values
// belong, offsets at the ends of their range, null buffers, and strings shared between threads.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <thread>
#include <vector>

#include "platform/afx/afx.h"
#include "platform/com/comdef.h"
#include "support/ArchiveBytes.h"
#include "support/PrintCString.h"
#include "support/Raises.h"

namespace {

TEST(HostileArguments, SafeArraysByReferenceAreNeverTakenOver) {
    SAFEARRAY* psa = SafeArrayCreateVector(VT_UI1, 0, 3);
    VARIANT ref;
    ref.vt = VT_BYREF | VT_ARRAY | VT_UI1;
    ref.pparray = &psa;
    COleSafeArray sa;
    // Attach would own the host's array through its reference: refused, nothing changes.
    EXPECT_TRUE(RaisesInvalidArg([&] { sa.Attach(ref); }));
    EXPECT_EQ(VT_BYREF | VT_ARRAY | VT_UI1, ref.vt);
    // Assignment copies the array the reference points at.
    sa = ref;
    EXPECT_EQ(VT_ARRAY | VT_UI1, sa.vt);
    EXPECT_NE(psa, sa.parray);
    EXPECT_EQ(3u, sa.GetOneDimSize());
    // A wrapper that somehow holds a reference is not used as an array.
    COleSafeArray odd;
    static_cast<VARIANT&>(odd) = ref;
    EXPECT_TRUE(Raises<COleException>([&] { odd.GetOneDimSize(); }));
    VariantInit(&odd); // not odd's to release
    SafeArrayDestroy(psa);
}

TEST(HostileArguments, MemoryFileOffsetsAtTheirLimits) {
    CMemFile file;
    file.Write("abc", 3);
    auto badSeek = [&](LONGLONG lOff, UINT nFrom) {
        try {
            file.Seek(lOff, nFrom);
        } catch (CFileException* e) {
            bool bBadSeek = e->m_cause == CFileException::badSeek;
            e->Delete();
            return bBadSeek;
        }
        return false;
    };
    EXPECT_TRUE(badSeek(LLONG_MAX, CFile::end));
    EXPECT_TRUE(badSeek(LLONG_MAX - 1, CFile::current));
    EXPECT_TRUE(badSeek(LLONG_MIN, CFile::end));
    EXPECT_TRUE(badSeek(-4, CFile::end));
    EXPECT_TRUE(badSeek(0, 3));
    EXPECT_EQ(3u, file.GetPosition()); // failed seeks leave the position alone
    EXPECT_EQ(ULONGLONG(LLONG_MAX), file.Seek(LLONG_MAX, CFile::begin));
    char buf[4];
    EXPECT_EQ(0u, file.Read(buf, 4)); // past the end: nothing to read
    EXPECT_EQ(0u, file.Seek(0, CFile::begin));
    EXPECT_TRUE(RaisesInvalidArg([&] { file.Read(nullptr, 1); }));
    EXPECT_TRUE(RaisesInvalidArg([&] { file.Write(nullptr, 1); }));
    EXPECT_EQ(0u, file.Read(nullptr, 0));
}

TEST(HostileArguments, StringsThroughAnArchive) {
    // Scalar values, lone surrogates and astral characters survive unchanged; a high and a low
    // surrogate held as two characters are UTF-16 for one character and come back as it.
    const std::wstring kSurvivors[] = {L"plain", std::wstring(1, wchar_t(0xD800)) + L"x",
                                       std::wstring(1, wchar_t(0xDC00)), L"\U0001F600中",
                                       std::wstring(1, wchar_t(0xDC00)) + wchar_t(0xD800)};
    for (const std::wstring& s : kSurvivors) {
        CString in(s.c_str(), static_cast<int>(s.size())), out;
        Bytes bytes = StoreToBytes([&](CArchive& ar) { ar << in; });
        LoadFromBytes(bytes, [&](CArchive& ar) { ar >> out; });
        EXPECT_EQ(in, out);
    }
    const wchar_t pair[] = {wchar_t(0xD83D), wchar_t(0xDE00), 0};
    CString in(pair), out;
    LoadFromBytes(StoreToBytes([&](CArchive& ar) { ar << in; }), [&](CArchive& ar) { ar >> out; });
    EXPECT_EQ(CString(L"\U0001F600"), out);
}

TEST(HostileArguments, StringsSharedBetweenThreads) {
    // Copies of one buffer written and read on several threads: each writer gets its own
    // buffer, readers keep seeing the original, and narrow forms are made once per string.
    CString shared(L"shared text");
    _bstr_t sharedB(L"bstr text");
    std::vector<std::thread> threads;
    std::vector<int> wrong(4, 0);
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 5000; ++i) {
                CString mine = shared;
                mine.SetAt(0, L'S'); // a write on a shared buffer
                if (mine != CString(L"Shared text") || shared.GetAt(0) != L's')
                    ++wrong[t];
                _bstr_t copy = sharedB;
                if (std::string(static_cast<const char*>(copy)) != "bstr text")
                    ++wrong[t];
            }
        });
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(std::vector<int>(4, 0), wrong);
    EXPECT_EQ(CString(L"shared text"), shared);
}

} // namespace
