#include "exception/KrelDeadlockException.h"

namespace krel_std {

KREL_DEFINE_EXCEPTION(KrelDeadlockException, KrelException,
                      L"com.vandrel.util.concurrency.KrelDeadlockException")

} // namespace krel_std
