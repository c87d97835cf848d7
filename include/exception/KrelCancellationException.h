// KrelCancellationException: a cancelled task.
#pragma once

#include "exception/ExceptionMacros.h"
#include "exception/KrelException.h"

namespace krel_std {

// A cancelled task (for users of the executor interface).
KREL_DECLARE_EXCEPTION(KrelCancellationException, KrelException)

} // namespace krel_std
