#include "exception/KrelUnhandledException.h"

namespace krel_std {

KREL_DEFINE_EXCEPTION(KrelUnhandledException, KrelException,
                      L"com.vandrel.exception.KrelUnhandledException")

} // namespace krel_std
