#include "system/OsName.h"

#include <cwchar>

namespace krel_std_internal {

const wchar_t kUnknownOperatingSystem[] = L"Failed to get correct Operating System.";

namespace {

// A release known by its minor version number and the name it goes by.
struct MinorRelease {
    DWORD minor;
    const wchar_t* name;
};

// The name of the release with the version's minor number, followed by the service pack.
template <size_t N>
std::wstring releaseName(const MinorRelease (&releases)[N], const OSVERSIONINFOEXW& version,
                         const std::wstring& servicePack) {
    for (const MinorRelease& release : releases) {
        if (release.minor == version.dwMinorVersion) {
            return release.name + servicePack;
        }
    }
    return kUnknownOperatingSystem;
}

const MinorRelease kWindows9xReleases[] = {{0, L"95 "}, {10, L"98 "}, {90, L"Millenium "}};
const MinorRelease kWindowsNt5Releases[] = {{0, L"2000 "}, {1, L"XP "}, {2, L"2003 "}};

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
        return releaseName(kWindowsNt5Releases, version, servicePack);
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
        return releaseName(kWindows9xReleases, version, servicePack);
    case VER_PLATFORM_WIN32_NT:
        return windowsNtName(version, servicePack);
    default:
        return kUnknownOperatingSystem;
    }
}

} // namespace krel_std_internal
