// Key and value names that UTF-16 cannot carry unchanged are refused by the stand-in, so that no
// name reaches a key or value stored under another.
#include "RegistryTestSupport.h"

namespace {

// Names that would alias other names once converted to UTF-16: code points above U+10FFFF and
// negative ones (each would become U+FFFD), and a surrogate pair split over two characters
// (which would become the one character it encodes).
const std::vector<std::wstring> UNFAITHFUL_NAMES = {
    std::wstring(L"Bad") + static_cast<wchar_t>(0x110000),
    std::wstring(L"Bad") + static_cast<wchar_t>(-1),
    std::wstring(L"Bad") + static_cast<wchar_t>(0xD83D) + static_cast<wchar_t>(0xDE00),
};

class RegistryNameTest : public RegistryTest {};

} // namespace

TEST_F(RegistryNameTest, KeyNamesUtf16CannotCarryAreInvalidAndCreateNothing) {
    const HKEY parent = createKey(L"Parent");
    for (const std::wstring& name : UNFAITHFUL_NAMES) {
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKeyExW(parent, name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  &key, nullptr),
                  ERROR_INVALID_PARAMETER);
        EXPECT_EQ(RegOpenKeyExW(parent, name.c_str(), 0, KEY_READ, &key), ERROR_INVALID_PARAMETER);
        EXPECT_EQ(SHDeleteKeyW(parent, name.c_str()), ERROR_INVALID_PARAMETER);
        EXPECT_EQ(key, nullptr);
    }
    EXPECT_TRUE(subkeyNames(parent).empty());
}

TEST_F(RegistryNameTest, KeyNamesUtf16CannotCarryNeverOpenTheKeysTheyWouldAlias) {
    const HKEY parent = createKey(L"Parent");
    createKey(L"Parent\\Bad\xFFFD");
    createKey(L"Parent\\Bad\U0001F600");
    for (const std::wstring& name : UNFAITHFUL_NAMES) {
        HKEY key = nullptr;
        EXPECT_EQ(RegOpenKeyExW(parent, name.c_str(), 0, KEY_READ, &key), ERROR_INVALID_PARAMETER);
    }
    EXPECT_EQ(subkeyNames(parent), (std::vector<std::wstring>{L"Bad\U0001F600", L"Bad\xFFFD"}));
}

TEST_F(RegistryNameTest, ValueNamesUtf16CannotCarryAreInvalidAndWriteNothing) {
    const HKEY key = createKey(L"Values");
    ASSERT_EQ(setString(key, L"Bad\xFFFD", L"replacement character"), ERROR_SUCCESS);
    for (const std::wstring& name : UNFAITHFUL_NAMES) {
        EXPECT_EQ(setString(key, name, L"lost"), ERROR_INVALID_PARAMETER);
        DWORD size = 0;
        EXPECT_EQ(RegQueryValueExW(key, name.c_str(), nullptr, nullptr, nullptr, &size),
                  ERROR_INVALID_PARAMETER);
        EXPECT_EQ(RegDeleteValueW(key, name.c_str()), ERROR_INVALID_PARAMETER);
    }
    EXPECT_EQ(valueNames(key), std::vector<std::wstring>{L"Bad\xFFFD"});
    EXPECT_EQ(readString(key, L"Bad\xFFFD"), L"replacement character");
}

TEST_F(RegistryNameTest, LoneSurrogatesStayNamesOfTheirOwn) {
    const HKEY parent = createKey(L"Parent");
    createKey(std::wstring(L"Parent\\") + static_cast<wchar_t>(0xD83D));
    createKey(std::wstring(L"Parent\\") + static_cast<wchar_t>(0xDE00));
    EXPECT_EQ(subkeyNames(parent).size(), 2u);
}
