// Internal: drives the static log's lifecycle from tests, without a configuration file.
#pragma once

#include <boost/shared_ptr.hpp>
#include <map>
#include <string>

#include "log/ILogAppender.h"
#include "log/LogEventPriority.h"

namespace krel_std_internal {

// Test-only access to the static log. Not part of the library's interface: no library code
// calls it, and its header is not installed. `reset` undoes what the process can otherwise
// do only once (the destruction), so that every test starts from the load hook's state.
class StaticLogTestHook {
public:
    using AppenderMap = std::map<std::wstring, boost::shared_ptr<krel_std::ILogAppender>>;

    // Initialises the static log as a configuration naming these appenders would (they join
    // the logger in the map's order); with an empty map the log stays uninitialised.
    static void initialize(const wchar_t* name, const AppenderMap& appenders);
    // Sets the configured threshold, as a configuration change does.
    static void setThreshold(krel_std::LogEventPriority threshold);
    // Runs the unload's destruction of the static log.
    static void destroy();
    // Brings the static log back to the state the load hook leaves: no instance, not
    // destroyed, threshold DEBUG, no module name.
    static void reset();
};

} // namespace krel_std_internal
