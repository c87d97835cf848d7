// KrelUnhandledException: an error that no handler settled.
#pragma once

#include "exception/ExceptionMacros.h"
#include "exception/KrelException.h"

namespace krel_std {

// An error that no handler settled (for users of the library).
KREL_DECLARE_EXCEPTION(KrelUnhandledException, KrelException)

} // namespace krel_std
