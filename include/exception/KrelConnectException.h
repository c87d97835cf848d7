// KrelConnectException, a KrelIOException: a connection manager's call while in recovery.
#pragma once

#include "exception/ExceptionMacros.h"
#include "exception/KrelIOException.h"

namespace krel_std {

// A call on a connection manager while it is in recovery.
KREL_DECLARE_EXCEPTION(KrelConnectException, KrelIOException)

} // namespace krel_std
