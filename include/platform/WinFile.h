// The Windows file API as the library uses it, implemented on Linux.
//
// File handles made by CreateFileW are entries of the kernel-object handle table holding a Linux
// descriptor; CloseHandle closes them. Share modes become open-file-
// description locks over the whole file, taken without blocking: a handle that writes or lets
// nobody else read takes an exclusive lock, one that lets nobody else write a shared lock. A lock
// that another holder keeps out is reported as ERROR_SHARING_VIOLATION, whether that holder is
// another handle of this process or another process. The lock is taken before the file is
// truncated, so a refused open never empties a file that someone else holds.
#pragma once

#include "platform/WinError.h"
#include "platform/WinHandles.h"
#include "platform/WinTypes.h"

struct SECURITY_ATTRIBUTES;
typedef SECURITY_ATTRIBUTES* LPSECURITY_ATTRIBUTES;
struct OVERLAPPED;
typedef OVERLAPPED* LPOVERLAPPED;

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u

#define FILE_SHARE_READ 0x00000001u
#define FILE_SHARE_WRITE 0x00000002u
#define FILE_SHARE_DELETE 0x00000004u

#define CREATE_NEW 1u
#define CREATE_ALWAYS 2u
#define OPEN_EXISTING 3u
#define OPEN_ALWAYS 4u
#define TRUNCATE_EXISTING 5u

#define FILE_ATTRIBUTE_READONLY 0x00000001u
#define FILE_ATTRIBUTE_HIDDEN 0x00000002u
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010u
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020u
#define FILE_ATTRIBUTE_NORMAL 0x00000080u
#define FILE_ATTRIBUTE_REPARSE_POINT 0x00000400u
#define FILE_ATTRIBUTE_COMPRESSED 0x00000800u
#define INVALID_FILE_ATTRIBUTES 0xFFFFFFFFu

#define FILE_BEGIN 0u
#define FILE_CURRENT 1u
#define FILE_END 2u
#define INVALID_SET_FILE_POINTER 0xFFFFFFFFu
#define INVALID_FILE_SIZE 0xFFFFFFFFu

// Opens or creates a file. Only the access, share mode and creation disposition are used. A
// directory is refused with ERROR_ACCESS_DENIED; opening a FIFO never waits for a peer. An open
// for writing, or one that may create or empty the file, follows a symbolic link only when its
// owner is the caller or the owner of the directory holding it (krel_platform::resolveLinks);
// else ERROR_ACCESS_DENIED.
HANDLE CreateFileW(LPCWSTR fileName, DWORD desiredAccess, DWORD shareMode,
                   LPSECURITY_ATTRIBUTES securityAttributes, DWORD creationDisposition,
                   DWORD flagsAndAttributes, HANDLE templateFile);

// Reads up to bytesToRead bytes at the file pointer; 0 bytes read at the end of the file.
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead,
              LPOVERLAPPED overlapped);

// Writes the bytes at the file pointer.
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten,
               LPOVERLAPPED overlapped);

DWORD SetFilePointer(HANDLE file, LONG distanceToMove, PLONG distanceToMoveHigh, DWORD moveMethod);
BOOL SetFilePointerEx(HANDLE file, LARGE_INTEGER distanceToMove, LARGE_INTEGER* newFilePointer,
                      DWORD moveMethod);

// The low 32 bits of the size; the high 32 bits through sizeHigh when given.
DWORD GetFileSize(HANDLE file, LPDWORD sizeHigh);
BOOL GetFileSizeEx(HANDLE file, LARGE_INTEGER* size);

BOOL FlushFileBuffers(HANDLE file);

#define FILE_TYPE_UNKNOWN 0x0000u
#define FILE_TYPE_DISK 0x0001u
#define FILE_TYPE_CHAR 0x0002u
#define FILE_TYPE_PIPE 0x0003u

// What the handle reads from: FILE_TYPE_DISK for a file (those of /proc and /sys included),
// FILE_TYPE_CHAR for a character or block device, FILE_TYPE_PIPE for a FIFO or socket.
// FILE_TYPE_UNKNOWN with the error set when the handle is not a file's; FILE_TYPE_UNKNOWN with
// ERROR_SUCCESS for anything else.
DWORD GetFileType(HANDLE file);

// Directory, hidden (a name beginning with '.'), read-only (no write permission for the owner)
// and reparse point (a symbolic link) attributes, or INVALID_FILE_ATTRIBUTES. A symbolic link
// reports the kind of its target; a dangling link reports a file.
DWORD GetFileAttributesW(LPCWSTR fileName);

enum GET_FILEEX_INFO_LEVELS { GetFileExInfoStandard = 0 };

struct WIN32_FILE_ATTRIBUTE_DATA {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
};

// The attributes of GetFileAttributesW with the times (100-nanosecond steps since 1601; the
// creation time is the status change time) and the size of the file. FALSE with
// ERROR_INVALID_PARAMETER for another information level or no buffer, the file error otherwise.
BOOL GetFileAttributesExW(LPCWSTR fileName, GET_FILEEX_INFO_LEVELS infoLevel, LPVOID information);

// The working directory, with '/' separators. Answers the characters written without the
// terminator, or, when the buffer is too small, the size needed including the terminator.
DWORD GetCurrentDirectoryW(DWORD bufferLength, LPWSTR buffer);
BOOL SetCurrentDirectoryW(LPCWSTR pathName);

// The one logical drive, the root "/": the buffer receives "/", a terminator and a final
// terminator. Answers the characters written without the final terminator, or the size needed
// when the buffer is too small.
DWORD GetLogicalDriveStringsW(DWORD bufferLength, LPWSTR buffer);

BOOL GetDiskFreeSpaceExW(LPCWSTR directoryName, PULARGE_INTEGER freeBytesAvailableToCaller,
                         PULARGE_INTEGER totalNumberOfBytes,
                         PULARGE_INTEGER totalNumberOfFreeBytes);
