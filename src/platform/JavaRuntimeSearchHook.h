// Internal: lets tests choose where installed Java runtimes are looked for.
#pragma once

#include <string>
#include <vector>

namespace krel_platform {

// Test-only: while set, findInstalledJavaRuntimes looks at the subdirectories of these
// directories only (no JAVA_HOME, no PATH, no /usr/lib/jvm).
class JavaRuntimeSearchHook {
public:
    static void setDirectories(const std::vector<std::string>& directories);
    // Back to the machine's own places.
    static void reset();
};

} // namespace krel_platform
