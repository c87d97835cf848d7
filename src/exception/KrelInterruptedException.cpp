#include "exception/KrelInterruptedException.h"

namespace krel_std {

KREL_DEFINE_EXCEPTION(KrelInterruptedException, KrelException,
                      L"com.vandrel.util.concurrency.KrelInterruptedException")

} // namespace krel_std
