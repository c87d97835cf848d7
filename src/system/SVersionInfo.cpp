#include "system/SVersionInfo.h"

#include <cstdarg>
#include <cstdlib>
#include <ctime>
#include <stdexcept>
#include <string>

#include "internal/GuardedCall.h"
#include "log/SLog.h"
#include "platform/VaListGuard.h"
#include "platform/WinCrt.h"
#include "platform/WinNls.h"
#include "platform/WinSock.h"
#include "platform/WinVersion.h"
#include "system/KrelSystem.h"
#include "system/OsName.h"
#include "thread/TimeUtils.h"

namespace KrelStd {

namespace {

const wchar_t INVALID_FILENAME[] = L"Invalid filename";
const wchar_t STRING_FILE_INFO[] = L"\\StringFileInfo\\040904B0\\";
const wchar_t PREFIX[] = L"VERSION INFO:";
const wchar_t MODULE_LINE[] =
    L"%ls %ls: Product <%ls> Version <%ls> Pri Build <%ls> Special Build <%ls>.\n";
const char WRITE_ERROR[] = "VERSION INFO: An unexpected error occurred writing version info.\n";

// One line made by the library's format engine. Throws std::runtime_error when the format is
// refused, so that the caller's failure path prints its fixed text.
std::wstring formatLine(const wchar_t* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    const krel_platform::VaListGuard end(arguments);
    std::wstring line;
    if (!krel_platform::formatAppendV(line, format, arguments)) {
        throw std::runtime_error("version line refused by the formatter");
    }
    return line;
}

// Writes wide text to a byte stream as bytes of code page 0; the stream never turns wide.
void writeBytes(FILE* stream, const std::wstring& text) {
    if (text.empty()) {
        return;
    }
    const int length = static_cast<int>(text.size());
    const int needed =
        WideCharToMultiByte(CP_ACP, 0, text.c_str(), length, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) {
        throw std::runtime_error("version line not representable in code page 0");
    }
    std::string bytes(static_cast<size_t>(needed), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), length, &bytes[0], needed, nullptr, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), stream);
}

} // namespace

SVersionInfo::SVersionInfo()
    : valid(false), handle(0), size(0), buffer(nullptr), value(nullptr), valueLength(0) {}

SVersionInfo::SVersionInfo(const SWString& filename) : SVersionInfo() {
    SetFilename(filename);
}

SVersionInfo::SVersionInfo(const SVersionInfo& other) : SVersionInfo() {
    moduleSet = other.moduleSet;
    SetFilename(other.filename);
}

SVersionInfo& SVersionInfo::operator=(const SVersionInfo& other) {
    if (this != &other) {
        moduleSet = other.moduleSet;
        SetFilename(other.filename);
    }
    return *this;
}

SVersionInfo::~SVersionInfo() {
    FreeBuffer();
}

void SVersionInfo::SetFilename(const SWString& name) {
    filename = name;
    FreeBuffer();
    valid = InitVer() != 0;
}

SWString SVersionInfo::GetFilename() const {
    return filename;
}

bool SVersionInfo::IsValid() const {
    return valid;
}

long SVersionInfo::InitVer() {
    if (filename.empty()) {
        return 0;
    }
    DWORD versionHandle = 0;
    size = GetFileVersionInfoSizeW(filename.c_str(), &versionHandle);
    handle = versionHandle;
    if (size == 0) {
        return 0;
    }
    buffer = std::malloc(size);
    if (buffer == nullptr) {
        size = 0;
        return 0;
    }
    return GetFileVersionInfoW(filename.c_str(), handle, size, buffer);
}

void SVersionInfo::FreeBuffer() {
    std::free(buffer);
    buffer = nullptr;
    size = 0;
    value = nullptr;
    valueLength = 0;
}

SWString SVersionInfo::QueryString(const wchar_t* key) {
    if (!valid) {
        return SWString(INVALID_FILENAME);
    }
    const std::wstring path = std::wstring(STRING_FILE_INFO) + key;
    UINT length = 0;
    if (!VerQueryValueW(buffer, path.c_str(), &value, &length) || value == nullptr) {
        valueLength = 0;
        return SWString();
    }
    valueLength = length;
    return SWString(static_cast<const wchar_t*>(value));
}

SWString SVersionInfo::GetProductName() {
    return QueryString(L"ProductName");
}

SWString SVersionInfo::GetProductVersion() {
    return QueryString(L"ProductVersion");
}

SWString SVersionInfo::GetCompanyName() {
    return QueryString(L"CompanyName");
}

SWString SVersionInfo::GetCopyright() {
    return QueryString(L"LegalCopyright");
}

SWString SVersionInfo::GetComments() {
    return QueryString(L"Comments");
}

SWString SVersionInfo::GetFileDescription() {
    return QueryString(L"FileDescription");
}

SWString SVersionInfo::GetFileVersion() {
    return QueryString(L"FileVersion");
}

SWString SVersionInfo::GetInternalName() {
    return QueryString(L"InternalName");
}

SWString SVersionInfo::GetLegalTrademarks() {
    return QueryString(L"LegalTrademarks");
}

SWString SVersionInfo::GetPrivateBuild() {
    return QueryString(L"PrivateBuild");
}

SWString SVersionInfo::GetSpecialBuild() {
    return QueryString(L"SpecialBuild");
}

void SVersionInfo::WriteModuleLine(FILE* stream, const SWString& module) {
    writeBytes(stream, formatLine(MODULE_LINE, PREFIX, module.c_str(), GetProductName().c_str(),
                                  GetProductVersion().c_str(), GetPrivateBuild().c_str(),
                                  GetSpecialBuild().c_str()));
}

bool SVersionInfo::AddModule(FILE* stream, const SWString& module) {
    return krel_std_internal::callSwallowing(
        [&] {
            if (stream != nullptr && moduleSet.find(module) == moduleSet.end()) {
                SetFilename(module);
                WriteModuleLine(stream, module);
            }
            moduleSet.insert(module);
            return true;
        },
        [&] { return false; });
}

bool SVersionInfo::DeleteModule(const SWString& module) {
    return krel_std_internal::callSwallowing(
        [&] {
            moduleSet.erase(module);
            return true;
        },
        [&] { return false; });
}

bool SVersionInfo::WriteModuleVerInfo(FILE* stream, SLog* log) {
    if (log == nullptr || stream == nullptr) {
        return false;
    }
    return krel_std_internal::callSwallowing(
        [&] {
            writeBytes(stream, formatLine(L"%ls Platform <%ls>.\n", PREFIX, GetOSName().c_str()));
            writeBytes(stream, formatLine(L"%ls Hostname <%ls>.\n", PREFIX, GetHostName().c_str()));
            writeBytes(stream, formatLine(L"%ls Timezone <%ls>, DST Zone <%ls>.\n", PREFIX,
                                          krel_std::TimeUtils::getTimezone().c_str(),
                                          krel_std::TimeUtils::getDSTZone().c_str()));
            writeBytes(stream, formatLine(L"%ls Current Time <%ls>.\n", PREFIX,
                                          GetCurrentTimestamp().c_str()));
            writeBytes(stream, formatLine(L"%ls Debug threshold <%ls>.\n", PREFIX,
                                          log->GetThreshold().c_str()));
            writeBytes(stream,
                       formatLine(L"%ls Debug size <%d>.\n", PREFIX, log->GetDbgFileSize()));
            writeBytes(stream, formatLine(L"%ls Debug files <%d>.\n", PREFIX, log->GetDbgFiles()));
            writeBytes(stream, formatLine(L"%ls Log size <%d>.\n", PREFIX, log->GetLogFileSize()));
            writeBytes(stream, formatLine(L"%ls Log files <%d>.\n", PREFIX, log->GetLogFiles()));
            for (const SWString& module : moduleSet) {
                SetFilename(module);
                WriteModuleLine(stream, module);
            }
            return true;
        },
        [&] {
            std::fputs(WRITE_ERROR, stream);
            return false;
        });
}

SWString GetOSName() {
    OSVERSIONINFOEXW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    if (!GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&version))) {
        return SWString(krel_std_internal::kUnknownOperatingSystem);
    }
    // The version table names Windows releases only; any other host is named as it is.
    if (version.dwPlatformId != VER_PLATFORM_WIN32_WINDOWS &&
        version.dwPlatformId != VER_PLATFORM_WIN32_NT) {
        return SWString(krel_std::KrelSystem::getOperatingSystemName());
    }
    return SWString(krel_std_internal::osNameFromVersion(version));
}

SWString GetHostName() {
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 0), &data) != 0) {
        return SWString();
    }
    char name[512] = {};
    if (gethostname(name, sizeof(name)) != 0) {
        name[0] = '\0';
    }
    name[sizeof(name) - 1] = '\0';
    WSACleanup();
    return SWString(name, CT_ANSI, CP_ACP);
}

SWString GetCurrentTimestamp() {
    struct timespec now = {};
    struct tm local = {};
    if (clock_gettime(CLOCK_REALTIME, &now) != 0 || localtime_r(&now.tv_sec, &local) == nullptr) {
        return SWString();
    }
    return SWString(formatLine(L"%2.2d-%2.2d-%2.2d %2.2d:%2.2d:%2.2d.%3.3d ", local.tm_year + 1900,
                               local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                               local.tm_sec, static_cast<int>(now.tv_nsec / 1000000)));
}

} // namespace KrelStd
