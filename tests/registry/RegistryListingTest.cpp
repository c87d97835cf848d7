// Listings of a key's values and subkeys by index: every index names the entry at that place
// in the key's order as the hive holds it at the call, whatever the handle listed before, and
// whatever this or another process wrote between the calls.
#include "RegistryTestSupport.h"

namespace {

const std::wstring PATH = L"Software\\Listed";

class RegistryListingTest : public RegistryTest {
protected:
    void SetUp() override {
        RegistryTest::SetUp();
        key = createKey(PATH);
    }

    // Values "<prefix>0" to "<prefix><count - 1>", each holding its own name.
    void addValues(const std::wstring& prefix, int count) {
        for (int i = 0; i < count; ++i) {
            const std::wstring name = prefix + std::to_wstring(i);
            ASSERT_EQ(setString(key, name, name), ERROR_SUCCESS);
        }
    }

    // The value's name at the index ("" when the call fails), with its status.
    static std::wstring valueAt(HKEY listed, DWORD index, LSTATUS* status = nullptr) {
        wchar_t name[64];
        DWORD length = 64;
        const LSTATUS code =
            RegEnumValueW(listed, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status != nullptr) {
            *status = code;
        }
        return code == ERROR_SUCCESS ? std::wstring(name, length) : std::wstring();
    }

    // The value's data as text, read by enumeration at the index.
    static std::wstring dataAt(HKEY listed, DWORD index) {
        wchar_t name[64];
        DWORD length = 64;
        std::vector<BYTE> data(256);
        DWORD size = static_cast<DWORD>(data.size());
        if (RegEnumValueW(listed, index, name, &length, nullptr, nullptr, data.data(), &size) !=
            ERROR_SUCCESS) {
            return std::wstring();
        }
        data.resize(size);
        return textOf(data);
    }

    static std::wstring subkeyAt(HKEY listed, DWORD index) {
        wchar_t name[64];
        DWORD length = 64;
        return RegEnumKeyExW(listed, index, name, &length, nullptr, nullptr, nullptr, nullptr) ==
                       ERROR_SUCCESS
                   ? std::wstring(name, length)
                   : std::wstring();
    }

    // The value names from the index on, to the end of the listing.
    static std::vector<std::wstring> valuesFrom(HKEY listed, DWORD index) {
        std::vector<std::wstring> names;
        for (LSTATUS status = ERROR_SUCCESS;; ++index) {
            const std::wstring name = valueAt(listed, index, &status);
            if (status != ERROR_SUCCESS) {
                EXPECT_EQ(status, ERROR_NO_MORE_ITEMS);
                return names;
            }
            names.push_back(name);
        }
    }

    static std::vector<std::wstring> numbered(const std::wstring& prefix, int from, int to) {
        std::vector<std::wstring> names;
        for (int i = from; i < to; ++i) {
            names.push_back(prefix + std::to_wstring(i));
        }
        return names;
    }

    static std::vector<std::wstring> joined(std::vector<std::wstring> first,
                                            const std::vector<std::wstring>& second) {
        first.insert(first.end(), second.begin(), second.end());
        return first;
    }

    // Another process writes or deletes through krel-admin; it has ended when this returns.
    static void otherProcessWrites(const std::wstring& path, const std::string& value) {
        ASSERT_EQ(runTool({"write", "HKCU\\" + krel_platform::wideToUtf8(path), value, "REG_SZ",
                           "from another process"}),
                  0);
    }

    static void otherProcessDeletes(const std::string& value) {
        ASSERT_EQ(runTool({"delete-value", "HKCU\\" + krel_platform::wideToUtf8(PATH), value}), 0);
    }

    HKEY key = nullptr;
};

TEST_F(RegistryListingTest, ValuesListInCreationOrderWhateverTheirNames) {
    for (const wchar_t* name : {L"m", L"Z", L"a", L"\u00e9", L"B", L"0"}) {
        ASSERT_EQ(setString(key, name, L"x"), ERROR_SUCCESS);
    }
    ASSERT_EQ(setString(key, L"A", L"overwritten in place"), ERROR_SUCCESS);

    EXPECT_EQ(valueNames(key),
              (std::vector<std::wstring>{L"m", L"Z", L"a", L"\u00e9", L"B", L"0"}));
}

TEST_F(RegistryListingTest, ListingTheSameHandleAgainGivesTheSameOrder) {
    addValues(L"v", 40);

    const std::vector<std::wstring> first = valueNames(key);
    EXPECT_EQ(first, numbered(L"v", 0, 40));
    EXPECT_EQ(valueNames(key), first);
}

TEST_F(RegistryListingTest, DecreasingAndSkippingIndicesNameTheSameValuesAsIncreasingOnes) {
    addValues(L"v", 20);

    for (DWORD index = 20; index-- > 0;) {
        EXPECT_EQ(valueAt(key, index), L"v" + std::to_wstring(index));
    }
    for (DWORD index = 0; index < 20; index += 3) {
        EXPECT_EQ(valueAt(key, index), L"v" + std::to_wstring(index));
    }
}

TEST_F(RegistryListingTest, SameIndexTwiceAnswersTheSameValueWithItsData) {
    addValues(L"v", 5);

    ASSERT_EQ(valueAt(key, 2), L"v2");
    EXPECT_EQ(valueAt(key, 2), L"v2");
    EXPECT_EQ(dataAt(key, 2), L"v2");
    EXPECT_EQ(valueAt(key, 3), L"v3");
}

TEST_F(RegistryListingTest, IndicesPastTheLastValueAnswerNoMoreItemsAfterAFullListing) {
    addValues(L"v", 3);
    ASSERT_EQ(valueNames(key).size(), 3u);

    LSTATUS status = ERROR_SUCCESS;
    for (DWORD index : {3u, 4u, 3u, 100u, 0xFFFFFFFFu}) {
        valueAt(key, index, &status);
        EXPECT_EQ(status, ERROR_NO_MORE_ITEMS) << index;
    }
    EXPECT_EQ(valueAt(key, 2), L"v2");
}

TEST_F(RegistryListingTest, DeletingTheFirstValueUntilNoneIsLeftEmptiesTheKey) {
    addValues(L"v", 6);

    std::vector<std::wstring> deleted;
    LSTATUS status = ERROR_SUCCESS;
    for (std::wstring name = valueAt(key, 0, &status); status == ERROR_SUCCESS;
         name = valueAt(key, 0, &status)) {
        ASSERT_EQ(RegDeleteValueW(key, name.c_str()), ERROR_SUCCESS);
        deleted.push_back(name);
    }

    EXPECT_EQ(status, ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(deleted, numbered(L"v", 0, 6));
}

TEST_F(RegistryListingTest, ValueDeletedThroughAnotherHandleBehindTheListingMovesTheLaterOnesDown) {
    addValues(L"v", 6);
    HKEY other = nullptr;
    ASSERT_EQ(openKey(PATH, other), ERROR_SUCCESS);
    ASSERT_EQ(valueAt(key, 0), L"v0");
    ASSERT_EQ(valueAt(key, 1), L"v1");
    ASSERT_EQ(valueAt(key, 2), L"v2");

    ASSERT_EQ(RegDeleteValueW(other, L"v0"), ERROR_SUCCESS);

    EXPECT_EQ(valuesFrom(key, 3), numbered(L"v", 4, 6));
}

TEST_F(RegistryListingTest, ValuesAddedByAnotherProcessMidListingFollowTheOthersOnce) {
    addValues(L"v", 10);
    const std::vector<std::wstring> head = {valueAt(key, 0), valueAt(key, 1), valueAt(key, 2),
                                            valueAt(key, 3), valueAt(key, 4)};

    otherProcessWrites(PATH, "w0");
    otherProcessWrites(PATH, "w1");

    EXPECT_EQ(joined(head, valuesFrom(key, 5)), joined(numbered(L"v", 0, 10), {L"w0", L"w1"}));
}

TEST_F(RegistryListingTest, ValueDeletedByAnotherProcessAheadOfTheListingIsLeftOut) {
    addValues(L"v", 10);
    for (DWORD index = 0; index < 5; ++index) {
        ASSERT_EQ(valueAt(key, index), L"v" + std::to_wstring(index));
    }

    otherProcessDeletes("v7");

    EXPECT_EQ(valuesFrom(key, 5), (std::vector<std::wstring>{L"v5", L"v6", L"v8", L"v9"}));
}

TEST_F(RegistryListingTest, ValueDeletedByAnotherProcessBehindTheListingMovesTheLaterOnesDown) {
    addValues(L"v", 10);
    for (DWORD index = 0; index < 5; ++index) {
        ASSERT_EQ(valueAt(key, index), L"v" + std::to_wstring(index));
    }

    otherProcessDeletes("v1");

    EXPECT_EQ(valueAt(key, 4), L"v5");
    EXPECT_EQ(valuesFrom(key, 5), numbered(L"v", 6, 10));
}

TEST_F(RegistryListingTest, ValueOverwrittenByAnotherProcessKeepsItsPlaceWithItsNewData) {
    addValues(L"v", 5);
    ASSERT_EQ(valueAt(key, 0), L"v0");
    ASSERT_EQ(valueAt(key, 1), L"v1");

    otherProcessWrites(PATH, "v2");

    EXPECT_EQ(valueAt(key, 2), L"v2");
    EXPECT_EQ(dataAt(key, 2), L"from another process");
    EXPECT_EQ(valuesFrom(key, 3), numbered(L"v", 3, 5));
}

TEST_F(RegistryListingTest, ValuesOfThePredefinedRootListLikeThoseOfAnOpenedKey) {
    for (const wchar_t* name : {L"b", L"a", L"c"}) {
        ASSERT_EQ(setString(HKEY_CURRENT_USER, name, L"x"), ERROR_SUCCESS);
    }
    ASSERT_EQ(valueAt(HKEY_CURRENT_USER, 0), L"b");
    ASSERT_EQ(RegDeleteValueW(HKEY_CURRENT_USER, L"b"), ERROR_SUCCESS);

    EXPECT_EQ(valuesFrom(HKEY_CURRENT_USER, 1), std::vector<std::wstring>{L"c"});
}

TEST_F(RegistryListingTest, SubkeysListInFoldedNameOrderByAnyIndices) {
    for (const wchar_t* name : {L"delta", L"Bravo", L"alpha", L"Charlie", L"echo"}) {
        createKey(PATH + L"\\" + name);
    }
    const std::vector<std::wstring> ordered = {L"alpha", L"Bravo", L"Charlie", L"delta", L"echo"};

    EXPECT_EQ(subkeyNames(key), ordered);
    EXPECT_EQ(subkeyAt(key, 3), L"delta");
    EXPECT_EQ(subkeyAt(key, 3), L"delta");
    EXPECT_EQ(subkeyAt(key, 1), L"Bravo");
    EXPECT_EQ(subkeyAt(key, 4), L"echo");
    EXPECT_EQ(subkeyNames(key), ordered);
}

TEST_F(RegistryListingTest, SubkeyMadeInThisProcessBehindTheListingMovesTheLaterOnesUp) {
    for (const wchar_t* name : {L"k0", L"k1", L"k2", L"k3"}) {
        createKey(PATH + L"\\" + name);
    }
    ASSERT_EQ(subkeyAt(key, 0), L"k0");
    ASSERT_EQ(subkeyAt(key, 1), L"k1");

    createKey(PATH + L"\\k0a");

    EXPECT_EQ(subkeyAt(key, 2), L"k1");
    EXPECT_EQ(subkeyAt(key, 3), L"k2");
}

TEST_F(RegistryListingTest, SubkeyMadeByAnotherProcessBehindTheListingMovesTheLaterOnesUp) {
    for (const wchar_t* name : {L"k0", L"k1", L"k2", L"k3"}) {
        createKey(PATH + L"\\" + name);
    }
    ASSERT_EQ(subkeyAt(key, 0), L"k0");
    ASSERT_EQ(subkeyAt(key, 1), L"k1");

    otherProcessWrites(PATH + L"\\k0a", "made");

    EXPECT_EQ(subkeyAt(key, 2), L"k1");
    EXPECT_EQ(subkeyAt(key, 3), L"k2");
    EXPECT_EQ(subkeyAt(key, 4), L"k3");
    EXPECT_EQ(subkeyAt(key, 5), L"");
}

TEST_F(RegistryListingTest, SubkeyDeletedByAnotherProcessAheadOfTheListingIsLeftOut) {
    for (const wchar_t* name : {L"k0", L"k1", L"k2", L"k3"}) {
        createKey(PATH + L"\\" + name);
    }
    ASSERT_EQ(subkeyAt(key, 0), L"k0");
    ASSERT_EQ(subkeyAt(key, 1), L"k1");

    ASSERT_EQ(runTool({"delete-key", "HKCU\\" + krel_platform::wideToUtf8(PATH) + "\\k2"}), 0);

    EXPECT_EQ(subkeyAt(key, 2), L"k3");
    EXPECT_EQ(subkeyAt(key, 3), L"");
}

} // namespace
