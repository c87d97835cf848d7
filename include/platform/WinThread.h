// Threads of the Windows API stand-in that are named by handles: the runtime's _beginthreadex,
// and suspending and resuming such a thread.
//
// A thread started by _beginthreadex is a POSIX thread behind a thread handle of the handle
// table. The handle is signalled once the thread has ended; closing the last handle detaches the
// thread, which is never joined.
//
// Suspension is asynchronous, as on Windows: SuspendThread sends the thread the signal
// krel_platform::threadSuspendSignal() (SIGRTMIN + 3), whose handler holds the thread in
// sigsuspend wherever it was until its suspend count is back at 0. A thread that blocks that
// signal is suspended only once it unblocks it; SuspendThread then gives up waiting for it to
// stop after a while and answers the previous count all the same. Only threads started by
// _beginthreadex can be suspended.
#pragma once

#include "platform/WinError.h"
#include "platform/WinTypes.h"

#ifndef ERROR_SIGNAL_REFUSED
#define ERROR_SIGNAL_REFUSED 156L
#endif

#define CREATE_SUSPENDED 0x00000004u
#define MAXIMUM_SUSPEND_COUNT 127u

// Starts startAddress(argList) on a new thread and answers its handle, or 0 with errno set
// (EINVAL for a null start address, EAGAIN when no thread can be made). A stack size of 0 takes
// the default; CREATE_SUSPENDED makes the thread wait, suspended once, before it runs. The
// security attributes are ignored; threadId, when given, receives the thread's id.
uintptr_t _beginthreadex(void* security, unsigned stackSize, unsigned (*startAddress)(void*),
                         void* argList, unsigned initFlag, unsigned* threadId);

// Raises the thread's suspend count and answers the previous count, once the thread has stopped.
// (DWORD)-1 with ERROR_INVALID_HANDLE for a handle that names no thread or a thread that has
// ended (nothing is sent to it), with ERROR_SIGNAL_REFUSED at MAXIMUM_SUSPEND_COUNT.
DWORD SuspendThread(HANDLE thread);

// Lowers the thread's suspend count and answers the previous count; the thread runs on when the
// count reaches 0. A count of 0 answers 0 and changes nothing. (DWORD)-1 with
// ERROR_INVALID_HANDLE as for SuspendThread.
DWORD ResumeThread(HANDLE thread);

// The value the thread's function returned; STILL_ACTIVE (259) while it runs. FALSE with
// ERROR_INVALID_HANDLE for a handle that names no thread.
BOOL GetExitCodeThread(HANDLE thread, LPDWORD exitCode);

namespace krel_platform {

// The real-time signal that suspends threads (SIGRTMIN + 3).
int threadSuspendSignal();

} // namespace krel_platform
