#include "prefs/RegistryListener.h"

#include <utility>
#include <vector>

#include "base/ErrorUtils.h"
#include "base/InternalTrace.h"
#include "base/LogFunctionCall.h"
#include "exception/KrelIllegalArgumentException.h"
#include "exception/KrelIllegalStateException.h"
#include "platform/WinHandles.h"
#include "platform/WinSync.h"
#include "prefs/PreferenceChangeEvent.h"
#include "prefs/PreferenceChangeNotifier.h"
#include "prefs/RegistryPreferences.h"
#include "thread/AutoLock.h"
#include "windows/RegistryValueText.h"

namespace krel_std {

namespace {

typedef AutoLock<Lock> Guard;

const wchar_t* const CONSTRUCTOR = L"krel_std::RegistryListener::RegistryListener";
const wchar_t* const REGISTER = L"krel_std::RegistryListener::registerListener";
const wchar_t* const UPDATE_KEY_VALUES = L"krel_std::RegistryListener::updateKeyValues";
const wchar_t* const UPDATE_AND_NOTIFY = L"krel_std::RegistryListener::updateAndNotify";

int asNumber(HKEY key) {
    return static_cast<int>(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(key)));
}

} // namespace

RegistryListener::RegistryListener(HKEY root, const std::wstring& keyPath)
    : eventHandle(nullptr), root(root), isShutdown(false) {
    KREL_TRACE_SCOPE_ARGS(CONSTRUCTOR, L"Begin Root <%d> Path <%ls>.", asNumber(root),
                          keyPath.c_str());
    checkHKeyArg(CONSTRUCTOR, root);
    ErrorUtils::isEmptyEx(keyPath, CONSTRUCTOR, L"Path");
    eventHandle = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ErrorUtils::isNullEx(eventHandle, CONSTRUCTOR, L"Event handle");
    path = keyPath;
}

RegistryListener::~RegistryListener() {
    shutdown();
}

std::wstring RegistryListener::toString() const {
    Guard guard(lock);
    return L"RegistryListener{" + KrelRegistry::toString() + L",root=" +
           krel_std_internal::rootText(root) + L",isShutdown=" + (isShutdown ? L"true" : L"false") +
           L"}";
}

void RegistryListener::checkShutdown(const wchar_t* context) const {
    if (isShutdown) {
        KrelIllegalStateException exception(L"RegistryListener is shutdown.");
        exception.logDebug(context);
        throw exception;
    }
}

void RegistryListener::registerListener() {
    KREL_TRACE_SCOPE(REGISTER);
    Guard guard(lock);
    checkShutdown(REGISTER);
    if (registryHandle == nullptr) {
        openKey(root, path, KEY_READ);
    }
    KREL_INTERNAL_TRACE(REGISTER, L"Path <%ls>.", path.c_str());
    const LSTATUS code = RegNotifyChangeKeyValue(registryHandle, FALSE, REG_NOTIFY_CHANGE_LAST_SET,
                                                 eventHandle, TRUE);
    KREL_INTERNAL_TRACE(REGISTER, L"RegNotifyChangeKeyValue Rtn <%d>.", static_cast<int>(code));
    if (code != ERROR_SUCCESS) {
        const std::wstring what = L"Watch registry root <" + krel_std_internal::rootText(root) +
                                  L"> Path <" + path + L">";
        try {
            closeKey();
        } catch (const KrelException&) {
            // The arming failure below is what the caller needs to hear.
        }
        convertWinErrToException(REGISTER, code, what);
    }
}

void RegistryListener::deregisterListener() {
    KREL_TRACE_SCOPE(L"krel_std::RegistryListener::deregisterListener");
    Guard guard(lock);
    checkShutdown(L"krel_std::RegistryListener::deregisterListener");
    closeKey();
}

std::wstring RegistryListener::wholeText(const std::wstring& name, const std::wstring& text) {
    std::wstring whole;
    if (text.empty() && krel_std_internal::readWholeText(registryHandle, name, whole)) {
        return whole;
    }
    return text;
}

void RegistryListener::updateKeyValues() {
    KREL_TRACE_SCOPE(UPDATE_KEY_VALUES);
    Guard guard(lock);
    checkShutdown(UPDATE_KEY_VALUES);
    if (registryHandle == nullptr) {
        openKey(root, path, KEY_READ);
    }
    KREL_INTERNAL_TRACE(UPDATE_KEY_VALUES, L"Path <%ls>.", path.c_str());
    const std::vector<std::pair<std::wstring, std::wstring>> values = getKeyValues();
    snapshot.clear();
    for (const auto& value : values) {
        snapshot[value.first] = wholeText(value.first, value.second);
    }
}

void RegistryListener::updateAndNotify() {
    KREL_TRACE_SCOPE(UPDATE_AND_NOTIFY);
    std::vector<std::pair<std::wstring, std::wstring>> changes;
    {
        Guard guard(lock);
        checkShutdown(UPDATE_AND_NOTIFY);
        KREL_INTERNAL_TRACE(UPDATE_AND_NOTIFY, L"Path <%ls>.", path.c_str());
        const std::vector<std::pair<std::wstring, std::wstring>> values = getKeyValues();
        Snapshot current;
        for (const auto& value : values) {
            const std::wstring& name = value.first;
            const std::wstring text = wholeText(name, value.second);
            const Snapshot::const_iterator old = snapshot.find(name);
            if (old == snapshot.end()) {
                changes.emplace_back(name, text);
                KREL_INTERNAL_TRACE(UPDATE_AND_NOTIFY, L"New Key <%ls> Value <%ls>.", name.c_str(),
                                    text.c_str());
            } else if (old->second != text) {
                changes.emplace_back(name, text);
                KREL_INTERNAL_TRACE(UPDATE_AND_NOTIFY,
                                    L"Key <%ls> Old value <%ls> New value <%ls>.", name.c_str(),
                                    old->second.c_str(), text.c_str());
            }
            current[name] = text;
        }
        for (const auto& old : snapshot) {
            if (current.find(old.first) == current.end()) {
                changes.emplace_back(old.first, std::wstring());
                KREL_INTERNAL_TRACE(UPDATE_AND_NOTIFY, L"Deleted Key <%ls>.", old.first.c_str());
            }
        }
        snapshot.swap(current);
        KREL_INTERNAL_TRACE(UPDATE_AND_NOTIFY, L"<%d> changes.", static_cast<int>(changes.size()));
    }
    for (const auto& change : changes) {
        notify(change.first, change.second);
    }
}

void RegistryListener::notify(const std::wstring& key, const std::wstring& value) {
    KREL_TRACE_SCOPE_ARGS(L"krel_std::RegistryListener::notify", L"Begin Key <%ls> Value <%ls>.",
                          key.c_str(), value.c_str());
    try {
        const boost::shared_ptr<Preferences> rootNode =
            asNumber(root) == RegistryPreferences::SHKEY_LOCAL_MACHINE
                ? RegistryPreferences::getSystemRoot()
                : RegistryPreferences::getUserRoot();
        const boost::shared_ptr<Preferences> node = rootNode->node(getPath());
        const std::wstring listenerPath = node->buildListenerPath();
        Singleton<PreferenceChangeNotifier>::getInstance().enqueuePreferenceChangeEvent(
            PreferenceChangeEvent::newInstance(node, key, value, listenerPath));
    } catch (const KrelIllegalArgumentException&) {
        // A key path that is no node path: this change is not reported.
    }
}

void RegistryListener::shutdown() {
    Guard guard(lock);
    isShutdown = true;
    if (eventHandle != nullptr) {
        CloseHandle(eventHandle);
        eventHandle = nullptr;
    }
}

HANDLE RegistryListener::getWaitHandle() const {
    Guard guard(lock);
    return eventHandle;
}

int RegistryListener::size() const {
    Guard guard(lock);
    return static_cast<int>(snapshot.size());
}

} // namespace krel_std
