#include "windows/LockedFileImpl.h"

#include "base/ByteArray.h"
#include "base/ErrorUtils.h"
#include "base/InternalTrace.h"
#include "base/KrelStdUtils.h"
#include "base/LogFunctionCall.h"
#include "exception/KrelIOException.h"
#include "exception/KrelIllegalStateException.h"
#include "exception/KrelInterruptedException.h"
#include "platform/WinBase.h"
#include "platform/WinFile.h"
#include "thread/Concurrency.h"
#include "thread/Waitable.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <new>
#include <vector>

using krel_std::ByteArray;
using krel_std::ErrorUtils;
using krel_std::KrelIOException;
using krel_std::LockedFile;

namespace krel_std_internal {

namespace {

const long RETRY_INTERVAL_MS = 50;
// The most bytes one ReadFile call is asked for.
const size_t READ_CHUNK = 1u << 20;
// The most bytes a byte array holds.
const size_t MAX_LENGTH = INT32_MAX;

template <typename Exception>
[[noreturn]] void throwLogged(const wchar_t* context, const Exception& exception) {
    Exception copy(exception);
    copy.logDebug(context);
    throw copy;
}

// Reads from the file position to the end of the file, whatever size the file reports: a file
// may shrink or grow while it is read, and some (those of /proc) report 0. `expected` only sizes
// the first read. More than a byte array holds is refused.
std::vector<char> readToEnd(HANDLE file, size_t expected) {
    std::vector<char> bytes;
    try {
        bytes.reserve(std::min<size_t>(expected, MAX_LENGTH) + 1);
        for (;;) {
            const size_t offset = bytes.size();
            if (offset > MAX_LENGTH) {
                throwLogged(L"krel_std::LockedFileImpl::read",
                            KrelIOException(L"Read file failed.", ERROR_NOT_ENOUGH_MEMORY));
            }
            // One byte more than the expected size, so that a true size ends in one round.
            const size_t wanted = offset < expected ? expected - offset + 1 : READ_CHUNK;
            const DWORD asked = static_cast<DWORD>(std::min<size_t>(wanted, READ_CHUNK));
            bytes.resize(offset + asked);
            DWORD count = 0;
            if (!ReadFile(file, bytes.data() + offset, asked, &count, nullptr)) {
                throwLogged(
                    L"krel_std::LockedFileImpl::read",
                    KrelIOException(L"Read file failed.", static_cast<int>(GetLastError())));
            }
            bytes.resize(offset + count);
            if (count < asked) {
                return bytes;
            }
        }
    } catch (const std::bad_alloc&) {
        throwLogged(L"krel_std::LockedFileImpl::read",
                    KrelIOException(L"Read file failed.", ERROR_NOT_ENOUGH_MEMORY));
    }
}

} // namespace

LockedFileImpl::LockedFileImpl() : hFile(INVALID_HANDLE_VALUE), accessType(LockedFile::Read) {}

LockedFileImpl::~LockedFileImpl() {
    close();
}

bool LockedFileImpl::isOpen() const {
    return hFile != INVALID_HANDLE_VALUE;
}

LockedFile::AccessType LockedFileImpl::getAccessType() const {
    return accessType;
}

void LockedFileImpl::open(const std::wstring& path, LockedFile::AccessType type,
                          const boost::shared_ptr<krel_std::Waitable>& waitable) {
    ErrorUtils::isEmptyEx(path, L"krel_std::LockedFileImpl::open", L"path");
    close();
    HANDLE handle = createFileRetrying(path, type, waitable);
    if (handle == INVALID_HANDLE_VALUE) {
        const int error = static_cast<int>(GetLastError());
        ErrorUtils::isEqual(handle, INVALID_HANDLE_VALUE, L"krel_std::LockedFileImpl::open",
                            L"hFile");
        // The message stays as callers know it; the cause tells which file and why.
        throwLogged(L"krel_std::LockedFileImpl::open",
                    KrelIOException(
                        L"Unable to open or create file.",
                        KrelIOException(
                            path + L": " + ErrorUtils::getWindowsErrorDescription(error), error)));
    }
    if (type == LockedFile::Append) {
        SetFilePointer(handle, 0, nullptr, FILE_END);
    }
    hFile = handle;
    accessType = type;
}

void LockedFileImpl::close() {
    if (isOpen()) {
        CloseHandle(hFile);
        hFile = INVALID_HANDLE_VALUE;
    }
}

boost::shared_ptr<ByteArray> LockedFileImpl::read() {
    assertOpen(L"krel_std::LockedFileImpl::read");
    LARGE_INTEGER size;
    if (!GetFileSizeEx(hFile, &size)) {
        throwLogged(L"krel_std::LockedFileImpl::read",
                    KrelIOException(L"Read file failed.", static_cast<int>(GetLastError())));
    }
    const std::vector<char> bytes =
        readToEnd(hFile, static_cast<size_t>(std::max<LONGLONG>(size.QuadPart, 0)));
    if (bytes.empty()) {
        return boost::shared_ptr<ByteArray>(new ByteArray());
    }
    return boost::shared_ptr<ByteArray>(
        new ByteArray(bytes.data(), static_cast<long>(bytes.size())));
}

void LockedFileImpl::write(const ByteArray& data) {
    assertOpen(L"krel_std::LockedFileImpl::write");
    const DWORD asked = static_cast<DWORD>(data.getLength());
    DWORD written = 0;
    if (!WriteFile(hFile, data.getArray().get(), asked, &written, nullptr)) {
        throwLogged(L"krel_std::LockedFileImpl::write",
                    KrelIOException(L"Write file failed.", static_cast<int>(GetLastError())));
    }
    if (written != asked) {
        throwLogged(L"krel_std::LockedFileImpl::write",
                    KrelIOException(KrelStd::sprintfString(
                        L"Write failed, wrote %d bytes instead of %d bytes.",
                        static_cast<int>(written), static_cast<int>(asked))));
    }
}

void LockedFileImpl::flush() {
    assertOpen(L"krel_std::LockedFileImpl::flush");
    if (!FlushFileBuffers(hFile)) {
        throwLogged(L"krel_std::LockedFileImpl::flush",
                    KrelIOException(L"Unable to flush locked file: " +
                                    ErrorUtils::getLastErrorDescription()));
    }
}

HANDLE LockedFileImpl::createFile(const std::wstring& path, LockedFile::AccessType type) {
    switch (type) {
    case LockedFile::Read:
        return CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    case LockedFile::Overwrite:
        return CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    case LockedFile::Append:
        return CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
}

HANDLE LockedFileImpl::createFileRetrying(const std::wstring& path, LockedFile::AccessType type,
                                          const boost::shared_ptr<krel_std::Waitable>& waitable) {
    for (;;) {
        HANDLE handle = createFile(path, type);
        if (handle != INVALID_HANDLE_VALUE || !waitable) {
            return handle;
        }
        const DWORD error = GetLastError();
        if (error != ERROR_SHARING_VIOLATION) {
            if (krel_std::__internal_debug_on()) {
                krel_std::__internal_debug(
                    L"krel_std::LockedFileImpl::open", KREL_SOURCE_FILE, __LINE__,
                    L"Error Creating File: %ls.",
                    ErrorUtils::getErrorDescription(static_cast<int>(error)).c_str());
            }
            return handle;
        }
        // The retries have no bound of their own: the caller ends them through its waitable.
        if (krel_std::Concurrency::waitForSingleObject(*waitable, RETRY_INTERVAL_MS) == 0) {
            throwLogged(L"krel_std::LockedFileImpl::open",
                        krel_std::KrelInterruptedException(
                            L"Wait object was signaled before file could be opened."));
        }
    }
}

void LockedFileImpl::assertOpen(const wchar_t* context) const {
    if (!isOpen()) {
        throwLogged(context, krel_std::KrelIllegalStateException(L"LockedFile is not open."));
    }
}

} // namespace krel_std_internal
