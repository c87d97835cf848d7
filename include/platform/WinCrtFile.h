// The Windows C runtime's file calls as the library uses them, implemented on Linux. Paths are
// Windows or Linux path texts (see platform/NativePath.h); errno is set as the runtime sets it,
// and the calling thread's last Windows error tells the same failure as a Windows code.
#pragma once

#include <cstdint>
#include <cstdio>
#include <sys/stat.h>

// The Windows runtime names its status time fields st_atime, st_mtime and st_ctime; glibc makes
// those names macros for the nanosecond fields of its own struct stat. This header owns the
// names: Linux code that includes it reads the native fields as st_atim.tv_sec and so on.
#undef st_atime
#undef st_mtime
#undef st_ctime

typedef int64_t __time64_t;
typedef uint32_t _fsize_t;

#define _O_RDONLY 0x0000
#define _O_WRONLY 0x0001
#define _O_RDWR 0x0002
#define _O_APPEND 0x0008
#define _O_CREAT 0x0100
#define _O_TRUNC 0x0200
#define _O_EXCL 0x0400
#define _O_TEXT 0x4000
#define _O_BINARY 0x8000

#define _S_IFMT 0xF000
#define _S_IFDIR 0x4000
#define _S_IFCHR 0x2000
#define _S_IFIFO 0x1000
#define _S_IFREG 0x8000
#define _S_IREAD 0x0100
#define _S_IWRITE 0x0080
#define _S_IEXEC 0x0040

#define _A_NORMAL 0x00
#define _A_RDONLY 0x01
#define _A_HIDDEN 0x02
#define _A_SUBDIR 0x10

// The 64-bit file status. st_mode carries the file type bits (_S_IFDIR, _S_IFREG, ...) and the
// Linux permission bits; st_ctime is the creation (birth) time where the file system records
// it, else the time of the last status change.
struct _stat64 {
    uint32_t st_dev;
    uint64_t st_ino;
    unsigned short st_mode;
    short st_nlink;
    short st_uid;
    short st_gid;
    uint32_t st_rdev;
    int64_t st_size;
    __time64_t st_atime;
    __time64_t st_mtime;
    __time64_t st_ctime;
};

// The same status with a 32-bit size (sizes from 2 GiB on do not fit).
struct _stat64i32 {
    uint32_t st_dev;
    uint64_t st_ino;
    unsigned short st_mode;
    short st_nlink;
    short st_uid;
    short st_gid;
    uint32_t st_rdev;
    int32_t st_size;
    __time64_t st_atime;
    __time64_t st_mtime;
    __time64_t st_ctime;
};

struct __utimbuf64 {
    __time64_t actime;
    __time64_t modtime;
};

// One entry of a directory search.
struct _wfinddata64i32_t {
    unsigned attrib;
    __time64_t time_create;
    __time64_t time_access;
    __time64_t time_write;
    _fsize_t size;
    wchar_t name[260];
};

// _wopen and _wfopen refuse a directory (EACCES) and never wait for the peer of a FIFO. An open
// that writes, creates or truncates follows a symbolic link only when its owner is the caller or
// the owner of the directory holding it (krel_platform::resolveLinks); else EACCES.
int _wopen(const wchar_t* fileName, int openFlag, int permissionMode = 0);
int _read(int descriptor, void* buffer, unsigned int count);
int _write(int descriptor, const void* buffer, unsigned int count);
int _close(int descriptor);
int64_t _filelengthi64(int descriptor);
// The descriptor's position; on a descriptor opened for appending, right after a write, the end
// of the file as that write left it (other writers' bytes included). -1 on failure.
int64_t _telli64(int descriptor);
// Cuts the file to the size, or extends it with zero bytes; 0, or the errno value on failure.
int _chsize_s(int descriptor, int64_t size);

int _wstat64(const wchar_t* path, struct _stat64* buffer);
// A size beyond the 32-bit field is given as INT32_MAX.
int _fstat64i32(int descriptor, struct _stat64i32* buffer);
// Mode 0 existence, 2 write, 4 read, 6 read and write.
int _waccess(const wchar_t* path, int mode);
int _wmkdir(const wchar_t* dirName);
int _wrmdir(const wchar_t* dirName);
// Removes a file (or a symbolic link); a directory is refused with EACCES.
int _wremove(const wchar_t* path);
// Renames without replacing: a target that exists fails with EEXIST, as on Windows.
int _wrename(const wchar_t* oldName, const wchar_t* newName);
// Sets the access and modification times; a null time sets both to now.
int _wutime64(const wchar_t* fileName, struct __utimbuf64* times);
// Opens a stream; the mode letters 'b', 't' and the runtime's other extensions are accepted.
FILE* _wfopen(const wchar_t* fileName, const wchar_t* mode);
// The descriptor of a stream; -1 with EINVAL for a null stream.
int _fileno(FILE* stream);

// Starts a search for the entries that match the last element of the pattern ('*' and '?'
// wildcards), "." and ".." included; -1 when the directory cannot be read or nothing matches.
intptr_t _wfindfirst64i32(const wchar_t* pattern, struct _wfinddata64i32_t* data);
int _wfindnext64i32(intptr_t handle, struct _wfinddata64i32_t* data);
int _findclose(intptr_t handle);
