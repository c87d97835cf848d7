#pragma once

#include "platform/WinTypes.h"

namespace krel_platform {

// The Windows system message text (English, with its trailing "\r\n") for an error code, or
// null when the stand-in's table has none.
const wchar_t* findSystemMessage(DWORD code);

} // namespace krel_platform
