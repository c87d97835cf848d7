#include "exception/KrelExecutionException.h"

namespace krel_std {

KREL_DEFINE_EXCEPTION(KrelExecutionException, KrelException,
                      L"com.vandrel.util.thread.KrelExecutionException")

} // namespace krel_std
