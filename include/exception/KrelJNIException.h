#pragma once

#include "exception/ExceptionMacros.h"
#include "exception/KrelException.h"

namespace krel_std {

// A Java exception pending in the Java VM.
KREL_DECLARE_EXCEPTION(KrelJNIException, KrelException)

} // namespace krel_std
