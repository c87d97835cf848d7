// AutoCloseRegistry, which holds a key open on a shared registry wrapper for a scope.
#pragma once

#include <string>

#include "platform/WinReg.h"

namespace krel_std {

class KrelRegistry;

// Opens a key on a shared registry wrapper for one scope and closes it when the scope ends,
// also when the scope is left by an exception. The wrapper's recursive lock is held from the
// open to the close, so no other thread opens another key on the wrapper in between.
class AutoCloseRegistry {
public:
    // Opens path below root with the access mask; a failed open releases the lock and throws
    // the wrapper's exception.
    AutoCloseRegistry(KrelRegistry& registry, HKEY root, const std::wstring& path, REGSAM access);
    AutoCloseRegistry(const AutoCloseRegistry&) = delete;
    AutoCloseRegistry& operator=(const AutoCloseRegistry&) = delete;
    // Closes the key and releases the lock; a failed close is traced, never thrown.
    virtual ~AutoCloseRegistry();

    // The open key, for reads the wrapper does not offer.
    HKEY getHandle() const;

    // Creates path below root when it is missing and closes it again, holding the wrapper's
    // lock throughout; throws the wrapper's exception.
    static void createKey(KrelRegistry& registry, HKEY root, const std::wstring& path,
                          REGSAM access, DWORD options);

private:
    KrelRegistry* registry;
};

} // namespace krel_std
