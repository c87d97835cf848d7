// KrelUnknownException, a KrelRuntimeException: a system error code without a closer mapping.
#pragma once

#include "exception/ExceptionMacros.h"
#include "exception/KrelRuntimeException.h"

namespace krel_std {

// System error codes without a closer mapping.
KREL_DECLARE_EXCEPTION(KrelUnknownException, KrelRuntimeException)

} // namespace krel_std
