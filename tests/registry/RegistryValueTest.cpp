// Values of the registry stand-in: Windows bytes, buffer sizes, names and order.
#include <atomic>
#include <chrono>
#include <cstring>
#include <pthread.h>
#include <thread>

#include "RegistryTestSupport.h"
#include "platform/WinHandles.h"
#include "platform/WinSync.h"

namespace {

class RegistryValueTest : public RegistryTest {
protected:
    void SetUp() override {
        RegistryTest::SetUp();
        key = createKey(L"Software\\Values");
    }

    HKEY key = nullptr;

    // The calling thread's cancellation state after a read of v, set to state before it.
    static int cancelStateAcrossRead(HKEY key, int state) {
        int previous = 0;
        pthread_setcancelstate(state, &previous);
        readString(key, L"v");
        int after = 0;
        pthread_setcancelstate(previous, &after);
        return after;
    }
};

TEST_F(RegistryValueTest, StringIsStoredAsUtf16WithTerminator) {
    ASSERT_EQ(setString(key, L"text", L"h\u00e9\U0001F600"), ERROR_SUCCESS);

    DWORD type = REG_NONE;
    DWORD size = 0;
    ASSERT_EQ(RegQueryValueExW(key, L"text", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(size, 10u);
    std::vector<BYTE> bytes(size);
    ASSERT_EQ(RegQueryValueExW(key, L"text", nullptr, nullptr, bytes.data(), &size), ERROR_SUCCESS);
    EXPECT_EQ(bytes, (std::vector<BYTE>{'h', 0, 0xE9, 0, 0x3D, 0xD8, 0x00, 0xDE, 0, 0}));
}

TEST_F(RegistryValueTest, TextOf258CharactersFitsA518ByteBuffer) {
    const std::wstring text(258, L'x');
    ASSERT_EQ(setString(key, L"long", text), ERROR_SUCCESS);

    BYTE buffer[520] = {};
    DWORD size = 518;
    ASSERT_EQ(RegQueryValueExW(key, L"long", nullptr, nullptr, buffer, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 518u);
    EXPECT_EQ(textOf(std::vector<BYTE>(buffer, buffer + size)), text);
}

TEST_F(RegistryValueTest, LongerTextAnswersMoreDataWithItsSizeAndLeavesTheBuffer) {
    ASSERT_EQ(setString(key, L"long", std::wstring(259, L'x')), ERROR_SUCCESS);

    BYTE buffer[520];
    std::memset(buffer, 0xAB, sizeof buffer);
    DWORD size = 518;
    DWORD type = REG_NONE;
    EXPECT_EQ(RegQueryValueExW(key, L"long", nullptr, &type, buffer, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 520u);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(buffer[0], 0xAB);
    EXPECT_EQ(buffer[517], 0xAB);
}

TEST_F(RegistryValueTest, NumberIsFourBytesLittleEndian) {
    ASSERT_EQ(setNumber(key, L"number", 0x01020304u), ERROR_SUCCESS);

    BYTE bytes[8] = {};
    DWORD size = sizeof bytes;
    DWORD type = REG_NONE;
    ASSERT_EQ(RegQueryValueExW(key, L"number", nullptr, &type, bytes, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_DWORD);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(std::vector<BYTE>(bytes, bytes + 4), (std::vector<BYTE>{4, 3, 2, 1}));
}

TEST_F(RegistryValueTest, OtherTypesKeepTheirRawBytesIncludingNone) {
    const BYTE raw[] = {0, 1, 0, 255};
    ASSERT_EQ(RegSetValueExW(key, L"raw", 0, REG_BINARY, raw, sizeof raw), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key, L"empty", 0, REG_BINARY, nullptr, 0), ERROR_SUCCESS);

    BYTE bytes[8] = {};
    DWORD size = sizeof bytes;
    ASSERT_EQ(RegQueryValueExW(key, L"raw", nullptr, nullptr, bytes, &size), ERROR_SUCCESS);
    EXPECT_EQ(std::vector<BYTE>(bytes, bytes + size), std::vector<BYTE>(raw, raw + 4));
    size = sizeof bytes;
    ASSERT_EQ(RegQueryValueExW(key, L"empty", nullptr, nullptr, bytes, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 0u);
}

TEST_F(RegistryValueTest, ReadAfterAWriteSeesTheNewData) {
    ASSERT_EQ(setString(key, L"v", L"first"), ERROR_SUCCESS);
    ASSERT_EQ(readString(key, L"v"), L"first");
    HKEY other = nullptr;
    ASSERT_EQ(openKey(L"Software\\Values", other), ERROR_SUCCESS);

    ASSERT_EQ(setString(other, L"v", L"second"), ERROR_SUCCESS);
    EXPECT_EQ(readString(key, L"v"), L"second");
    ASSERT_EQ(RegDeleteValueW(other, L"v"), ERROR_SUCCESS);
    EXPECT_EQ(readString(key, L"v"), L"");
}

TEST_F(RegistryValueTest, ReadsUnderEverySpellingFollowWritesAndDeletionsOfAnotherProcess) {
    ASSERT_EQ(setString(key, L"Spelled", L"first"), ERROR_SUCCESS);
    ASSERT_EQ(readString(key, L"Spelled"), L"first");
    ASSERT_EQ(readString(key, L"SPELLED"), L"first");

    ASSERT_EQ(runTool({"write", "HKCU\\Software\\Values", "spelled", "REG_SZ", "second"}), 0);
    EXPECT_EQ(readString(key, L"Spelled"), L"second");
    EXPECT_EQ(readString(key, L"SPELLED"), L"second");
    ASSERT_EQ(runTool({"delete-value", "HKCU\\Software\\Values", "SpElLeD"}), 0);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExW(key, L"Spelled", nullptr, nullptr, nullptr, &size),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegQueryValueExW(key, L"SPELLED", nullptr, nullptr, nullptr, &size),
              ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryValueTest, ReadsLeaveTheCallersCancellationStateAsItWas) {
    ASSERT_EQ(setString(key, L"v", L"kept"), ERROR_SUCCESS);
    // The first read of each pair goes to the database, the second is answered from memory.
    for (int read = 0; read < 2; ++read) {
        EXPECT_EQ(cancelStateAcrossRead(key, PTHREAD_CANCEL_ENABLE), PTHREAD_CANCEL_ENABLE);
        EXPECT_EQ(cancelStateAcrossRead(key, PTHREAD_CANCEL_DISABLE), PTHREAD_CANCEL_DISABLE);
    }
}

TEST_F(RegistryValueTest, RememberedValueIsNotReadThroughAClosedOrForeignHandle) {
    HKEY other = nullptr;
    ASSERT_EQ(openKey(L"Software\\Values", other), ERROR_SUCCESS);
    ASSERT_EQ(setString(key, L"v", L"remembered"), ERROR_SUCCESS);
    ASSERT_EQ(readString(other, L"v"), L"remembered");
    ASSERT_EQ(RegCloseKey(other), ERROR_SUCCESS);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExW(other, L"v", nullptr, nullptr, nullptr, &size),
              ERROR_INVALID_HANDLE);

    const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    EXPECT_EQ(
        RegQueryValueExW(reinterpret_cast<HKEY>(event), L"v", nullptr, nullptr, nullptr, &size),
        ERROR_INVALID_HANDLE);
    CloseHandle(event);
}

TEST_F(RegistryValueTest, RememberedValueIsNotReadThroughAHandleOfAReopenedStore) {
    ASSERT_EQ(setString(key, L"v", L"remembered"), ERROR_SUCCESS);
    ASSERT_EQ(readString(key, L"v"), L"remembered");
    krel_platform::reopenRegistryStore();
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExW(key, L"v", nullptr, nullptr, nullptr, &size), ERROR_INVALID_HANDLE);
}

TEST_F(RegistryValueTest, KeyClosedWhileOtherThreadsReadItAnswersTheValueOrInvalid) {
    HKEY shared = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Values", 0, KEY_READ, &shared),
              ERROR_SUCCESS);
    ASSERT_EQ(setString(key, L"v", L"value"), ERROR_SUCCESS);
    std::atomic<int> readers{0};
    std::atomic<int> wrong{0};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i) {
        threads.emplace_back([&] {
            bool counted = false;
            while (std::chrono::steady_clock::now() < deadline) {
                char16_t text[16] = {};
                DWORD size = sizeof text;
                const LSTATUS status = RegQueryValueExW(shared, L"v", nullptr, nullptr,
                                                        reinterpret_cast<LPBYTE>(text), &size);
                if (status == ERROR_INVALID_HANDLE) {
                    return;
                }
                if (status != ERROR_SUCCESS || std::u16string(text) != u"value") {
                    ++wrong;
                }
                if (!counted) {
                    counted = true;
                    ++readers;
                }
            }
        });
    }
    while (readers.load() < 4 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::yield();
    }
    EXPECT_EQ(RegCloseKey(shared), ERROR_SUCCESS);
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_LT(std::chrono::steady_clock::now(), deadline);
}

TEST_F(RegistryValueTest, MissingValueIsNotFound) {
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExW(key, L"absent", nullptr, nullptr, nullptr, &size),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteValueW(key, L"absent"), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryValueTest, NullAndEmptyNameBothNameTheDefaultValue) {
    ASSERT_EQ(setString(key, L"", L"default"), ERROR_SUCCESS);

    std::vector<BYTE> bytes(64);
    DWORD size = 64;
    ASSERT_EQ(RegQueryValueExW(key, nullptr, nullptr, nullptr, bytes.data(), &size), ERROR_SUCCESS);
    bytes.resize(size);
    EXPECT_EQ(textOf(bytes), L"default");
}

TEST_F(RegistryValueTest, NamesAreCaseInsensitiveAndKeepTheFirstSpelling) {
    ASSERT_EQ(setString(key, L"MixedCase\u00e9", L"first"), ERROR_SUCCESS);
    ASSERT_EQ(setString(key, L"MIXEDCASE\u00c9", L"second"), ERROR_SUCCESS);

    EXPECT_EQ(readString(key, L"mixedcase\u00e9"), L"second");
    EXPECT_EQ(valueNames(key), std::vector<std::wstring>{L"MixedCase\u00e9"});
}

TEST_F(RegistryValueTest, ValuesEnumerateInCreationOrderAndAnOverwriteKeepsItsPlace) {
    for (const wchar_t* name : {L"zeta", L"alpha", L"Mid"}) {
        ASSERT_EQ(setString(key, name, L"x"), ERROR_SUCCESS);
    }
    ASSERT_EQ(setNumber(key, L"ZETA", 7), ERROR_SUCCESS);

    EXPECT_EQ(valueNames(key), (std::vector<std::wstring>{L"zeta", L"alpha", L"Mid"}));
}

TEST_F(RegistryValueTest, DeletedValueLeavesTheOthersInOrder) {
    for (const wchar_t* name : {L"a", L"b", L"c"}) {
        ASSERT_EQ(setString(key, name, L"x"), ERROR_SUCCESS);
    }
    ASSERT_EQ(RegDeleteValueW(key, L"B"), ERROR_SUCCESS);

    EXPECT_EQ(valueNames(key), (std::vector<std::wstring>{L"a", L"c"}));
}

TEST_F(RegistryValueTest, EnumerationPastTheLastValueAnswersNoMoreItems) {
    ASSERT_EQ(setString(key, L"only", L"x"), ERROR_SUCCESS);

    wchar_t name[16];
    DWORD length = 16;
    EXPECT_EQ(RegEnumValueW(key, 1, name, &length, nullptr, nullptr, nullptr, nullptr),
              ERROR_NO_MORE_ITEMS);
}

TEST_F(RegistryValueTest, EnumeratedDataTooBigAnswersMoreDataWithTheNameAndSize) {
    ASSERT_EQ(setString(key, L"first", L"fits"), ERROR_SUCCESS);
    ASSERT_EQ(setString(key, L"second", std::wstring(200, L'y')), ERROR_SUCCESS);

    wchar_t name[16];
    DWORD length = 16;
    BYTE data[258];
    std::memset(data, 0xAB, sizeof data);
    DWORD size = sizeof data;
    DWORD type = REG_NONE;
    EXPECT_EQ(RegEnumValueW(key, 1, name, &length, nullptr, &type, data, &size), ERROR_MORE_DATA);
    EXPECT_EQ(std::wstring(name, length), L"second");
    EXPECT_EQ(size, 402u);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(data[0], 0xAB);
}

TEST_F(RegistryValueTest, EnumeratedNameTooLongIsTruncatedAndTerminated) {
    ASSERT_EQ(setNumber(key, L"averylongname", 1), ERROR_SUCCESS);

    wchar_t name[5];
    DWORD length = 5;
    EXPECT_EQ(RegEnumValueW(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
              ERROR_MORE_DATA);
    EXPECT_EQ(std::wstring(name), L"aver");
}

TEST_F(RegistryValueTest, ValueNameLongerThanTheLimitIsAnInvalidParameter) {
    const std::wstring name(16384, L'n');
    EXPECT_EQ(setString(key, name, L"x"), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(setString(key, name.substr(1), L"x"), ERROR_SUCCESS);
}

} // namespace
