// Lets GoogleTest show a CString's text in a failed assertion instead of its address.
#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "platform/afx/CString.h"

inline void PrintTo(const CString& str, std::ostream* os) {
    *os << ::testing::PrintToString(std::wstring(str.GetString()));
}
