// Paths, the provider of directories by key (configuration, log, executable).
#pragma once

#include <boost/shared_ptr.hpp>
#include <map>
#include <string>

#include "base/AutoRegisterClass.h"

namespace krel_std {

class ReadWriteLock;

// The provider of directories by key, so that a host program can tell the library where its
// configuration, log and executable directories are. The keys the library asks for, each with
// the default its caller passes: "System Config Path Key" ("../config"), "System Log Path Key"
// ("../log") and "System Executable Path Key" (".").
//
// The object in use is the prototype registered in the class registry under the name that the
// environment variable "default.Paths" gives, else the system property of that name, else
// "krel_std.Paths" (registered by the load hook). It is looked up again on every getInstance, so
// a change of the variable or the property takes effect at the next call.
//
// One read-write lock, shared by every Paths object, guards the stored paths.
class Paths : public AutoRegisterClass<Paths> {
public:
    ~Paths() override;

    // "Paths{}".
    std::wstring toString() const override;
    // "krel_std.Paths".
    std::wstring getClassName() const override;
    // Stores the path text for the key unchanged, replacing an earlier one. An empty key throws
    // KrelIllegalArgumentException "Preferences path key value is empty.".
    virtual void setPath(const std::wstring& key, const std::wstring& path);
    // The path stored for the key, or defaultValue when none was set (the default is not
    // stored). An empty key throws as setPath does.
    virtual std::wstring getPath(const std::wstring& key, const std::wstring& defaultValue);

    static std::wstring getClassNameStatic();
    // The paths provider in use (see above). A name under which the class registry holds no
    // Paths throws KrelAccessException "Unable to get Paths named <name>.". Logs "Using %ls
    // Paths." at INFO whenever the chosen name differs from the one chosen before.
    static boost::shared_ptr<Paths> getInstance();

protected:
    // An empty map; made by the class registration at load.
    Paths();

    // The environment variable "default.Paths", else the system property of that name, else
    // "krel_std.Paths".
    static std::wstring getPathClassName();
    // The class registry's object of that name as a Paths; throws as getInstance does.
    static boost::shared_ptr<Paths> getPathsByName(const std::wstring& name);

private:
    friend class AutoRegisterClass<Paths>;

    // Shared by every Paths object; made on first use and never destroyed.
    static ReadWriteLock& lock();

    std::map<std::wstring, std::wstring> paths;
};

} // namespace krel_std
