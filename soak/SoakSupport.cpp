#include "SoakSupport.h"

#include <csignal>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <sys/prctl.h>
#include <unistd.h>

namespace krel_soak {

const char* const kServiceName = "KrelSoak";
const wchar_t* const kPreferencesNode = L"/Software/KrelStd/Soak";

int64_t monotonicMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

void appendJournal(const std::string& path, const std::string& line) {
    const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        return;
    }
    const std::string text = line + "\n";
    const ssize_t written = write(fd, text.data(), text.size());
    (void)written;
    close(fd);
}

std::string soakMessage(unsigned instance, unsigned thread, unsigned long number) {
    const size_t length = 8 + (number * 7 + thread * 13 + instance) % 120;
    std::string pad(length, 'a');
    for (size_t i = 0; i < length; ++i) {
        pad[i] = static_cast<char>('a' + (number + i * (thread + 3)) % 26);
    }
    return "SOAK i=" + std::to_string(instance) + " t=" + std::to_string(thread) +
           " n=" + std::to_string(number) + " x=" + pad + " END";
}

ProcessFigures readProcessFigures(pid_t pid) {
    ProcessFigures figures;
    const std::string base = "/proc/" + std::to_string(pid);
    std::ifstream status(base + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.compare(0, 6, "VmRSS:") == 0) {
            figures.rssKb = std::stol(line.substr(6));
        } else if (line.compare(0, 8, "Threads:") == 0) {
            figures.threads = std::stol(line.substr(8));
        }
    }
    if (DIR* fds = opendir((base + "/fd").c_str())) {
        while (const dirent* entry = readdir(fds)) {
            figures.descriptors += entry->d_name[0] != '.' ? 1 : 0;
        }
        closedir(fds);
    }
    return figures;
}

bool endWithParent(pid_t parent) {
    return prctl(PR_SET_PDEATHSIG, SIGKILL) == 0 && getppid() == parent;
}

} // namespace krel_soak
