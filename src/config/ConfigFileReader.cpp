#include "config/ConfigFileReader.h"

#include <cerrno>

#include "base/KrelStdUtils.h"
#include "file/WholeFileReader.h"
#include "platform/WinCrtFile.h"

namespace krel_std_internal {

ConfigFileReader::ConfigFileReader() : stream(nullptr) {}

ConfigFileReader::ConfigFileReader(FILE* stream) : stream(stream) {}

ConfigFileReader::~ConfigFileReader() {
    close();
}

bool ConfigFileReader::open(const KrelStd::SWString& path) {
    close();
    stream = _wfopen(path.c_str(), L"r");
    // A device's content has no end (nor lines, for /dev/zero): reading it would never stop.
    if (stream != nullptr && WholeFileReader::isDevice(_fileno(stream))) {
        close();
        errno = ENODEV;
    }
    return stream != nullptr;
}

FILE* ConfigFileReader::release() {
    FILE* released = stream;
    stream = nullptr;
    return released;
}

void ConfigFileReader::close() {
    if (stream != nullptr) {
        std::fclose(stream);
        stream = nullptr;
    }
}

bool ConfigFileReader::next(KrelStd::SWString& line) {
    // A last line without a line feed may end exactly where a piece of the reader ends: the
    // reader then reports the end, yet the line holds text, which counts as a line.
    if (KrelStd::SWSfgets(line, stream) == 0 && line.empty()) {
        return false;
    }
    line.TrimString();
    return true;
}

bool ConfigFileReader::findSection(const KrelStd::SWString& section) {
    const KrelStd::SWString heading = headingOf(section);
    KrelStd::SWString line;
    while (next(line)) {
        if (line.compare(heading) == 0) {
            return true;
        }
    }
    return false;
}

bool ConfigFileReader::failed() const {
    return stream != nullptr && std::ferror(stream) != 0;
}

KrelStd::SWString ConfigFileReader::headingOf(const KrelStd::SWString& section) {
    KrelStd::SWString heading(L"[");
    heading += section;
    heading += L']';
    return heading;
}

bool ConfigFileReader::isHeading(const KrelStd::SWString& line) {
    return !line.empty() && line.front() == L'[' && line.back() == L']';
}

bool ConfigFileReader::isEntryFor(const KrelStd::SWString& line, const KrelStd::SWString& key) {
    return line.size() > key.size() && line.compare(0, key.size(), key) == 0 &&
           line[key.size()] == L'=';
}

} // namespace krel_std_internal
