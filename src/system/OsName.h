// The operating-system name of the older API, from a version record.
#pragma once

#include <string>

#include "platform/WinVersion.h"

namespace krel_std_internal {

extern const wchar_t kUnknownOperatingSystem[];

// The Windows release a version record names, followed by its service-pack text;
// kUnknownOperatingSystem for any other record.
std::wstring osNameFromVersion(const OSVERSIONINFOEXW& version);

} // namespace krel_std_internal
