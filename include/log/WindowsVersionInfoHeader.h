// The header block that every rolling file appender writes at the top of its files.
#pragma once

#include <map>
#include <mutex>
#include <string>

#include "base/AutoRegisterClass.h"
#include "log/RollingFileHeader.h"
#include "platform/FileStamp.h"

namespace krel_std {

// Writes, each line beginning with "VERSION INFO: ", six environment lines (platform, working
// directory, user directory, host name, time zone, current time), three lines of the logging
// configuration (the static log's threshold, the file's maximum size and file count), and
// one line per module loaded into the process with the product name, product version,
// private build and special build of its version record. The text is written in the system's
// code page with bare line feeds. A module's line is read from its file once and kept for as
// long as that file stays the same (identity, size and modification time).
//
// Registered as "krel_std.WindowsVersionInfoHeader" only once a host calls registerClass.
class WindowsVersionInfoHeader : public RollingFileHeader,
                                 public AutoRegisterClass<WindowsVersionInfoHeader> {
public:
    // Takes the user directory now: "Unavailable" when it cannot be determined.
    WindowsVersionInfoHeader();
    ~WindowsVersionInfoHeader() override;

    std::wstring toString() const override;
    std::wstring getClassName() const override;
    // A new header; the properties are ignored.
    Configurable* newInstance(const std::map<std::wstring, std::wstring>& properties) override;
    void writeHeader(RollingFile& file) const override;

private:
    void writeEnvironment(std::wstring& text) const;
    static void writeLoggingConfig(std::wstring& text, const RollingFile& file);
    void writeModules(std::wstring& text) const;
    // The module's line, from the kept lines when its file is unchanged.
    std::wstring moduleLine(const std::wstring& path) const;
    static std::wstring readModuleLine(const std::wstring& path);

    std::wstring userDirectory;
    mutable std::mutex moduleLinesMutex;
    // Per module path: the stamp of the file the line was read from, and the line.
    mutable std::map<std::wstring, std::pair<krel_platform::FileStamp, std::wstring>> moduleLines;
};

} // namespace krel_std
