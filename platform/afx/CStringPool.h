// Makes many strings that are likely to be released together, such as the cells of a query
// result. Their buffers are carved from shared chunks: making one costs no malloc, releasing
// one an atomic decrement, and a chunk is freed when the last string carved from it goes.
// The strings are ordinary CStrings, copied, changed and released anywhere; a change first
// moves the text to a buffer of its own. The price is that a string kept after the others are
// gone keeps its whole chunk (at most kChunkBytes) alive.
// One pool is used by one thread at a time; the strings it made follow CString's rules.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "platform/afx/CString.h"

class CStringPool {
public:
    // The size of a chunk, and of the largest buffer carved from one: longer texts get a
    // buffer of their own, as CString gives it.
    static constexpr size_t kChunkBytes = 8192;
    static constexpr size_t kLargestBlock = kChunkBytes / 8;

    CStringPool() noexcept = default;
    // The strings made stay valid: the pool only gives up its hold on the current chunk.
    ~CStringPool();
    CStringPool(const CStringPool&) = delete;
    CStringPool& operator=(const CStringPool&) = delete;

    // A string holding a copy of the nLength characters at pch (nLength >= 0, pch not null
    // when nLength > 0). Raises the memory exception when no chunk can be had.
    CString Make(LPCWSTR pch, int nLength);

    // Drops one reference held by a carved buffer's last string; called by CString alone.
    static void ReleaseBlock(CStringData* pData) noexcept;

private:
    struct CChunk;
    // Gives up the pool's hold on the current chunk (freeing it if no string is left).
    void Retire() noexcept;

    CChunk* m_pChunk = nullptr;
    char* m_pNext = nullptr;
    char* m_pEnd = nullptr;
    std::int64_t m_nHanded = 0; // buffers carved from m_pChunk so far
};
