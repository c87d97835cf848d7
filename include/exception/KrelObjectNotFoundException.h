// KrelObjectNotFoundException: a named object that does not exist.
#pragma once

#include "exception/ExceptionMacros.h"
#include "exception/KrelException.h"

namespace krel_std {

// A named object that does not exist (registered class, registry key or value, preference).
KREL_DECLARE_EXCEPTION(KrelObjectNotFoundException, KrelException)

} // namespace krel_std
