#include "exception/KrelRuntimeException.h"

namespace krel_std {

KREL_DEFINE_EXCEPTION(KrelRuntimeException, KrelException,
                      L"com.vandrel.exception.KrelRuntimeException")

} // namespace krel_std
