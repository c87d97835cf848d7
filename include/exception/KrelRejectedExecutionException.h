// KrelRejectedExecutionException: a task that an executor refused.
#pragma once

#include "exception/ExceptionMacros.h"
#include "exception/KrelException.h"

namespace krel_std {

// A task that an executor refused (for users of the executor interface).
KREL_DECLARE_EXCEPTION(KrelRejectedExecutionException, KrelException)

} // namespace krel_std
