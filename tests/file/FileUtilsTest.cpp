#include "file/FileUtils.h"

#include <chrono>
#include <fcntl.h>
#include <future>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "base/ByteArray.h"
#include "base/ByteBuffer.h"
#include "exception/KrelIOException.h"
#include "exception/KrelIllegalArgumentException.h"
#include "file/File.h"
#include "file/WholeFileReader.h"
#include "file/WildcardFileFilter.h"
#include "support/BytesRead.h"
#include "support/ChildWithLimit.h"
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

    // The names in the temporary directory.
    std::set<std::string> entries() const {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(root)) {
            names.insert(entry.path().filename().string());
        }
        return names;
    }

    static mode_t permissionsOf(const std::filesystem::path& file) {
        struct stat status {};
        return stat(file.c_str(), &status) == 0 ? status.st_mode & 07777 : 0;
    }
};

// The whole content of a file, read by the standard library.
std::string contentOf(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

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

TEST_F(FileUtilsTest, FileOfReportedSizeZeroReadsAndCopiesInFull) {
    // /proc files report the size 0 whatever they hold.
    const std::string expected = contentOf("/proc/self/cmdline");
    ASSERT_FALSE(expected.empty());
    const boost::shared_ptr<ByteArray> content = FileUtils::getFileContent(L"/proc/self/cmdline");
    ASSERT_TRUE(content);
    EXPECT_EQ(content->toString(), expected);
    const boost::shared_ptr<krel_std::ByteBuffer> buffer =
        FileUtils::getFileContentBuffer(L"/proc/self/cmdline");
    ASSERT_TRUE(buffer);
    EXPECT_EQ(std::string(buffer->array(), static_cast<size_t>(buffer->getLimit())), expected);
    FileUtils::copyFile(File(L"/proc/self/cmdline"), File(path("copy")));
    EXPECT_EQ(readBytes("copy"), expected);
}

TEST_F(FileUtilsTest, FileShorterThanItsReportedSizeReadsWithoutPadding) {
    // sysfs files report a page whatever they hold.
    const char* const name = "/sys/devices/system/cpu/possible";
    const std::string expected = contentOf(name);
    struct stat status {};
    if (stat(name, &status) != 0 || static_cast<size_t>(status.st_size) <= expected.size()) {
        GTEST_SKIP() << "no file that reports more than it holds";
    }
    const boost::shared_ptr<ByteArray> content =
        FileUtils::getFileContent(L"/sys/devices/system/cpu/possible");
    ASSERT_TRUE(content);
    EXPECT_EQ(content->toString(), expected);
}

TEST_F(FileUtilsTest, FifoReadsUpToItsWritersEnd) {
    ASSERT_EQ(mkfifo(native("fifo").c_str(), 0600), 0);
    // Open for reading too, so that the writer exists before the reader comes.
    const int writer = open(native("fifo").c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(writer, 0);
    ASSERT_EQ(write(writer, "streamed", 8), 8);
    auto reading =
        std::async(std::launch::async, [&] { return FileUtils::getFileContent(path("fifo")); });
    // Once the reader has taken every byte, ending the writer ends the content.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    int pending = 8;
    while (pending > 0 && std::chrono::steady_clock::now() < deadline &&
           reading.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
        ASSERT_EQ(ioctl(writer, FIONREAD, &pending), 0);
        std::this_thread::yield();
    }
    close(writer);
    const boost::shared_ptr<ByteArray> content = reading.get();
    ASSERT_TRUE(content);
    EXPECT_EQ(content->toString(), "streamed");
}

TEST_F(FileUtilsTest, WriteThatRunsOutOfSpaceKeepsTheOldContent) {
    writeBytes("f", "old content");
    const int code = krel_test::runInChildWithLimit(RLIMIT_FSIZE, 64 * 1024, [&] {
        return FileUtils::writeFileContent(path("f"), ByteArray(std::string(256 * 1024, 'n'))) ? 1
                                                                                               : 0;
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(readBytes("f"), "old content");
    EXPECT_EQ(entries(), std::set<std::string>{"f"});
}

TEST_F(FileUtilsTest, CopyThatRunsOutOfSpaceKeepsTheOldDestination) {
    writeBytes("source", std::string(256 * 1024, 's'));
    writeBytes("target", "old content");
    const int code = krel_test::runInChildWithLimit(RLIMIT_FSIZE, 64 * 1024, [&] {
        try {
            FileUtils::copyFile(File(path("source")), File(path("target")));
        } catch (const krel_std::KrelIOException&) {
            return 0;
        }
        return 1;
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(readBytes("target"), "old content");
    EXPECT_EQ(entries(), (std::set<std::string>{"source", "target"}));
}

TEST_F(FileUtilsTest, WritingThroughALinkReplacesTheLinkedFileAndKeepsItsMode) {
    writeBytes("real", "old");
    ASSERT_EQ(chmod(native("real").c_str(), 0640), 0);
    std::filesystem::create_symlink("real", native("link"));
    EXPECT_TRUE(FileUtils::writeFileContent(path("link"), ByteArray(std::string("new"))));
    EXPECT_TRUE(std::filesystem::is_symlink(native("link")));
    EXPECT_EQ(readBytes("real"), "new");
    EXPECT_EQ(permissionsOf(native("real")), 0640u);
    EXPECT_EQ(entries(), (std::set<std::string>{"link", "real"}));
}

TEST_F(FileUtilsTest, CopyingOntoALinkReplacesTheLinkedFileAndKeepsItsMode) {
    writeBytes("source", "new");
    writeBytes("real", "old");
    ASSERT_EQ(chmod(native("real").c_str(), 0604), 0);
    std::filesystem::create_symlink(native("real"), native("link"));
    FileUtils::copyFile(File(path("source")), File(path("link")));
    EXPECT_TRUE(std::filesystem::is_symlink(native("link")));
    EXPECT_EQ(readBytes("real"), "new");
    EXPECT_EQ(permissionsOf(native("real")), 0604u);
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

TEST_F(FileUtilsTest, DeviceIsRefusedBeforeAnythingIsRead) {
    const uint64_t before = krel_test::bytesReadSoFar();
    EXPECT_FALSE(FileUtils::getFileContent(L"/dev/zero"));
    EXPECT_FALSE(FileUtils::getFileContentBuffer(L"/dev/urandom"));
    EXPECT_FALSE(FileUtils::compareFileContents(L"/dev/zero", L"/dev/zero"));
    EXPECT_LT(krel_test::bytesReadSoFar() - before, krel_test::FEW_BYTES_READ);
}

TEST_F(FileUtilsTest, FileReportingMoreThanTheLimitIsRefusedBeforeAnythingIsRead) {
    // Sparse: its size costs no disk.
    std::ofstream(native("huge")).close();
    std::filesystem::resize_file(native("huge"), krel_std_internal::WholeFileReader::MAX_BYTES + 1);
    const uint64_t before = krel_test::bytesReadSoFar();
    EXPECT_FALSE(FileUtils::getFileContent(path("huge")));
    EXPECT_LT(krel_test::bytesReadSoFar() - before, krel_test::FEW_BYTES_READ);
}

TEST_F(FileUtilsTest, CopyOfADeviceIsRefusedAndKeepsTheDestination) {
    writeBytes("target", "kept");
    EXPECT_THROW(FileUtils::copyFile(File(L"/dev/zero"), File(path("target"))),
                 krel_std::KrelIOException);
    EXPECT_EQ(readBytes("target"), "kept");
    EXPECT_EQ(entries(), std::set<std::string>{"target"});
}
