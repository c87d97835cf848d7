// KrelDeadlockException: a lock or semaphore operation that would deadlock.
#pragma once

#include "exception/ExceptionMacros.h"
#include "exception/KrelException.h"

namespace krel_std {

// A lock or semaphore operation that would deadlock.
KREL_DECLARE_EXCEPTION(KrelDeadlockException, KrelException)

} // namespace krel_std
