#include "platform/afx/CStringPool.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/afx/Exceptions.h"

// A chunk starts with its count; each buffer carved from it is preceded by the chunk's address,
// which is how a string's last release finds the count to decrement.
//
// The count starts at kBias while the pool carves from the chunk, so that carving needs no
// locked increment: the pool counts its buffers in m_nHanded and, when it lets the chunk go,
// takes kBias - m_nHanded off. Each buffer's last release takes one off. Whichever step brings
// the count to zero frees the chunk, and that happens exactly once, after both.
struct CStringPool::CChunk {
    std::atomic<std::int64_t> nLive;
};

namespace {

constexpr std::int64_t kBias = std::int64_t{1} << 40;

struct CCarved {
    void* pChunk; // the chunk this buffer was carved from
    CStringData header;
};
static_assert(sizeof(CCarved) == 16, "a carved buffer's header is two words");

inline CCarved* CarvedOf(CStringData* pData) noexcept {
    return reinterpret_cast<CCarved*>(reinterpret_cast<char*>(pData) - offsetof(CCarved, header));
}

constexpr size_t kAlign = alignof(CCarved);

} // namespace

CStringPool::~CStringPool() {
    Retire();
}

void CStringPool::Retire() noexcept {
    if (!m_pChunk)
        return;
    std::int64_t nDrop = kBias - m_nHanded;
    if (m_pChunk->nLive.fetch_sub(nDrop, std::memory_order_acq_rel) == nDrop)
        std::free(m_pChunk);
    m_pChunk = nullptr;
    m_pNext = m_pEnd = nullptr;
    m_nHanded = 0;
}

CString CStringPool::Make(LPCWSTR pch, int nLength) {
    if (nLength < 0 || (pch == nullptr && nLength > 0))
        AfxThrowInvalidArgException();
    size_t nChars = static_cast<size_t>(nLength);
    size_t nBytes = (sizeof(CCarved) + (nChars + 1) * sizeof(wchar_t) + kAlign - 1) & ~(kAlign - 1);
    if (nLength == 0 || nBytes > kLargestBlock)
        return CString(pch, nLength);
    if (static_cast<size_t>(m_pEnd - m_pNext) < nBytes) {
        Retire();
        void* p = std::malloc(kChunkBytes);
        if (!p)
            AfxThrowMemoryException();
        m_pChunk = new (p) CChunk{{kBias}};
        m_pNext = static_cast<char*>(p) + ((sizeof(CChunk) + kAlign - 1) & ~(kAlign - 1));
        m_pEnd = static_cast<char*>(p) + kChunkBytes;
    }
    auto* pCarved = new (m_pNext) CCarved{m_pChunk, {{CStringData::kPooled | 1}, nLength}};
    m_pNext += nBytes;
    ++m_nHanded;
    wchar_t* pszChars = pCarved->header.Chars();
    std::memcpy(pszChars, pch, nChars * sizeof(wchar_t));
    pszChars[nChars] = 0;
    CString str;
    str.m_pszData = pszChars; // the empty string it held needs no release
    return str;
}

void CStringPool::ReleaseBlock(CStringData* pData) noexcept {
    auto* pChunk = static_cast<CChunk*>(CarvedOf(pData)->pChunk);
    if (pChunk->nLive.fetch_sub(1, std::memory_order_acq_rel) == 1)
        std::free(pChunk);
}
