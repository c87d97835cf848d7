#include "file/RollingFile.h"

#include <algorithm>
#include <string>

#include "base/ErrorUtils.h"
#include "base/InternalTrace.h"
#include "base/LogFunctionCall.h"
#include "exception/KrelIOException.h"
#include "exception/KrelIllegalArgumentException.h"
#include "exception/KrelIllegalStateException.h"
#include "file/RollingIndexFile.h"
#include "log/RollingFileHeader.h"
#include "platform/WinBase.h"
#include "platform/WinCrtFile.h"
#include "thread/AutoLock.h"

namespace krel_std {

using krel_std_internal::RollingIndexFile;

namespace {

const uint32_t LARGEST_MAXIMUM_SIZE = 0x7FFFFFFFu;
// Below this share of the limit a writer trusts its own count of the file's size.
const double NEAR_FULL_RATIO = 0.95;
// Above NEAR_FULL_RATIO the size is read from the system again every
// RECHECK_WRITES_NEAR_FULL / ratio^4 writes, the ratio being size / limit: the fourth power makes
// the interval fall steeply as the file fills, from 2 writes at 95% of the limit to every write
// from 99.9% on. The factor is just under 2 so that the interval truncates to 1 before the limit.
const double RECHECK_WRITES_NEAR_FULL = 1.992;
// How often a writer looks for changes made to its file by other writers.
const uint64_t SHARED_CHECK_MILLISECONDS = 1000;
// Until a writer has seen another writer's bytes, it asks for its file's end after this many
// writes; from then on after every write. Asking costs a system call, as much as the write
// itself where calls are dear.
const uint32_t END_CHECK_WRITES = 32;
const int OPEN_NEW_FLAGS = _O_RDWR | _O_APPEND | _O_CREAT;
const int OPEN_EXISTING_FLAGS = _O_RDWR | _O_APPEND;
const int OPEN_PERMISSIONS = _S_IREAD | _S_IWRITE;

// A file length as the 32-bit size: lengths beyond it count as the largest size, and a
// negative one (none a file can have) as 0.
uint32_t sizeOf(int64_t length) {
    return static_cast<uint32_t>(std::max<int64_t>(0, std::min<int64_t>(length, UINT32_MAX)));
}

// The writes after which the size is read again, at `ratio` of the limit (from
// NEAR_FULL_RATIO up).
int32_t writesBetweenSizeChecks(double ratio) {
    const double squared = ratio * ratio;
    return static_cast<int32_t>(RECHECK_WRITES_NEAR_FULL / (squared * squared));
}

} // namespace

// Publishes whether a write may succeed once the outermost operation ends, however it ends,
// for isOpenForWriting to read without the lock. The states in between (a roll-over's closed
// file) are never published.
class RollingFile::WritableNote {
public:
    explicit WritableNote(RollingFile& file) : file(file) { ++file.operationDepth; }
    ~WritableNote() {
        if (--file.operationDepth == 0) {
            file.writable.store(file.descriptor.isValid() || file.reopenPending,
                                std::memory_order_release);
        }
    }
    WritableNote(const WritableNote&) = delete;
    WritableNote& operator=(const WritableNote&) = delete;

private:
    RollingFile& file;
};

namespace {

std::wstring paddedIndex(uint32_t index) {
    std::wstring digits = std::to_wstring(index);
    if (digits.size() < 4) {
        digits.insert(0, 4 - digits.size(), L'0');
    }
    return digits;
}

} // namespace

RollingFile::RollingFile()
    : maximumSize(0), maximumFiles(0), index(0), rolloverCount(0), size(0), writeCount(0),
      reopenPending(false), nextSharedCheck(0), othersSeen(false), writesSinceEndCheck(0),
      operationDepth(0), writable(false) {}

RollingFile::~RollingFile() = default;

std::wstring RollingFile::toString() const {
    AutoLock<Lock> guard(lock);
    return L"RollingFile{path='" + directory.getPath() + L"/" + baseName + extension + L"'" +
           L",index='" + std::to_wstring(index) + L"'" + L",maxSize='" +
           std::to_wstring(maximumSize) + L"'" + L",maxFiles='" + std::to_wstring(maximumFiles) +
           L"'}";
}

void RollingFile::setFilePath(const File& file) {
    AutoLock<Lock> guard(lock);
    const WritableNote note(*this);
    const std::wstring name = file.getName();
    const size_t dot = name.find_last_of(L'.');
    if (file.isDirectory() || dot == std::wstring::npos) {
        throw KrelIllegalArgumentException(L"Invalid value for filename.");
    }
    close();
    directory = file.getParentFile();
    baseName = name.substr(0, dot);
    extension = name.substr(dot);
    index = 0;
    othersSeen = false;
    updateIndex();
}

std::wstring RollingFile::getFilePath() const {
    AutoLock<Lock> guard(lock);
    const std::wstring directoryPath = directory.getPath();
    if (directoryPath.empty() || baseName.empty() || extension.empty()) {
        return std::wstring();
    }
    const wchar_t* separator = directoryPath.back() == L'/' ? L"" : L"/";
    return directoryPath + separator + baseName + paddedIndex(index) + extension;
}

std::wstring RollingFile::getIndexFile() const {
    return File(directory, baseName + L"_" + extension.substr(1) + L".idx").getPath();
}

void RollingFile::open() {
    AutoLock<Lock> guard(lock);
    const WritableNote note(*this);
    reopenPending = false;
    openCurrent();
}

void RollingFile::openCurrent() {
    size = 0;
    std::wstring path = getFilePath();
    if (path.empty()) {
        throw KrelIOException(L"Current path is invalid or has not been set.");
    }
    // A full file that another writer started is left to them and to the wrap-around: this
    // writer moves on, and advances the index itself once it is the latest.
    for (uint32_t moves = 0; isFull(File(path)); ++moves) {
        if (moves > std::max<uint32_t>(maximumFiles, 1)) {
            throw KrelIOException(L"File is already at maximum size, and cannot be removed.");
        }
        updateIndex();
        path = getFilePath();
    }
    const bool exists = File(path).exists();
    int opened =
        _wopen(path.c_str(), exists ? OPEN_EXISTING_FLAGS : OPEN_NEW_FLAGS, OPEN_PERMISSIONS);
    if (opened < 0 && exists) {
        // Removed since it was seen (a wrap-around by another writer): start it anew.
        opened = _wopen(path.c_str(), OPEN_NEW_FLAGS, OPEN_PERMISSIONS);
    }
    if (opened < 0) {
        throw KrelIOException(L"Unable to open file: " + ErrorUtils::getLastErrorDescription());
    }
    descriptor = opened;
    nextSharedCheck = GetTickCount64() + SHARED_CHECK_MILLISECONDS;
    updateSize();
    writeHeaders();
}

void RollingFile::close() {
    AutoLock<Lock> guard(lock);
    const WritableNote note(*this);
    reopenPending = false;
    descriptor.close();
}

bool RollingFile::isOpen() const {
    AutoLock<Lock> guard(lock);
    return descriptor.isValid();
}

bool RollingFile::isOpenForWriting() const {
    return writable.load(std::memory_order_acquire);
}

unsigned long RollingFile::write(const char* buffer, unsigned long offset, unsigned long count) {
    AutoLock<Lock> guard(lock);
    const WritableNote note(*this);
    if (!descriptor.isValid()) {
        if (!reopenPending) {
            throw KrelIllegalStateException(L"File must be open first.");
        }
        try {
            openCurrent();
            reopenPending = false;
        } catch (const KrelException& e) {
            throw KrelIllegalStateException(L"File must be open first.", e);
        }
    }
    if (count > maximumSize) {
        throw KrelIllegalArgumentException(L"Number of bytes to write <" + std::to_wstring(count) +
                                           L"> exceeds maximum file size <" +
                                           std::to_wstring(maximumSize) + L">.");
    }
    if (buffer == nullptr) {
        throw KrelIllegalArgumentException(L"Buffer cannot be null.");
    }
    rolloverIfNecessary(count);
    append(buffer + offset, static_cast<uint32_t>(count));
    ++writeCount;
    return count;
}

void RollingFile::append(const char* bytes, uint32_t count) {
    const int written = _write(descriptor.get(), bytes, count);
    if (written == -1) {
        throw KrelIOException(L"Unable to write file: " + ErrorUtils::getLastErrorDescription());
    }
    const int64_t ownEnd = static_cast<int64_t>(size) + written;
    if (static_cast<uint32_t>(written) == count && !isEndCheckDue()) {
        size = sizeOf(ownEnd);
        return;
    }
    const int64_t end = _telli64(descriptor.get());
    othersSeen = othersSeen || (end >= 0 && end != ownEnd);
    size = sizeOf(end < 0 ? ownEnd : end);
    if (static_cast<uint32_t>(written) < count) {
        takeBack(end, static_cast<uint32_t>(written));
        SetLastError(ERROR_DISK_FULL);
        throw KrelIOException(L"Unable to write file: " + ErrorUtils::getLastErrorDescription());
    }
}

bool RollingFile::isEndCheckDue() {
    if (!othersSeen && ++writesSinceEndCheck < END_CHECK_WRITES) {
        return false;
    }
    writesSinceEndCheck = 0;
    return true;
}

void RollingFile::takeBack(int64_t end, uint32_t written) {
    // Bytes that another writer appended after the piece would be cut with it: the piece then
    // stays, as it could not be taken back without losing theirs.
    if (written == 0 || end < written || _filelengthi64(descriptor.get()) != end) {
        return;
    }
    if (_chsize_s(descriptor.get(), end - written) == 0) {
        size = sizeOf(end - written);
    }
}

void RollingFile::setMaximumSize(unsigned long newMaximumSize) {
    AutoLock<Lock> guard(lock);
    const WritableNote note(*this);
    maximumSize = newMaximumSize > LARGEST_MAXIMUM_SIZE ? LARGEST_MAXIMUM_SIZE
                                                        : static_cast<uint32_t>(newMaximumSize);
    if (maximumSize != 0 && descriptor.isValid()) {
        rolloverIfNecessary(0);
    }
}

unsigned long RollingFile::getMaximumSize() const {
    AutoLock<Lock> guard(lock);
    return maximumSize;
}

void RollingFile::setMaximumFiles(unsigned long newMaximumFiles) {
    AutoLock<Lock> guard(lock);
    maximumFiles = static_cast<uint32_t>(std::min<unsigned long>(newMaximumFiles, UINT32_MAX));
}

unsigned long RollingFile::getMaximumFiles() const {
    AutoLock<Lock> guard(lock);
    return maximumFiles;
}

void RollingFile::addHeader(const boost::shared_ptr<RollingFileHeader>& header) {
    AutoLock<Lock> guard(lock);
    if (header && std::find(headers.begin(), headers.end(), header) == headers.end()) {
        headers.push_back(header);
    }
}

void RollingFile::removeHeader(const boost::shared_ptr<RollingFileHeader>& header) {
    AutoLock<Lock> guard(lock);
    headers.erase(std::remove(headers.begin(), headers.end(), header), headers.end());
}

bool RollingFile::hasHeader(const boost::shared_ptr<RollingFileHeader>& header) const {
    AutoLock<Lock> guard(lock);
    return header && std::find(headers.begin(), headers.end(), header) != headers.end();
}

void RollingFile::updateIndex() {
    RollingIndexFile indexFile{File(getIndexFile())};
    const RollingIndexFile::State state = indexFile.lock();
    if (state == RollingIndexFile::Unreadable) {
        // Without the index file this writer cannot learn where the others are: it moves on
        // by itself, and replaces nothing.
        KREL_INTERNAL_DEBUG(L"krel_std::RollingFile::updateIndex",
                            L"Unable to read index file <%ls>; continuing with index <%u>.",
                            getIndexFile().c_str(), nextIndex());
        index = nextIndex();
        return;
    }
    const long stored = state == RollingIndexFile::Present ? indexFile.getStoredIndex() : 0;
    const uint64_t storedRollover =
        state == RollingIndexFile::Present ? indexFile.getStoredRollover() : 0;
    if (stored > 0 &&
        (static_cast<unsigned long>(stored) != index || storedRollover != rolloverCount)) {
        // Another writer moved the index since this one last did.
        othersSeen = othersSeen || index != 0;
        index = static_cast<uint32_t>(stored);
        rolloverCount = storedRollover;
        return;
    }
    // The index file holds what this writer last read or recorded: no writer has begun a file
    // since, so the file at the next index was begun on an earlier lap of the ring.
    const bool earlierLap = stored > 0;
    index = nextIndex();
    rolloverCount = earlierLap ? storedRollover % UINT64_MAX + 1 : storedRollover;
    removeReplacedFile(earlierLap);
    try {
        indexFile.save(index, rolloverCount);
    } catch (const KrelException& e) {
        // The other writers follow later, when they find this writer's file full.
        KREL_INTERNAL_DEBUG(L"krel_std::RollingFile::updateIndex",
                            L"Caught KrelException saving index file : %ls",
                            e.getMessage().c_str());
    }
}

uint32_t RollingFile::nextIndex() const {
    if (index == 0) {
        return 1;
    }
    return static_cast<uint64_t>(index) + 1 > maximumFiles ? 1 : index + 1;
}

bool RollingFile::isFull(const File& file) const {
    if (maximumSize == 0 || !file.isFile()) {
        return false;
    }
    const uint64_t length = file.getLength();
    return length >= maximumSize || length > UINT32_MAX;
}

void RollingFile::removeReplacedFile(bool ofEarlierLap) {
    const File current(getFilePath());
    if ((ofEarlierLap && current.isFile()) || isFull(current)) {
        current.remove();
    }
}

void RollingFile::updateSize() {
    if (size != 0 && static_cast<double>(size) <= NEAR_FULL_RATIO * maximumSize) {
        return;
    }
    int32_t threshold = 0;
    if (size != 0) {
        threshold =
            writesBetweenSizeChecks(static_cast<double>(size) / static_cast<double>(maximumSize));
    }
    if (writeCount >= threshold) {
        readSize();
        writeCount = 0;
    }
}

void RollingFile::readSize() {
    struct _stat64i32 status {};
    if (descriptor.isValid() && _fstat64i32(descriptor.get(), &status) == 0) {
        size = sizeOf(status.st_size);
    }
}

bool RollingFile::isFileRemovedByOthers() {
    const uint64_t now = GetTickCount64();
    if (now < nextSharedCheck) {
        return false;
    }
    nextSharedCheck = now + SHARED_CHECK_MILLISECONDS;
    struct _stat64i32 status {};
    if (_fstat64i32(descriptor.get(), &status) != 0) {
        return false;
    }
    if (status.st_nlink == 0) {
        return true;
    }
    const uint32_t systemSize = sizeOf(status.st_size);
    othersSeen = othersSeen || systemSize != size;
    if (systemSize >= maximumSize) {
        size = systemSize;
    }
    return false;
}

void RollingFile::rolloverIfNecessary(unsigned long count) {
    if (maximumSize == 0) {
        return;
    }
    if (isFileRemovedByOthers()) {
        rollover();
        return;
    }
    updateSize();
    if (static_cast<uint64_t>(size) + count <= maximumSize) {
        return;
    }
    if (size < maximumSize) {
        // Fills from the file's real end, which other writers may have moved since this
        // writer's last write.
        readSize();
    }
    if (size < maximumSize) {
        const std::string blanks(maximumSize - size, ' ');
        try {
            write(blanks.data(), 0, static_cast<unsigned long>(blanks.size()));
        } catch (const KrelException& e) {
            throw KrelIOException(L"Unable to pad rolling file.", e);
        }
    }
    rollover();
}

void RollingFile::rollover() {
    close();
    updateIndex();
    try {
        openCurrent();
    } catch (...) {
        reopenPending = true;
        throw;
    }
}

void RollingFile::writeHeaders() {
    // A copy: a header may add or remove headers while it writes.
    const HeaderList current = headers;
    for (const boost::shared_ptr<RollingFileHeader>& header : current) {
        header->callWriteHeader(*this);
    }
}

} // namespace krel_std
