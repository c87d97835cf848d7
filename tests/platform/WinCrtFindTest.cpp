// The runtime's directory search: what it tells of each entry without another look-up.
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <sys/stat.h>

#include "platform/WinCrtFile.h"
#include "support/TempDirectory.h"

namespace {

class WinCrtFindTest : public TempDirectoryTest {
protected:
    // Every entry of the directory by name, "." and ".." left out.
    std::map<std::wstring, _wfinddata64i32_t> search() const {
        std::map<std::wstring, _wfinddata64i32_t> entries;
        _wfinddata64i32_t entry{};
        const intptr_t handle = _wfindfirst64i32((path() + L"/*").c_str(), &entry);
        EXPECT_NE(-1, handle);
        if (handle == -1) {
            return entries;
        }
        do {
            const std::wstring name(entry.name);
            if (name != L"." && name != L"..") {
                entries[name] = entry;
            }
        } while (_wfindnext64i32(handle, &entry) == 0);
        _findclose(handle);
        return entries;
    }
};

TEST_F(WinCrtFindTest, EachEntryCarriesItsKindSizeAndTimes) {
    writeBytes("five.txt", "12345");
    const timespec stamps[2] = {{1000000000, 0}, {1200000000, 0}};
    ASSERT_EQ(0, utimensat(AT_FDCWD, native("five.txt").c_str(), stamps, 0));
    std::filesystem::create_directory(native("sub"));
    std::filesystem::create_directory(native(".hidden"));
    std::filesystem::create_directory_symlink(native("sub"), native("linked"));
    std::filesystem::create_symlink(native("missing"), native("dangling"));

    const std::map<std::wstring, _wfinddata64i32_t> entries = search();
    ASSERT_EQ(5u, entries.size());
    const _wfinddata64i32_t& file = entries.at(L"five.txt");
    EXPECT_EQ(_A_NORMAL, file.attrib);
    EXPECT_EQ(5u, file.size);
    EXPECT_EQ(1000000000, file.time_access);
    EXPECT_EQ(1200000000, file.time_write);
    EXPECT_GT(file.time_create, 0);
    EXPECT_EQ(_A_SUBDIR, entries.at(L"sub").attrib);
    EXPECT_EQ(_A_SUBDIR | _A_HIDDEN, entries.at(L".hidden").attrib);
    EXPECT_EQ(_A_SUBDIR, entries.at(L"linked").attrib);
    EXPECT_EQ(_A_NORMAL, entries.at(L"dangling").attrib);
}

} // namespace
