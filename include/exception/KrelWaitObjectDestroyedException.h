// KrelWaitObjectDestroyedException: an object destroyed while a thread waits on it.
#pragma once

#include "exception/ExceptionMacros.h"
#include "exception/KrelException.h"

namespace krel_std {

// An object destroyed while a thread waits on it.
KREL_DECLARE_EXCEPTION(KrelWaitObjectDestroyedException, KrelException)

} // namespace krel_std
