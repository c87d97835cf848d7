// KrelInvalidPreferencesFormatException: a preferences document of the wrong shape.
#pragma once

#include "exception/ExceptionMacros.h"
#include "exception/KrelException.h"

namespace krel_std {

// A preferences document of the wrong shape or encoding.
KREL_DECLARE_EXCEPTION(KrelInvalidPreferencesFormatException, KrelException)

} // namespace krel_std
