#include "exception/KrelIllegalStateException.h"

namespace krel_std {

KREL_DEFINE_EXCEPTION(KrelIllegalStateException, KrelException,
                      L"com.vandrel.exception.KrelIllegalStateException")

} // namespace krel_std
