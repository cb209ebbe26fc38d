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
    void* blocks[kClasses][kBlocksPerClass];
    int counts[kClasses];
};

// The thread's cache, made on its first string. Only the pointer lives in the thread's
// storage, in the default model: the library is also loaded with dlopen (the SQLite shell's
// .load), where initial-exec storage may not be had. The owner below frees the cache when the
// thread ends, after which strings go straight to malloc and back.
CBstrBlockCache g_closedMark; // its address marks a thread's cache as gone
CBstrBlockCache* const kCacheClosed = &g_closedMark;
thread_local CBstrBlockCache* t_pCache = nullptr;

struct CBstrCacheOwner {
    ~CBstrCacheOwner() {
        CBstrBlockCache* pCache = t_pCache;
        t_pCache = kCacheClosed;
        if (pCache == nullptr || pCache == kCacheClosed)
            return;
        for (int c = 0; c < kClasses; ++c)
            for (int i = 0; i < pCache->counts[c]; ++i)
                std::free(pCache->blocks[c][i]);
        delete pCache;
    }
};
thread_local CBstrCacheOwner t_owner;

// The thread's cache, or null once the thread is ending or when it cannot be made.
CBstrBlockCache* Cache() {
    CBstrBlockCache* pCache = t_pCache;
    if (pCache != nullptr)
        return pCache == kCacheClosed ? nullptr : pCache;
    pCache = new (std::nothrow) CBstrBlockCache();
    if (pCache == nullptr)
        return nullptr;
    // Touching the owner registers its destructor for this thread.
    CBstrCacheOwner* volatile pOwner = &t_owner;
    (void)pOwner;
    t_pCache = pCache;
    return pCache;
}

// The size class of a string of nChars characters, or kClasses when it is not cached.
inline int ClassOf(size_t nChars) {
    if (!kCacheBlocks)
        return kClasses;
    return nChars <= kCachedChars[0]   ? 0
           : nChars <= kCachedChars[1] ? 1
           : nChars <= kCachedChars[2] ? 2
                                       : kClasses;
}

void* AllocBlock(size_t nChars) {
    int c = ClassOf(nChars);
    if (c == kClasses)
        return std::malloc(BlockBytes(nChars));
    CBstrBlockCache* pCache = Cache();
    if (pCache != nullptr && pCache->counts[c] > 0)
        return pCache->blocks[c][--pCache->counts[c]];
    return std::malloc(BlockBytes(kCachedChars[c]));
}

void FreeBlock(BstrHeader* pHeader) {
    int c = ClassOf(pHeader->nChars);
    if (c != kClasses) {
        CBstrBlockCache* pCache = Cache();
        if (pCache != nullptr && pCache->counts[c] < kBlocksPerClass) {
            pCache->blocks[c][pCache->counts[c]++] = pHeader;
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
