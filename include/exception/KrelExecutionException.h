// KrelExecutionException: a task that failed.
#pragma once

#include "exception/ExceptionMacros.h"
#include "exception/KrelException.h"

namespace krel_std {

// A task that failed (for users of the executor interface).
KREL_DECLARE_EXCEPTION(KrelExecutionException, KrelException)

} // namespace krel_std
