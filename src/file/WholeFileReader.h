// Whole-file reads in bounded time and memory.
#pragma once

#include <cstdint>
#include <string>

#include "platform/WinTypes.h"

namespace krel_std_internal {

// Reads a file's whole content, for every reader of whole files (FileUtils, LockedFile and,
// through LockedFile, the configuration and preferences loads).
//
// Files and pipes are read from the current position to their end, whatever size they report:
// the files of /proc report 0, and a file may grow or shrink while it is read. A content longer
// than MAX_BYTES is refused: a file that reports more at once, before anything is read; a pipe
// or a growing file as soon as the read passes the limit. A device (character or block) is
// refused before anything is read, since nothing tells where its content ends.
//
// Each refusal throws KrelIOException, logged at DEBUG under the caller's context: a device
// "Read file failed: only files and pipes are read whole, not devices." (ERROR_NOT_SUPPORTED),
// a content too long "Read file failed: the content passes the limit of 1073741824 bytes."
// (ERROR_NOT_ENOUGH_MEMORY), a failed read "Read file failed." with the system's error code,
// and memory that cannot be had "Read file failed." with ERROR_NOT_ENOUGH_MEMORY.
class WholeFileReader {
public:
    // The most bytes a whole-file read takes: 1 GiB.
    static const int64_t MAX_BYTES = int64_t(1) << 30;

    // The content of a file handle made by CreateFileW.
    static std::string readHandle(HANDLE file, const wchar_t* context);
    // The content of a descriptor opened by _wopen.
    static std::string readDescriptor(int descriptor, const wchar_t* context);
    // True when the descriptor reads from a device, for readers that stream the content
    // elsewhere instead of holding it; false also when its status cannot be read.
    static bool isDevice(int descriptor);
};

} // namespace krel_std_internal
