#include "file/LockedFile.h"

#include <boost/make_shared.hpp>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <future>
#include <gtest/gtest.h>
#include <iterator>
#include <memory>
#include <spawn.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "base/ByteArray.h"
#include "exception/KrelIOException.h"
#include "exception/KrelIllegalStateException.h"
#include "exception/KrelInterruptedException.h"
#include "file/File.h"
#include "file/WholeFileReader.h"
#include "support/BytesRead.h"
#include "support/TempDirectory.h"
#include "thread/Event.h"

extern char** environ;

using krel_std::ByteArray;
using krel_std::Event;
using krel_std::File;
using krel_std::KrelIOException;
using krel_std::LockedFile;

namespace {

const std::wstring NOT_FOUND = L"2:The system cannot find the file specified.";
const std::wstring SHARING_VIOLATION =
    L"32:The process cannot access the file because it is being used by another process.";

ByteArray bytes(const std::string& text) {
    return ByteArray(text);
}

std::string text(const boost::shared_ptr<ByteArray>& array) {
    return array->toString();
}

class LockedFileTest : public TempDirectoryTest {
protected:
    File file(const std::string& name = "locked.txt") const { return File(path(name)); }

    // The message that opening throws for this file and a Windows error description.
    std::wstring unableToOpen(const std::wstring& reason) const {
        return L"Unable to open or create file.: " + file().getPath() + L": " + reason;
    }

    // The message of the KrelIOException that opening throws, or "" when it opens.
    std::wstring openFailure(LockedFile& locked, LockedFile::AccessType type) const {
        try {
            locked.open(file(), type);
        } catch (const KrelIOException& exception) {
            return exception.getMessage();
        }
        return L"";
    }
};

// The lock-holding helper program, started with posix_spawn and kept running until release.
class LockHolderProcess {
public:
    static std::string program() {
        char buffer[4096] = {};
        const ssize_t length = readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
        const std::string self(buffer, length > 0 ? static_cast<size_t>(length) : 0);
        return self.substr(0, self.find_last_of('/')) + "/helpers/krel_lock_holder";
    }

    LockHolderProcess(const std::string& file, const std::string& mode) {
        int input[2];
        int output[2];
        EXPECT_EQ(pipe2(input, O_CLOEXEC), 0);
        EXPECT_EQ(pipe2(output, O_CLOEXEC), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, input[0], 0);
        posix_spawn_file_actions_adddup2(&actions, output[1], 1);
        const std::string name = program();
        char* const arguments[] = {const_cast<char*>(name.c_str()), const_cast<char*>(file.c_str()),
                                   const_cast<char*>(mode.c_str()), nullptr};
        EXPECT_EQ(posix_spawn(&pid, name.c_str(), &actions, nullptr, arguments, environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        close(input[0]);
        close(output[1]);
        release = input[1];
        reply = output[0];
    }

    ~LockHolderProcess() { finish(); }

    // The helper's first line: "locked" or "failed" (empty if it ended without one).
    std::string readLine() {
        std::string line;
        char c = 0;
        while (read(reply, &c, 1) == 1 && c != '\n') {
            line += c;
        }
        return line;
    }

    // Lets the helper close its file and end; answers its exit status.
    int finish() {
        if (release >= 0) {
            close(release);
            close(reply);
            release = -1;
            waitpid(pid, &status, 0);
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t pid = -1;
    int release = -1;
    int reply = -1;
    int status = 0;
};

} // namespace

TEST_F(LockedFileTest, NewObjectIsClosedForRead) {
    LockedFile locked;
    EXPECT_FALSE(locked.isOpen());
    EXPECT_EQ(locked.getAccessType(), LockedFile::Read);
    EXPECT_EQ(locked.toString(), L"LockedFile{accessType='Read'}");
}

TEST_F(LockedFileTest, OperationsOnAClosedFileAreRefused) {
    LockedFile locked;
    EXPECT_THROW(locked.read(), krel_std::KrelIllegalStateException);
    EXPECT_THROW(locked.write(bytes("x")), krel_std::KrelIllegalStateException);
    try {
        locked.flush();
        FAIL() << "no exception";
    } catch (const krel_std::KrelIllegalStateException& exception) {
        EXPECT_EQ(exception.getMessage(), L"LockedFile is not open.");
    }
    EXPECT_NO_THROW(locked.close());
}

TEST_F(LockedFileTest, ReadingAMissingFileFailsAtOnceEvenWithAWaitObject) {
    LockedFile locked;
    EXPECT_EQ(openFailure(locked, LockedFile::Read), unableToOpen(NOT_FOUND));
    EXPECT_THROW(locked.open(file(), LockedFile::Read, boost::make_shared<Event>()),
                 KrelIOException);
    EXPECT_FALSE(locked.isOpen());
    EXPECT_FALSE(file().exists());
}

TEST_F(LockedFileTest, OpenFailureKeepsItsMessageAndNamesPathAndReasonInTheCause) {
    LockedFile locked;
    try {
        locked.open(file(), LockedFile::Read);
        FAIL() << "no exception";
    } catch (const KrelIOException& exception) {
        const std::unique_ptr<krel_std::KrelException> cause(exception.getNestedException());
        ASSERT_TRUE(cause);
        EXPECT_EQ(cause->getMessage(), file().getPath() + L": " + NOT_FOUND);
        EXPECT_EQ(exception.getErrNum(), 2);
        // The message itself stays; the cause's follows it.
        EXPECT_EQ(exception.getMessage(),
                  L"Unable to open or create file.: " + cause->getMessage());
    }
}

TEST_F(LockedFileTest, ReadOfAFileOfReportedSizeZeroAnswersItsWholeContent) {
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    const std::string expected((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
    ASSERT_FALSE(expected.empty());
    LockedFile locked;
    locked.open(File(L"/proc/self/cmdline"), LockedFile::Read);
    EXPECT_EQ(text(locked.read()), expected);
}

TEST_F(LockedFileTest, FifoOpensWithoutWaitingForAWriter) {
    ASSERT_EQ(mkfifo(native("fifo").c_str(), 0600), 0);
    LockedFile locked;
    locked.open(File(path("fifo")), LockedFile::Read);
    EXPECT_EQ(locked.read()->getLength(), 0);
}

TEST_F(LockedFileTest, OverwriteReplacesTheContent) {
    writeBytes("locked.txt", "old content");
    LockedFile locked;
    locked.open(file(), LockedFile::Overwrite);
    EXPECT_EQ(locked.toString(), L"LockedFile{accessType='Overwrite'}");
    locked.write(bytes("new"));
    locked.flush();
    locked.close();
    EXPECT_EQ(readBytes("locked.txt"), "new");
}

TEST_F(LockedFileTest, AppendWritesAfterTheExistingContent) {
    writeBytes("locked.txt", "head-");
    LockedFile locked;
    locked.open(file(), LockedFile::Append);
    locked.write(bytes("tail"));
    locked.close();
    EXPECT_EQ(readBytes("locked.txt"), "head-tail");
}

TEST_F(LockedFileTest, ReadAnswersTheWholeFile) {
    writeBytes("locked.txt", std::string("a\0b", 3) + std::string(100000, 'z'));
    LockedFile locked;
    locked.open(file(), LockedFile::Read);
    const boost::shared_ptr<ByteArray> content = locked.read();
    EXPECT_EQ(content->getLength(), 100003);
    EXPECT_EQ(text(content), readBytes("locked.txt"));
}

TEST_F(LockedFileTest, ReadAnswersOnlyTheBytesAfterThePosition) {
    writeBytes("locked.txt", "");
    LockedFile locked;
    locked.open(file(), LockedFile::Read);
    EXPECT_EQ(locked.read()->getLength(), 0);
    locked.open(file(), LockedFile::Overwrite);
    locked.write(bytes("written"));
    EXPECT_EQ(locked.read()->getLength(), 0);
}

TEST_F(LockedFileTest, ReadersShareButExcludeWriters) {
    writeBytes("locked.txt", "shared");
    LockedFile first;
    LockedFile second;
    first.open(file(), LockedFile::Read);
    second.open(file(), LockedFile::Read);
    LockedFile writer;
    EXPECT_EQ(openFailure(writer, LockedFile::Overwrite), unableToOpen(SHARING_VIOLATION));
    EXPECT_EQ(readBytes("locked.txt"), "shared");
}

TEST_F(LockedFileTest, AWriterExcludesEveryoneElse) {
    LockedFile writer;
    writer.open(file(), LockedFile::Append);
    LockedFile other;
    EXPECT_NE(openFailure(other, LockedFile::Read), L"");
    EXPECT_NE(openFailure(other, LockedFile::Append), L"");
    writer.close();
    EXPECT_EQ(openFailure(other, LockedFile::Read), L"");
}

TEST_F(LockedFileTest, OpeningAgainReleasesTheFirstHandle) {
    LockedFile locked;
    locked.open(file(), LockedFile::Overwrite);
    locked.open(file(), LockedFile::Read);
    LockedFile reader;
    EXPECT_EQ(openFailure(reader, LockedFile::Read), L"");
}

TEST_F(LockedFileTest, WaitingOpenSucceedsOnceTheHolderCloses) {
    writeBytes("locked.txt", "held");
    LockedFile reader;
    reader.open(file(), LockedFile::Read);
    const boost::shared_ptr<Event> stop = boost::make_shared<Event>(false, false);
    auto writing = std::async(std::launch::async, [&] {
        LockedFile writer;
        writer.open(file(), LockedFile::Overwrite, stop);
        writer.write(bytes("replaced"));
    });
    reader.close();
    writing.get();
    EXPECT_EQ(readBytes("locked.txt"), "replaced");
}

TEST_F(LockedFileTest, SignallingTheWaitObjectInterruptsTheRetries) {
    LockedFile holder;
    holder.open(file(), LockedFile::Overwrite);
    const boost::shared_ptr<Event> stop = boost::make_shared<Event>(false, false);
    auto waiting = std::async(std::launch::async, [&] {
        LockedFile other;
        other.open(file(), LockedFile::Read, stop);
    });
    stop->signal();
    try {
        waiting.get();
        FAIL() << "no exception";
    } catch (const krel_std::KrelInterruptedException& exception) {
        EXPECT_EQ(exception.getMessage(), L"Wait object was signaled before file could be opened.");
    }
    EXPECT_TRUE(holder.isOpen());
}

TEST_F(LockedFileTest, AnotherProcessHoldingTheFileExcludesThisOne) {
    if (access(LockHolderProcess::program().c_str(), X_OK) != 0) {
        GTEST_SKIP() << "helper program not built";
    }
    writeBytes("locked.txt", "theirs");
    LockHolderProcess holder(root.string() + "/locked.txt", "read");
    ASSERT_EQ(holder.readLine(), "locked");
    LockedFile writer;
    EXPECT_EQ(openFailure(writer, LockedFile::Overwrite), unableToOpen(SHARING_VIOLATION));
    EXPECT_EQ(readBytes("locked.txt"), "theirs");
    EXPECT_EQ(holder.finish(), 0);
    EXPECT_EQ(openFailure(writer, LockedFile::Overwrite), L"");
}

TEST_F(LockedFileTest, ThisProcessHoldingTheFileExcludesAnother) {
    if (access(LockHolderProcess::program().c_str(), X_OK) != 0) {
        GTEST_SKIP() << "helper program not built";
    }
    LockedFile writer;
    writer.open(file(), LockedFile::Overwrite);
    LockHolderProcess other(root.string() + "/locked.txt", "read");
    EXPECT_EQ(other.readLine(), "failed");
    EXPECT_EQ(other.finish(), 1);
}

TEST_F(LockedFileTest, ReadOfADeviceIsRefusedBeforeAnythingIsRead) {
    LockedFile locked;
    locked.open(File(L"/dev/zero"), LockedFile::Read);
    const uint64_t before = krel_test::bytesReadSoFar();
    try {
        locked.read();
        FAIL() << "a device was read";
    } catch (const KrelIOException& exception) {
        EXPECT_EQ(exception.getMessage(),
                  L"Read file failed: only files and pipes are read whole, not devices.");
    }
    EXPECT_LT(krel_test::bytesReadSoFar() - before, krel_test::FEW_BYTES_READ);
}

TEST_F(LockedFileTest, ReadOfAFileReportingMoreThanTheLimitIsRefusedBeforeAnythingIsRead) {
    writeBytes("locked.txt", "");
    std::filesystem::resize_file(native("locked.txt"),
                                 krel_std_internal::WholeFileReader::MAX_BYTES + 1);
    LockedFile locked;
    locked.open(file(), LockedFile::Read);
    const uint64_t before = krel_test::bytesReadSoFar();
    try {
        locked.read();
        FAIL() << "a file past the limit was read";
    } catch (const KrelIOException& exception) {
        EXPECT_EQ(exception.getMessage(),
                  L"Read file failed: the content passes the limit of 1073741824 bytes.");
    }
    EXPECT_LT(krel_test::bytesReadSoFar() - before, krel_test::FEW_BYTES_READ);
}

TEST_F(LockedFileTest, FifoReadsUpToItsWritersEnd) {
    ASSERT_EQ(mkfifo(native("fifo").c_str(), 0600), 0);
    // Open for reading too, so that the writer exists before the reader comes.
    const int writer = open(native("fifo").c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(writer, 0);
    ASSERT_EQ(write(writer, "first,", 6), 6);
    auto reading = std::async(std::launch::async, [&] {
        LockedFile locked;
        locked.open(File(path("fifo")), LockedFile::Read);
        return text(locked.read());
    });
    // Once the reader has taken the first part, the second follows and the writer ends.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    int pending = 6;
    while (pending > 0 && std::chrono::steady_clock::now() < deadline &&
           reading.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
        ASSERT_EQ(ioctl(writer, FIONREAD, &pending), 0);
        std::this_thread::yield();
    }
    ASSERT_EQ(write(writer, "second", 6), 6);
    close(writer);
    EXPECT_EQ(reading.get(), "first,second");
}
