// Moving and renaming files through the Windows API, implemented on Linux.
#pragma once

#include "platform/WinError.h"
#include "platform/WinTypes.h"

// Replace a file that exists at the new name.
#define MOVEFILE_REPLACE_EXISTING 0x00000001u

// Gives a file or directory a new name on the same volume. Without MOVEFILE_REPLACE_EXISTING an
// existing target is refused with ERROR_ALREADY_EXISTS; with it, a file at the new name is
// replaced in one atomic step (no moment in which the name is missing), while a directory at the
// new name is refused with ERROR_ACCESS_DENIED. Another volume is ERROR_NOT_SAME_DEVICE, any flag
// other than MOVEFILE_REPLACE_EXISTING ERROR_INVALID_PARAMETER. Failures answer FALSE and set the
// calling thread's last error.
BOOL MoveFileExW(LPCWSTR existingFileName, LPCWSTR newFileName, DWORD flags);
