#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>

#include "base/ByteArray.h"
#include "base/ByteBuffer.h"
#include "exception/KrelIllegalArgumentException.h"
#include "file/File.h"
#include "file/FileUtils.h"
#include "file/WildcardFileFilter.h"
#include "support/TempDirectory.h"

using krel_std::ByteArray;
using krel_std::File;
using krel_std::FileUtils;
using krel_std::KrelIllegalArgumentException;
using krel_std::WildcardFileFilter;

namespace {

class FileUtilsTest : public TempDirectoryTest {
protected:
    std::wstring copyFailure(const std::string& source, const std::string& destination) const {
        try {
            FileUtils::copyFile(File(path(source)), File(path(destination)));
        } catch (const KrelIllegalArgumentException& exception) {
            return exception.getMessage();
        }
        return L"";
    }
};

bool matches(const std::wstring& pattern, const std::wstring& name) {
    return WildcardFileFilter(pattern).accept(File(L"/dir/" + name));
}

} // namespace

TEST_F(FileUtilsTest, WrittenContentReadsBack) {
    EXPECT_TRUE(FileUtils::writeFileContent(path("f"), ByteArray(std::string("x\0y", 3))));
    const boost::shared_ptr<ByteArray> content = FileUtils::getFileContent(path("f"));
    ASSERT_TRUE(content);
    EXPECT_EQ(content->toString(), std::string("x\0y", 3));
    EXPECT_EQ(FileUtils::getFileSize(path("f")), 3u);
}

TEST_F(FileUtilsTest, WritingAnEmptyArrayTruncates) {
    writeBytes("f", "old");
    EXPECT_TRUE(FileUtils::writeFileContent(path("f"), ByteArray()));
    EXPECT_EQ(readBytes("f"), "");
    EXPECT_EQ(FileUtils::getFileContent(path("f"))->getLength(), 0);
}

TEST_F(FileUtilsTest, AppendingAddsAtTheEnd) {
    EXPECT_TRUE(FileUtils::appendFileContent(path("f"), ByteArray(std::string("one,"))));
    EXPECT_TRUE(FileUtils::appendFileContent(path("f"), ByteArray(std::string("two"))));
    EXPECT_EQ(readBytes("f"), "one,two");
}

TEST_F(FileUtilsTest, BufferWritesFromPositionToLimit) {
    boost::shared_ptr<krel_std::ByteBuffer> buffer = krel_std::ByteBuffer::allocate(6);
    buffer->put("abcdef", 6);
    buffer->setLimit(5);
    buffer->setPosition(1);
    EXPECT_TRUE(FileUtils::writeFileContent(path("f"), *buffer));
    EXPECT_TRUE(FileUtils::appendFileContent(path("f"), *buffer));
    EXPECT_EQ(readBytes("f"), "bcdebcde");
    const boost::shared_ptr<krel_std::ByteBuffer> read = FileUtils::getFileContentBuffer(path("f"));
    ASSERT_TRUE(read);
    EXPECT_EQ(read->getLimit(), 8);
    EXPECT_EQ(std::string(read->array(), 8), "bcdebcde");
}

TEST_F(FileUtilsTest, FailuresAnswerEmptyResultsWithoutThrowing) {
    EXPECT_FALSE(FileUtils::getFileContent(path("missing")));
    EXPECT_FALSE(FileUtils::getFileContentBuffer(path("missing")));
    EXPECT_FALSE(FileUtils::getFileContent(L""));
    EXPECT_FALSE(FileUtils::isFileExist(L""));
    EXPECT_EQ(FileUtils::getFileSize(L""), 0u);
    EXPECT_FALSE(FileUtils::writeFileContent(L"", ByteArray()));
    EXPECT_FALSE(FileUtils::writeFileContent(path("no/such/dir/f"), ByteArray(std::string("x"))));
    EXPECT_FALSE(FileUtils::appendFileContent(path(), ByteArray(std::string("x"))));
}

TEST_F(FileUtilsTest, DirectoryHasNoContent) {
    EXPECT_FALSE(FileUtils::getFileContent(path()));
    EXPECT_FALSE(FileUtils::getFileContentBuffer(path()));
    EXPECT_FALSE(FileUtils::compareFileContents(path(), path()));
}

TEST_F(FileUtilsTest, NameHoldingNulNeverReachesTheFileBeforeIt) {
    writeBytes("f", "kept");
    const std::wstring name = path("f") + std::wstring(1, L'\0') + L".bak";
    EXPECT_FALSE(FileUtils::writeFileContent(name, ByteArray(std::string("lost"))));
    EXPECT_FALSE(FileUtils::appendFileContent(name, ByteArray(std::string("lost"))));
    EXPECT_FALSE(FileUtils::getFileContent(name));
    EXPECT_EQ(readBytes("f"), "kept");
}

TEST_F(FileUtilsTest, FifoWithoutPeerNeverBlocks) {
    ASSERT_EQ(mkfifo(native("fifo").c_str(), 0600), 0);
    const boost::shared_ptr<ByteArray> content = FileUtils::getFileContent(path("fifo"));
    ASSERT_TRUE(content);
    EXPECT_EQ(content->getLength(), 0);
    EXPECT_FALSE(FileUtils::writeFileContent(path("fifo"), ByteArray(std::string("x"))));
}

TEST_F(FileUtilsTest, ExistenceCountsDirectoriesToo) {
    EXPECT_TRUE(FileUtils::isFileExist(path()));
    EXPECT_FALSE(FileUtils::isFileExist(path("missing")));
}

TEST_F(FileUtilsTest, CompareFileContentsNeedsBothReadableAndEqual) {
    writeBytes("a", "same");
    writeBytes("b", "same");
    writeBytes("c", "diff");
    EXPECT_TRUE(FileUtils::compareFileContents(path("a"), path("b")));
    EXPECT_FALSE(FileUtils::compareFileContents(path("a"), path("c")));
    EXPECT_FALSE(FileUtils::compareFileContents(path("a"), path("missing")));
    EXPECT_FALSE(FileUtils::compareFileContents(L"", path("a")));
}

TEST_F(FileUtilsTest, CopyFileCopiesEveryByte) {
    std::string large(10000, '\0');
    for (size_t i = 0; i < large.size(); ++i) {
        large[i] = static_cast<char>(i * 7);
    }
    writeBytes("source", large);
    writeBytes("target", "to be replaced and longer than nothing");
    FileUtils::copyFile(File(path("source")), File(path("target")));
    EXPECT_EQ(readBytes("target"), large);
}

TEST_F(FileUtilsTest, CopyFileOntoItselfKeepsTheContent) {
    writeBytes("self", "keep me");
    FileUtils::copyFile(File(path("self")), File(path("./self")));
    EXPECT_EQ(readBytes("self"), "keep me");
}

TEST_F(FileUtilsTest, CopyFileRefusesUnusableArguments) {
    writeBytes("source", "x");
    std::filesystem::create_directory(native("dir"));
    EXPECT_EQ(copyFailure("missing", "t"),
              L"Source file (" + path("missing") + L") is invalid or unreadable.");
    EXPECT_EQ(copyFailure("source", "dir"), L"Destination file is a directory: " + path("dir"));
    EXPECT_EQ(copyFailure("source", "none/t"),
              L"Parent directory for destination file does not exist: " + path("none"));
}

TEST(FileUtilsNewlines, EveryLineEndBecomesTheGivenNewline) {
    EXPECT_EQ(FileUtils::normalizeNewlinesCopy(L"a\r\nb\rc\n", L"\r\n"), L"a\r\nb\r\nc\r\n");
    EXPECT_EQ(FileUtils::normalizeNewlinesCopy(L"a\r\nb\rc\n", L"\n"), L"a\nb\nc\n");
    EXPECT_EQ(FileUtils::normalizeNewlinesCopy(L"a\r\nb\rc\n", L"\r"), L"a\rb\rc\r");
    std::wstring text = L"x\n\ny";
    FileUtils::normalizeNewlines(text, L"<br>");
    EXPECT_EQ(text, L"x<br><br>y");
}

TEST(FileUtilsNewlines, BytesAreNormalisedInTheirCharset) {
    const ByteArray input(std::wstring(L"\u00e9\r\n\u00e8"), L"UTF-8");
    const boost::shared_ptr<ByteArray> output =
        FileUtils::normalizeNewlinesCopy(input, L"\n", L"UTF-8");
    EXPECT_EQ(output->toWString(L"UTF-8"), L"\u00e9\n\u00e8");
}

TEST(WildcardFilter, MatchesLiteralsAndWildcardsIgnoringAsciiCase) {
    EXPECT_TRUE(matches(L"*.cfg", L"Prefs.CFG"));
    EXPECT_TRUE(matches(L"*.cfg", L"a.b.cfg"));
    EXPECT_FALSE(matches(L"*.cfg", L"a.cfgx"));
    EXPECT_TRUE(matches(L"a?c", L"ABC"));
    EXPECT_FALSE(matches(L"a?c", L"ac"));
    EXPECT_FALSE(matches(L"a?c", L"abcd"));
    EXPECT_TRUE(matches(L"*.log*", L"app.log"));
    EXPECT_TRUE(matches(L"*.log*", L"app.log.1"));
}

TEST(WildcardFilter, LoneStarAcceptsEveryName) {
    const WildcardFileFilter all(L"*");
    EXPECT_TRUE(all.accept(File(L"/dir/anything.txt")));
    EXPECT_TRUE(all.accept(File(L"/")));
}

TEST(WildcardFilter, BacktracksOverEveryStar) {
    EXPECT_TRUE(matches(L"*?", L"x"));
    EXPECT_FALSE(matches(L"??*", L"x"));
    EXPECT_TRUE(matches(L"*x?y*", L"axbyc"));
    EXPECT_TRUE(matches(L"*x?y*", L"xxzyxay"));
    EXPECT_TRUE(matches(L"a*b*c", L"abbbcbc"));
    EXPECT_FALSE(matches(L"a*b*c", L"abcb"));
    EXPECT_TRUE(matches(L"**a", L"ba"));
}

TEST(WildcardFilter, EmptyPatternIsRefused) {
    try {
        WildcardFileFilter filter(L"");
        FAIL() << "no exception";
    } catch (const KrelIllegalArgumentException& exception) {
        EXPECT_EQ(exception.getMessage(), L"matchString value is empty.");
    }
}
