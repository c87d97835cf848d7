// A short header that reports the platform and the settings of one rolling file appender.
#pragma once

#include "log/RollingFileHeader.h"
#include "system/VersionInfoListener.h"

namespace krel_std {

class RollingFileAppender;

// Writes seven lines, each beginning with "VERSION INFO: ": platform, host name, time zone,
// current time, the debug threshold (always "N/A"), and the appender's maximum file size and
// file count. As a VersionInfoListener it may be registered with the version information
// registry; it does nothing with the modules it is told of.
class VersionInfoHeader : public RollingFileHeader, public VersionInfoListener {
public:
    // The appender must outlive the header.
    explicit VersionInfoHeader(const RollingFileAppender& appender);
    ~VersionInfoHeader() override;

    std::wstring toString() const override;
    // A new header for the same appender; the properties are ignored.
    Configurable* newInstance(const std::map<std::wstring, std::wstring>& properties) override;
    void writeHeader(RollingFile& file) const override;

    void onModuleAdded(const VersionInfo& module) override;
    void onModuleRemoved(const VersionInfo& module) override;

private:
    const RollingFileAppender& appender;
};

} // namespace krel_std
