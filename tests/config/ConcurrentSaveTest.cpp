// Several processes saving one configuration file while another reads it without a lock.
#include <atomic>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <set>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "ConfigTestSupport.h"

extern char** environ;

namespace {

const int SAVERS = 8;
const int SAVES_PER_PROCESS = 16000;

std::string saverProgram() {
    char buffer[4096] = {};
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
    const std::string self(buffer, length > 0 ? static_cast<size_t>(length) : 0);
    return self.substr(0, self.find_last_of('/')) + "/helpers/krel_config_saver";
}

// The file as krel_config_saver writes it for one value.
std::string contentFor(const std::string& value) {
    return "filler=" + std::string(2000, 'x') + "\r\nfirst=" + value +
           "\r\n[end]\r\nlast=" + value + "\r\n";
}

// The value of a whole file, or "" for a missing, empty or torn one.
std::string valueOf(const std::string& content) {
    const std::string head = "filler=" + std::string(2000, 'x') + "\r\nfirst=";
    if (content.compare(0, head.size(), head) != 0) {
        return "";
    }
    const size_t end = content.find("\r\n", head.size());
    const std::string value =
        content.substr(head.size(), end == std::string::npos ? 0 : end - head.size());
    return !value.empty() && content == contentFor(value) ? value : "";
}

class ConcurrentSaveTest : public config_test::TempDirectoryTest {
protected:
    // Starts one saver with its output in saver-<id>.log; answers its process id.
    pid_t startSaver(int id) const {
        const std::string program = saverProgram();
        const std::string target = native("shared.cfg").string();
        const std::string log = native("logs/saver-" + std::to_string(id) + ".log").string();
        const std::string name = std::to_string(id);
        const std::string count = std::to_string(SAVES_PER_PROCESS);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        char* const arguments[] = {
            const_cast<char*>(program.c_str()), const_cast<char*>(target.c_str()),
            const_cast<char*>(name.c_str()), const_cast<char*>(count.c_str()), nullptr};
        pid_t pid = -1;
        EXPECT_EQ(posix_spawn(&pid, program.c_str(), &actions, nullptr, arguments, environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        return pid;
    }

    // The values whose saves reported a failure, from every saver's log; false when a log
    // does not end in "done".
    bool failedValues(std::set<std::string>& failed) const {
        for (int id = 0; id < SAVERS; ++id) {
            std::istringstream lines(readBytes("logs/saver-" + std::to_string(id) + ".log"));
            std::string word;
            std::string value;
            bool done = false;
            while (lines >> word) {
                done = word == "done";
                if (word == "failed" && lines >> value) {
                    failed.insert(value);
                }
            }
            if (!done) {
                return false;
            }
        }
        return true;
    }
};

} // namespace

TEST_F(ConcurrentSaveTest, UnlockedReaderSeesOnlyWholeFilesAndFailedSavesReplaceNothing) {
    if (access(saverProgram().c_str(), X_OK) != 0) {
        GTEST_SKIP() << "helper program not built";
    }
    std::filesystem::create_directory(native("logs"));
    writeBytes("shared.cfg", contentFor("initial"));

    std::atomic<bool> saving(true);
    std::atomic<int> reads(0);
    std::atomic<int> broken(0);
    std::set<std::string> seen;
    std::thread reader([&] {
        while (saving) {
            std::ifstream in(native("shared.cfg"), std::ios::binary);
            const std::string content((std::istreambuf_iterator<char>(in)),
                                      std::istreambuf_iterator<char>());
            const std::string value = valueOf(content);
            if (value.empty()) {
                ++broken;
            } else {
                seen.insert(value);
            }
            ++reads;
        }
    });
    std::vector<pid_t> savers;
    for (int id = 0; id < SAVERS; ++id) {
        savers.push_back(startSaver(id));
    }
    for (pid_t saver : savers) {
        int status = 0;
        ASSERT_EQ(waitpid(saver, &status, 0), saver);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    saving = false;
    reader.join();

    std::set<std::string> failed;
    ASSERT_TRUE(failedValues(failed));
    EXPECT_GT(reads, 0);
    EXPECT_EQ(broken, 0) << "reads of a missing, empty or torn file";
    EXPECT_LT(failed.size(), static_cast<size_t>(SAVERS * SAVES_PER_PROCESS));
    const std::string last = valueOf(readBytes("shared.cfg"));
    EXPECT_FALSE(last.empty());
    seen.insert(last);
    for (const std::string& value : failed) {
        EXPECT_EQ(seen.count(value), 0u) << "a failed save replaced the file: " << value;
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(root),
                            std::filesystem::directory_iterator()),
              2)
        << "temporary files left behind";
}
