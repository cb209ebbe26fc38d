// Round trips through an in-memory archive: what an object stores, as bytes, and loading an
// object back from given bytes.
#pragma once

#include <cstring>
#include <functional>
#include <vector>

#include "platform/afx/CArchive.h"
#include "platform/afx/CFile.h"

using Bytes = std::vector<unsigned char>;

// Runs fnStore on a storing archive and returns the bytes it wrote.
inline Bytes StoreToBytes(const std::function<void(CArchive&)>& fnStore) {
    CMemFile file;
    {
        CArchive ar(&file, CArchive::store);
        fnStore(ar);
        ar.Close();
    }
    Bytes bytes(static_cast<size_t>(file.GetLength()));
    file.SeekToBegin();
    if (!bytes.empty())
        file.Read(bytes.data(), static_cast<UINT>(bytes.size()));
    return bytes;
}

// Runs fnLoad on a loading archive over a copy of bytes.
inline void LoadFromBytes(const Bytes& bytes, const std::function<void(CArchive&)>& fnLoad) {
    CMemFile file;
    if (!bytes.empty())
        file.Write(bytes.data(), static_cast<UINT>(bytes.size()));
    file.SeekToBegin();
    CArchive ar(&file, CArchive::load);
    fnLoad(ar);
}

// Concatenates byte lists: Cat({0x02, 0, 0, 0}, {0xFF, 0xFE, 0xFF}).
inline Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

// Runs fn and returns the cause of the CArchiveException it raised, or -1 for none. Other
// framework exceptions are released and reported as -2.
inline int ArchiveCause(const std::function<void()>& fn) {
    try {
        fn();
    } catch (CArchiveException* e) {
        int cause = e->m_cause;
        e->Delete();
        return cause;
    } catch (CException* e) {
        e->Delete();
        return -2;
    }
    return -1;
}
