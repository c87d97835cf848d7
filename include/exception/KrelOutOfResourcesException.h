// KrelOutOfResourcesException: memory, locks or threads that cannot be had.
#pragma once

#include "exception/ExceptionMacros.h"
#include "exception/KrelException.h"

namespace krel_std {

// Resources that cannot be had: memory, locks, threads.
KREL_DECLARE_EXCEPTION(KrelOutOfResourcesException, KrelException)

} // namespace krel_std
