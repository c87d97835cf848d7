// Helpers of the file stand-in: how a Windows path text reaches the Linux file tree, and how a
// failed Linux call becomes a Windows error code.
#pragma once

#include <string>

#include "platform/WinTypes.h"

namespace krel_platform {

// The UTF-8 text of a path handed to the stand-in: '\' becomes '/', and a leading drive root
// ("C:\" or "c:/") becomes the root "/". "C:" with nothing after it, or later in the path, stays
// a name.
std::string nativePath(const std::wstring& path);

// The Windows error code that best describes a Linux errno value of a file operation.
DWORD fileErrorFromErrno(int error);

// Sets the calling thread's last Windows error from errno (and keeps errno as it was).
void setLastErrorFromErrno();

} // namespace krel_platform
