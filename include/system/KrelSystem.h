// KrelSystem, the system properties, the environment and the machine's description.
#pragma once

#include <boost/noncopyable.hpp>
#include <map>
#include <string>

#include "base/Object.h"
#include "pattern/Singleton.h"

namespace krel_std {

class ReadWriteLock;

// The process-wide system properties (a text-to-text map held in memory only), the process
// environment, and descriptions of the machine for log headers. Reached through
// KrelSystem::getInstance().
class KrelSystem : public Object, public Singleton<KrelSystem>, private boost::noncopyable {
public:
    // The kind of operating system; the library answers the first one only.
    enum OSType { WINDOWS = 0 };

    ~KrelSystem() override;

    // The stored value of key, or defaultValue when absent. An empty key throws
    // KrelIllegalArgumentException "Property key value is empty.".
    std::wstring getProperty(const std::wstring& key, const std::wstring& defaultValue);

    // Stores value under key and answers the value it replaced (empty when there was none).
    std::wstring setProperty(const std::wstring& key, const std::wstring& value);

    std::map<std::wstring, std::wstring> getProperties();

    // Replaces every property by a copy of the given map.
    void setProperties(const std::map<std::wstring, std::wstring>& properties);

    // The environment variable's value, or an empty text when it is not set. An empty name
    // throws KrelIllegalArgumentException "Environment variable name value is empty.".
    std::wstring getEnv(const std::wstring& name);

    // Sets the environment variable; an empty value removes it. Answers false when the
    // environment refuses the change. The caller's text is copied, never kept.
    bool putEnv(const std::wstring& name, const std::wstring& value);

    std::wstring toString() const override;

    // The machine's host name; empty when it cannot be read.
    static std::wstring getHostName();

    // The operating system's name and release ("Linux 6.1.0-18-amd64"); empty when they cannot
    // be read.
    static std::wstring getOperatingSystemName();

    static OSType getOperatingSystemType();

private:
    friend class Singleton<KrelSystem>;

    KrelSystem();

    static const wchar_t* getSingletonName();

    // Guards the property map; made on first use and never destroyed.
    static ReadWriteLock& lock();

    std::map<std::wstring, std::wstring> properties;
};

extern template class Singleton<KrelSystem>;

} // namespace krel_std
