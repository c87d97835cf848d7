#include "exception/KrelRejectedExecutionException.h"

namespace krel_std {

KREL_DEFINE_EXCEPTION(KrelRejectedExecutionException, KrelException,
                      L"com.vandrel.util.thread.KrelRejectedExecutionException")

} // namespace krel_std
