// Internal: the choice of an installed Java runtime for a wanted version.
#pragma once

#include <string>
#include <vector>

#include "jni/JVM.h"

namespace krel_std_internal {

// The runtime of `installed` (in list order) that best matches `desired`: the most leading
// parts equal (major, minor, micro, update, qualifier), ties going to the higher version and,
// among equal versions, to the first listed; an exact match ends the search. Throws
// KrelIllegalArgumentException "No version found!" when nothing of major above 0 is listed, and
// "Couldn't find valid version, desired: <desired> Best Match: <version>." when the best is
// below the wanted version.
krel_std::JVM::JVMInfo bestMatchedJVM(const std::wstring& desired,
                                      const std::vector<krel_std::JVM::JVMInfo>& installed);

} // namespace krel_std_internal
