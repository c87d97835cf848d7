#include "exception/KrelConnectException.h"

namespace krel_std {

KREL_DEFINE_EXCEPTION(KrelConnectException, KrelIOException,
                      L"com.vandrel.util.connection.KrelConnectException")

} // namespace krel_std
