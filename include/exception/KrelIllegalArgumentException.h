// KrelIllegalArgumentException: an invalid argument.
#pragma once

#include "exception/ExceptionMacros.h"
#include "exception/KrelException.h"

namespace krel_std {

// Invalid arguments: failed argument checks, bad names, paths, sizes and formats.
KREL_DECLARE_EXCEPTION(KrelIllegalArgumentException, KrelException)

} // namespace krel_std
