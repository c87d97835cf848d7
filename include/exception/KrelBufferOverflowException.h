// KrelBufferOverflowException: writing past the limit of a buffer.
#pragma once

#include "exception/ExceptionMacros.h"
#include "exception/KrelException.h"

namespace krel_std {

// Writing past the limit of a buffer.
KREL_DECLARE_EXCEPTION(KrelBufferOverflowException, KrelException)

} // namespace krel_std
