#include <cstdlib>
#include <gtest/gtest.h>
#include <string>

#include "exception/KrelIllegalArgumentException.h"
#include "file/File.h"
#include "support/TempDirectory.h"

using krel_std::File;
using krel_std::KrelIllegalArgumentException;

namespace {

std::wstring validationMessage(const std::wstring& path) {
    try {
        File file(path);
    } catch (const KrelIllegalArgumentException& exception) {
        return exception.getMessage();
    }
    return L"";
}

// Keeps the process's working directory in a fresh temporary directory for the test.
class WorkingDirectoryTest : public TempDirectoryTest {
protected:
    void SetUp() override {
        TempDirectoryTest::SetUp();
        saved = std::filesystem::current_path();
        File::setWorkingDirectory(File(path()));
    }
    void TearDown() override {
        std::filesystem::current_path(saved);
        TempDirectoryTest::TearDown();
    }

    std::filesystem::path saved;
};

} // namespace

TEST(FilePath, AcceptsBothSeparatorsAndWritesForwardSlashes) {
    EXPECT_EQ(File(L"a\\b/c").getPath(), L"a/b/c");
    EXPECT_EQ(File(L"a//b/").getPath(), L"a/b");
    EXPECT_EQ(File(L"\\\\server\\share").getPath(), L"/server/share");
}

TEST(FilePath, LeadingDriveRootOrSeparatorIsTheRoot) {
    EXPECT_EQ(File(L"C:\\dir\\file").getPath(), L"/dir/file");
    EXPECT_EQ(File(L"c:/x").getPath(), L"/x");
    EXPECT_TRUE(File(L"C:\\dir").isAbsolute());
    EXPECT_TRUE(File(L"/dir").isAbsolute());
    EXPECT_FALSE(File(L"dir").isAbsolute());
}

TEST(FilePath, DriveLetterAloneOrLaterInThePathIsAName) {
    const File drive(L"C:");
    EXPECT_EQ(drive.getPath(), L"C:");
    EXPECT_FALSE(drive.isAbsolute());
    EXPECT_EQ(File(L"a/C:/b").getPath(), L"a/C:/b");
}

TEST(FilePath, RootIsItsOwnParentAndHasNoName) {
    const File root(L"C:\\");
    EXPECT_TRUE(root.isRootDirectory());
    EXPECT_EQ(root.getPath(), L"/");
    EXPECT_EQ(root.getParent(), L"/");
    EXPECT_EQ(root.getName(), L"");
    EXPECT_EQ(root.getParentFile().getPath(), L"/");
}

TEST(FilePath, ParentAndNameOfNestedPath) {
    const File file(L"/dir/sub/name.txt");
    EXPECT_EQ(file.getName(), L"name.txt");
    EXPECT_EQ(file.getParent(), L"/dir/sub");
    EXPECT_EQ(file.getParentFile().getParentFile().getPath(), L"/dir");
    EXPECT_EQ(File(L"/dir").getParent(), L"/");
}

TEST(FilePath, CanonicalFormFoldsDotsAndNeverClimbsAboveTheRoot) {
    EXPECT_EQ(File(L"c:\\a\\.\\b\\..\\c").getCanonicalPath(), L"/a/c");
    EXPECT_EQ(File(L"C:\\..\\x").getCanonicalPath(), L"/x");
    EXPECT_EQ(File(L"/../../").getCanonicalPath(), L"/");
    EXPECT_EQ(File(L"/a/b/../../../c").getCanonicalFile().getPath(), L"/c");
}

TEST(FilePath, EqualityComparesCanonicalPathsExactly) {
    EXPECT_EQ(File(L"/a/b"), File(L"\\a\\.\\b"));
    EXPECT_EQ(File(L"C:\\a\\x\\.."), File(L"/a"));
    EXPECT_NE(File(L"/a"), File(L"/A"));
}

TEST(FilePath, ChildJoinsWithoutItsLeadingSeparator) {
    EXPECT_EQ(File(File(L"/dir"), L"\\sub").getPath(), L"/dir/sub");
    EXPECT_EQ(File(L"/dir", L"sub/x").getPath(), L"/dir/sub/x");
    EXPECT_EQ((File(L"dir") + L"C:\\y").getPath(), L"dir/y");
}

TEST(FilePath, ToStringShowsThePath) {
    EXPECT_EQ(File(L"\\a\\b").toString(), L"File{path='/a/b'}");
}

TEST(FilePathValidation, RejectsInvalidCharacters) {
    const std::wstring invalid = L"Path contains invalid characters.";
    EXPECT_EQ(validationMessage(L"/dir/ab:c"), invalid);
    EXPECT_EQ(validationMessage(L"x*y"), invalid);
    EXPECT_EQ(validationMessage(L"what?"), invalid);
    EXPECT_EQ(validationMessage(L"a<b"), invalid);
    EXPECT_EQ(validationMessage(L"a|b"), invalid);
    EXPECT_EQ(validationMessage(L"a\"b"), invalid);
    EXPECT_EQ(validationMessage(std::wstring(L"tab\there")), invalid);
    EXPECT_EQ(validationMessage(L"a:b"), L"");
}

TEST(FilePathValidation, RejectsTrailingDotOrWhiteSpace) {
    const std::wstring message = L"Path ends with '.' or whitespace.";
    EXPECT_EQ(validationMessage(L"/dir/name."), message);
    EXPECT_EQ(validationMessage(L"/dir/name /x"), message);
    EXPECT_EQ(validationMessage(std::wstring(L"name\u3000")), message);
    EXPECT_EQ(validationMessage(L"/dir/./../x"), L"");
}

TEST(FilePathValidation, LimitsTheSummedElementLength) {
    // The root counts 2 (its one character and a separator), the name its length plus 1.
    const std::wstring longest(File::MAX_PATH_LENGTH - 3, L'n');
    EXPECT_EQ(validationMessage(L"/" + longest), L"");
    EXPECT_EQ(validationMessage(L"/" + longest + L"n"),
              L"Path length exceeded maximum path length.");
}

TEST(FilePathValidation, FilenameMayNotHoldSeparators) {
    EXPECT_NO_THROW(File::assertFilenameIsValid(L"plain.txt"));
    try {
        File::assertFilenameIsValid(L"a/b");
        FAIL() << "no exception";
    } catch (const KrelIllegalArgumentException& exception) {
        EXPECT_EQ(exception.getMessage(), L"Filename must not contain any slashes.");
    }
    EXPECT_THROW(File::assertFilenameIsValid(L"bad?"), KrelIllegalArgumentException);
}

TEST_F(WorkingDirectoryTest, RelativePathsStartFromTheWorkingDirectory) {
    EXPECT_EQ(File::getWorkingDirectory().getPath(), path());
    EXPECT_EQ(File().getAbsolutePath(), path());
    EXPECT_EQ(File(L"x/../y").getCanonicalPath(), path("y"));
    EXPECT_EQ(File(L"name").getName(), L"name");
    EXPECT_EQ(File(L"name").getParent(), L"");
    EXPECT_EQ(File(L"name"), File(path("name")));
}

TEST_F(WorkingDirectoryTest, SettingAMissingDirectoryIsRefused) {
    try {
        File::setWorkingDirectory(File(L"missing"));
        FAIL() << "no exception";
    } catch (const KrelIllegalArgumentException& exception) {
        EXPECT_EQ(exception.getMessage(), L"Directory <missing> is invalid!");
    }
    EXPECT_EQ(File::getWorkingDirectory().getPath(), path());
}

TEST(FileStatic, RootUserDirectoryAndDriveList) {
    EXPECT_EQ(File::getRootDirectory().getPath(), L"/");
    ASSERT_EQ(File::listRoots().size(), 1u);
    EXPECT_EQ(File::listRoots()[0].getPath(), L"/");
    const char* home = std::getenv("HOME");
    ASSERT_NE(home, nullptr);
    EXPECT_EQ(File::getUserDirectory(), File(krel_platform::utf8ToWide(home)));
}
