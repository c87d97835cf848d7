// Runs a check in a child process whose address space is capped, so a test can show that a
// request far beyond the cap is refused or reported instead of ending the process. Use it
// inside EXPECT_EXIT with ::testing::ExitedWithCode(0) and the "threadsafe" death test style.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <sys/resource.h>

namespace krel_test {

// True when the build runs under AddressSanitizer, whose shadow memory and allocator cannot
// work under an address-space cap.
constexpr bool addressSanitizerActive() {
#if defined(__SANITIZE_ADDRESS__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return true;
#else
    return false;
#endif
#else
    return false;
#endif
}

// Caps the calling process's address space at its present size plus `headroom` bytes.
inline bool limitAddressSpace(unsigned long long headroom) {
    std::ifstream status("/proc/self/status");
    std::string field;
    while (status >> field) {
        if (field == "VmSize:") {
            unsigned long long kilobytes = 0;
            status >> kilobytes;
            const rlim_t cap = static_cast<rlim_t>(kilobytes * 1024 + headroom);
            const rlimit limit{cap, cap};
            return setrlimit(RLIMIT_AS, &limit) == 0;
        }
    }
    return false;
}

// Caps the address space, runs the check and ends the process: with 0 when the check answers
// the empty text, otherwise with 1 after printing the check's answer (what went wrong).
[[noreturn]] inline void exitWithCheckUnderLimit(unsigned long long headroom,
                                                 const std::function<std::string()>& check) {
    if (!limitAddressSpace(headroom)) {
        std::fprintf(stderr, "the address space could not be limited\n");
        std::exit(2);
    }
    const std::string failure = check();
    if (!failure.empty()) {
        std::fprintf(stderr, "%s\n", failure.c_str());
        std::exit(1);
    }
    std::exit(0);
}

} // namespace krel_test
