// Replacing the content of a file in one atomic step, and the identity check that keeps a
// whole-file lock meaningful while files are replaced under it.
//
// The new content goes to a temporary file of its own beside the target, created new (never
// an existing name, never through a link) under a hidden name ".<name>.<random>.tmp", with the
// target's permission bits; it is flushed to the disk and renamed over the target, and the
// directory is synced. A reader of the target sees the old or the new content in full, never
// a missing, empty or partly written file. Temporaries of that name that a saver killed
// mid-way left beside the target are removed by a later replacement of the same target once
// they are older than STALE_TEMPORARY_AGE_SECONDS. A symbolic link at the target is resolved as
// resolveLinks tells (a link that another account may have planted is refused): the file it
// names gets the new content and the link stays. A target that is not a regular file (a FIFO, a
// device) cannot be replaced and is written in place.
#pragma once

#include <cstddef>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>

namespace krel_platform {

// True when the descriptor is still the file at the path (same device and inode). A file
// locked through a descriptor may have been replaced by a rename between the open and the
// lock: the lock then guards a file that nobody can reach any more.
bool isFileAtPath(int descriptor, const std::string& nativePath);

// The path that the chain of symbolic links at path ends in (path itself when it is no link);
// the end may be missing. A link is followed only when its owner is the caller (the effective
// user) or the owner of the directory that holds it, at every step of the chain: any other
// account that may write the directory could have put it there to send a writer's bytes into a
// file of its choosing. False with errno set when a link is refused so (EACCES), cannot be read
// or the chain is too long (ELOOP).
bool resolveLinks(const std::string& nativePath, std::string& resolved);

// Where an open with the open(2) flags opens the file at path. An open that may write, create
// or truncate opens the end of the chain of links that resolveLinks approves, with O_NOFOLLOW
// added so that a link put at that name meanwhile is not followed either; other opens keep the
// path. False with errno set as resolveLinks sets it.
bool resolveForOpen(const std::string& nativePath, int& flags, std::string& openPath);

// open(2) of the path with the flags and mode, at the place that resolveForOpen tells. -1 with
// errno set on failure.
int openResolved(const std::string& nativePath, int flags, mode_t mode);

// The bytes that the name of a replacement's temporary adds to its target's name: ".", ".",
// 16 random digits and ".tmp". The temporary's path is the longest path a replacement uses.
const size_t TEMPORARY_NAME_EXTRA_BYTES = 2 + 16 + 4;

// A temporary of the hidden name whose last change is this old belongs to no live saver (a
// saver changes its temporary as it writes it) and is removed by the next replacement.
const long STALE_TEMPORARY_AGE_SECONDS = 10 * 60;

// One replacement of a file's content: begin, write, commit. Failures answer false and set the
// calling thread's last Windows error; whatever failed, the target keeps its old content and
// the temporary file is removed. Destroying an uncommitted replacement abandons it.
class FileReplacement {
public:
    enum Locking {
        // Other holders are not consulted.
        Unlocked,
        // The exclusive share lock of the file at the target is held from begin to the end of
        // commit: a holder of that lock (a reader included) makes begin fail with
        // ERROR_SHARING_VIOLATION, and a new file never replaces one that another process
        // created meanwhile without its lock.
        Exclusive
    };

    FileReplacement();
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;
    ~FileReplacement();

    // Resolves the target's links, takes the lock that locking asks for, removes the stale
    // temporaries of the target and creates the temporary file. newFileMode gives the permission
    // bits of a target that does not exist yet (the process's umask applies); an existing target
    // keeps its own, and one that the caller may not write is refused (ERROR_ACCESS_DENIED), as is
    // a directory.
    bool begin(const std::wstring& target, Locking locking, mode_t newFileMode = 0666);
    // Names the temporary files of the following begins after a mkstemp pattern in the
    // target's directory ("cfgXXXXXX": the six X made unique) instead of the hidden name. The
    // file is created new all the same and given the same permission bits.
    void setTemporaryPattern(const std::string& pattern);
    // Writes all the bytes after the ones written before.
    bool write(const void* bytes, size_t count);
    // Flushes the bytes and puts them in place of the target.
    bool commit();
    // Removes the temporary file and releases the lock; the target stays as it was.
    void abandon();

private:
    bool createTemporary(mode_t mode, const struct stat* existing);
    bool createFromPattern(const std::string& directory, mode_t mode, const struct stat* existing);
    bool adoptTemporary(int descriptor, const std::string& name, const struct stat* existing);
    // noFollow is O_NOFOLLOW, or 0 for a link that only the kernel can follow.
    bool beginInPlace(Locking locking, int noFollow);
    bool lockTarget();
    bool putInPlace();
    void releaseLock();
    void removeStaleTemporaries() const;

    std::string target;
    std::string temporary;
    std::string temporaryPattern;
    int output;
    int lock;
    bool inPlace;
    bool existed;
    Locking locking;
};

// The exclusive lock of a read-modify-write of one file, across processes and threads: held
// from before the file is read until its replacement is in place, so no other update of the
// file comes in between. It is not a lock on the target, whose file each replacement swaps for
// a new one and whose own share lock its readers and FileReplacement take, but on a side file
// ".<name>.lock" beside it (links at the target resolved first), made when missing and left in
// place. Every updater of the file must take it, and only an account that may write the file
// can: the side file is refused to others, and its mode lets only the target's writers open it
// (read and write for each class that may write the target: 0600 beside a 0644 target, 0660
// beside a 0664 one), since any descriptor of it could hold the lock.
class FileUpdateLock {
public:
    FileUpdateLock();
    FileUpdateLock(const FileUpdateLock&) = delete;
    FileUpdateLock& operator=(const FileUpdateLock&) = delete;
    // Releases a lock still held.
    ~FileUpdateLock();

    // Takes the lock of the target without waiting. A side file made now gets the owner, group
    // and mode that fit the target's; an older one of another mode is given them when its owner
    // (or a privileged caller) takes it, unless its owner and group cannot be the target's.
    // False with the calling thread's last Windows error set when it fails:
    // ERROR_SHARING_VIOLATION while another holder has it, ERROR_ACCESS_DENIED when the caller
    // may not write the target, an error of the file system when the side file cannot be made
    // or opened (a missing directory included).
    bool acquire(const std::wstring& target);
    void release();

private:
    int descriptor;
};

} // namespace krel_platform
