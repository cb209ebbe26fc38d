// The lengths CString accepts, shared by the files that hold its members: a length is an int
// and a buffer of it must stay allocatable in bytes. Internal to the platform library.
#pragma once

#include <climits>
#include <cstddef>
#include <cwchar>

#include "platform/afx/Exceptions.h"

namespace ZqkCStringDetail {

// n as a string length; a memory exception when no buffer of that many characters can be.
inline int CheckedLength(size_t n) {
    if (n > static_cast<size_t>(INT_MAX / 2))
        AfxThrowMemoryException();
    return static_cast<int>(n);
}

// The length of psz, 0 for a null pointer.
inline int SafeLength(const wchar_t* psz) {
    return psz ? CheckedLength(wcslen(psz)) : 0;
}

} // namespace ZqkCStringDetail
