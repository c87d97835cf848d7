// krel-soak: a long run of a service on the library's main road under changing settings and
// failing servers, checked at its end. `make soak` runs it; see Driver.h.
//
//   krel-soak [--minutes <m>] [--dir <directory>]     the driver (10 minutes, ./soak-run)
//   krel-soak --service <directory> <driver pid> <port> <port>
//   krel-soak --writer <directory> <seconds>
//   krel-soak --server <port file> <port>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "Driver.h"
#include "SoakRoles.h"

namespace {

std::string ownProgram() {
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    return length > 0 ? std::string(path, static_cast<size_t>(length)) : std::string();
}

int usage() {
    std::fprintf(stderr, "usage: krel-soak [--minutes <m>] [--dir <directory>]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    const std::string role = argc > 1 ? argv[1] : "";
    if (role == "--service" && argc == 6) {
        return krel_soak::runService(argv[2], std::atoi(argv[3]), std::atoi(argv[4]),
                                     std::atoi(argv[5]));
    }
    if (role == "--writer" && argc == 4) {
        return krel_soak::runWriter(argv[2], std::strtod(argv[3], nullptr));
    }
    if (role == "--server" && argc == 4) {
        return krel_soak::runServer(argv[2], std::atoi(argv[3]));
    }
    double minutes = 10;
    std::string directory = "soak-run";
    for (int i = 1; i < argc; i += 2) {
        const std::string option = argv[i];
        if (i + 1 >= argc) {
            return usage();
        }
        if (option == "--minutes") {
            minutes = std::strtod(argv[i + 1], nullptr);
        } else if (option == "--dir") {
            directory = argv[i + 1];
        } else {
            return usage();
        }
    }
    if (!(minutes > 0)) {
        return usage();
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    return krel_soak::runDriver(ownProgram(), std::filesystem::absolute(directory).string(),
                                minutes);
}
