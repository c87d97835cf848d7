// Version calls of the Windows API: the version resource of a module file and the version of
// the operating system.
//
// A module built by the project carries its version record in the ELF section ".krel_version"
// (written at build time by cmake/KrelVersionInfo.cmake). GetFileVersionInfoW copies that record
// into the caller's buffer as a block that VerQueryValueW reads:
//   "\"                                  the fixed file information (VS_FIXEDFILEINFO);
//   "\VarFileInfo\Translation"           one DWORD, language 0x0409 and code page 1200;
//   "\StringFileInfo\040904B0\<name>"    a string field (ProductName, FileVersion, ...).
// A file without a record fails as a Windows module without a version resource does.
#pragma once

#include <string>
#include <vector>

#include "platform/WinTypes.h"

#define VS_FFI_SIGNATURE 0xFEEF04BDu
#define VS_FFI_STRUCVERSION 0x00010000u
#define VOS__WINDOWS32 0x00000004u
#define VFT_APP 0x00000001u
#define VFT_DLL 0x00000002u

struct VS_FIXEDFILEINFO {
    DWORD dwSignature;
    DWORD dwStrucVersion;
    DWORD dwFileVersionMS;
    DWORD dwFileVersionLS;
    DWORD dwProductVersionMS;
    DWORD dwProductVersionLS;
    DWORD dwFileFlagsMask;
    DWORD dwFileFlags;
    DWORD dwFileOS;
    DWORD dwFileType;
    DWORD dwFileSubtype;
    DWORD dwFileDateMS;
    DWORD dwFileDateLS;
};

// The size in bytes of the version block of the file, 0 when it has none (last error 1813) or
// cannot be read (the file error). *handle, when given, is set to 0.
DWORD GetFileVersionInfoSizeW(LPCWSTR filename, LPDWORD handle);

// Copies the version block of the file into data; a block longer than size is cut to size and
// stays readable up to there. The handle argument is ignored.
BOOL GetFileVersionInfoW(LPCWSTR filename, DWORD handle, DWORD size, LPVOID data);

// Finds a value in a block that GetFileVersionInfoW filled: *value points into the block and
// *length counts characters including the terminator for a string field, bytes otherwise.
// Names are compared without regard to case. FALSE, with *length 0, when there is no such value.
BOOL VerQueryValueW(LPCVOID block, LPCWSTR subBlock, LPVOID* value, UINT* length);

#define VER_PLATFORM_WIN32s 0
#define VER_PLATFORM_WIN32_WINDOWS 1
#define VER_PLATFORM_WIN32_NT 2
// The stand-in's platform: a Linux kernel, whose release gives the version numbers.
#define VER_PLATFORM_KREL_LINUX 0x4C4E5800u

#define VER_NT_WORKSTATION 0x0000001
#define VER_NT_DOMAIN_CONTROLLER 0x0000002
#define VER_NT_SERVER 0x0000003
#define VER_SUITE_ENTERPRISE 0x00000002
#define VER_SUITE_PERSONAL 0x00000200

struct OSVERSIONINFOW {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    WCHAR szCSDVersion[128];
};

struct OSVERSIONINFOEXW {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    WCHAR szCSDVersion[128];
    WORD wServicePackMajor;
    WORD wServicePackMinor;
    WORD wSuiteMask;
    BYTE wProductType;
    BYTE wReserved;
};

// Fills an OSVERSIONINFOW or OSVERSIONINFOEXW, chosen by dwOSVersionInfoSize (any other size:
// FALSE, last error 87). The host is described as it is: platform VER_PLATFORM_KREL_LINUX, the
// kernel release's numbers as major, minor and build, "<system> <release>" as the service-pack
// text, and a workstation product without suites.
BOOL GetVersionExW(OSVERSIONINFOW* info);

namespace krel_platform {

// The file names of the modules loaded into this process, the main program first (through
// /proc/self/exe), then each shared object in load order; entries without a file (the vDSO)
// are left out.
std::vector<std::wstring> loadedModules();

} // namespace krel_platform
