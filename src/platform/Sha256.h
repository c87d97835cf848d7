// SHA-256 (FIPS 180-4), and the fixed-length names made from it for the Unix socket files of
// services and named events.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace krel_platform {

// SHA-256 of a byte string; one digest per object.
class Sha256 {
public:
    std::array<uint8_t, 32> digest(const std::string& bytes);

private:
    static uint32_t rotate(uint32_t value, int count);
    void compress(const uint8_t* block);

    uint32_t state[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                         0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
};

// The first 128 bits of the SHA-256 of bytes as 32 lowercase hex digits: a file name of fixed
// length, distinct for distinct byte strings in practice.
std::string hashName(const std::string& bytes);

} // namespace krel_platform
