#include "exception/KrelWaitObjectDestroyedException.h"

namespace krel_std {

KREL_DEFINE_EXCEPTION(KrelWaitObjectDestroyedException, KrelException,
                      L"com.vandrel.util.concurrency.KrelWaitObjectDestroyedException")

} // namespace krel_std
