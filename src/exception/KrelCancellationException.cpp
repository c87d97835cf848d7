#include "exception/KrelCancellationException.h"

namespace krel_std {

KREL_DEFINE_EXCEPTION(KrelCancellationException, KrelException,
                      L"com.vandrel.util.thread.KrelCancellationException")

} // namespace krel_std
