// C runtime stand-ins for signal and raise. glibc owns the global names, so these live in
// krel_platform; the library calls them where the Windows runtime's would be called.
//
// A function given for an asynchronous signal (SIGINT, SIGBREAK, SIGTERM, SIGHUP, SIGUSR1...)
// is not run inside the signal handler: an async-signal-safe trampoline writes the number into
// a pipe and one delivery thread of the library calls the function there, as Windows runs such
// handlers on a thread of their own. A function stays installed after it is called; one that
// throws is traced at DEBUG and the delivery thread goes on. SIG_DFL and SIG_IGN are set with
// sigaction directly.
//
// SIGABRT functions are installed directly and run on the aborting thread. For SIGILL, SIGFPE,
// SIGSEGV and SIGBUS the function becomes the action that receives the faults the library's
// fault translator does not translate; the translator itself stays in place.
#pragma once

#include <csignal>

// The terminal's break key (Ctrl-\) stands for Ctrl-Break.
#define SIGBREAK SIGQUIT

namespace krel_platform {

typedef void (*SignalFunction)(int);

// Sets the function (or SIG_DFL, SIG_IGN) of a signal and answers the one it replaces; a
// signal never set through here answers its current disposition when that is SIG_DFL or
// SIG_IGN, otherwise SIG_DFL. Answers SIG_ERR with errno EINVAL for a number outside 1 to
// NSIG - 1 and for SIGKILL and SIGSTOP, with errno ENOMEM when the delivery thread cannot be
// started.
SignalFunction signal(int signalNumber, SignalFunction function);

// Calls the signal's function synchronously on the calling thread and answers 0. SIG_IGN does
// nothing; SIG_DFL carries out the default action (for most signals the process ends). Answers
// -1 with errno EINVAL for an invalid number.
int raise(int signalNumber);

// The function set for a signal through signal(), as signal() would answer it.
SignalFunction signalFunction(int signalNumber);

} // namespace krel_platform
