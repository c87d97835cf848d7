#include "exception/KrelAccessException.h"

namespace krel_std {

KREL_DEFINE_EXCEPTION(KrelAccessException, KrelException,
                      L"com.vandrel.exception.KrelAccessException")

} // namespace krel_std
