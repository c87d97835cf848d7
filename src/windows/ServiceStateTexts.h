// The texts of the service states and control codes, shared by the service controllers.
#pragma once

#include "platform/WinTypes.h"

namespace krel_std_internal {

// "SERVICE_STOPPED" ... "SERVICE_PAUSED" for 1 to 7, else "Unknown Service State".
const wchar_t* serviceStateText(DWORD state);
// "SERVICE_CONTROL_STOP" ... "SERVICE_CONTROL_SESSIONCHANGE" for 1 to 14, else
// "Unknown Service Control Code".
const wchar_t* controlCodeText(DWORD controlCode);

} // namespace krel_std_internal
