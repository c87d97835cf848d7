#include "exception/KrelInvalidPreferencesFormatException.h"

namespace krel_std {

KREL_DEFINE_EXCEPTION(KrelInvalidPreferencesFormatException, KrelException,
                      L"com.vandrel.util.prefs.KrelInvalidPreferencesFormatException")

} // namespace krel_std
