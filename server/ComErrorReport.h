// Turns a caught COM failure into the detailed error text and, when asked, shows it.
#pragma once

#include "platform/afx/CString.h"
#include "platform/com/ComError.h"

// The five-line report: "Error:", then the code, its meaning, the source and the description,
// each on a line of its own that begins with a tab. An absent source or description reads
// "(null)".
CString FormatComErrorReport(_com_error& e);

// Builds the report and, when bShow is true, shows it in a message box (OK button, no icon,
// help ID 0) and waits for it to be closed.
void ReportComError(_com_error& e, bool bShow);
