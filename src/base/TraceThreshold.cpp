#include "base/TraceThreshold.h"

// Constant-initialised, so a trace made by any static initialiser already reads DEBUG.
std::atomic<int> krel_std_internal::LogThreshold::effective{krel_std::DEBUG};
