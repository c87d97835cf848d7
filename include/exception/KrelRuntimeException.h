// KrelRuntimeException: machine faults other than access violations.
#pragma once

#include "exception/ExceptionMacros.h"
#include "exception/KrelException.h"

namespace krel_std {

// Machine faults other than access violations, and the base of KrelUnknownException.
KREL_DECLARE_EXCEPTION(KrelRuntimeException, KrelException)

} // namespace krel_std
