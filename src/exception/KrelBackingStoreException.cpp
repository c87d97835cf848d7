#include "exception/KrelBackingStoreException.h"

namespace krel_std {

KREL_DEFINE_EXCEPTION(KrelBackingStoreException, KrelException,
                      L"com.vandrel.util.prefs.KrelBackingStoreException")

} // namespace krel_std
