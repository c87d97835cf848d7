// KrelBufferUnderflowException: reading past the limit of a buffer.
#pragma once

#include "exception/ExceptionMacros.h"
#include "exception/KrelException.h"

namespace krel_std {

// Reading past the limit of a buffer.
KREL_DECLARE_EXCEPTION(KrelBufferUnderflowException, KrelException)

} // namespace krel_std
