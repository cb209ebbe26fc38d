// The strings a framework container holds, as a plain vector that compares in one assertion.
#pragma once

#include <string>
#include <vector>

#include "platform/afx/CStringArray.h"
#include "platform/afx/CStringList.h"

using Strings = std::vector<std::wstring>;

inline Strings Contents(const CStringArray& arr) {
    Strings out;
    for (INT_PTR i = 0; i < arr.GetSize(); ++i)
        out.emplace_back(static_cast<LPCWSTR>(arr[i]));
    return out;
}

inline Strings Contents(const CStringList& lst) {
    Strings out;
    for (POSITION pos = lst.GetHeadPosition(); pos != nullptr;)
        out.emplace_back(static_cast<LPCWSTR>(lst.GetNext(pos)));
    return out;
}
