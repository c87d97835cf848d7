// KrelIllegalStateException: a call that the object's current state does not allow.
#pragma once

#include "exception/ExceptionMacros.h"
#include "exception/KrelException.h"

namespace krel_std {

// Calls that the object's current state does not allow (use after shut-down, not open).
KREL_DECLARE_EXCEPTION(KrelIllegalStateException, KrelException)

} // namespace krel_std
