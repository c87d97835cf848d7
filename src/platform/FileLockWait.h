// Waiting for the lock of a lock file with a deadline, blocked in the kernel.
#pragma once

#include <chrono>

namespace krel_platform {

// Takes the exclusive open-file-description lock of the whole file open at descriptor: at once
// when it is free, else blocked in the kernel (F_OFD_SETLKW) until its holder lets go or the
// deadline passes. The lock goes with the last close of the description, so a holder that dies
// lets the next one in. False with errno ETIMEDOUT at the deadline (with a deadline already
// passed, the lock is tried once), or with the error of the lock.
bool lockFileUntil(int descriptor, std::chrono::steady_clock::time_point deadline);

} // namespace krel_platform
