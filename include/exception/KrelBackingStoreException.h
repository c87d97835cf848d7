// KrelBackingStoreException: a preferences store that cannot carry out the operation.
#pragma once

#include "exception/ExceptionMacros.h"
#include "exception/KrelException.h"

namespace krel_std {

// A preferences store that cannot carry out the operation.
KREL_DECLARE_EXCEPTION(KrelBackingStoreException, KrelException)

} // namespace krel_std
