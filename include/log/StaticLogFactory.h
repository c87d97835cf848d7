// Builds configured appenders by class name and loads log modules.
#pragma once

#include <boost/noncopyable.hpp>
#include <boost/shared_ptr.hpp>
#include <map>
#include <string>

#include "log/ILogAppender.h"
#include "log/ILogEventFilter.h"
#include "log/ILogEventLayout.h"
#include "pattern/Singleton.h"
#include "thread/Lock.h"

namespace krel_std {

class KrelLibrary;

// Turns the properties of one configured appender into a working appender: the appender, its
// filter and its layout are built from the prototypes the class registry holds under the
// dotted names of the properties "class", "filter" and "layout". Keeps every appender it made
// under its name, and the log modules (dynamic libraries that register further classes) it
// loaded. Made on first use through Singleton<StaticLogFactory>::getInstance(), never deleted.
class StaticLogFactory : public Singleton<StaticLogFactory>, private boost::noncopyable {
    friend class Singleton<StaticLogFactory>;

public:
    using PropertyMap = std::map<std::wstring, std::wstring>;

    virtual ~StaticLogFactory();

    // Builds the appender of class "class" from all the properties, gives it the filter and
    // the layout, and stores it under the name (replacing an earlier one). Throws
    // KrelIllegalArgumentException for an empty name ("name value is empty."), a missing class
    // ("Appender class name cannot be empty."), a missing filter ("Filter cannot be NULL!") or
    // a failing build ("Could not create appender.", with the cause); KrelObjectNotFoundException
    // "Could not find class for name: <class>" for a class the registry does not hold as the
    // wanted kind. A failure stores nothing.
    boost::shared_ptr<ILogAppender> createAppender(const std::wstring& name,
                                                   const PropertyMap& properties);
    // The stored appender, or an empty pointer. An empty name throws as createAppender does.
    boost::shared_ptr<ILogAppender> getAppender(const std::wstring& name);
    bool appenderExists(const std::wstring& name);
    // Forgets the appender; the static log keeps its own reference.
    void removeAppender(const std::wstring& name);

    // Loads the library of that name (see KrelLibrary's search) unless it is loaded already;
    // its load registers its classes. Errors pass to the caller and store nothing. The module
    // operations take no lock: callers serialise them.
    void loadModule(std::wstring name);
    // Releases the library when it was loaded under that name.
    void unloadModule(std::wstring name);
    bool moduleLoaded(std::wstring name);

private:
    StaticLogFactory();

    static const wchar_t* getSingletonName();

    // The filter of class "filter", built from the "filter." properties.
    boost::shared_ptr<ILogEventFilter> createFilter(const PropertyMap& properties,
                                                    const std::wstring& name);
    // The layout of class "layout", built from the "layout." properties; an empty pointer when
    // "layout" is missing, empty or "NULL".
    boost::shared_ptr<ILogEventLayout> createLayout(const PropertyMap& properties,
                                                    const std::wstring& name);

    std::map<std::wstring, boost::shared_ptr<ILogAppender>> appenders;
    std::map<std::wstring, boost::shared_ptr<KrelLibrary>> libraries;
    // Guards `appenders`.
    Lock lock;
};

extern template class Singleton<StaticLogFactory>;

} // namespace krel_std
