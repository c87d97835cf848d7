#pragma once

#include <cstdio>

#include "base/SWString.h"

namespace krel_std_internal {

// Reads an older configuration file line by line: each line of code page 0 text, of any
// length, comes back trimmed of its leading and trailing white space. Owns its stream and
// closes it at the end unless the stream was released.
class ConfigFileReader {
public:
    ConfigFileReader();
    // Takes over an open stream (or null).
    explicit ConfigFileReader(FILE* stream);
    ConfigFileReader(const ConfigFileReader&) = delete;
    ConfigFileReader& operator=(const ConfigFileReader&) = delete;
    ~ConfigFileReader();

    // Opens the file for reading; false with errno set when it cannot be opened, and with
    // ENODEV for a device.
    bool open(const KrelStd::SWString& path);
    bool isOpen() const { return stream != nullptr; }
    FILE* get() const { return stream; }
    // Gives the stream up without closing it.
    FILE* release();
    void close();

    // The next line, trimmed; false at the end of the file and after a read error.
    bool next(KrelStd::SWString& line);
    // Reads up to and including the first line that is the section's heading; false when the
    // file ends first.
    bool findSection(const KrelStd::SWString& section);
    // True when reading stopped at an error rather than at the end of the file.
    bool failed() const;

    // The heading line of a section: "[", the name and "]".
    static KrelStd::SWString headingOf(const KrelStd::SWString& section);
    // True for a trimmed line that begins with '[' and ends with ']'.
    static bool isHeading(const KrelStd::SWString& line);
    // True for a line that begins with the key immediately followed by "=".
    static bool isEntryFor(const KrelStd::SWString& line, const KrelStd::SWString& key);

private:
    FILE* stream;
};

} // namespace krel_std_internal
