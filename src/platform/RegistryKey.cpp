#include "platform/RegistryKey.h"

#include "platform/RegistryNotifier.h"

namespace krel_platform {

RegistryKey::~RegistryKey() {
    RegistryNotifier::instance().ownerClosed(this);
}

} // namespace krel_platform
