#include <gtest/gtest.h>
#include <string>

#include "platform/WinBase.h"

namespace {

const DWORD SYSTEM_FLAGS = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
const DWORD DEFAULT_LANGUAGE = MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT);

} // namespace

TEST(FormatMessage, AllocatesTheSystemTextWithItsLineEnd) {
    LPWSTR buffer = nullptr;
    const DWORD length =
        FormatMessageW(SYSTEM_FLAGS | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, ERROR_ACCESS_DENIED,
                       DEFAULT_LANGUAGE, reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(std::wstring(buffer, length), L"Access is denied.\r\n");
    EXPECT_EQ(LocalFree(buffer), nullptr);
}

TEST(FormatMessage, CopiesIntoACallerBufferThatIsLargeEnough) {
    wchar_t buffer[128];
    const DWORD length = FormatMessageW(SYSTEM_FLAGS, nullptr, ERROR_FILE_NOT_FOUND,
                                        DEFAULT_LANGUAGE, buffer, 128, nullptr);
    EXPECT_EQ(std::wstring(buffer), L"The system cannot find the file specified.\r\n");
    EXPECT_EQ(length, std::wstring(buffer).size());
}

TEST(FormatMessage, FailsWithInsufficientBufferWhenTheTextDoesNotFit) {
    wchar_t buffer[8];
    EXPECT_EQ(FormatMessageW(SYSTEM_FLAGS, nullptr, ERROR_FILE_NOT_FOUND, DEFAULT_LANGUAGE, buffer,
                             8, nullptr),
              0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

TEST(FormatMessage, UnknownCodeFailsWithMessageNotFound) {
    LPWSTR buffer = nullptr;
    EXPECT_EQ(FormatMessageW(SYSTEM_FLAGS | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, 987654,
                             DEFAULT_LANGUAGE, reinterpret_cast<LPWSTR>(&buffer), 0, nullptr),
              0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND));
    EXPECT_EQ(buffer, nullptr);
}

TEST(FormatMessage, TextWithInsertsIsRefusedUnlessInsertsAreIgnored) {
    wchar_t buffer[128];
    EXPECT_EQ(FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 193, DEFAULT_LANGUAGE, buffer,
                             128, nullptr),
              0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_GT(FormatMessageW(SYSTEM_FLAGS, nullptr, 193, DEFAULT_LANGUAGE, buffer, 128, nullptr),
              0u);
    EXPECT_EQ(std::wstring(buffer), L"%1 is not a valid Win32 application.\r\n");
}

TEST(FormatMessage, KnowsTheCodesTheLibraryReports) {
    const DWORD codes[] = {ERROR_FILE_NOT_FOUND,    ERROR_ACCESS_DENIED,     ERROR_GEN_FAILURE,
                           ERROR_SHARING_VIOLATION, ERROR_NEGATIVE_SEEK,     ERROR_DIRECTORY,
                           ERROR_MORE_DATA,         ERROR_NO_MORE_ITEMS,     ERROR_KEY_DELETED,
                           ERROR_BAD_PATHNAME,      ERROR_INVALID_PARAMETER, ERROR_ALREADY_EXISTS};
    for (DWORD code : codes) {
        wchar_t buffer[512] = {};
        EXPECT_GT(
            FormatMessageW(SYSTEM_FLAGS, nullptr, code, DEFAULT_LANGUAGE, buffer, 512, nullptr), 0u)
            << "code " << code;
    }
}
