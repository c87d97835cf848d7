// Console control stand-in. Console events arrive as signals, taken by the signal delivery
// thread: SIGINT is Ctrl-C, SIGBREAK (SIGQUIT) Ctrl-Break, SIGHUP close and SIGTERM shutdown.
// While a handler is installed, such a signal goes first to the handlers, newest first, until
// one answers TRUE; when none does, to the C function of the signal (see WinSignal.h), else
// its default action.
#pragma once

#include "platform/WinTypes.h"

#define CTRL_C_EVENT 0
#define CTRL_BREAK_EVENT 1
#define CTRL_CLOSE_EVENT 2
#define CTRL_LOGOFF_EVENT 5
#define CTRL_SHUTDOWN_EVENT 6

typedef BOOL (*PHANDLER_ROUTINE)(DWORD controlType);

// Adds (add TRUE) or removes (add FALSE) a handler; a handler added twice is called twice and
// removed one at a time. A null handler with TRUE makes the process ignore Ctrl-C, with FALSE
// ends that. Removing a handler that is not installed fails with ERROR_INVALID_PARAMETER; a
// delivery thread that cannot be started fails with ERROR_NOT_ENOUGH_MEMORY.
BOOL SetConsoleCtrlHandler(PHANDLER_ROUTINE handler, BOOL add);

// Sets the console title: the title, without its control characters (C0, DEL and C1), goes to
// the process's controlling terminal as the escape sequence ESC ] 0 ; <UTF-8 title> BEL, and
// is remembered as the process's title. Answers 1; without a controlling terminal 0 with
// ERROR_INVALID_HANDLE, for a null title 0 with ERROR_INVALID_PARAMETER, and when the terminal
// refuses the write 0 with the error of that write (the title is then not remembered).
BOOL SetConsoleTitleW(LPCWSTR title);

// Copies the remembered title (empty until one is set; the terminal is never asked) into the
// buffer: at most size - 1 characters and a terminator. Answers the number of characters
// copied; without a controlling terminal 0 with ERROR_INVALID_HANDLE, for a null buffer or a
// size of 0 0 with ERROR_INVALID_PARAMETER. To tell cheaply whether the terminal is still there,
// the first call keeps a read descriptor of it open (close-on-exec) for the process.
DWORD GetConsoleTitleW(LPWSTR title, DWORD size);
