// Directory change notifications of the Windows API stand-in.
//
// A change notification is a kernel object in the handle table (platform/WinHandles.h) that
// WaitForSingleObject and WaitForMultipleObjects wait on. It is signalled while changes of its
// directory that its filter selects are pending, and stays so until FindNextChangeNotification
// drains them: call it just before re-reading the directory, so a change made while reading
// signals the handle again and is not lost.
//
// All notifications of the process share one inotify instance; two notifications of one
// directory (also under two paths, through a symbolic link) share its watch, which ends with
// the last of them. A notification whose directory is deleted or moved away is signalled once
// and then lost: each FindNextChangeNotification tries to watch the directory at its path
// again and fails with the file error (ERROR_FILE_NOT_FOUND when nothing is there) until a
// directory exists there again.
#pragma once

#include <cstdint>
#include <string>

#include "platform/WinError.h"
#include "platform/WinHandles.h"
#include "platform/WinTypes.h"

#define FILE_NOTIFY_CHANGE_FILE_NAME 0x00000001u
#define FILE_NOTIFY_CHANGE_DIR_NAME 0x00000002u
#define FILE_NOTIFY_CHANGE_ATTRIBUTES 0x00000004u
#define FILE_NOTIFY_CHANGE_SIZE 0x00000008u
#define FILE_NOTIFY_CHANGE_LAST_WRITE 0x00000010u
#define FILE_NOTIFY_CHANGE_LAST_ACCESS 0x00000020u
#define FILE_NOTIFY_CHANGE_CREATION 0x00000040u
#define FILE_NOTIFY_CHANGE_SECURITY 0x00000100u

// Watches one directory for the changes the filter selects: file names (created, deleted,
// renamed files), directory names (the same for subdirectories), attributes, size and last
// write (written or closed after writing), last access (read), creation time and security
// (the last two are status changes here). Answers INVALID_HANDLE_VALUE with
// ERROR_INVALID_PARAMETER for a filter of 0 or with unknown bits, ERROR_NOT_SUPPORTED for a
// subtree, ERROR_DIRECTORY for a path that is not a directory and the file errors (not found,
// access denied, too many open files) otherwise.
HANDLE FindFirstChangeNotificationW(LPCWSTR pathName, BOOL watchSubtree, DWORD notifyFilter);
// Drains the pending changes, so the handle is signalled again only by later ones; re-watches
// a lost directory. FALSE with ERROR_INVALID_HANDLE for a handle of another kind, or with the
// file error when a lost directory cannot be watched again.
BOOL FindNextChangeNotification(HANDLE changeHandle);
// Closes the handle; FALSE with ERROR_INVALID_HANDLE for a handle of another kind.
BOOL FindCloseChangeNotification(HANDLE changeHandle);

namespace krel_platform {

// A handle that is signalled whenever any change notification of the process has become
// signalled since the handle was last taken by a wait (auto-reset). One thread can so wait on
// any number of directories: it waits on this handle and then tests each of its notifications
// with a wait of 0 ms. Closed with CloseHandle; null with ERROR_TOO_MANY_OPEN_FILES when no
// inotify instance can be made.
HANDLE createChangeActivityHandle();

} // namespace krel_platform
