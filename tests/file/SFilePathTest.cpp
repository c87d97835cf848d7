#include "file/SFilePath.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>

#include "support/TempDirectory.h"

using KrelStd::SDirPath;
using KrelStd::SFilePath;

namespace {

SFilePath windowsPath(const wchar_t* text) {
    return SFilePath(std::wstring(text), L'\\');
}

} // namespace

TEST(OlderFilePath, EmptyMeansNoTextOrADot) {
    EXPECT_TRUE(SFilePath().IsEmpty());
    EXPECT_TRUE(windowsPath(L".").IsEmpty());
    EXPECT_FALSE(windowsPath(L".\\").IsEmpty());
}

TEST(OlderFilePath, AppendToAnEmptyPathTakesTheText) {
    SFilePath dot = windowsPath(L".");
    dot.Append(std::wstring(L"b"));
    EXPECT_EQ(dot, L"b");
    SFilePath empty;
    empty.Append(windowsPath(L"x\\y"));
    empty.Append(std::wstring(L"z"));
    // The other path's separator came with its text.
    EXPECT_EQ(empty, L"x\\y\\z");
}

TEST(OlderFilePath, AppendAlwaysInsertsTheSeparator) {
    SFilePath path = windowsPath(L"a\\");
    path += std::wstring(L"b");
    EXPECT_EQ(path, L"a\\\\b");
    path += path;
    EXPECT_EQ(path, L"a\\\\b\\a\\\\b");
}

TEST(OlderFilePath, PlusJoinsACopyWithTheDefaultSeparatorForNarrowText) {
    const SFilePath base(std::wstring(L"dir"), L'/');
    EXPECT_EQ(base + "file", L"dir/file");
    EXPECT_EQ(base + L"file", L"dir/file");
    EXPECT_EQ(base + KrelStd::SWString(L"s"), L"dir/s");
    EXPECT_EQ(base, L"dir");
    EXPECT_EQ(SFilePath() + "file", L"file");
    EXPECT_EQ(SFilePath("caf\xE9", '/').Length(), 4);
}

TEST(OlderFilePath, BasenameOfPathsWithoutSeparator) {
    EXPECT_EQ(windowsPath(L"name").Basename(nullptr), L"name");
    EXPECT_EQ(windowsPath(L"").Basename(nullptr), L".");
    EXPECT_EQ(windowsPath(L"name.txt").Basename(L"txt"), L"name.txt");
}

TEST(OlderFilePath, BasenameCutsTheSuffixAndTheCharacterBeforeIt) {
    EXPECT_EQ(windowsPath(L"a\\b\\name.txt").Basename(L"txt"), L"name");
    EXPECT_EQ(windowsPath(L"a\\b\\name.txt").Basename(L".txt"), L"nam");
    EXPECT_EQ(windowsPath(L"a\\b\\name.txt").Basename(L""), L"name.txt");
}

TEST(OlderFilePath, BasenameKeepsTheWholeTextForASuffixOutsideTheLastComponent) {
    EXPECT_EQ(windowsPath(L"a.txt\\name").Basename(L"txt"), L"a.txt\\name");
}

TEST(OlderFilePath, BasenameWithSuffixRightAfterTheSeparatorIsTheWholeComponent) {
    EXPECT_EQ(windowsPath(L"dir\\txt").Basename(L"txt"), L"txt");
    EXPECT_EQ(windowsPath(L"dir\\.txt").Basename(L"txt"), L"");
}

TEST(OlderFilePath, SuffixnameIsTheTextAfterTheLastDotAnywhere) {
    EXPECT_EQ(windowsPath(L"a\\b.c").Suffixname(), L"c");
    EXPECT_EQ(windowsPath(L"a.d\\b").Suffixname(), L"d\\b");
    EXPECT_EQ(windowsPath(L"a\\b").Suffixname(), L"");
}

TEST(OlderFilePath, DirnameIsTheTextBeforeTheLastSeparator) {
    EXPECT_EQ(windowsPath(L"file").Dirname(), L".");
    EXPECT_EQ(windowsPath(L"C:\\file").Dirname(), L"C:");
    EXPECT_EQ(windowsPath(L"\\file").Dirname(), L"");
    EXPECT_TRUE(windowsPath(L"\\file").Dirname().IsEmpty());
}

TEST(OlderFilePath, StaticSplitsAcceptEitherSeparator) {
    EXPECT_EQ(SFilePath::getFilename(L"C:\\dir\\file.ext"), L"file.ext");
    EXPECT_EQ(SFilePath::getFilename(L"/dir/file.ext"), L"file.ext");
    EXPECT_EQ(SFilePath::getDirectory(L"/dir/file"), L"/dir//");
    EXPECT_EQ(SFilePath::getDirectory(L"file"), L"/");
}

TEST(OlderFilePath, AssignmentKeepsOrTakesTheSeparator) {
    SFilePath path = windowsPath(L"a");
    path = std::wstring(L"b");
    path.Append(std::wstring(L"c"));
    EXPECT_EQ(path, L"b\\c");
    path = SFilePath(std::wstring(L"x"), L'/');
    path.Append(std::wstring(L"y"));
    EXPECT_EQ(path, L"x/y");
    SDirPath dir;
    dir = "d";
    dir.Append(std::wstring(L"e"));
    EXPECT_EQ(dir, L"d/e");
}

class OlderDirPath : public TempDirectoryTest {};

TEST_F(OlderDirPath, CreatePathMakesEveryMissingParent) {
    std::filesystem::create_directory(native("a"));
    SDirPath dir(path("a/b/c"));
    EXPECT_FALSE(dir.Exists());
    EXPECT_TRUE(dir.CreatePath());
    EXPECT_TRUE(std::filesystem::is_directory(native("a/b/c")));
    EXPECT_TRUE(dir.Exists());
}

TEST_F(OlderDirPath, CreatePathFollowsThePathsOwnSeparator) {
    SDirPath dir(SFilePath(path() + L"\\x\\y", L'\\'));
    EXPECT_TRUE(dir.CreatePath());
    EXPECT_TRUE(std::filesystem::is_directory(native("x/y")));
}

TEST_F(OlderDirPath, CreatePathStopsAtAFileInTheWay) {
    writeBytes("file", "x");
    SDirPath dir(path("file/sub/leaf"));
    EXPECT_FALSE(dir.CreatePath());
    EXPECT_TRUE(std::filesystem::is_regular_file(native("file")));
}

TEST_F(OlderDirPath, ExistsIsTrueForFilesToo) {
    writeBytes("file", "x");
    EXPECT_TRUE(SDirPath(path("file")).Exists());
    EXPECT_FALSE(SDirPath(path("missing")).Exists());
}
