#include "platform/WinVersion.h"

#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>
#include <sys/utsname.h>
#include <vector>

#include "platform/WinBase.h"
#include "platform/WinError.h"
#include "platform/WinSock.h"
#include "support/ModulePaths.h"
#include "support/TempDirectory.h"

namespace {

using krel_test::moduleOf;
using krel_test::selfPath;
using krel_test::versionedModulePath;

std::wstring libraryPath() {
    return moduleOf(reinterpret_cast<const void*>(&GetFileVersionInfoSizeW));
}

// The version block of a file, read as a caller of the Windows API reads it.
std::vector<char> versionBlock(const std::wstring& file) {
    DWORD handle = 7;
    const DWORD size = GetFileVersionInfoSizeW(file.c_str(), &handle);
    EXPECT_EQ(0u, handle);
    std::vector<char> block(size);
    if (size != 0) {
        EXPECT_TRUE(GetFileVersionInfoW(file.c_str(), 0, size, block.data()));
    }
    return block;
}

// The string field, or "<none>" when the query fails.
std::wstring field(const std::vector<char>& block, const std::wstring& path) {
    LPVOID value = nullptr;
    UINT length = 99;
    if (!VerQueryValueW(block.data(), path.c_str(), &value, &length)) {
        EXPECT_EQ(0u, length);
        return L"<none>";
    }
    const std::wstring text(static_cast<const wchar_t*>(value));
    EXPECT_EQ(text.size() + 1, length);
    return text;
}

TEST(WinVersionTest, LibraryCarriesItsOwnRecord) {
    const auto block = versionBlock(libraryPath());
    ASSERT_FALSE(block.empty());
    EXPECT_EQ(L"KrelStd", field(block, L"\\StringFileInfo\\040904B0\\ProductName"));
    EXPECT_EQ(L"1.0.0", field(block, L"\\StringFileInfo\\040904B0\\ProductVersion"));
    EXPECT_EQ(L"libKrelStd.so", field(block, L"\\StringFileInfo\\040904B0\\OriginalFilename"));
}

TEST(WinVersionTest, RecordFieldsKeepQuotesBackslashesAndNonAsciiText) {
    const auto block = versionBlock(versionedModulePath());
    ASSERT_FALSE(block.empty());
    EXPECT_EQ(L"Caf\u00e9 \"Quoted\" \\ Works",
              field(block, L"\\StringFileInfo\\040904B0\\CompanyName"));
    EXPECT_EQ(L"special-9", field(block, L"\\StringFileInfo\\040904B0\\SpecialBuild"));
}

TEST(WinVersionTest, NamesAndLanguageMatchWithoutRegardToCase) {
    const auto block = versionBlock(versionedModulePath());
    EXPECT_EQ(L"Versioned Module", field(block, L"\\stringfileinfo\\040904b0\\PRODUCTNAME"));
}

TEST(WinVersionTest, FieldMissingOrOtherLanguageIsNotFound) {
    const auto block = versionBlock(libraryPath());
    EXPECT_EQ(L"<none>", field(block, L"\\StringFileInfo\\040904B0\\PrivateBuild"));
    EXPECT_EQ(L"<none>", field(block, L"\\StringFileInfo\\040704B0\\ProductName"));
    EXPECT_EQ(L"<none>", field(block, L"\\StringFileInfo\\040904B0\\ProductNam"));
}

TEST(WinVersionTest, FixedInformationHoldsTheParsedVersions) {
    const auto block = versionBlock(versionedModulePath());
    LPVOID value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", &value, &length));
    ASSERT_EQ(sizeof(VS_FIXEDFILEINFO), length);
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    EXPECT_EQ(VS_FFI_SIGNATURE, fixed->dwSignature);
    EXPECT_EQ(0x00020005u, fixed->dwFileVersionMS);
    EXPECT_EQ(0x0007000Bu, fixed->dwFileVersionLS);
    EXPECT_EQ(0x00020005u, fixed->dwProductVersionMS);
    EXPECT_EQ(0u, fixed->dwProductVersionLS);
    EXPECT_EQ(VFT_DLL, fixed->dwFileType);
}

TEST(WinVersionTest, TranslationIsUsEnglishUnicode) {
    const auto block = versionBlock(versionedModulePath());
    LPVOID value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", &value, &length));
    ASSERT_EQ(4u, length);
    EXPECT_EQ(0x04B00409u, *static_cast<const DWORD*>(value));
}

TEST(WinVersionTest, ModuleWithoutRecordHasNoVersionResource) {
    DWORD handle = 0;
    EXPECT_EQ(0u, GetFileVersionInfoSizeW(selfPath().c_str(), &handle));
    EXPECT_EQ(DWORD(ERROR_RESOURCE_TYPE_NOT_FOUND), GetLastError());
    char buffer[256];
    EXPECT_FALSE(GetFileVersionInfoW(selfPath().c_str(), 0, sizeof(buffer), buffer));
    EXPECT_EQ(DWORD(ERROR_RESOURCE_TYPE_NOT_FOUND), GetLastError());
}

TEST(WinVersionTest, MissingFileAnswersFileNotFound) {
    EXPECT_EQ(0u, GetFileVersionInfoSizeW(L"/no/such/module.so", nullptr));
    EXPECT_EQ(DWORD(ERROR_FILE_NOT_FOUND), GetLastError());
}

TEST(WinVersionTest, BlockCutToTheCallersSizeStaysInsideIt) {
    const std::wstring module = versionedModulePath();
    const DWORD size = GetFileVersionInfoSizeW(module.c_str(), nullptr);
    ASSERT_GT(size, 200u);
    // Exactly the bytes given: the sanitizer lane reports any read past them.
    std::vector<char> block(200);
    ASSERT_TRUE(GetFileVersionInfoW(module.c_str(), 0, 200, block.data()));
    EXPECT_EQ(L"Versioned Module", field(block, L"\\StringFileInfo\\040904B0\\ProductName"));
    EXPECT_EQ(L"<none>", field(block, L"\\StringFileInfo\\040904B0\\SpecialBuild"));
}

class WinVersionFileTest : public TempDirectoryTest {};

TEST_F(WinVersionFileTest, FileThatIsNoElfFileHasNoVersionResource) {
    writeBytes("plain.txt", "just some text, long enough to be read as a header or two........");
    EXPECT_EQ(0u, GetFileVersionInfoSizeW(path("plain.txt").c_str(), nullptr));
    EXPECT_EQ(DWORD(ERROR_RESOURCE_TYPE_NOT_FOUND), GetLastError());
}

TEST_F(WinVersionFileTest, ElfHeaderWithSectionTableBeyondTheFileIsRefused) {
    std::string bytes(64, '\0');
    bytes[0] = 0x7F;
    bytes[1] = 'E';
    bytes[2] = 'L';
    bytes[3] = 'F';
    bytes[4] = 2;       // 64-bit
    bytes[5] = 1;       // little-endian
    bytes[0x28] = 0x40; // section table offset 0x7F...40
    bytes[0x2F] = 0x7F;
    bytes[0x3A] = 64;                      // section header size
    bytes[0x3C] = static_cast<char>(0xFF); // 255 sections
    writeBytes("broken.so", bytes);
    EXPECT_EQ(0u, GetFileVersionInfoSizeW(path("broken.so").c_str(), nullptr));
    EXPECT_EQ(DWORD(ERROR_RESOURCE_TYPE_NOT_FOUND), GetLastError());
}

TEST(WinVersionTest, LoadedModulesBeginWithTheProgramAndIncludeTheLibrary) {
    const auto modules = krel_platform::loadedModules();
    ASSERT_FALSE(modules.empty());
    EXPECT_EQ(selfPath(), modules.front());
    EXPECT_NE(modules.end(), std::find(modules.begin(), modules.end(), libraryPath()));
    for (const auto& module : modules) {
        EXPECT_EQ(L'/', module.front()) << krel_platform::wideToUtf8(module);
    }
}

TEST(WinVersionTest, OsVersionDescribesTheKernel) {
    OSVERSIONINFOEXW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    ASSERT_TRUE(GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&version)));
    struct utsname system = {};
    ASSERT_EQ(0, uname(&system));
    EXPECT_EQ(DWORD(VER_PLATFORM_KREL_LINUX), version.dwPlatformId);
    EXPECT_EQ(DWORD(std::strtoul(system.release, nullptr, 10)), version.dwMajorVersion);
    EXPECT_EQ(krel_platform::utf8ToWide(std::string(system.sysname) + " " + system.release),
              std::wstring(version.szCSDVersion));
    EXPECT_EQ(VER_NT_WORKSTATION, version.wProductType);
}

TEST(WinVersionTest, OsVersionRecordOfUnknownSizeIsRefused) {
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof(version) - 4;
    EXPECT_FALSE(GetVersionExW(&version));
    EXPECT_EQ(DWORD(ERROR_INVALID_PARAMETER), GetLastError());
}

TEST(WinSockTest, CleanupWithoutStartupFails) {
    EXPECT_EQ(SOCKET_ERROR, WSACleanup());
}

TEST(WinSockTest, StartupGrantsTheRequestedVersionUntilCleanup) {
    WSADATA data;
    ASSERT_EQ(0, WSAStartup(MAKEWORD(2, 0), &data));
    EXPECT_EQ(MAKEWORD(2, 0), data.wVersion);
    EXPECT_EQ(MAKEWORD(2, 2), data.wHighVersion);
    EXPECT_EQ(0, WSACleanup());
    EXPECT_EQ(SOCKET_ERROR, WSACleanup());
}

TEST(WinSockTest, VersionZeroIsNotSupported) {
    WSADATA data;
    EXPECT_EQ(WSAVERNOTSUPPORTED, WSAStartup(MAKEWORD(0, 1), &data));
}

} // namespace
