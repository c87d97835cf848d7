// KrelAbandonedException: an abandoned synchronisation object.
#pragma once

#include "exception/ExceptionMacros.h"
#include "exception/KrelException.h"

namespace krel_std {

// An abandoned synchronisation object (for users of the library).
KREL_DECLARE_EXCEPTION(KrelAbandonedException, KrelException)

} // namespace krel_std
