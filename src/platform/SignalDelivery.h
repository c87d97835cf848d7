// The process's signal delivery: the table of C signal functions, the console control
// handlers and the thread that runs them. See platform/WinSignal.h and platform/WinConsole.h.
// It is the stand-in's one upward dependency: the delivery thread is a library Thread that
// traces a failing function through the static log, so that the program's own functions get the
// fault translation of every library thread and their failures reach the program's log.
#pragma once

#include <cstdint>

#include "platform/WinConsole.h"
#include "platform/WinSignal.h"

namespace krel_platform {

// Runs the console control handlers for one control type on the calling thread, newest first,
// until one answers TRUE; answers whether one did. Ctrl-C counts as handled while the process
// ignores it. Any type may be given, also those no signal stands for.
BOOL deliverConsoleControlEvent(DWORD controlType);

// The delivery thread's id (Thread::getCurrentThreadId), 0 before it has started.
uint64_t signalDeliveryThreadId();

} // namespace krel_platform
