#include "file/RollingIndexFile.h"

#include <sstream>
#include <vector>

#include "base/ByteArray.h"
#include "base/ErrorUtils.h"
#include "config/Configuration.h"
#include "config/ConfigurationElement.h"
#include "config/IniConfigurationSerializer.h"
#include "exception/KrelException.h"
#include "exception/KrelIOException.h"
#include "platform/FileReplacement.h"
#include "platform/WinBase.h"
#include "platform/WinFile.h"
#include "platform/WinHandles.h"

namespace krel_std_internal {

using krel_std::ByteArray;
using krel_std::Configuration;
using krel_std::ConfigurationElement;
using krel_std::IniConfigurationSerializer;
using krel_std::KrelException;
using krel_std::KrelIOException;

namespace {

// The longest pause between two attempts to take the lock.
const DWORD MAX_RETRY_PAUSE_MILLISECONDS = 16;
// An index file is a few dozen bytes; anything far larger is not one.
const DWORD MAX_INDEX_FILE_BYTES = 64 * 1024;

IniConfigurationSerializer& serializer() {
    static IniConfigurationSerializer& shared = *new IniConfigurationSerializer();
    return shared;
}

boost::shared_ptr<Configuration> newContent() {
    boost::shared_ptr<Configuration> configuration(new Configuration());
    configuration->appendElement(ConfigurationElement(RollingIndexFile::COMMENT));
    return configuration;
}

} // namespace

RollingIndexFile::RollingIndexFile(const krel_std::File& path)
    : path(path), handle(INVALID_HANDLE_VALUE) {}

RollingIndexFile::~RollingIndexFile() {
    release();
}

RollingIndexFile::State RollingIndexFile::lock() {
    release();
    const std::wstring target = path.getCanonicalPath();
    const ULONGLONG deadline = GetTickCount64() + LOCK_WAIT_MILLISECONDS;
    DWORD pause = 1;
    bool madeDirectories = false;
    for (;;) {
        DWORD error = ERROR_SUCCESS;
        if (tryOpen(target, error)) {
            break;
        }
        const bool missingDirectory =
            error == ERROR_PATH_NOT_FOUND || error == ERROR_FILE_NOT_FOUND;
        if (missingDirectory && !madeDirectories) {
            // The set's directory is made with its index file, as a save of a configuration
            // file makes the directories it needs.
            madeDirectories = true;
            path.getCanonicalFile().getParentFile().mkdirs();
            continue;
        }
        // Another writer holds the file for the few steps of its own update: wait for it.
        if (error != ERROR_SHARING_VIOLATION || GetTickCount64() >= deadline) {
            return Unreadable;
        }
        Sleep(pause);
        pause = pause < MAX_RETRY_PAUSE_MILLISECONDS ? pause * 2 : pause;
    }
    if (!readContent()) {
        release();
        return Unreadable;
    }
    return content ? Present : Absent;
}

bool RollingIndexFile::tryOpen(const std::wstring& target, DWORD& error) {
    handle = CreateFileW(target.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error = GetLastError();
        return false;
    }
    return true;
}

bool RollingIndexFile::readContent() {
    content.reset();
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(handle, &size)) {
        return false;
    }
    if (size.QuadPart > MAX_INDEX_FILE_BYTES) {
        return true;
    }
    const DWORD length = static_cast<DWORD>(size.QuadPart);
    std::vector<char> bytes(length);
    DWORD read = 0;
    if (length > 0 && !ReadFile(handle, bytes.data(), length, &read, nullptr)) {
        return false;
    }
    if (read == 0) {
        return true;
    }
    try {
        content = serializer().deserialize(ByteArray(bytes.data(), static_cast<long>(read)));
    } catch (const KrelException&) {
        // Unusable content is rewritten as a new index file.
        content.reset();
    }
    return true;
}

long RollingIndexFile::getStoredIndex() const {
    if (!content || !content->containsKey(INDEX_KEY)) {
        return 1;
    }
    std::wistringstream stream(content->getValue(INDEX_KEY));
    int value = 0;
    stream >> value;
    return stream.fail() ? 1 : value;
}

uint64_t RollingIndexFile::getStoredRollover() const {
    if (!content || !content->containsKey(ROLLOVER_KEY)) {
        return 0;
    }
    std::wistringstream stream(content->getValue(ROLLOVER_KEY));
    unsigned long long value = 0;
    stream >> value;
    return stream.fail() ? 0 : value;
}

void RollingIndexFile::save(unsigned long index, uint64_t rollover) {
    if (!content) {
        content = newContent();
    }
    content->setValue(INDEX_KEY, std::to_wstring(index));
    if (rollover != 0) {
        content->setValue(ROLLOVER_KEY, std::to_wstring(rollover));
    }
    const boost::shared_ptr<ByteArray> bytes = serializer().serialize(*content);
    // This writer already holds the lock of the file it replaces: the replacement itself
    // takes none. Writers waiting for the lock find the new file once it is in place.
    krel_platform::FileReplacement replacement;
    const std::wstring target = path.getCanonicalPath();
    const bool saved =
        replacement.begin(target, krel_platform::FileReplacement::Unlocked) &&
        replacement.write(bytes->getArray().get(), static_cast<size_t>(bytes->getLength())) &&
        replacement.commit();
    const int error = static_cast<int>(GetLastError());
    release();
    if (!saved) {
        throw KrelIOException(L"Unable to save index file: " + target + L": " +
                                  krel_std::ErrorUtils::getWindowsErrorDescription(error),
                              error);
    }
}

void RollingIndexFile::release() {
    if (handle != INVALID_HANDLE_VALUE) {
        CloseHandle(handle);
        handle = INVALID_HANDLE_VALUE;
    }
}

} // namespace krel_std_internal
