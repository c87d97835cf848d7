// KrelTimeoutException: an operation that ran out of time.
#pragma once

#include "exception/ExceptionMacros.h"
#include "exception/KrelException.h"

namespace krel_std {

// An operation that ran out of time (for users of the library).
KREL_DECLARE_EXCEPTION(KrelTimeoutException, KrelException)

} // namespace krel_std
