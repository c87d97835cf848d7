#include "exception/KrelOutOfResourcesException.h"

namespace krel_std {

KREL_DEFINE_EXCEPTION(KrelOutOfResourcesException, KrelException,
                      L"com.vandrel.exception.KrelOutOfResourcesException")

} // namespace krel_std
