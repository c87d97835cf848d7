#include "exception/KrelBufferOverflowException.h"

namespace krel_std {

KREL_DEFINE_EXCEPTION(KrelBufferOverflowException, KrelException,
                      L"com.vandrel.exception.KrelBufferOverflowException")

} // namespace krel_std
