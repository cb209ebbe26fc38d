// The one header a host includes: every exported class of the library and the platform
// types used with them (strings, collections, files, archives, exceptions, the application
// object and message boxes, windows and the list control, the COM support types, the shell's
// folder picker).
#pragma once

#include "platform/afx/afx.h"
#include "platform/ado/AdoInterfaces.h"
#include "platform/com/comdef.h"
#include "platform/shell/Shell.h"

#include "BrowseForFolder.h"
#include "ZORADORXServer.h"
#include "ZORPackageDbOper.h"
#include "ZORTableField.h"
#include "ZORValueRecord.h"
#include "ZORValueTable.h"
