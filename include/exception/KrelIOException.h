// KrelIOException: failed input or output.
#pragma once

#include "exception/ExceptionMacros.h"
#include "exception/KrelException.h"

namespace krel_std {

// Failed input or output: files, directories, event log, services, loading the Java VM.
KREL_DECLARE_EXCEPTION(KrelIOException, KrelException)

} // namespace krel_std
