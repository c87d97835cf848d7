#include "exception/KrelJNIException.h"

namespace krel_std {

KREL_DEFINE_EXCEPTION(KrelJNIException, KrelException, L"com.vandrel.exception.KrelJNIException")

} // namespace krel_std
