// KrelUnsupportedOperationException: an operation the system does not support.
#pragma once

#include "exception/ExceptionMacros.h"
#include "exception/KrelException.h"

namespace krel_std {

// Operations that the underlying system does not support.
KREL_DECLARE_EXCEPTION(KrelUnsupportedOperationException, KrelException)

} // namespace krel_std
