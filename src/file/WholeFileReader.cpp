#include "file/WholeFileReader.h"

#include <algorithm>
#include <new>

#include "exception/KrelIOException.h"
#include "platform/WinBase.h"
#include "platform/WinCrtFile.h"
#include "platform/WinFile.h"

using krel_std::KrelIOException;

namespace krel_std_internal {

namespace {

// The most bytes one read asks for once the reported size is read.
const int64_t READ_CHUNK = int64_t(1) << 20;

enum class Kind { File, Pipe, Device };

[[noreturn]] void throwLogged(const wchar_t* context, const KrelIOException& exception) {
    KrelIOException copy(exception);
    copy.logDebug(context);
    throw copy;
}

[[noreturn]] void throwReadFailed(const wchar_t* context, int error) {
    throwLogged(context, KrelIOException(L"Read file failed.", error));
}

[[noreturn]] void throwDevice(const wchar_t* context) {
    throwLogged(context,
                KrelIOException(L"Read file failed: only files and pipes are read whole, not "
                                L"devices.",
                                ERROR_NOT_SUPPORTED));
}

[[noreturn]] void throwTooLong(const wchar_t* context) {
    throwLogged(context,
                KrelIOException(L"Read file failed: the content passes the limit of " +
                                    std::to_wstring(WholeFileReader::MAX_BYTES) + L" bytes.",
                                ERROR_NOT_ENOUGH_MEMORY));
}

Kind kindOfHandle(HANDLE file, const wchar_t* context) {
    switch (GetFileType(file)) {
    case FILE_TYPE_DISK:
        return Kind::File;
    case FILE_TYPE_PIPE:
        return Kind::Pipe;
    case FILE_TYPE_UNKNOWN:
        if (GetLastError() != ERROR_SUCCESS) {
            throwReadFailed(context, static_cast<int>(GetLastError()));
        }
        return Kind::Device;
    default:
        return Kind::Device;
    }
}

Kind kindOf(const struct _stat64i32& status) {
    switch (status.st_mode & _S_IFMT) {
    case _S_IFREG:
        return Kind::File;
    case _S_IFIFO:
        return Kind::Pipe;
    default:
        return Kind::Device;
    }
}

Kind kindOfDescriptor(int descriptor, const wchar_t* context) {
    struct _stat64i32 status {};
    if (_fstat64i32(descriptor, &status) != 0) {
        throwReadFailed(context, static_cast<int>(GetLastError()));
    }
    return kindOf(status);
}

// Reads to the end through readSome(target, count), which answers the number of bytes read,
// 0 at the end and -1 on failure (the reason in GetLastError()). The reported size only sizes
// the first read: asking one byte more than it tells in the same round whether it was true,
// and the storage reserved for it then holds the whole content.
template <typename ReadSome>
std::string readAll(Kind kind, int64_t reportedSize, ReadSome readSome, const wchar_t* context) {
    const int64_t limit = WholeFileReader::MAX_BYTES;
    if (kind == Kind::Device) {
        throwDevice(context);
    }
    if (reportedSize > limit) {
        throwTooLong(context);
    }
    const int64_t expected = std::max<int64_t>(reportedSize, 0);
    std::string bytes;
    try {
        bytes.reserve(static_cast<size_t>(expected + 1));
        for (;;) {
            const int64_t done = static_cast<int64_t>(bytes.size());
            if (done > limit) {
                throwTooLong(context);
            }
            const int64_t wanted = done <= expected ? expected - done + 1 : READ_CHUNK;
            const int64_t asked = std::min({wanted, READ_CHUNK, limit + 1 - done});
            bytes.resize(static_cast<size_t>(done + asked));
            const int64_t count =
                readSome(&bytes[static_cast<size_t>(done)], static_cast<uint32_t>(asked));
            if (count < 0) {
                throwReadFailed(context, static_cast<int>(GetLastError()));
            }
            bytes.resize(static_cast<size_t>(done + count));
            if (count == 0) {
                return bytes;
            }
        }
    } catch (const std::bad_alloc&) {
        throwReadFailed(context, ERROR_NOT_ENOUGH_MEMORY);
    }
}

} // namespace

std::string WholeFileReader::readHandle(HANDLE file, const wchar_t* context) {
    const Kind kind = kindOfHandle(file, context);
    LARGE_INTEGER size{};
    if (kind == Kind::File && !GetFileSizeEx(file, &size)) {
        throwReadFailed(context, static_cast<int>(GetLastError()));
    }
    return readAll(
        kind, size.QuadPart,
        [file](char* target, uint32_t count) -> int64_t {
            DWORD read = 0;
            return ReadFile(file, target, count, &read, nullptr) ? int64_t(read) : -1;
        },
        context);
}

std::string WholeFileReader::readDescriptor(int descriptor, const wchar_t* context) {
    const Kind kind = kindOfDescriptor(descriptor, context);
    const int64_t size = kind == Kind::File ? _filelengthi64(descriptor) : 0;
    if (size < 0) {
        throwReadFailed(context, static_cast<int>(GetLastError()));
    }
    return readAll(
        kind, size,
        [descriptor](char* target, uint32_t count) -> int64_t {
            return _read(descriptor, target, count);
        },
        context);
}

bool WholeFileReader::isDevice(int descriptor) {
    struct _stat64i32 status {};
    return _fstat64i32(descriptor, &status) == 0 && kindOf(status) == Kind::Device;
}

} // namespace krel_std_internal
