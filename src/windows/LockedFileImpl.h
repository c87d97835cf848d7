#pragma once

#include <boost/shared_ptr.hpp>
#include <string>

#include "file/LockedFile.h"
#include "platform/WinTypes.h"

namespace krel_std {
class ByteArray;
class Waitable;
} // namespace krel_std

namespace krel_std_internal {

// The Windows side of LockedFile: one file handle whose share mode keeps other holders out,
// and whole-file reads and writes on it.
class LockedFileImpl {
public:
    LockedFileImpl();
    LockedFileImpl(const LockedFileImpl&) = delete;
    LockedFileImpl& operator=(const LockedFileImpl&) = delete;
    virtual ~LockedFileImpl();

    bool isOpen() const;
    krel_std::LockedFile::AccessType getAccessType() const;
    void open(const std::wstring& path, krel_std::LockedFile::AccessType type,
              const boost::shared_ptr<krel_std::Waitable>& waitable);
    void close();
    boost::shared_ptr<krel_std::ByteArray> read();
    void write(const krel_std::ByteArray& data);
    void flush();

private:
    // One CreateFileW call with the access, sharing and creation of the access type.
    static HANDLE createFile(const std::wstring& path, krel_std::LockedFile::AccessType type);
    // Calls createFile until it succeeds, fails otherwise than by a sharing violation, or the
    // waitable is signalled (KrelInterruptedException). Without a waitable, one call.
    static HANDLE createFileRetrying(const std::wstring& path,
                                     krel_std::LockedFile::AccessType type,
                                     const boost::shared_ptr<krel_std::Waitable>& waitable);
    void assertOpen(const wchar_t* context) const;

    HANDLE hFile;
    krel_std::LockedFile::AccessType accessType;
};

} // namespace krel_std_internal
