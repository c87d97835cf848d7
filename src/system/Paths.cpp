#include "system/Paths.h"

#include "base/Class.h"
#include "base/ErrorUtils.h"
#include "base/InternalTrace.h"
#include "base/LogFunctionCall.h"
#include "exception/KrelAccessException.h"
#include "log/KrelLoggerSTD.h"
#include "system/KrelSystem.h"
#include "thread/AutoLock.h"
#include "thread/Lock.h"
#include "thread/ReadWriteLock.h"

namespace krel_std {

namespace {

const wchar_t* const PATH_CLASS_VARIABLE = L"default.Paths";
const wchar_t* const KEY_NAME = L"Preferences path key";

// The class name that getInstance chose last, under a lock of its own. Both are made on first
// use and never destroyed.
Lock& lastNameLock() {
    static Lock& lock = *new Lock;
    return lock;
}

std::wstring& lastName() {
    static std::wstring& name = *new std::wstring;
    return name;
}

// Remembers the chosen name; true when it differs from the one chosen before.
bool rememberName(const std::wstring& name) {
    AutoLock<Lock> guard(lastNameLock());
    if (lastName() == name) {
        return false;
    }
    lastName() = name;
    return true;
}

} // namespace

Paths::Paths() = default;

Paths::~Paths() = default;

ReadWriteLock& Paths::lock() {
    static ReadWriteLock& pathsLock = *new ReadWriteLock(32);
    return pathsLock;
}

std::wstring Paths::toString() const {
    return L"Paths{}";
}

std::wstring Paths::getClassName() const {
    return getClassNameStatic();
}

std::wstring Paths::getClassNameStatic() {
    return L"krel_std.Paths";
}

void Paths::setPath(const std::wstring& key, const std::wstring& path) {
    KREL_TRACE_SCOPE_ARGS(L"krel_std::Paths::setPath", L"Begin. Key <%ls> Path <%ls>.", key.c_str(),
                          path.c_str());
    ErrorUtils::isEmptyEx(key, L"krel_std::Paths::setPath", KEY_NAME);
    ReadWriteLock::WriterLock guard(lock());
    paths[key] = path;
}

std::wstring Paths::getPath(const std::wstring& key, const std::wstring& defaultValue) {
    KREL_TRACE_SCOPE_ARGS(L"krel_std::Paths::getPath", L"Begin. Key <%ls> Default value <%ls>.",
                          key.c_str(), defaultValue.c_str());
    ErrorUtils::isEmptyEx(key, L"krel_std::Paths::getPath", KEY_NAME);
    ReadWriteLock::ReaderLock guard(lock());
    const auto found = paths.find(key);
    return found != paths.end() ? found->second : defaultValue;
}

std::wstring Paths::getPathClassName() {
    KrelSystem& system = KrelSystem::getInstance();
    std::wstring name = system.getEnv(PATH_CLASS_VARIABLE);
    if (name.empty()) {
        name = system.getProperty(PATH_CLASS_VARIABLE, getClassNameStatic());
    }
    return name.empty() ? getClassNameStatic() : name;
}

boost::shared_ptr<Paths> Paths::getPathsByName(const std::wstring& name) {
    const boost::shared_ptr<Paths> paths = Class::getInstance().getObject<Paths>(name);
    if (!paths) {
        KrelAccessException exception(L"Unable to get Paths named <" + name + L">.");
        exception.logDebug(L"krel_std::Paths::getPathsByName");
        throw exception;
    }
    return paths;
}

boost::shared_ptr<Paths> Paths::getInstance() {
    const wchar_t* const context = L"krel_std::Paths::getInstance";
    const std::wstring name = getPathClassName();
    KREL_INTERNAL_DUMP(context, L"Path name <%ls>.", name.c_str());
    const boost::shared_ptr<Paths> paths = getPathsByName(name);
    KREL_INTERNAL_DUMP(context, L"Path object <%p>.", static_cast<const void*>(paths.get()));
    if (rememberName(name)) {
        Singleton<KrelLoggerSTD>::getInstance().STD0003(context, name);
    }
    return paths;
}

} // namespace krel_std
