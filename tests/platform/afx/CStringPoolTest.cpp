#include <gtest/gtest.h>

#include <cstdlib>
#include <malloc.h>
#include <string>
#include <thread>
#include <vector>

#include "platform/afx/CStringPool.h"
#include "platform/afx/afx.h"
#include "support/Raises.h"

namespace {

// Bytes malloc has handed out and not had back (meaningless under the sanitizers' allocators,
// which check leaks themselves).
size_t HeapInUse() {
    return mallinfo2().uordblks;
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kHeapCountable = false;
#else
constexpr bool kHeapCountable = true;
#endif

} // namespace

// Neighbours in one chunk share nothing but the chunk: writing any of them, or a copy of one,
// leaves every other text as it was, and a write gives the string a buffer of its own.
TEST(CStringPool, PooledStringsAreOrdinaryStrings) {
    CStringPool pool;
    CString a = pool.Make(L"alpha", 5);
    CString b = pool.Make(L"beta gamma", 4);
    CString c = pool.Make(L"  gamma  ", 9);
    EXPECT_STREQ(L"alpha", a);
    EXPECT_EQ(4, b.GetLength());
    EXPECT_STREQ(L"beta", b);

    CString shared(a);
    EXPECT_EQ(a.GetString(), shared.GetString());
    shared += L"!";
    EXPECT_STREQ(L"alpha!", shared);
    EXPECT_STREQ(L"alpha", a);
    EXPECT_STREQ(L"beta", b);

    const LPCWSTR pOld = b.GetString();
    b.SetAt(0, L'B');
    EXPECT_NE(pOld, b.GetString());
    EXPECT_STREQ(L"Beta", b);
    c.Trim();
    EXPECT_STREQ(L"gamma", c);

    // A buffer written through GetBuffer, then measured by ReleaseBuffer.
    CString d = pool.Make(L"delta", 5);
    LPWSTR p = d.GetBuffer(10);
    wcscpy(p, L"delta-long");
    d.ReleaseBuffer();
    EXPECT_STREQ(L"delta-long", d);
    // ReleaseBuffer without GetBuffer shortens this string's text only.
    CString e = pool.Make(L"epsilon", 7);
    CString eCopy(e);
    e.ReleaseBuffer(3);
    EXPECT_STREQ(L"eps", e);
    EXPECT_STREQ(L"epsilon", eCopy);
    CString f = pool.Make(L"phi", 3);
    f.FreeExtra();
    f.MakeUpper();
    EXPECT_STREQ(L"PHI", f);
    EXPECT_STREQ(L"alpha", a);
}

TEST(CStringPool, EdgesOfMake) {
    CStringPool pool;
    EXPECT_TRUE(pool.Make(nullptr, 0).IsEmpty());
    EXPECT_TRUE(pool.Make(L"x", 0).IsEmpty());
    EXPECT_TRUE(RaisesInvalidArg([&] { pool.Make(nullptr, 1); }));
    EXPECT_TRUE(RaisesInvalidArg([&] { pool.Make(L"x", -1); }));
    // Longer than a carved buffer may be: a buffer of its own, with all of its characters.
    std::wstring big(CStringPool::kChunkBytes, L'z');
    CString s = pool.Make(big.c_str(), static_cast<int>(big.size()));
    EXPECT_EQ(big, std::wstring(s.GetString()));
    // Embedded characters are kept as given, the terminator added.
    CString t = pool.Make(L"a\0b", 3);
    EXPECT_EQ(3, t.GetLength());
    EXPECT_EQ(L'b', t[2]);
}

// Chunks go back when their last string goes, whoever releases it and in whatever order; a
// string kept alone keeps its text after the pool and its neighbours are gone.
TEST(CStringPool, ChunksAreFreedWithTheirLastString) {
    const size_t nBefore = HeapInUse();
    CString kept;
    {
        std::vector<CString> strings;
        {
            CStringPool pool;
            for (int i = 0; i < 20000; ++i) {
                std::wstring text = L"value " + std::to_wstring(i);
                strings.push_back(pool.Make(text.c_str(), static_cast<int>(text.size())));
            }
        }
        kept = strings[12345];
        strings.clear();
        if (kHeapCountable) {
            EXPECT_LT(HeapInUse(), nBefore + 3 * CStringPool::kChunkBytes); // the kept one's
        }
    }
    EXPECT_STREQ(L"value 12345", kept);
    kept.Empty();
    if (kHeapCountable) {
        EXPECT_LT(HeapInUse(), nBefore + CStringPool::kChunkBytes);
    }
}

// Strings of one chunk released on many threads at once, some through shared copies: the
// chunk is freed once, after the last (the sanitizers check the races and the frees).
TEST(CStringPool, ReleasedOnOtherThreads) {
    const int kThreads = 4, kEach = 3000;
    std::vector<std::vector<CString>> parts(kThreads);
    {
        CStringPool pool;
        for (int i = 0; i < kThreads * kEach; ++i) {
            std::wstring text = std::to_wstring(i);
            parts[i % kThreads].push_back(pool.Make(text.c_str(), static_cast<int>(text.size())));
        }
    }
    std::vector<CString> sharedCopies(parts[0].begin(), parts[0].end());
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&parts, t] {
            for (int i = 0; i < kEach; ++i)
                EXPECT_EQ(std::to_wstring(i * kThreads + t), parts[t][i].GetString());
            parts[t].clear();
        });
    threads.emplace_back([&sharedCopies] { sharedCopies.clear(); });
    for (std::thread& t : threads)
        t.join();
}

// A count that grows toward the pooled flag stops short of it: a buffer shared that often is
// kept for good rather than taken for a pooled one (a billion copies are simulated by setting
// the count where they would have left it).
TEST(CStringPool, HugeShareCountsNeverLookPooled) {
    CString plain(L"plain");
    auto* pData = reinterpret_cast<CStringData*>(const_cast<wchar_t*>(plain.GetString())) - 1;
    pData->nRefs.store(CStringData::kPooled / 2);
    {
        CString copy(plain);
        EXPECT_EQ(plain.GetString(), copy.GetString());
    }
    EXPECT_STREQ(L"plain", plain);
    plain += L"!"; // a write still gives this string a buffer of its own
    EXPECT_STREQ(L"plain!", plain);
    EXPECT_LT(pData->nRefs.load(), 0);
    std::free(pData); // kept for good, so freed here by hand for the leak checker
}
