#include "exception/KrelIOException.h"

namespace krel_std {

KREL_DEFINE_EXCEPTION(KrelIOException, KrelException, L"com.vandrel.exception.KrelIOException")

} // namespace krel_std
