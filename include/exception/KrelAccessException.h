// KrelAccessException: access violations and operations refused for lack of rights.
#pragma once

#include "exception/ExceptionMacros.h"
#include "exception/KrelException.h"

namespace krel_std {

// Access violations and operations refused for lack of rights or ownership.
KREL_DECLARE_EXCEPTION(KrelAccessException, KrelException)

} // namespace krel_std
