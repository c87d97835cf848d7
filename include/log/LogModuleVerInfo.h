// The older API's logging of module version information, through the service catalogue.
#pragma once

#include "base/SWString.h"

namespace KrelStd {

// Logs one module file's product name, product version, private and special build together
// with the platform and the default log's debug threshold (SL4034). Anything that fails on the
// way logs SL4035 instead.
void LogModuleVerInfo(const SWString& moduleFile);

// Logs one line per module file of a list ended by a null pointer (SL4036), then the platform
// (SL4037) and the default log's debug threshold (SL4038). A null list counts as empty.
// Anything that fails on the way logs SL4035 and ends the logging.
void LogModuleVerInfo(const wchar_t* const* moduleFiles);

} // namespace KrelStd
