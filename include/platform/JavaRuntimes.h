// The Java runtimes installed on the machine, as an installer would list them in the Windows
// registry (one entry per runtime, named by its version, with its home directory and its VM
// library).
#pragma once

#include <string>
#include <vector>

namespace krel_platform {

struct JavaRuntime {
    // The runtime's version text (JAVA_VERSION of its "release" file), e.g. "17.0.15".
    std::wstring version;
    // The runtime's home directory, a real path.
    std::wstring javaHome;
    // Its VM library, "<home>/lib/server/libjvm.so".
    std::wstring runtimeLib;
};

// The runtimes found at JAVA_HOME (when set), at the home of the `java` found first on PATH,
// and in every directory of /usr/lib/jvm (where the system's Java packages install), in that
// order of search; each home once (by real path), and only homes with a "release" file naming
// JAVA_VERSION and a readable lib/server/libjvm.so. Sorted by version text as registry subkeys
// are (case-insensitive); runtimes of equal version keep the order of search.
std::vector<JavaRuntime> findInstalledJavaRuntimes();

} // namespace krel_platform
