// KrelInterruptedException: a wait given up because the caller's wait object was signalled.
#pragma once

#include "exception/ExceptionMacros.h"
#include "exception/KrelException.h"

namespace krel_std {

// A wait given up because the caller's wait object was signalled.
KREL_DECLARE_EXCEPTION(KrelInterruptedException, KrelException)

} // namespace krel_std
