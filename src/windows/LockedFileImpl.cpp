#include "windows/LockedFileImpl.h"

#include <new>

#include "base/ByteArray.h"
#include "base/ErrorUtils.h"
#include "base/InternalTrace.h"
#include "base/KrelStdUtils.h"
#include "base/LogFunctionCall.h"
#include "exception/KrelIOException.h"
#include "exception/KrelIllegalStateException.h"
#include "exception/KrelInterruptedException.h"
#include "file/WholeFileReader.h"
#include "platform/WinBase.h"
#include "platform/WinFile.h"
#include "thread/Concurrency.h"
#include "thread/Waitable.h"

using krel_std::ByteArray;
using krel_std::ErrorUtils;
using krel_std::KrelIOException;
using krel_std::LockedFile;

namespace krel_std_internal {

namespace {

const long RETRY_INTERVAL_MS = 50;

template <typename Exception>
[[noreturn]] void throwLogged(const wchar_t* context, const Exception& exception) {
    Exception copy(exception);
    copy.logDebug(context);
    throw copy;
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
    const std::string bytes = WholeFileReader::readHandle(hFile, L"krel_std::LockedFileImpl::read");
    try {
        return boost::shared_ptr<ByteArray>(new ByteArray(bytes));
    } catch (const std::bad_alloc&) {
        throwLogged(L"krel_std::LockedFileImpl::read",
                    KrelIOException(L"Read file failed.", ERROR_NOT_ENOUGH_MEMORY));
    }
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
            KREL_INTERNAL_DEBUG(L"krel_std::LockedFileImpl::open", L"Error Creating File: %ls.",
                                ErrorUtils::getErrorDescription(static_cast<int>(error)).c_str());
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
