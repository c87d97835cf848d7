#include "log/WindowsVersionInfoHeader.h"

#include <string>

#include "base/EncodingUtils.h"
#include "exception/KrelException.h"
#include "file/File.h"
#include "file/RollingFile.h"
#include "log/StaticLog.h"
#include "platform/WinVersion.h"
#include "system/KrelSystem.h"
#include "system/SVersionInfo.h"
#include "thread/TimeUtils.h"

namespace krel_std {

namespace {

const wchar_t* const PREFIX = L"VERSION INFO: ";
const wchar_t* const UNAVAILABLE = L"Unavailable";

void appendLine(std::wstring& text, const std::wstring& line) {
    text += PREFIX;
    text += line;
    text += L"\n";
}

// The canonical path of a directory the system names, or "Unavailable".
std::wstring canonicalOr(File (*directory)()) {
    try {
        return directory().getCanonicalPath();
    } catch (const KrelException&) {
        return UNAVAILABLE;
    }
}

// The last element of a module's path, as the module list names it.
std::wstring moduleName(const std::wstring& path) {
    const std::wstring::size_type slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

} // namespace

WindowsVersionInfoHeader::WindowsVersionInfoHeader()
    : userDirectory(canonicalOr(&File::getUserDirectory)) {}

WindowsVersionInfoHeader::~WindowsVersionInfoHeader() = default;

std::wstring WindowsVersionInfoHeader::toString() const {
    return L"WindowsVersionInfoHeader{}";
}

std::wstring WindowsVersionInfoHeader::getClassName() const {
    return L"krel_std.WindowsVersionInfoHeader";
}

Configurable* WindowsVersionInfoHeader::newInstance(const std::map<std::wstring, std::wstring>&) {
    return new WindowsVersionInfoHeader();
}

void WindowsVersionInfoHeader::writeHeader(RollingFile& file) const {
    std::wstring text;
    writeEnvironment(text);
    writeLoggingConfig(text, file);
    writeModules(text);
    const std::string bytes = EncodingUtils::convertUnicodeToMbcs(text, 0);
    file.write(bytes.data(), 0, static_cast<unsigned long>(bytes.size()));
}

void WindowsVersionInfoHeader::writeEnvironment(std::wstring& text) const {
    const std::wstring environment = L"Environment: ";
    appendLine(text, environment + L"Platform <" + KrelSystem::getOperatingSystemName() + L">.");
    appendLine(text,
               environment + L"Working Dir: <" + canonicalOr(&File::getWorkingDirectory) + L">.");
    appendLine(text, environment + L"User Dir: <" + userDirectory + L">.");
    appendLine(text, environment + L"Hostname <" + KrelSystem::getHostName() + L">.");
    appendLine(text, environment + L"Timezone <" + TimeUtils::getTimezone() + L">, DST Zone <" +
                         TimeUtils::getDSTZone() + L">.");
    appendLine(text, environment + L"Current time <" + TimeUtils::getCurrentTimestamp() + L">.");
}

void WindowsVersionInfoHeader::writeLoggingConfig(std::wstring& text, const RollingFile& file) {
    appendLine(text,
               L"Debug threshold <" + logEventPriorityToString(StaticLog::getThreshold()) + L">.");
    appendLine(text, L"Max file size <" + std::to_wstring(file.getMaximumSize()) + L">.");
    appendLine(text, L"Max file count <" + std::to_wstring(file.getMaximumFiles()) + L">.");
}

// The modules of the process in load order, the program first; an empty list writes nothing.
void WindowsVersionInfoHeader::writeModules(std::wstring& text) const {
    for (const std::wstring& path : krel_platform::loadedModules()) {
        appendLine(text, moduleLine(path));
    }
}

std::wstring WindowsVersionInfoHeader::moduleLine(const std::wstring& path) const {
    krel_platform::FileStamp stamp;
    if (!krel_platform::readFileStamp(path, stamp)) {
        return readModuleLine(path);
    }
    std::lock_guard<std::mutex> guard(moduleLinesMutex);
    const auto kept = moduleLines.find(path);
    if (kept != moduleLines.end() && !kept->second.first.contentDiffers(stamp)) {
        return kept->second.second;
    }
    std::wstring line = readModuleLine(path);
    moduleLines[path] = std::make_pair(stamp, line);
    return line;
}

std::wstring WindowsVersionInfoHeader::readModuleLine(const std::wstring& path) {
    KrelStd::SVersionInfo version{KrelStd::SWString(path)};
    return L"Module: " + moduleName(path) + L": Product <" + version.GetProductName() +
           L"> Version <" + version.GetProductVersion() + L"> Pri Build <" +
           version.GetPrivateBuild() + L"> Special Build <" + version.GetSpecialBuild() + L">.";
}

} // namespace krel_std
