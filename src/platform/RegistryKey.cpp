#include "platform/RegistryKey.h"

#include "platform/CancellationOff.h"
#include "platform/RegistryNotifier.h"

namespace krel_platform {

// The last reference may go on any thread, outside any call that turned cancellation off:
// the notifications are ended whole all the same.
RegistryKey::~RegistryKey() {
    CancellationOff cancellationOff;
    RegistryNotifier::instance().ownerClosed(this);
}

} // namespace krel_platform
