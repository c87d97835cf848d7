// How many bytes the process has read so far, so that a test can show that a refusal came
// before any content was read.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>

namespace krel_test {

// Bytes the process's read calls have returned so far ("rchar" of /proc/self/io).
inline uint64_t bytesReadSoFar() {
    std::ifstream io("/proc/self/io");
    std::string field;
    uint64_t count = 0;
    while (io >> field >> count) {
        if (field == "rchar:") {
            return count;
        }
    }
    return 0;
}

// Far less than a read of a device's content would take, far more than the reads of a test's
// own set-up and traces.
const uint64_t FEW_BYTES_READ = 4u << 20;

} // namespace krel_test
