#include "log/VersionInfoHeader.h"

#include <string>

#include "base/EncodingUtils.h"
#include "file/RollingFile.h"
#include "log/RollingFileAppender.h"
#include "system/KrelSystem.h"
#include "thread/TimeUtils.h"

namespace krel_std {

namespace {

const wchar_t* const PREFIX = L"VERSION INFO: ";

void appendLine(std::wstring& text, const std::wstring& line) {
    text += PREFIX;
    text += line;
    text += L"\n";
}

} // namespace

VersionInfoHeader::VersionInfoHeader(const RollingFileAppender& appender) : appender(appender) {}

VersionInfoHeader::~VersionInfoHeader() = default;

std::wstring VersionInfoHeader::toString() const {
    return L"VersionInfoHeader{}";
}

Configurable* VersionInfoHeader::newInstance(const std::map<std::wstring, std::wstring>&) {
    return new VersionInfoHeader(appender);
}

void VersionInfoHeader::writeHeader(RollingFile& file) const {
    std::wstring text;
    appendLine(text, L"Platform <" + KrelSystem::getOperatingSystemName() + L">.");
    appendLine(text, L"Hostname <" + KrelSystem::getHostName() + L">.");
    appendLine(text, L"Timezone <" + TimeUtils::getTimezone() + L">, DST Zone <" +
                         TimeUtils::getDSTZone() + L">.");
    appendLine(text, L"Current time <" + TimeUtils::getCurrentTimestamp() + L">.");
    appendLine(text, L"Debug threshold <N/A>.");
    appendLine(text, L"Max file size <" + std::to_wstring(appender.getMaximumSize()) + L">.");
    appendLine(text, L"Max file count <" + std::to_wstring(appender.getMaximumFiles()) + L">.");
    const std::string bytes = EncodingUtils::convertUnicodeToMbcs(text, 0);
    file.write(bytes.data(), 0, static_cast<unsigned long>(bytes.size()));
}

void VersionInfoHeader::onModuleAdded(const VersionInfo&) {}

void VersionInfoHeader::onModuleRemoved(const VersionInfo&) {}

} // namespace krel_std
