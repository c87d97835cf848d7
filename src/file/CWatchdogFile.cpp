#include "file/CWatchdogFile.h"

#include <vector>

#include "platform/WinFile.h"

namespace KrelStd {

namespace {

const size_t INITIAL_DIRECTORY_BUFFER = 262;

// The working directory, read into a buffer as large as it needs; false when it cannot be read.
bool currentDirectory(std::wstring& directory) {
    std::vector<wchar_t> buffer(INITIAL_DIRECTORY_BUFFER);
    for (;;) {
        const DWORD length = GetCurrentDirectoryW(static_cast<DWORD>(buffer.size()), buffer.data());
        if (length == 0) {
            return false;
        }
        if (length < buffer.size()) {
            directory.assign(buffer.data(), length);
            return true;
        }
        // Too small (or the directory changed meanwhile): the answer is the size it needs.
        buffer.resize(length + 1);
    }
}

} // namespace

CWatchdogFile::CWatchdogFile()
    : exists(false), size(0), readOnly(0), hidden(0), archive(0), compressed(0), creationTime(),
      lastWriteTime() {}

CWatchdogFile::CWatchdogFile(const SWString& directory, const SWString& name) : CWatchdogFile() {
    this->name = name;
    if (name.empty()) {
        return;
    }
    if (!directory.empty()) {
        path = directory + name;
    } else {
        std::wstring current;
        if (!currentDirectory(current)) {
            path = name;
            return;
        }
        // The working directory takes the place of the directory text, which callers end
        // with a separator; the name follows it directly.
        path = current + name;
    }
    ReadState();
}

void CWatchdogFile::ReadState() {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
        return;
    }
    exists = true;
    size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    readOnly = (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    hidden = (data.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) != 0;
    archive = (data.dwFileAttributes & FILE_ATTRIBUTE_ARCHIVE) != 0;
    compressed = (data.dwFileAttributes & FILE_ATTRIBUTE_COMPRESSED) != 0;
    creationTime = data.ftCreationTime;
    lastWriteTime = data.ftLastWriteTime;
}

} // namespace KrelStd
