#include "system/KrelSystem.h"

#include <cstdlib>
#include <mutex>
#include <sys/utsname.h>
#include <unistd.h>

#include "base/ErrorUtils.h"
#include "base/InternalTrace.h"
#include "base/LogFunctionCall.h"
#include "platform/Utf16.h"
#include "thread/ReadWriteLock.h"

namespace krel_std {

template class Singleton<KrelSystem>;

namespace {

// Serialises the library's reads and writes of the process environment: getenv is not safe
// against a concurrent setenv. Made on first use and never destroyed.
std::mutex& environmentMutex() {
    static std::mutex& mutex = *new std::mutex;
    return mutex;
}

// The environment takes no embedded terminators: a name or value holding one cannot be stored
// as given.
bool holdsTerminator(const std::string& text) {
    return text.find('\0') != std::string::npos;
}

} // namespace

KrelSystem::KrelSystem() = default;

KrelSystem::~KrelSystem() = default;

const wchar_t* KrelSystem::getSingletonName() {
    return L"krel_std::KrelSystem";
}

ReadWriteLock& KrelSystem::lock() {
    static ReadWriteLock& propertiesLock = *new ReadWriteLock(32);
    return propertiesLock;
}

std::wstring KrelSystem::getProperty(const std::wstring& key, const std::wstring& defaultValue) {
    KREL_TRACE_SCOPE_ARGS(L"krel_std::KrelSystem::getProperty",
                          L"Begin. Key <%ls> Default value <%ls>.", key.c_str(),
                          defaultValue.c_str());
    ErrorUtils::isEmptyEx(key, L"krel_std::KrelSystem::getProperty", L"Property key");
    ReadWriteLock::ReaderLock guard(lock());
    const auto found = properties.find(key);
    const std::wstring result = found != properties.end() ? found->second : defaultValue;
    KREL_INTERNAL_CALL(L"krel_std::KrelSystem::getProperty", L"Return <%ls>.", result.c_str());
    return result;
}

std::wstring KrelSystem::setProperty(const std::wstring& key, const std::wstring& value) {
    KREL_TRACE_SCOPE_ARGS(L"krel_std::KrelSystem::setProperty", L"Begin. Key <%ls> Value <%ls>.",
                          key.c_str(), value.c_str());
    ErrorUtils::isEmptyEx(key, L"krel_std::KrelSystem::setProperty", L"Property key");
    ReadWriteLock::WriterLock guard(lock());
    std::wstring previous;
    const auto found = properties.find(key);
    if (found != properties.end()) {
        previous = found->second;
        properties.erase(found);
    }
    properties.emplace(key, value);
    return previous;
}

std::map<std::wstring, std::wstring> KrelSystem::getProperties() {
    KREL_TRACE_SCOPE(L"krel_std::KrelSystem::getProperties");
    ReadWriteLock::ReaderLock guard(lock());
    return properties;
}

void KrelSystem::setProperties(const std::map<std::wstring, std::wstring>& replacement) {
    KREL_TRACE_SCOPE(L"krel_std::KrelSystem::setProperties");
    ReadWriteLock::WriterLock guard(lock());
    if (&replacement != &properties) {
        properties = replacement;
    }
}

std::wstring KrelSystem::getEnv(const std::wstring& name) {
    KREL_TRACE_SCOPE_ARGS(L"krel_std::KrelSystem::getEnv", L"Begin. Name <%ls>.", name.c_str());
    ErrorUtils::isEmptyEx(name, L"krel_std::KrelSystem::getEnv", L"Environment variable name");
    const std::string narrowName = krel_platform::wideToUtf8(name);
    if (holdsTerminator(narrowName)) {
        return std::wstring();
    }
    std::lock_guard<std::mutex> guard(environmentMutex());
    const char* value = std::getenv(narrowName.c_str());
    return value != nullptr ? krel_platform::utf8ToWide(value) : std::wstring();
}

// An empty value removes the variable. The environment receives copies of the texts (setenv),
// so nothing of the caller's is kept.
bool KrelSystem::putEnv(const std::wstring& name, const std::wstring& value) {
    KREL_TRACE_SCOPE_ARGS(L"krel_std::KrelSystem::putEnv", L"Begin. Name <%ls> Value <%ls>.",
                          name.c_str(), value.c_str());
    ErrorUtils::isEmptyEx(name, L"krel_std::KrelSystem::putEnv", L"Environment variable name");
    const std::string narrowName = krel_platform::wideToUtf8(name);
    const std::string narrowValue = krel_platform::wideToUtf8(value);
    if (holdsTerminator(narrowName) || holdsTerminator(narrowValue)) {
        return false;
    }
    std::lock_guard<std::mutex> guard(environmentMutex());
    if (narrowValue.empty()) {
        return ::unsetenv(narrowName.c_str()) == 0;
    }
    return ::setenv(narrowName.c_str(), narrowValue.c_str(), 1) == 0;
}

std::wstring KrelSystem::toString() const {
    return L"KrelSystem{}";
}

std::wstring KrelSystem::getHostName() {
    char buffer[512] = {};
    if (::gethostname(buffer, sizeof(buffer) - 1) != 0) {
        return std::wstring();
    }
    buffer[sizeof(buffer) - 1] = '\0';
    return krel_platform::utf8ToWide(buffer);
}

std::wstring KrelSystem::getOperatingSystemName() {
    struct utsname system = {};
    if (::uname(&system) != 0) {
        return std::wstring();
    }
    return krel_platform::utf8ToWide(system.sysname) + L" " +
           krel_platform::utf8ToWide(system.release);
}

KrelSystem::OSType KrelSystem::getOperatingSystemType() {
    return WINDOWS;
}

} // namespace krel_std
