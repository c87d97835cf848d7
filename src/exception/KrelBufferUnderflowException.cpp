#include "exception/KrelBufferUnderflowException.h"

namespace krel_std {

KREL_DEFINE_EXCEPTION(KrelBufferUnderflowException, KrelException,
                      L"com.vandrel.exception.KrelBufferUnderflowException")

} // namespace krel_std
