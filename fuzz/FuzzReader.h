// Reads a fuzz input as a stream of operands: bytes, 32-bit numbers, picks from a table.
// Past the end every read gives zeros, so any input is a complete program.
#pragma once

#include <cstddef>
#include <cstdint>

class Reader {
public:
    Reader(const uint8_t* p, size_t n) : m_p(p), m_n(n) {}
    bool More() const { return m_n > 0; }
    uint8_t Byte() {
        if (m_n == 0)
            return 0;
        --m_n;
        return *m_p++;
    }
    uint32_t U32() {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v = v << 8 | Byte();
        return v;
    }
    void Bytes(void* pOut, size_t n) {
        auto* p = static_cast<uint8_t*>(pOut);
        for (size_t i = 0; i < n; ++i)
            p[i] = Byte();
    }
    template <class T, size_t N> T Pick(const T (&table)[N]) { return table[Byte() % N]; }

private:
    const uint8_t* m_p;
    size_t m_n;
};
