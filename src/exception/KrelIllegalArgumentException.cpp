#include "exception/KrelIllegalArgumentException.h"

namespace krel_std {

KREL_DEFINE_EXCEPTION(KrelIllegalArgumentException, KrelException,
                      L"com.vandrel.exception.KrelIllegalArgumentException")

} // namespace krel_std
