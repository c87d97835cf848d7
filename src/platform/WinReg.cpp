#include "platform/WinReg.h"

#include <cstdint>
#include <cstring>
#include <optional>
#include <typeinfo>

#include "platform/CancellationOff.h"
#include "platform/KernelEvent.h"
#include "platform/RegistryHive.h"
#include "platform/RegistryKey.h"
#include "platform/RegistryName.h"
#include "platform/RegistryNotifier.h"
#include "platform/RegistryStore.h"
#include "platform/RegistryValueBuffer.h"
#include "platform/WinHandles.h"

using krel_platform::CancellationOff;
using krel_platform::KernelObject;
using krel_platform::RegistryHive;
using krel_platform::RegistryKey;
using krel_platform::RegistryName;
using krel_platform::RegistryStore;
using krel_platform::RegistryValueBuffer;

namespace {

// Generic rights mean what Windows maps them to for keys.
constexpr DWORD genericRead = 0x80000000u;
constexpr DWORD genericWrite = 0x40000000u;
constexpr DWORD genericAll = 0x10000000u;
constexpr DWORD maximumAllowed = 0x02000000u;

DWORD keyAccessOf(REGSAM desired) {
    DWORD access = desired;
    if ((desired & genericRead) != 0) {
        access |= KEY_READ;
    }
    if ((desired & genericWrite) != 0) {
        access |= KEY_WRITE;
    }
    if ((desired & (genericAll | maximumAllowed)) != 0) {
        access |= KEY_ALL_ACCESS;
    }
    return access;
}

// What a key argument names: a key of a current hive with the handle's access. The handle's
// object, held while the reference lives, keeps its hive; a predefined root holds its hive here.
struct KeyReference {
    std::shared_ptr<KernelObject> held;
    RegistryKey* object = nullptr;
    std::shared_ptr<RegistryHive> root;
    RegistryHive* hive = nullptr;
    int64_t key = 0;
    DWORD access = 0;

    const std::shared_ptr<RegistryHive>& sharedHive() const {
        return object != nullptr ? object->getHive() : root;
    }
};

// A predefined root is known by the low 32 bits of its value; the other roots and handles
// that are not keys of the current store are invalid.
LSTATUS resolve(HKEY key, KeyReference& reference) {
    const uint32_t low = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(key));
    if (low == 0x80000001u || low == 0x80000002u) {
        reference.root = RegistryStore::instance().hive(
            low == 0x80000001u ? RegistryStore::currentUser : RegistryStore::localMachine);
        reference.hive = reference.root.get();
        reference.key = RegistryHive::ROOT_KEY;
        reference.access = KEY_ALL_ACCESS;
        return ERROR_SUCCESS;
    }
    reference.held = krel_platform::referenceHandle(key);
    const KernelObject* const held = reference.held.get();
    if (held == nullptr || typeid(*held) != typeid(RegistryKey)) {
        return ERROR_INVALID_HANDLE;
    }
    auto* object = static_cast<RegistryKey*>(reference.held.get());
    if (!RegistryStore::instance().isCurrent(object->getHive().get())) {
        return ERROR_INVALID_HANDLE;
    }
    reference.hive = object->getHive().get();
    reference.key = object->getKey();
    reference.access = object->getAccess();
    reference.object = object;
    return ERROR_SUCCESS;
}

// Resolves the key and checks that its handle grants the access.
LSTATUS resolve(HKEY key, DWORD needed, KeyReference& reference) {
    if (LSTATUS status = resolve(key, reference)) {
        return status;
    }
    return (reference.access & needed) == needed ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

// Resolves the key and splits the path of the subkey below it.
LSTATUS resolvePath(HKEY key, LPCWSTR subKey, KeyReference& base, std::vector<RegistryName>& path) {
    if (LSTATUS status = resolve(key, base)) {
        return status;
    }
    return RegistryName::splitPath(subKey, path);
}

// Resolves the key with the access needed and reads the name of one of its values.
LSTATUS resolveValue(HKEY key, DWORD needed, LPCWSTR valueName, KeyReference& reference,
                     RegistryName& name) {
    if (LSTATUS status = resolve(key, needed, reference)) {
        return status;
    }
    return RegistryName::fromValueName(valueName, name);
}

HKEY insertKey(const KeyReference& base, int64_t key, REGSAM desired) {
    return reinterpret_cast<HKEY>(krel_platform::insertHandle(
        std::make_shared<RegistryKey>(base.sharedHive(), key, keyAccessOf(desired))));
}

bool isPredefined(HKEY key) {
    const uint32_t low = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(key));
    return low >= 0x80000000u && low <= 0x80000006u;
}

// Copies the name into the caller's buffer of capacity characters (its terminator included):
// ERROR_MORE_DATA with the name truncated, and terminated, when it does not fit. length
// receives the number of characters written before the terminator.
LSTATUS deliverName(const std::wstring& name, LPWSTR buffer, LPDWORD length) {
    const DWORD capacity = *length;
    if (capacity == 0) {
        return ERROR_MORE_DATA;
    }
    const size_t written = std::min<size_t>(name.size(), capacity - 1);
    std::wmemcpy(buffer, name.data(), written);
    buffer[written] = L'\0';
    *length = static_cast<DWORD>(written);
    return written == name.size() ? ERROR_SUCCESS : ERROR_MORE_DATA;
}

} // namespace

LSTATUS RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD, REGSAM samDesired, PHKEY result) {
    CancellationOff cancellationOff;
    if (result == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    *result = nullptr;
    KeyReference base;
    int64_t opened = 0;
    LSTATUS status = resolve(key, base);
    if (status == ERROR_SUCCESS) {
        status = base.hive->openKey(base.key, subKey, opened);
    }
    if (status == ERROR_SUCCESS) {
        *result = insertKey(base, opened, samDesired);
    }
    return status;
}

LSTATUS RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD, LPWSTR, DWORD, REGSAM samDesired,
                        const LPSECURITY_ATTRIBUTES, PHKEY result, LPDWORD disposition) {
    CancellationOff cancellationOff;
    if (result == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    *result = nullptr;
    KeyReference base;
    int64_t opened = 0;
    bool created = false;
    LSTATUS status = resolve(key, base);
    if (status == ERROR_SUCCESS) {
        status = base.hive->createKey(base.key, subKey, (base.access & KEY_CREATE_SUB_KEY) != 0,
                                      opened, created);
    }
    if (status == ERROR_SUCCESS) {
        *result = insertKey(base, opened, samDesired);
        if (disposition != nullptr) {
            *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
        }
    }
    return status;
}

// Closing a predefined root does nothing, as on Windows.
LSTATUS RegCloseKey(HKEY key) {
    CancellationOff cancellationOff;
    const uint32_t low = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(key));
    if (low == 0x80000001u || low == 0x80000002u) {
        return ERROR_SUCCESS;
    }
    if (krel_platform::referenceHandleAs<RegistryKey>(key) == nullptr) {
        return ERROR_INVALID_HANDLE;
    }
    return krel_platform::removeHandle(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

// A value of an opened key that the hive remembers under its write version now is answered
// with no cancellation point on the way, so the thread's cancellation state is left alone.
// Everything else runs with it off: a predefined root (whose hive may be opened first), the
// database read, and the release of what a failed resolution held. A key whose last
// reference goes after a remembered answer turns it off itself.
LSTATUS RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                         LPDWORD dataSize) {
    if (reserved != nullptr || (data != nullptr && dataSize == nullptr)) {
        return ERROR_INVALID_PARAMETER;
    }
    const RegistryValueBuffer buffer(type, data, dataSize);
    std::optional<CancellationOff> cancellationOff;
    KeyReference reference;
    if (isPredefined(key)) {
        cancellationOff.emplace();
    }
    LSTATUS status = resolve(key, KEY_QUERY_VALUE, reference);
    if (status == ERROR_SUCCESS && !cancellationOff &&
        reference.hive->answerRemembered(reference.key, valueName, buffer, status)) {
        return status;
    }
    if (!cancellationOff) {
        cancellationOff.emplace();
    }
    return status == ERROR_SUCCESS ? reference.hive->queryValue(reference.key, valueName, buffer)
                                   : status;
}

LSTATUS RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD, DWORD type, const BYTE* data,
                       DWORD dataSize) {
    CancellationOff cancellationOff;
    if (data == nullptr && dataSize != 0) {
        return ERROR_INVALID_PARAMETER;
    }
    KeyReference reference;
    RegistryName name;
    LSTATUS status = resolveValue(key, KEY_SET_VALUE, valueName, reference, name);
    if (status == ERROR_SUCCESS) {
        status = reference.hive->setValue(reference.key, name, type, data, dataSize);
    }
    return status;
}

LSTATUS RegDeleteValueW(HKEY key, LPCWSTR valueName) {
    CancellationOff cancellationOff;
    KeyReference reference;
    RegistryName name;
    LSTATUS status = resolveValue(key, KEY_SET_VALUE, valueName, reference, name);
    if (status == ERROR_SUCCESS) {
        status = reference.hive->deleteValue(reference.key, name);
    }
    return status;
}

LSTATUS RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, LPDWORD nameLength, LPDWORD reserved,
                      LPWSTR keyClass, LPDWORD keyClassLength, PFILETIME lastWriteTime) {
    CancellationOff cancellationOff;
    if (name == nullptr || nameLength == nullptr || reserved != nullptr ||
        (keyClass != nullptr && keyClassLength == nullptr)) {
        return ERROR_INVALID_PARAMETER;
    }
    KeyReference reference;
    std::wstring found;
    LSTATUS status = resolve(key, KEY_ENUMERATE_SUB_KEYS, reference);
    if (status == ERROR_SUCCESS) {
        status = reference.hive->enumKey(
            reference.key, index,
            reference.object != nullptr ? &reference.object->subkeyCursor() : nullptr, found);
    }
    if (status != ERROR_SUCCESS) {
        return status;
    }
    if (keyClass != nullptr && *keyClassLength > 0) {
        keyClass[0] = L'\0';
    }
    if (keyClassLength != nullptr) {
        *keyClassLength = 0;
    }
    if (lastWriteTime != nullptr) {
        *lastWriteTime = FILETIME{0, 0};
    }
    return deliverName(found, name, nameLength);
}

LSTATUS RegEnumValueW(HKEY key, DWORD index, LPWSTR valueName, LPDWORD valueNameLength,
                      LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD dataSize) {
    CancellationOff cancellationOff;
    if (valueName == nullptr || valueNameLength == nullptr || reserved != nullptr ||
        (data != nullptr && dataSize == nullptr)) {
        return ERROR_INVALID_PARAMETER;
    }
    KeyReference reference;
    std::wstring found;
    LSTATUS status = resolve(key, KEY_QUERY_VALUE, reference);
    if (status == ERROR_SUCCESS) {
        status = reference.hive->enumValue(
            reference.key, index,
            reference.object != nullptr ? &reference.object->valueCursor() : nullptr, found,
            RegistryValueBuffer(type, data, dataSize));
    }
    if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA) {
        return status;
    }
    const LSTATUS named = deliverName(found, valueName, valueNameLength);
    return status == ERROR_SUCCESS ? named : status;
}

LSTATUS SHDeleteKeyW(HKEY key, LPCWSTR subKey) {
    CancellationOff cancellationOff;
    KeyReference base;
    std::vector<RegistryName> path;
    LSTATUS status = resolvePath(key, subKey, base, path);
    if (status == ERROR_SUCCESS && path.empty() && isPredefined(key)) {
        status = ERROR_ACCESS_DENIED;
    }
    if (status == ERROR_SUCCESS) {
        status = base.hive->deleteTree(base.key, path);
    }
    return status;
}

LSTATUS RegNotifyChangeKeyValue(HKEY key, BOOL watchSubtree, DWORD notifyFilter, HANDLE event,
                                BOOL asynchronous) {
    CancellationOff cancellationOff;
    if (watchSubtree != FALSE || asynchronous == FALSE ||
        (notifyFilter & ~static_cast<DWORD>(REG_NOTIFY_THREAD_AGNOSTIC)) !=
            static_cast<DWORD>(REG_NOTIFY_CHANGE_LAST_SET)) {
        return ERROR_INVALID_PARAMETER;
    }
    KeyReference reference;
    LSTATUS status = resolve(key, KEY_NOTIFY, reference);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    auto signalled = krel_platform::referenceHandleAs<krel_platform::KernelEvent>(event);
    if (signalled == nullptr) {
        return ERROR_INVALID_HANDLE;
    }
    int64_t counter = 0;
    if ((status = reference.hive->changeCounter(reference.key, counter)) != ERROR_SUCCESS) {
        return status;
    }
    return krel_platform::RegistryNotifier::instance().arm(reference.sharedHive(), reference.key,
                                                           counter, signalled, reference.object)
               ? ERROR_SUCCESS
               : ERROR_NOT_ENOUGH_MEMORY;
}

namespace krel_platform {

std::string registryHiveDirectory(HKEY root) {
    const uint32_t low = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(root));
    return RegistryStore::directoryOf(low == 0x80000001u ? RegistryStore::currentUser
                                                         : RegistryStore::localMachine);
}

void setRegistryHiveReadOnly(HKEY root, bool readOnly) {
    const uint32_t low = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(root));
    if (low == 0x80000001u || low == 0x80000002u) {
        RegistryStore::instance().setForcedReadOnly(
            low == 0x80000001u ? RegistryStore::currentUser : RegistryStore::localMachine,
            readOnly);
    }
}

void reopenRegistryStore() {
    RegistryStore::instance().reopen();
}

} // namespace krel_platform
