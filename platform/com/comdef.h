// Everything the COM layer offers: run time, error information, Automation types and the
// support classes (_bstr_t, _variant_t, _com_error, _com_ptr_t).
#pragma once

#include "platform/com/Bstr.h"
#include "platform/com/BstrT.h"
#include "platform/com/ComBase.h"
#include "platform/com/ComError.h"
#include "platform/com/ComObject.h"
#include "platform/com/ComPtr.h"
#include "platform/com/ComRuntime.h"
#include "platform/com/ErrorInfo.h"
#include "platform/com/SafeArray.h"
#include "platform/com/Variant.h"
#include "platform/com/VariantT.h"
#include "platform/win/SystemMessage.h"
