// The header block that every rolling file appender writes at the top of its files.
#pragma once

#include <string>

#include "base/AutoRegisterClass.h"
#include "log/RollingFileHeader.h"

namespace krel_std {

// Writes, each line beginning with "VERSION INFO: ", six environment lines (platform, working
// directory, user directory, host name, time zone, current time), three lines of the logging
// configuration (the static log's threshold, the file's maximum size and file count), and
// one line per module loaded into the process with the product name, product version,
// private build and special build of its version record. The text is written in the system's
// code page with bare line feeds.
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
    static void writeModules(std::wstring& text);
    static void writeModule(std::wstring& text, const std::wstring& name, const std::wstring& path);

    std::wstring userDirectory;
};

} // namespace krel_std
