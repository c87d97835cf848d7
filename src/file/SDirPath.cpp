#include "file/SDirPath.h"

#include "platform/WinCrtFile.h"

namespace KrelStd {

SDirPath::SDirPath() {}

SDirPath::SDirPath(const SDirPath& other) : SFilePath(other) {}

SDirPath::SDirPath(const SFilePath& other) : SFilePath(other) {}

SDirPath::SDirPath(const std::wstring& path) : SFilePath(path, DefaultSeparator) {}

SDirPath::~SDirPath() {}

SDirPath& SDirPath::operator=(const SDirPath& other) {
    SFilePath::operator=(other);
    return *this;
}

SDirPath& SDirPath::operator=(const char* path) {
    SFilePath::operator=(SFilePath(path, static_cast<char>(DefaultSeparator)));
    return *this;
}

// The wide text goes to the runtime stand-in, which makes the one conversion of a raw path
// text for the file system; no narrow detour loses characters the ANSI code page lacks.
bool SDirPath::Exists() const {
    return _waccess(c_str(), 0) == 0;
}

bool SDirPath::CreatePath() {
    if (IsEmpty() || Exists()) {
        return true;
    }
    SDirPath parent(SFilePath(Dirname(), separator));
    if (!parent.CreatePath()) {
        return false;
    }
    return _wmkdir(c_str()) == 0;
}

} // namespace KrelStd
