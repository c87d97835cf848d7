#include "prefs/AutoCloseRegistry.h"

#include "base/InternalTrace.h"
#include "base/LogFunctionCall.h"
#include "exception/KrelException.h"
#include "platform/CancellationOff.h"
#include "system/KrelRegistry.h"
#include "thread/AutoLock.h"

namespace krel_std {

AutoCloseRegistry::AutoCloseRegistry(KrelRegistry& registry, HKEY root, const std::wstring& path,
                                     REGSAM access)
    : registry(&registry) {
    registry.lock.lock();
    try {
        registry.openKey(root, path, access);
    } catch (...) {
        registry.lock.unlock();
        throw;
    }
}

AutoCloseRegistry::~AutoCloseRegistry() {
    const wchar_t* const context = L"krel_std::AutoCloseRegistry::~AutoCloseRegistry";
    krel_platform::CancellationOff cancellationOff;
    try {
        registry->closeKey();
    } catch (const KrelException& exception) {
        KREL_INTERNAL_DEBUG(context, L"Close failed: <%ls>.", exception.getMessage().c_str());
    } catch (...) {
        KREL_INTERNAL_DEBUG(context, L"Close failed.");
    }
    registry->lock.unlock();
}

HKEY AutoCloseRegistry::getHandle() const {
    return registry->registryHandle;
}

void AutoCloseRegistry::createKey(KrelRegistry& registry, HKEY root, const std::wstring& path,
                                  REGSAM access, DWORD options) {
    AutoLock<Lock> guard(registry.lock);
    bool alreadyExists = false;
    registry.createKey(alreadyExists, root, path, access, options);
    registry.closeKey();
}

} // namespace krel_std
