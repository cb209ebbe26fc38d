// Everything the framework layer offers, for hosts and the module.
#pragma once

#include "platform/afx/CArchive.h"
#include "platform/afx/CArray.h"
#include "platform/afx/CFile.h"
#include "platform/afx/CFileFind.h"
#include "platform/afx/CMapStringToString.h"
#include "platform/afx/COleSafeArray.h"
#include "platform/afx/CObject.h"
#include "platform/afx/CString.h"
#include "platform/afx/CStringArray.h"
#include "platform/afx/CStringList.h"
#include "platform/afx/CWinApp.h"
#include "platform/afx/Exceptions.h"
#include "platform/afx/ExtensionModule.h"
#include "platform/afx/Position.h"
#include "platform/win/WinError.h"
#include "platform/win/WinTypes.h"
