#include "exception/KrelUnsupportedOperationException.h"

namespace krel_std {

KREL_DEFINE_EXCEPTION(KrelUnsupportedOperationException, KrelException,
                      L"com.vandrel.exception.KrelUnsupportedOperationException")

} // namespace krel_std
