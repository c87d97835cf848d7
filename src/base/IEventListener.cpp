#include "base/IEventListener.h"

namespace krel_std {

IEventListener::~IEventListener() {}

} // namespace krel_std
