// The index file beside a rolling file set, read and rewritten by one writer at a time.
#pragma once

#include <boost/noncopyable.hpp>
#include <boost/shared_ptr.hpp>
#include <cstdint>
#include <string>

#include "file/File.h"
#include "platform/WinTypes.h"

namespace krel_std {
class Configuration;
} // namespace krel_std

namespace krel_std_internal {

// One read-modify-write of a rolling file set's index file, an INI file whose unnamed section
// holds "IndexOfLastLog" and, once a writer has moved on from a file it found recorded there,
// "RolloverOfLastLog": how many times writers moved the index on that way. Other keys are kept
// as they are. The writers of the set, in this process and in others, take turns:
// lock() holds the file exclusively (its share lock, an open-file-description lock) until the
// object is destroyed or save() puts the new content in place.
//
// save() writes a new file beside the old one and renames it over it, so the file always
// holds a whole index; a writer waiting for the lock then finds the new file at the path and
// locks that one instead.
class RollingIndexFile : private boost::noncopyable {
public:
    enum State {
        // Locked; the file is new, empty or holds no readable configuration.
        Absent,
        // Locked; the content was read.
        Present,
        // The lock could not be taken within the wait, or the file could not be read.
        Unreadable
    };

    // How long lock() waits for the other writers before the file counts as unreadable.
    static const unsigned int LOCK_WAIT_MILLISECONDS = 5000;
    static constexpr const wchar_t* INDEX_KEY = L"IndexOfLastLog";
    static constexpr const wchar_t* ROLLOVER_KEY = L"RolloverOfLastLog";
    static constexpr const wchar_t* COMMENT = L"#KrelLog - DO NOT EDIT";

    explicit RollingIndexFile(const krel_std::File& path);
    ~RollingIndexFile();

    // Takes the lock, creating the file (and its directory) when missing, and reads it.
    State lock();
    // The stored index, read as a decimal integer: leading blanks and a sign are accepted,
    // trailing text is ignored; a missing key or an unreadable value gives 1.
    long getStoredIndex() const;
    // The stored roll-over count, read as an unsigned decimal integer; a missing key or an
    // unreadable value gives 0.
    uint64_t getStoredRollover() const;
    // Puts the new index and roll-over count in place and releases the lock; a count of 0 is
    // not written. Throws KrelIOException when the file cannot be written; it then keeps its
    // earlier content.
    void save(unsigned long index, uint64_t rollover);

private:
    // One attempt to open the file alone; false when another holder keeps it.
    bool tryOpen(const std::wstring& target, DWORD& error);
    bool readContent();
    void release();

    krel_std::File path;
    HANDLE handle;
    boost::shared_ptr<krel_std::Configuration> content;
};

} // namespace krel_std_internal
