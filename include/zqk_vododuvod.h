// The one header a host includes: every exported class of the library and the platform
// types used with them (strings, collections, files, archives, exceptions, the application
// object and message boxes).
#pragma once

#include "platform/afx/afx.h"

#include "ZORValueRecord.h"
#include "ZORValueTable.h"
