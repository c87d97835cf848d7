#include "file/RollingFile.h"

#include <boost/shared_ptr.hpp>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <tuple>
#include <unistd.h>
#include <vector>

#include "exception/KrelException.h"
#include "exception/KrelIOException.h"
#include "exception/KrelIllegalArgumentException.h"
#include "exception/KrelIllegalStateException.h"
#include "file/File.h"
#include "log/RollingFileHeader.h"
#include "platform/WinFile.h"
#include "platform/WinHandles.h"
#include "support/ChildWithLimit.h"
#include "support/OtherAccount.h"
#include "support/TempDirectory.h"

extern char** environ;

using krel_std::File;
using krel_std::KrelException;
using krel_std::RollingFile;

namespace {

// Writes a fixed text as its header block; counts how often it was asked to.
class TextHeader : public krel_std::RollingFileHeader {
public:
    explicit TextHeader(const std::string& text) : text(text) {}
    Configurable* newInstance(const std::map<std::wstring, std::wstring>&) override {
        return new TextHeader(text);
    }
    void writeHeader(RollingFile& file) const override {
        ++writes;
        file.write(text.data(), 0, static_cast<unsigned long>(text.size()));
    }

    std::string text;
    mutable int writes = 0;
};

class ThrowingHeader : public TextHeader {
public:
    ThrowingHeader() : TextHeader("") {}
    void writeHeader(RollingFile&) const override {
        throw krel_std::KrelException(L"no header today");
    }
};

class RollingFileTest : public TempDirectoryTest {
protected:
    static constexpr unsigned long LIMIT = 100;

    // "app0007.log" for index 7.
    static std::string logName(int index) {
        char name[32];
        snprintf(name, sizeof(name), "app%04d.log", index);
        return name;
    }

    // A writer of the set app*.log in the temporary directory, limits set and opened.
    void configure(RollingFile& file, unsigned long maximumFiles = 3,
                   unsigned long maximumSize = LIMIT) {
        file.setFilePath(File(path("app.log")));
        file.setMaximumFiles(maximumFiles);
        file.setMaximumSize(maximumSize);
        file.open();
    }

    static void write(RollingFile& file, const std::string& bytes) {
        file.write(bytes.data(), 0, static_cast<unsigned long>(bytes.size()));
    }

    std::string indexFileText() const { return readBytes("app_log.idx"); }

    bool exists(const std::string& name) const { return std::filesystem::exists(native(name)); }

    // The file names of the set's files that hold the index part "0000".
    bool hasFileOfIndexZero() const { return exists(logName(0)); }
};

} // namespace

TEST_F(RollingFileTest, FileNameWithoutDotOrADirectoryIsRefused) {
    std::filesystem::create_directories(native("logs.d"));
    for (const std::string name : {"app", "logs.d"}) {
        RollingFile file;
        try {
            file.setFilePath(File(path(name)));
            ADD_FAILURE() << name << " was accepted";
        } catch (const krel_std::KrelIllegalArgumentException& e) {
            EXPECT_EQ(L"Invalid value for filename.", e.getMessage());
        }
    }
}

TEST_F(RollingFileTest, FirstWriterOfASetRecordsIndexOneWithTheDoNotEditComment) {
    RollingFile file;
    file.setFilePath(File(path("app.log")));
    EXPECT_EQ(path(logName(1)), file.getFilePath());
    EXPECT_EQ("##KrelLog - DO NOT EDIT\r\nIndexOfLastLog=1\r\n", indexFileText());
}

TEST_F(RollingFileTest, FirstWriterMakesTheMissingDirectoryOfTheSet) {
    RollingFile file;
    file.setFilePath(File(path("logs/deeper/app.log")));
    file.setMaximumSize(LIMIT);
    file.open();
    write(file, "x");
    EXPECT_EQ("x", readBytes("logs/deeper/app0001.log"));
    EXPECT_NE(std::string::npos, readBytes("logs/deeper/app_log.idx").find("IndexOfLastLog=1"));
}

TEST_F(RollingFileTest, WriterJoinsTheIndexRecordedByOthers) {
    writeBytes("app_log.idx", "IndexOfLastLog= 12 trailing\r\n");
    RollingFile file;
    file.setFilePath(File(path("app.log")));
    EXPECT_EQ(path(logName(12)), file.getFilePath());
    EXPECT_EQ("IndexOfLastLog= 12 trailing\r\n", indexFileText());
}

TEST_F(RollingFileTest, RecordedIndexOfZeroOrBelowIsNeverAdopted) {
    for (const std::string stored : {"0", "-3"}) {
        writeBytes("app_log.idx", "IndexOfLastLog=" + stored + "\r\n");
        RollingFile file;
        file.setFilePath(File(path("app.log")));
        EXPECT_EQ(path(logName(1)), file.getFilePath()) << stored;
        EXPECT_EQ("IndexOfLastLog=1\r\n", indexFileText()) << stored;
    }
}

TEST_F(RollingFileTest, UnreadableIndexFileNeverLeadsToAFileOfIndexZero) {
    std::filesystem::create_directories(native("app_log.idx"));
    RollingFile file;
    configure(file);
    EXPECT_EQ(path(logName(1)), file.getFilePath());
    write(file, std::string(LIMIT, 'a'));
    write(file, "b");
    EXPECT_EQ(path(logName(2)), file.getFilePath());
    EXPECT_FALSE(hasFileOfIndexZero());
    EXPECT_EQ("b", readBytes(logName(2)));
}

TEST_F(RollingFileTest, WriteOfExactlyTheRemainingBytesStaysInTheFile) {
    RollingFile file;
    configure(file);
    write(file, std::string(40, 'a'));
    write(file, std::string(LIMIT - 40, 'b'));
    EXPECT_EQ(path(logName(1)), file.getFilePath());
    EXPECT_EQ(LIMIT, readBytes(logName(1)).size());
}

TEST_F(RollingFileTest, RolloverPadsTheFullFileWithBlanksToExactlyTheLimit) {
    RollingFile file;
    configure(file);
    write(file, std::string(70, 'a'));
    write(file, std::string(31, 'b'));
    EXPECT_EQ(std::string(70, 'a') + std::string(30, ' '), readBytes(logName(1)));
    EXPECT_EQ(std::string(31, 'b'), readBytes(logName(2)));
    EXPECT_EQ(path(logName(2)), file.getFilePath());
    EXPECT_NE(std::string::npos, indexFileText().find("IndexOfLastLog=2\r\n"));
}

TEST_F(RollingFileTest, IndexWrapsAroundAfterTheFileCountAndReplacesTheFullFirstFile) {
    RollingFile file;
    configure(file, 3);
    std::vector<std::wstring> paths;
    for (char fill : std::string("abcd")) {
        write(file, std::string(LIMIT, fill));
        paths.push_back(file.getFilePath());
    }
    write(file, "e");
    paths.push_back(file.getFilePath());
    const std::vector<std::wstring> expected{path(logName(1)), path(logName(2)), path(logName(3)),
                                             path(logName(1)), path(logName(2))};
    EXPECT_EQ(expected, paths);
    EXPECT_EQ(std::string(LIMIT, 'd'), readBytes(logName(1)));
    EXPECT_EQ("e", readBytes(logName(2)));
}

TEST_F(RollingFileTest, MaximumOfZeroFilesKeepsRollingIntoTheFirstFile) {
    RollingFile file;
    configure(file, 0);
    write(file, std::string(LIMIT, 'a'));
    write(file, "b");
    EXPECT_EQ(path(logName(1)), file.getFilePath());
    EXPECT_EQ("b", readBytes(logName(1)));
}

TEST_F(RollingFileTest, MaximumSizeOfZeroRefusesEveryWriteAndKeepsTheExistingFile) {
    writeBytes(logName(1), "earlier lines\n");
    RollingFile file;
    file.setFilePath(File(path("app.log")));
    file.open();
    try {
        write(file, "hello");
        FAIL() << "a write passed a limit of 0";
    } catch (const krel_std::KrelIllegalArgumentException& e) {
        EXPECT_EQ(L"Number of bytes to write <5> exceeds maximum file size <0>.", e.getMessage());
    }
    EXPECT_EQ("earlier lines\n", readBytes(logName(1)));
}

TEST_F(RollingFileTest, LoweringTheLimitOfAClosedFileNeitherRollsNorThrows) {
    RollingFile file;
    configure(file, 3, 1000);
    write(file, std::string(500, 'a'));
    file.close();
    file.setMaximumSize(200);
    EXPECT_EQ(200u, file.getMaximumSize());
    EXPECT_EQ(path(logName(1)), file.getFilePath());
    EXPECT_EQ(500u, readBytes(logName(1)).size());
}

TEST_F(RollingFileTest, LoweringTheLimitBelowTheSizeOfAnOpenFileRollsAtOnce) {
    RollingFile file;
    configure(file, 3, 1000);
    write(file, std::string(500, 'a'));
    file.setMaximumSize(200);
    EXPECT_EQ(path(logName(2)), file.getFilePath());
    EXPECT_EQ(500u, readBytes(logName(1)).size());
}

namespace {

// A ring of three files, each beginning with the header "H\n", filled with lines "old <n>"
// under the small limit until the writer is on the third file; then the limit is doubled.
class RaisedLimitTest : public RollingFileTest {
protected:
    static constexpr int MOST_LINES = 1000;

    void SetUp() override {
        RollingFileTest::SetUp();
        file.addHeader(boost::shared_ptr<krel_std::RollingFileHeader>(new TextHeader(HEADER)));
        configure(file, 3);
        for (int number = 0; number < MOST_LINES && file.getFilePath() != path(logName(3));
             ++number) {
            write(file, "old " + std::to_string(number) + "\n");
        }
        ASSERT_EQ(path(logName(3)), file.getFilePath());
        file.setMaximumSize(2 * LIMIT);
    }

    // Writes lines "new <n>" until the writer has moved on to another file the given number
    // of times; whether it did.
    bool writeUntilMoved(int moves) {
        std::wstring current = file.getFilePath();
        for (int number = 0; number < MOST_LINES && moves > 0; ++number) {
            write(file, "new " + std::to_string(number) + "\n");
            if (file.getFilePath() != current) {
                current = file.getFilePath();
                --moves;
            }
        }
        return moves == 0;
    }

    const std::string HEADER = "H\n";
    RollingFile file;
};

} // namespace

TEST_F(RaisedLimitTest, EveryFileOfTheNextLapBeginsWithItsHeaderAndHoldsNoOlderLine) {
    ASSERT_TRUE(writeUntilMoved(3));
    EXPECT_EQ(path(logName(3)), file.getFilePath());
    for (int index = 1; index <= 3; ++index) {
        const std::string text = readBytes(logName(index));
        EXPECT_EQ(0u, text.rfind(HEADER, 0)) << logName(index) << ": " << text;
        EXPECT_EQ(std::string::npos, text.find("old ")) << logName(index) << ": " << text;
        EXPECT_EQ(std::string::npos, text.find(" " + HEADER)) << logName(index) << ": " << text;
    }
}

TEST_F(RollingFileTest, LimitsFromTwoGibibytesOnAreCapped) {
    RollingFile file;
    file.setMaximumSize(4294967295ul);
    EXPECT_EQ(2147483647u, file.getMaximumSize());
}

TEST_F(RollingFileTest, HeadersBeginEveryFileInTheOrderAdded) {
    const boost::shared_ptr<TextHeader> first(new TextHeader("H1\n"));
    const boost::shared_ptr<TextHeader> second(new TextHeader("H2\n"));
    RollingFile file;
    file.addHeader(first);
    file.addHeader(second);
    file.addHeader(first);
    configure(file);
    write(file, std::string(LIMIT - 6, 'a'));
    write(file, "b\n");
    EXPECT_EQ("H1\nH2\nb\n", readBytes(logName(2)));
    EXPECT_EQ(2, first->writes);
}

TEST_F(RollingFileTest, ThrowingHeaderLeavesOnlyItsOwnBlockOut) {
    RollingFile file;
    file.addHeader(boost::shared_ptr<TextHeader>(new ThrowingHeader()));
    file.addHeader(boost::shared_ptr<TextHeader>(new TextHeader("H\n")));
    configure(file);
    EXPECT_TRUE(file.isOpen());
    EXPECT_EQ("H\n", readBytes(logName(1)));
}

TEST_F(RollingFileTest, FailedIndexSaveIsSwallowedAndTheWriterGoesOn) {
    // The index file's ~45 bytes do not fit under the limit; the log file's 5 bytes do.
    const int code = krel_test::runInChildWithLimit(RLIMIT_FSIZE, 16, [this]() {
        RollingFile file;
        configure(file);
        write(file, "hello");
        return file.getFilePath() == path(logName(1)) ? 0 : 1;
    });
    EXPECT_EQ(0, code);
    EXPECT_EQ("hello", readBytes(logName(1)));
}

TEST_F(RollingFileTest, OpenRefusesALogFileLinkThatAnotherAccountPlanted) {
    if (!krel_test::otherAccountUnavailable().empty()) {
        GTEST_SKIP() << krel_test::otherAccountUnavailable();
    }
    writeBytes("victim", "precious");
    ASSERT_EQ(0, chmod(root.c_str(), 0755));
    ASSERT_TRUE(krel_test::shareDirectory(root));
    ASSERT_TRUE(krel_test::plantLinkAsNobody(native("victim"), native(logName(1))));
    RollingFile file;
    try {
        configure(file);
        ADD_FAILURE() << "opened another account's link";
    } catch (const krel_std::KrelIOException& e) {
        EXPECT_EQ(L"Unable to open file: 5:Access is denied.", e.getMessage());
    }
    EXPECT_FALSE(file.isOpen());
    EXPECT_EQ("precious", readBytes("victim"));
}

namespace {

// A writer whose files cannot grow past 1000 bytes, as on a full disk, writes numbered lines
// of 80 bytes into a set of 1 MiB files: the thirteenth line fits only in part.
class FullFileSystemTest : public RollingFileTest {
protected:
    static constexpr rlim_t SPACE = 1000;

    static std::string numberedLine(int number) {
        std::string text = "L" + std::to_string(number) + " ";
        text.append(79 - text.size(), 'x');
        return text + "\n";
    }

    // The child's exit code: 0 when a write failed as "Unable to write file: ...".
    int writeUntilFull() {
        return krel_test::runInChildWithLimit(RLIMIT_FSIZE, SPACE, [this]() {
            RollingFile file;
            configure(file, 3, 1 << 20);
            for (int number = 0; number < 100; ++number) {
                try {
                    write(file, numberedLine(number));
                } catch (const KrelException& e) {
                    return e.getMessage().rfind(L"Unable to write file: ", 0) == 0 ? 0 : 2;
                }
            }
            return 1;
        });
    }

    // The lines of the text that are neither one of the numbered lines nor the header.
    static std::vector<std::string> strangeLines(const std::string& text,
                                                 const std::string& header) {
        std::vector<std::string> strange;
        std::istringstream lines(text);
        std::string line;
        for (int number = 0; std::getline(lines, line);) {
            if (line + "\n" == header) {
                continue;
            }
            if (line + "\n" != numberedLine(number++)) {
                strange.push_back(line);
            }
        }
        return strange;
    }
};

} // namespace

TEST_F(FullFileSystemTest, WriteCutShortIsTakenBackAndFails) {
    ASSERT_EQ(0, writeUntilFull());
    const std::string text = readBytes(logName(1));
    EXPECT_EQ(12u * 80u, text.size());
    EXPECT_TRUE(strangeLines(text, "").empty());
}

TEST_F(FullFileSystemTest, NextWriterHeaderBeginsOnALineOfItsOwn) {
    ASSERT_EQ(0, writeUntilFull());
    const std::string header = "VERSION INFO: next writer\n";
    RollingFile next;
    next.addHeader(boost::shared_ptr<krel_std::RollingFileHeader>(new TextHeader(header)));
    configure(next, 3, 1 << 20);
    const std::string text = readBytes(logName(1));
    EXPECT_EQ(12u * 80u + header.size(), text.size());
    EXPECT_EQ(std::vector<std::string>(), strangeLines(text, header));
}

TEST_F(RollingFileTest, FailedOpenDuringRolloverIsRetriedByTheNextWrite) {
    RollingFile file;
    configure(file);
    std::filesystem::create_directories(native(logName(2)));
    write(file, std::string(LIMIT, 'a'));
    EXPECT_THROW(write(file, "b"), KrelException);
    EXPECT_THROW(write(file, "c"), krel_std::KrelIllegalStateException);
    std::filesystem::remove(native(logName(2)));
    write(file, "d");
    EXPECT_TRUE(file.isOpen());
    EXPECT_EQ("d", readBytes(logName(2)));
}

TEST_F(RollingFileTest, ExplicitCloseEndsAPendingReopen) {
    RollingFile file;
    configure(file);
    std::filesystem::create_directories(native(logName(2)));
    write(file, std::string(LIMIT, 'a'));
    EXPECT_THROW(write(file, "b"), KrelException);
    file.close();
    std::filesystem::remove(native(logName(2)));
    EXPECT_THROW(write(file, "c"), krel_std::KrelIllegalStateException);
}

TEST_F(RollingFileTest, SecondWriterJoinsTheIndexTheFirstAdvancedInsteadOfAdvancingAgain) {
    RollingFile first;
    RollingFile second;
    configure(first);
    configure(second);
    write(second, "second-1\n");
    write(first, std::string(LIMIT - 9, 'a'));
    write(first, "first-2\n");
    // The second writer counts only its own bytes: it rolls once they pass the limit.
    write(second, std::string(LIMIT - 9, 'b'));
    write(second, "second-2\n");
    EXPECT_EQ(path(logName(2)), second.getFilePath());
    EXPECT_EQ("first-2\nsecond-2\n", readBytes(logName(2)));
    EXPECT_NE(std::string::npos, indexFileText().find("IndexOfLastLog=2\r\n"));
    EXPECT_EQ("second-1\n" + std::string(LIMIT - 9, 'a') + std::string(LIMIT - 9, 'b'),
              readBytes(logName(1)));
}

TEST_F(RollingFileTest, WriterMovingOnKeepsTheFileAnotherWriterBeganOnTheSameLap) {
    RollingFile first;
    RollingFile second;
    configure(first, 1);
    configure(second, 1);
    write(second, "second-1\n");
    write(first, std::string(LIMIT - 9, 'a'));
    // The first writer comes round to the ring's only file and begins it afresh.
    write(first, "first-2\n");
    ASSERT_EQ("first-2\n", readBytes(logName(1)));
    // The second writer still counts the bytes of the file it began with.
    write(second, std::string(LIMIT - 9, 'b'));
    write(second, "second-2\n");
    EXPECT_EQ(path(logName(1)), second.getFilePath());
    EXPECT_EQ("first-2\nsecond-2\n", readBytes(logName(1)));
}

TEST_F(RollingFileTest, WriterJoiningAFullFileMovesOnInsteadOfRemovingIt) {
    writeBytes("app_log.idx", "IndexOfLastLog=2\r\n");
    const std::string full(LIMIT, 'z');
    writeBytes(logName(2), full);
    RollingFile file;
    configure(file);
    write(file, "new\n");
    EXPECT_EQ(full, readBytes(logName(2)));
    EXPECT_EQ(path(logName(3)), file.getFilePath());
    EXPECT_EQ("new\n", readBytes(logName(3)));
}

TEST_F(RollingFileTest, IndexFileHeldByAnotherWriterIsWaitedFor) {
    RollingFile file;
    configure(file);
    write(file, std::string(LIMIT, 'a'));
    const std::wstring indexPath = path("app_log.idx");
    HANDLE held = CreateFileW(indexPath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    std::thread writer([&]() { write(file, "b"); });
    CloseHandle(held);
    writer.join();
    EXPECT_EQ(path(logName(2)), file.getFilePath());
    EXPECT_NE(std::string::npos, indexFileText().find("IndexOfLastLog=2\r\n"));
}

// The check for changes by other writers runs at most once a second: these keep writing until
// the writer has moved on, for a bounded time.
TEST_F(RollingFileTest, WriterRollsOverWhenAnotherRemovedItsFile) {
    RollingFile file;
    configure(file, 3, 1 << 20);
    write(file, "first\n");
    std::filesystem::remove(native(logName(1)));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (file.getFilePath() == path(logName(1)) && std::chrono::steady_clock::now() < deadline) {
        write(file, "x\n");
    }
    EXPECT_EQ(path(logName(2)), file.getFilePath());
}

TEST_F(RollingFileTest, WriterRollsOverWhenAnotherFilledItsFile) {
    RollingFile file;
    configure(file, 3, 1 << 20);
    write(file, "first\n");
    {
        std::ofstream other(native(logName(1)), std::ios::binary | std::ios::app);
        other << std::string((1 << 20) - 6, ' ');
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (file.getFilePath() == path(logName(1)) && std::chrono::steady_clock::now() < deadline) {
        write(file, "x\n");
    }
    EXPECT_EQ(path(logName(2)), file.getFilePath());
}

TEST_F(RollingFileTest, WriterNearTheLimitRollsOverWhenItsFileGrewPastFourGibibytes) {
    const unsigned long limit = 1 << 20;
    RollingFile file;
    configure(file, 3, limit);
    const std::string line(999, 'x');
    while (std::filesystem::file_size(native(logName(1))) + 2 * (line.size() + 1) < limit) {
        write(file, line + "\n");
    }
    // Another writer's file, sparse: its size does not fit 32 bits and must not wrap to a small
    // one, which would make this writer append to it.
    std::filesystem::resize_file(native(logName(1)), (uint64_t{1} << 32) + 100);
    // Near the limit the size is read again within a few writes.
    for (int writes = 0; writes < 4 && file.getFilePath() == path(logName(1)); ++writes) {
        write(file, "next\n");
    }
    EXPECT_EQ(path(logName(2)), file.getFilePath());
    EXPECT_TRUE(std::filesystem::exists(native(logName(2))));
}

namespace {

// Four writer processes of eight threads each share one set through many roll-overs.
class SharedRollingSetTest : public RollingFileTest {
protected:
    static std::string program() {
        char buffer[4096] = {};
        const ssize_t length = readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
        const std::string self(buffer, length > 0 ? static_cast<size_t>(length) : 0);
        return self.substr(0, self.find_last_of('/')) + "/helpers/krel_rolling_writer";
    }

    // A writer of its own RollingFile, or with the mode "logged" one that logs through the
    // static log into a rolling file appender of the set, its lines the bare messages; with
    // "stamped" the lines have the library's own layout.
    pid_t start(const std::string& id, int threads, int lines, unsigned long size, const char* mode,
                unsigned long files) {
        const std::string name = program();
        const std::string target = native("app.log").string();
        const std::string threadText = std::to_string(threads);
        const std::string lineText = std::to_string(lines);
        const std::string sizeText = std::to_string(size);
        const std::string filesText = std::to_string(files);
        char* const arguments[] = {const_cast<char*>(name.c_str()),
                                   const_cast<char*>(target.c_str()),
                                   const_cast<char*>(id.c_str()),
                                   const_cast<char*>(threadText.c_str()),
                                   const_cast<char*>(lineText.c_str()),
                                   const_cast<char*>(sizeText.c_str()),
                                   const_cast<char*>(filesText.c_str()),
                                   const_cast<char*>(mode),
                                   nullptr};
        pid_t pid = -1;
        EXPECT_EQ(0, posix_spawn(&pid, name.c_str(), nullptr, nullptr, arguments, environ));
        return pid;
    }

    static int exitCode(pid_t pid) {
        int status = 0;
        if (waitpid(pid, &status, 0) != pid) {
            return -1;
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // Starts the writers, each of its own process, and waits until all have ended. By default
    // the set has more files than the writers fill.
    void runWriters(int processes, int threads, int lines, unsigned long size,
                    const char* mode = nullptr, unsigned long files = 100000) {
        std::vector<pid_t> writers;
        for (int process = 0; process < processes; ++process) {
            writers.push_back(start(std::to_string(process), threads, lines, size, mode, files));
        }
        for (pid_t writer : writers) {
            EXPECT_EQ(0, exitCode(writer));
        }
    }

    // The names of the set's files.
    std::vector<std::string> setFiles() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(root)) {
            const std::string name = entry.path().filename().string();
            if (name.size() == logName(0).size() && name.rfind("app", 0) == 0 &&
                name.substr(name.size() - 4) == ".log") {
                names.push_back(name);
            }
        }
        return names;
    }

    // How many distinct lines of the writers the set holds, each whole and once; malformed
    // counts the others.
    size_t wholeLines(int& malformed) const {
        int files = 0;
        std::set<std::tuple<int, int, int>> seen;
        malformed = 0;
        for (std::string line : allLines(files)) {
            // A stamped line is the writer's line after its time stamp and priority.
            const size_t priority = line.find(" INFO P");
            if (priority != std::string::npos) {
                line.erase(0, priority + 6);
            }
            int process = -1;
            int thread = -1;
            int number = -1;
            int consumed = 0;
            const bool parsed =
                sscanf(line.c_str(), "P%d T%d L%d %n", &process, &thread, &number, &consumed) == 3;
            const bool whole =
                parsed && line.size() == 79 &&
                line.find_first_not_of('x', static_cast<size_t>(consumed)) == std::string::npos;
            if (!whole || !seen.insert(std::make_tuple(process, thread, number)).second) {
                ++malformed;
            }
        }
        return seen.size();
    }

    // The set's files longer than the limit allows: the size plus 32 lines of 80 bytes per
    // writer, what a writer may write before it has first seen another's bytes (after that,
    // one line), plus `headerBytes` per writer where files begin with a header block: a
    // writer that joins a file as another fills it writes its block after the padding.
    std::vector<std::string> filesPastTheLimit(unsigned long size, int writers,
                                               unsigned long headerBytes = 0) const {
        std::vector<std::string> past;
        for (const std::string& name : setFiles()) {
            const uintmax_t length = std::filesystem::file_size(native(name));
            if (length > size + (32u * 80u + headerBytes) * static_cast<unsigned>(writers)) {
                past.push_back(name + ": " + std::to_string(length));
            }
        }
        return past;
    }

    // Every line of every file of the set, blanks of padding dropped from its start; a piece
    // of blanks alone (a padded tail) and a header line are no lines.
    std::vector<std::string> allLines(int& files) const {
        std::vector<std::string> lines;
        files = 0;
        for (const std::string& name : setFiles()) {
            ++files;
            std::istringstream text(readBytes(name));
            std::string line;
            while (std::getline(text, line)) {
                const size_t start = line.find_first_not_of(' ');
                // The header block of a rolling file appender's files is no writer's line.
                if (start != std::string::npos && line.compare(start, 14, "VERSION INFO: ") != 0) {
                    lines.push_back(line.substr(start));
                }
            }
        }
        return lines;
    }
};

} // namespace

TEST_F(SharedRollingSetTest, FourProcessesOfEightThreadsLoseNoLineAndTearNone) {
    const int processes = 4;
    const int threads = 8;
    const int lines = 400;
    runWriters(processes, threads, lines, 64 * 1024);
    int malformed = 0;
    EXPECT_EQ(static_cast<size_t>(processes * threads * lines), wholeLines(malformed));
    EXPECT_EQ(0, malformed);
    EXPECT_GE(setFiles().size(), 4u);
}

TEST_F(SharedRollingSetTest, TwoProcessesKeepEveryFileNearTheLimit) {
    const unsigned long size = 64 * 1024;
    runWriters(2, 4, 1500, size);
    int malformed = 0;
    EXPECT_EQ(2u * 4u * 1500u, wholeLines(malformed));
    EXPECT_EQ(0, malformed);
    EXPECT_EQ(std::vector<std::string>(), filesPastTheLimit(size, 2));
    EXPECT_GE(setFiles().size(), 5u);
}

TEST_F(SharedRollingSetTest, FourProcessesKeepEveryFileNearTheLimit) {
    const unsigned long size = 64 * 1024;
    runWriters(4, 4, 800, size);
    int malformed = 0;
    EXPECT_EQ(4u * 4u * 800u, wholeLines(malformed));
    EXPECT_EQ(0, malformed);
    EXPECT_EQ(std::vector<std::string>(), filesPastTheLimit(size, 4));
    EXPECT_GE(setFiles().size(), 5u);
}

TEST_F(SharedRollingSetTest, TwoProcessesLoggingFromEightThreadsLoseNoLineAndTearNone) {
    const unsigned long size = 1 << 20;
    runWriters(2, 8, 2500, size, "logged");
    int malformed = 0;
    EXPECT_EQ(2u * 8u * 2500u, wholeLines(malformed));
    EXPECT_EQ(0, malformed);
    EXPECT_EQ(std::vector<std::string>(), filesPastTheLimit(size, 2, 16 * 1024));
    EXPECT_GE(setFiles().size(), 3u);
}

TEST_F(SharedRollingSetTest, TwoProcessesLayingOutLinesBeforeTheLocksLoseNoLineAndTearNone) {
    const unsigned long size = 1 << 20;
    runWriters(2, 8, 2000, size, "stamped");
    int malformed = 0;
    EXPECT_EQ(2u * 8u * 2000u, wholeLines(malformed));
    EXPECT_EQ(0, malformed);
    EXPECT_EQ(std::vector<std::string>(), filesPastTheLimit(size, 2, 16 * 1024));
    EXPECT_GE(setFiles().size(), 3u);
}

TEST_F(SharedRollingSetTest, FourProcessesGoingRoundARingOfThreeFilesTearNoLine) {
    const unsigned long size = 64 * 1024;
    runWriters(4, 4, 800, size, nullptr, 3);
    int malformed = 0;
    EXPECT_GT(wholeLines(malformed), 0u);
    EXPECT_EQ(0, malformed);
    EXPECT_EQ(std::vector<std::string>(), filesPastTheLimit(size, 4));
    EXPECT_EQ(3u, setFiles().size());
    EXPECT_NE(std::string::npos, indexFileText().find("RolloverOfLastLog="));
}
