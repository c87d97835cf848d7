#include "prefs/RegistryPreferences.h"

#include <typeinfo>

#include "base/ErrorUtils.h"
#include "base/InternalTrace.h"
#include "base/LogFunctionCall.h"
#include "exception/KrelBackingStoreException.h"
#include "exception/KrelIllegalArgumentException.h"
#include "prefs/AutoCloseRegistry.h"
#include "prefs/RegistryChangeNotifier.h"
#include "system/KrelRegistry.h"
#include "thread/AutoLock.h"
#include "thread/Lock.h"
#include "windows/RegistryValueText.h"

namespace krel_std {

namespace {

typedef AutoLock<Lock> Guard;

const REGSAM READ = KEY_READ;
const REGSAM WRITE = KEY_WRITE;

void checkKey(const std::wstring& key, const wchar_t* context) {
    if (key.empty()) {
        ErrorUtils::isEmptyEx(key, context, L"Key");
    }
    if (key.length() > static_cast<std::size_t>(Preferences::MAX_PREF_KEY_LENGTH)) {
        ErrorUtils::isAboveMaximumEx(key.length(),
                                     static_cast<std::size_t>(Preferences::MAX_PREF_KEY_LENGTH),
                                     context, L"Key length");
    }
}

void traceSwallowed(const wchar_t* context, const KrelException& exception) {
    KREL_INTERNAL_DEBUG(context, L"Ignored: <%ls>.", exception.getMessage().c_str());
}

// The wrapper answers a value longer than its buffer with a plain KrelException, the one kind
// that is not a subclass.
bool isMoreDataKind(const KrelException& exception) {
    return typeid(exception) == typeid(KrelException);
}

// Sign extension turns 0x80000001 into the pointer-wide predefined root.
HKEY asHKey(int hive) {
    return reinterpret_cast<HKEY>(static_cast<intptr_t>(hive));
}

} // namespace

const int RegistryPreferences::SHKEY_CURRENT_USER = static_cast<int>(0x80000001u);
const int RegistryPreferences::SHKEY_LOCAL_MACHINE = static_cast<int>(0x80000002u);

const std::wstring& RegistryPreferences::HKEY_CURRENT_USER_STR() {
    static const std::wstring& name = *new std::wstring(L"HKEY_CURRENT_USER");
    return name;
}

const std::wstring& RegistryPreferences::HKEY_LOCAL_MACHINE_STR() {
    static const std::wstring& name = *new std::wstring(L"HKEY_LOCAL_MACHINE");
    return name;
}

// The statics below are made on first use and never destroyed: the registry checking thread
// reaches them until the process ends.
KrelRegistry& RegistryPreferences::registry() {
    static KrelRegistry& shared = *new KrelRegistry;
    return shared;
}

Lock& RegistryPreferences::rootLock() {
    static Lock& lock = *new Lock;
    return lock;
}

boost::shared_ptr<Preferences>& RegistryPreferences::userRootHolder() {
    static boost::shared_ptr<Preferences>& root = *new boost::shared_ptr<Preferences>;
    return root;
}

boost::shared_ptr<Preferences>& RegistryPreferences::systemRootHolder() {
    static boost::shared_ptr<Preferences>& root = *new boost::shared_ptr<Preferences>;
    return root;
}

boost::shared_ptr<Preferences> RegistryPreferences::getUserRoot() {
    Guard guard(rootLock());
    boost::shared_ptr<Preferences>& root = userRootHolder();
    if (!root) {
        root.reset(new RegistryPreferences(SHKEY_CURRENT_USER, std::wstring()));
    }
    return root;
}

boost::shared_ptr<Preferences> RegistryPreferences::getSystemRoot() {
    Guard guard(rootLock());
    boost::shared_ptr<Preferences>& root = systemRootHolder();
    if (!root) {
        root.reset(new RegistryPreferences(SHKEY_LOCAL_MACHINE, std::wstring()));
    }
    return root;
}

RegistryPreferences::RegistryPreferences(int hive, const std::wstring& name)
    : hive(hive), keyPath(buildRegistryPath(absolutePath())) {
    const wchar_t* const context = L"krel_std::RegistryPreferences::RegistryPreferences";
    KREL_TRACE_SCOPE_ARGS(context, L"Begin. Handle <%d> Name <%ls>.", hive, name.c_str());
    if (name.length() > static_cast<std::size_t>(MAX_PREF_NAME_LENGTH)) {
        ErrorUtils::isAboveMaximumEx(name.length(), static_cast<std::size_t>(MAX_PREF_NAME_LENGTH),
                                     context, L"Name length");
    }
    if (name.find(SLASH) != std::wstring::npos) {
        KrelIllegalArgumentException exception(L"Name <" + name + L"> contains a forward slash");
        exception.logDebug(context);
        throw exception;
    }
    createNodeKey(name);
}

RegistryPreferences::RegistryPreferences(const boost::shared_ptr<AbstractPreferences>& parent,
                                         const std::wstring& name)
    : AbstractPreferences(parent, name),
      hive(dynamic_cast<RegistryPreferences&>(*parent).rootNativeHandle()),
      keyPath(buildRegistryPath(parent->absolutePath(), name)) {
    KREL_TRACE_SCOPE_ARGS(L"krel_std::RegistryPreferences::RegistryPreferences",
                          L"Begin. Parent <%p> Name <%ls>.", parent.get(), name.c_str());
    createNodeKey(keyPath);
}

RegistryPreferences::~RegistryPreferences() {
    closeKeptKey();
}

void RegistryPreferences::createNodeKey(const std::wstring& keyPath) {
    Guard guard(lock);
    try {
        AutoCloseRegistry::createKey(registry(), asHKey(rootNativeHandle()), keyPath, WRITE, 0);
    } catch (const KrelException& exception) {
        traceSwallowed(L"krel_std::RegistryPreferences::RegistryPreferences", exception);
    }
}

int RegistryPreferences::rootNativeHandle() const {
    return hive;
}

std::wstring RegistryPreferences::rootNativeHandleName() const {
    return hive == SHKEY_CURRENT_USER ? HKEY_CURRENT_USER_STR() : HKEY_LOCAL_MACHINE_STR();
}

std::wstring RegistryPreferences::buildRegistryPath(const std::wstring& path) {
    std::wstring result = !path.empty() && path[0] == SLASH ? path.substr(1) : path;
    for (wchar_t& character : result) {
        if (character == SLASH) {
            character = L'\\';
        }
    }
    return result;
}

std::wstring RegistryPreferences::buildRegistryPath(const std::wstring& parentPath,
                                                    const std::wstring& name) {
    return buildRegistryPath(parentPath == L"/" ? name : parentPath + SLASH + name);
}

const std::wstring& RegistryPreferences::nodeKey() const {
    return keyPath;
}

std::wstring RegistryPreferences::buildListenerPath() {
    return buildRegistryPath(rootNativeHandleName() + absolutePath());
}

void RegistryPreferences::addPreferenceChangeListener(
    const boost::shared_ptr<PreferenceChangeListener>& listener) {
    const wchar_t* const context = L"krel_std::RegistryPreferences::addPreferenceChangeListener";
    KREL_TRACE_SCOPE_ARGS(context, L"Begin. Listener <%p>.", listener.get());
    ErrorUtils::isNullEx(listener, context, L"Listener");
    Guard guard(lock);
    assertNodeNotRemoved(context);
    RegistryChangeNotifier::getInstance().addPreferenceChangeListener(
        rootNativeHandle(), nodeKey(), buildListenerPath(), listener);
}

void RegistryPreferences::removePreferenceChangeListener(
    const boost::shared_ptr<PreferenceChangeListener>& listener) {
    const wchar_t* const context = L"krel_std::RegistryPreferences::removePreferenceChangeListener";
    KREL_TRACE_SCOPE_ARGS(context, L"Begin. Listener <%p>.", listener.get());
    ErrorUtils::isNullEx(listener, context, L"Listener");
    Guard guard(lock);
    assertNodeNotRemoved(context);
    RegistryChangeNotifier::getInstance().removePreferenceChangeListener(
        rootNativeHandle(), nodeKey(), buildListenerPath(), listener);
}

int RegistryPreferences::getInt(const std::wstring& key, int def) {
    const wchar_t* const context = L"krel_std::RegistryPreferences::getInt";
    KREL_TRACE_SCOPE_ARGS(context, L"Begin. Key <%ls> Default value <%d>.", key.c_str(), def);
    checkKey(key, context);
    Guard guard(lock);
    assertNodeNotRemoved(context);
    int result = def;
    try {
        AutoCloseRegistry open(registry(), asHKey(rootNativeHandle()), nodeKey(), READ);
        result = registry().getIntValue(key, def);
    } catch (const KrelException& exception) {
        traceSwallowed(context, exception);
    }
    KREL_INTERNAL_CALL(context, L"Return <%d>.", result);
    return result;
}

void RegistryPreferences::putInt(const std::wstring& key, int value) {
    const wchar_t* const context = L"krel_std::RegistryPreferences::putInt";
    KREL_TRACE_SCOPE_ARGS(context, L"Begin. Key <%ls> Value <%d>.", key.c_str(), value);
    checkKey(key, context);
    Guard guard(lock);
    assertNodeNotRemoved(context);
    try {
        AutoCloseRegistry open(registry(), asHKey(rootNativeHandle()), nodeKey(), WRITE);
        registry().setIntValue(key, value);
    } catch (const KrelException& exception) {
        traceSwallowed(context, exception);
    }
}

std::vector<std::wstring> RegistryPreferences::childrenNamesSpi() {
    KREL_TRACE_SCOPE(L"krel_std::RegistryPreferences::childrenNamesSpi");
    Guard guard(lock);
    try {
        AutoCloseRegistry open(registry(), asHKey(rootNativeHandle()), nodeKey(), READ);
        return registry().getKeys();
    } catch (const KrelException& exception) {
        throw KrelBackingStoreException(L"Failed to get children names.", exception);
    }
}

boost::shared_ptr<AbstractPreferences> RegistryPreferences::childSpi(const std::wstring& name) {
    KREL_TRACE_SCOPE_ARGS(L"krel_std::RegistryPreferences::childSpi", L"Begin. Name <%ls>.",
                          name.c_str());
    return boost::shared_ptr<AbstractPreferences>(
        new RegistryPreferences(shared_from_this(), name));
}

bool RegistryPreferences::existsSpi(const std::wstring& path) {
    KREL_TRACE_SCOPE_ARGS(L"krel_std::RegistryPreferences::existsSpi", L"Begin. Name <%ls>.",
                          path.c_str());
    Guard guard(lock);
    try {
        AutoCloseRegistry open(registry(), asHKey(rootNativeHandle()),
                               buildRegistryPath(absolutePath(), path), READ);
        return true;
    } catch (const KrelException&) {
        return false;
    }
}

std::vector<std::wstring> RegistryPreferences::keysSpi() {
    KREL_TRACE_SCOPE(L"krel_std::RegistryPreferences::keysSpi");
    Guard guard(lock);
    try {
        AutoCloseRegistry open(registry(), asHKey(rootNativeHandle()), nodeKey(), READ);
        return registry().getKeysWithValue();
    } catch (const KrelException& exception) {
        throw KrelBackingStoreException(L"Failed to get keys.", exception);
    }
}

// get calls this with the node's lock held.
std::wstring RegistryPreferences::getSpi(const std::wstring& key) {
    KREL_TRACE_SCOPE_ARGS(L"krel_std::RegistryPreferences::getSpi", L"Begin. Key <%ls>.",
                          key.c_str());
    std::wstring kept;
    if (readKeptText(key, kept)) {
        return kept;
    }
    AutoCloseRegistry open(registry(), asHKey(rootNativeHandle()), nodeKey(), READ);
    try {
        return registry().getStrValue(key);
    } catch (const KrelException& exception) {
        std::wstring text;
        if (isMoreDataKind(exception) &&
            krel_std_internal::readWholeText(open.getHandle(), key, text)) {
            return text;
        }
        throw;
    }
}

// A name or path holding NUL would name something else to the system: such reads go the full
// way, which refuses them.
bool RegistryPreferences::readKeptText(const std::wstring& key, std::wstring& text) {
    if (key.find(L'\0') != std::wstring::npos) {
        return false;
    }
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (keptKey == nullptr && (keyPath.find(L'\0') != std::wstring::npos ||
                                   RegOpenKeyExW(asHKey(rootNativeHandle()), keyPath.c_str(), 0,
                                                 READ, &keptKey) != ERROR_SUCCESS)) {
            keptKey = nullptr;
            return false;
        }
        const LSTATUS code = krel_std_internal::readShortText(keptKey, key, text);
        if (code != ERROR_KEY_DELETED && code != ERROR_INVALID_HANDLE) {
            return code == ERROR_SUCCESS;
        }
        closeKeptKey();
    }
    return false;
}

void RegistryPreferences::closeKeptKey() {
    if (keptKey != nullptr) {
        RegCloseKey(keptKey);
        keptKey = nullptr;
    }
}

void RegistryPreferences::putSpi(const std::wstring& key, const std::wstring& value) {
    const wchar_t* const context = L"krel_std::RegistryPreferences::putSpi";
    KREL_TRACE_SCOPE_ARGS(context, L"Begin. Key <%ls> Value <%ls>.", key.c_str(), value.c_str());
    Guard guard(lock);
    try {
        AutoCloseRegistry open(registry(), asHKey(rootNativeHandle()), nodeKey(), WRITE);
        registry().setStrValue(key, value);
    } catch (const KrelException& exception) {
        traceSwallowed(context, exception);
    }
}

void RegistryPreferences::removeSpi(const std::wstring& key) {
    const wchar_t* const context = L"krel_std::RegistryPreferences::removeSpi";
    KREL_TRACE_SCOPE_ARGS(context, L"Begin. Key <%ls>.", key.c_str());
    Guard guard(lock);
    try {
        AutoCloseRegistry open(registry(), asHKey(rootNativeHandle()), nodeKey(), WRITE);
        registry().deleteValue(key);
    } catch (const KrelException& exception) {
        traceSwallowed(context, exception);
    }
}

void RegistryPreferences::flushSpi() {}

void RegistryPreferences::syncSpi() {}

void RegistryPreferences::removeNodeSpi() {
    KREL_TRACE_SCOPE(L"krel_std::RegistryPreferences::removeNodeSpi");
    Guard guard(lock);
    closeKeptKey();
    try {
        registry().deleteKey(asHKey(rootNativeHandle()), nodeKey());
    } catch (const KrelException& exception) {
        throw KrelBackingStoreException(L"Failed to remove node.", exception);
    }
}

} // namespace krel_std
