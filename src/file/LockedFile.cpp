#include "file/LockedFile.h"

#include "base/ByteArray.h"
#include "base/LogFunctionCall.h"
#include "file/File.h"
#include "windows/LockedFileImpl.h"

namespace krel_std {

LockedFile::LockedFile() : impl(new krel_std_internal::LockedFileImpl) {}

LockedFile::~LockedFile() {
    impl->close();
}

std::wstring LockedFile::toString() const {
    return L"LockedFile{accessType='" + accessTypeToString(getAccessType()) + L"'}";
}

bool LockedFile::isOpen() const {
    return impl->isOpen();
}

LockedFile::AccessType LockedFile::getAccessType() const {
    return impl->getAccessType();
}

void LockedFile::open(const File& file, AccessType accessType,
                      const boost::shared_ptr<Waitable>& waitObject) {
    KREL_TRACE_SCOPE_ARGS(L"krel_std::LockedFile::open", L"Begin. File <%ls> Access <%ls>.",
                          file.getPath().c_str(), accessTypeToString(accessType).c_str());
    close();
    impl->open(file.getCanonicalPath(), accessType, waitObject);
}

void LockedFile::close() {
    impl->close();
}

boost::shared_ptr<ByteArray> LockedFile::read() {
    KREL_TRACE_SCOPE(L"krel_std::LockedFile::read");
    return impl->read();
}

void LockedFile::write(const ByteArray& bytes) {
    KREL_TRACE_SCOPE(L"krel_std::LockedFile::write");
    impl->write(bytes);
}

void LockedFile::flush() {
    impl->flush();
}

std::wstring LockedFile::accessTypeToString(AccessType accessType) {
    switch (accessType) {
    case Read:
        return L"Read";
    case Overwrite:
        return L"Overwrite";
    case Append:
        return L"Append";
    }
    return L"";
}

} // namespace krel_std
