#include "platform/com/Bstr.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <new>

namespace {

// The length sits in front of the characters, as the string's header.
struct BstrHeader {
    size_t nChars;
};

BstrHeader* Header(BSTR bstr) {
    return reinterpret_cast<BstrHeader*>(bstr) - 1;
}

size_t BlockBytes(size_t nChars) {
    return sizeof(BstrHeader) + (nChars + 1) * sizeof(OLECHAR);
}

// Short strings come and go by the million when cells are read as text, so each thread keeps a
// few freed blocks of each short size class for its next strings. Every string of up to
// kCachedChars[last] characters takes a whole block of its class, so that its length alone
// tells its block's size when it is freed, on whichever thread. The sanitizers see every
// string's own allocation instead, to catch use after free.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define ZQK_BSTR_EACH_OWN_BLOCK 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) ||                         \
    __has_feature(memory_sanitizer)
#define ZQK_BSTR_EACH_OWN_BLOCK 1
#endif
#endif
#ifdef ZQK_BSTR_EACH_OWN_BLOCK
constexpr bool kCacheBlocks = false;
#else
constexpr bool kCacheBlocks = true;
#endif
constexpr size_t kCachedChars[] = {15, 31, 63};
constexpr int kClasses = 3;
constexpr int kBlocksPerClass = 16;

struct CBstrBlockCache {
    int counts[kClasses];
    // Blocks a class may keep: 0 until the thread's first cached string, -1 once the thread is
    // ending (strings then go straight to malloc and back).
    int nLimit;
    void* blocks[kClasses][kBlocksPerClass];
};

// The cache lives in the thread's storage itself, so that taking a block is two loads after
// the storage's address. The library is also loaded with dlopen (the SQLite shell's .load),
// which the dynamic TLS model serves; the build's descriptor dialect makes it cheap.
thread_local CBstrBlockCache t_cache;

struct CBstrCacheOwner {
    ~CBstrCacheOwner() {
        for (int c = 0; c < kClasses; ++c) {
            for (int i = 0; i < t_cache.counts[c]; ++i)
                std::free(t_cache.blocks[c][i]);
            t_cache.counts[c] = 0;
        }
        t_cache.nLimit = -1;
    }
};
thread_local CBstrCacheOwner t_owner;

// The size class of a string of nChars characters, or kClasses when it is not cached.
inline int ClassOf(size_t nChars) {
    if (!kCacheBlocks)
        return kClasses;
    return nChars <= kCachedChars[0]   ? 0
           : nChars <= kCachedChars[1] ? 1
           : nChars <= kCachedChars[2] ? 2
                                       : kClasses;
}

// A new block of class c; the thread's first one opens its cache (kept out of line, so that
// the common path saves no registers).
__attribute__((noinline)) void* NewBlock(int c) {
    if (t_cache.nLimit == 0) {
        // Touching the owner registers its destructor for this thread.
        CBstrCacheOwner* volatile pOwner = &t_owner;
        (void)pOwner;
        t_cache.nLimit = kBlocksPerClass;
    }
    return std::malloc(BlockBytes(kCachedChars[c]));
}

inline void* AllocBlock(size_t nChars) {
    int c = ClassOf(nChars);
    if (c == kClasses)
        return std::malloc(BlockBytes(nChars));
    CBstrBlockCache& cache = t_cache;
    int n = cache.counts[c];
    if (n > 0) {
        cache.counts[c] = n - 1;
        return cache.blocks[c][n - 1];
    }
    return NewBlock(c);
}

inline void FreeBlock(BstrHeader* pHeader) {
    int c = ClassOf(pHeader->nChars);
    if (c != kClasses) {
        CBstrBlockCache& cache = t_cache;
        int n = cache.counts[c];
        if (n < cache.nLimit) {
            cache.blocks[c][n] = pHeader;
            cache.counts[c] = n + 1;
            return;
        }
    }
    std::free(pHeader);
}

} // namespace

BSTR ZqkSysAllocStringUnset(UINT ui) {
    void* p = AllocBlock(ui);
    if (p == nullptr)
        return nullptr;
    auto* pHeader = static_cast<BstrHeader*>(p);
    pHeader->nChars = ui;
    auto* psz = reinterpret_cast<BSTR>(pHeader + 1);
    psz[ui] = 0;
    return psz;
}

BSTR SysAllocStringLen(const OLECHAR* strIn, UINT ui) {
    BSTR psz = ZqkSysAllocStringUnset(ui);
    if (psz == nullptr)
        return nullptr;
    if (strIn) // memcpy itself: the C library's wmemcpy is one more call on every string
        std::memcpy(psz, strIn, static_cast<size_t>(ui) * sizeof(OLECHAR));
    else
        wmemset(psz, 0, ui);
    return psz;
}

BSTR SysAllocString(const OLECHAR* psz) {
    if (psz == nullptr)
        return nullptr;
    return SysAllocStringLen(psz, static_cast<UINT>(wcslen(psz)));
}

INT SysReAllocStringLen(BSTR* pbstr, const OLECHAR* psz, UINT len) {
    if (pbstr == nullptr)
        return FALSE;
    BSTR bstrNew = SysAllocStringLen(psz, len);
    if (bstrNew == nullptr)
        return FALSE;
    SysFreeString(*pbstr);
    *pbstr = bstrNew;
    return TRUE;
}

INT SysReAllocString(BSTR* pbstr, const OLECHAR* psz) {
    return SysReAllocStringLen(pbstr, psz, psz ? static_cast<UINT>(wcslen(psz)) : 0);
}

void SysFreeString(BSTR bstrString) {
    if (bstrString)
        FreeBlock(Header(bstrString));
}

UINT SysStringLen(BSTR pbstr) {
    return pbstr ? static_cast<UINT>(Header(pbstr)->nChars) : 0;
}

UINT SysStringByteLen(BSTR bstr) {
    return SysStringLen(bstr) * static_cast<UINT>(sizeof(OLECHAR));
}
