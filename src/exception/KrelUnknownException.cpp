#include "exception/KrelUnknownException.h"

namespace krel_std {

KREL_DEFINE_EXCEPTION(KrelUnknownException, KrelRuntimeException,
                      L"com.vandrel.exception.KrelUnknownException")

} // namespace krel_std
