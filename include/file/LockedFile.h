// LockedFile, whole-file access under the system's share lock, across processes.
#pragma once

#include <boost/noncopyable.hpp>
#include <boost/shared_ptr.hpp>
#include <string>

#include "base/Object.h"

namespace krel_std_internal {
class LockedFileImpl;
} // namespace krel_std_internal

namespace krel_std {

class ByteArray;
class File;
class Waitable;

// Whole-file access under the system's share lock: any number of Read holders together, or
// one Overwrite or Append holder alone, in this process or in others. An open that finds the
// file held by someone else fails at once, or, given a wait object, retries every 50 ms until
// the file opens or the wait object is signalled. One object is meant for one thread at a
// time.
class LockedFile : public Object, private boost::noncopyable {
public:
    enum AccessType { Read = 0, Overwrite = 1, Append = 2 };

    // Closed, access type Read.
    LockedFile();
    // Closes the file.
    ~LockedFile() override;

    // "LockedFile{accessType='Read'}".
    std::wstring toString() const override;

    virtual bool isOpen() const;
    // The access type of the last successful open.
    virtual AccessType getAccessType() const;
    // Opens the file's canonical path: Read an existing file shared with readers, Overwrite an
    // emptied or new file alone, Append an existing or new file alone with the position at its
    // end. Throws KrelIOException "Unable to open or create file." and, when waitObject is
    // signalled during the retries, KrelInterruptedException.
    virtual void
    open(const File& file, AccessType accessType,
         const boost::shared_ptr<Waitable>& waitObject = boost::shared_ptr<Waitable>());
    // Does nothing when closed.
    virtual void close();
    // The bytes from the current position to the end of the file or pipe, whatever size it
    // reports. Throws KrelIOException: "Read file failed." with the error code when a read
    // fails; at once, before reading, for a device ("Read file failed: only files and pipes
    // are read whole, not devices.") and for a file that reports more than 1 GiB; and for a
    // pipe or growing file once the read passes 1 GiB ("Read file failed: the content passes
    // the limit of 1073741824 bytes.").
    virtual boost::shared_ptr<ByteArray> read();
    // Writes all the bytes at the current position.
    virtual void write(const ByteArray& bytes);
    virtual void flush();

private:
    static std::wstring accessTypeToString(AccessType accessType);

    boost::shared_ptr<krel_std_internal::LockedFileImpl> impl;
};

} // namespace krel_std
