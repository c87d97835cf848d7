#include "exception/KrelAbandonedException.h"

namespace krel_std {

KREL_DEFINE_EXCEPTION(KrelAbandonedException, KrelException,
                      L"com.vandrel.util.concurrency.KrelAbandonedException")

} // namespace krel_std
