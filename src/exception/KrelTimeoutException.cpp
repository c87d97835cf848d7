#include "exception/KrelTimeoutException.h"

namespace krel_std {

KREL_DEFINE_EXCEPTION(KrelTimeoutException, KrelException,
                      L"com.vandrel.exception.KrelTimeoutException")

} // namespace krel_std
