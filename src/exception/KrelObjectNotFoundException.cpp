#include "exception/KrelObjectNotFoundException.h"

namespace krel_std {

KREL_DEFINE_EXCEPTION(KrelObjectNotFoundException, KrelException,
                      L"com.vandrel.exception.KrelObjectNotFoundException")

} // namespace krel_std
