#include "system/OsName.h"

#include <cwchar>

namespace krel_std_internal {

const wchar_t kUnknownOperatingSystem[] = L"Failed to get correct Operating System.";

namespace {

std::wstring windows9xName(const OSVERSIONINFOEXW& version, const std::wstring& servicePack) {
    switch (version.dwMinorVersion) {
    case 0:
        return L"95 " + servicePack;
    case 10:
        return L"98 " + servicePack;
    case 90:
        return L"Millenium " + servicePack;
    default:
        return kUnknownOperatingSystem;
    }
}

std::wstring vistaEdition(const OSVERSIONINFOEXW& version) {
    if (version.wSuiteMask & VER_SUITE_PERSONAL) {
        return L"(Home) ";
    }
    if (version.wSuiteMask & VER_SUITE_ENTERPRISE) {
        return L"(Enterprise) ";
    }
    return L"(Business/Ultimate) ";
}

std::wstring windowsNtName(const OSVERSIONINFOEXW& version, const std::wstring& servicePack) {
    if (version.dwMajorVersion == 4) {
        return L"NT " + servicePack;
    }
    if (version.dwMajorVersion == 5) {
        switch (version.dwMinorVersion) {
        case 0:
            return L"2000 " + servicePack;
        case 1:
            return L"XP " + servicePack;
        case 2:
            return L"2003 " + servicePack;
        default:
            return kUnknownOperatingSystem;
        }
    }
    if (version.dwMajorVersion == 6) {
        if (version.wProductType == VER_NT_WORKSTATION) {
            return L"Vista " + vistaEdition(version) + servicePack;
        }
        return L"Longhorn " + servicePack;
    }
    return kUnknownOperatingSystem;
}

} // namespace

std::wstring osNameFromVersion(const OSVERSIONINFOEXW& version) {
    // The service-pack text ends at its terminator or at the end of its array.
    const size_t room = sizeof(version.szCSDVersion) / sizeof(version.szCSDVersion[0]);
    const std::wstring servicePack(version.szCSDVersion, wcsnlen(version.szCSDVersion, room));
    switch (version.dwPlatformId) {
    case VER_PLATFORM_WIN32_WINDOWS:
        return windows9xName(version, servicePack);
    case VER_PLATFORM_WIN32_NT:
        return windowsNtName(version, servicePack);
    default:
        return kUnknownOperatingSystem;
    }
}

} // namespace krel_std_internal
