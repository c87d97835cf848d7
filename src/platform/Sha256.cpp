#include "platform/Sha256.h"

#include <algorithm>

namespace krel_platform {

std::array<uint8_t, 32> Sha256::digest(const std::string& bytes) {
    std::string message = bytes;
    const uint64_t bits = static_cast<uint64_t>(bytes.size()) * 8;
    message += static_cast<char>(0x80);
    while (message.size() % 64 != 56) {
        message += '\0';
    }
    for (int shift = 56; shift >= 0; shift -= 8) {
        message += static_cast<char>((bits >> shift) & 0xFF);
    }
    for (size_t block = 0; block < message.size(); block += 64) {
        compress(reinterpret_cast<const uint8_t*>(message.data() + block));
    }
    std::array<uint8_t, 32> result{};
    for (size_t index = 0; index < 32; ++index) {
        result[index] = static_cast<uint8_t>(state[index / 4] >> (24 - 8 * (index % 4)));
    }
    return result;
}

uint32_t Sha256::rotate(uint32_t value, int count) {
    return (value >> count) | (value << (32 - count));
}

void Sha256::compress(const uint8_t* block) {
    static const uint32_t k[64] = {
        0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4,
        0xab1c5ed5, 0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe,
        0x9bdc06a7, 0xc19bf174, 0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f,
        0x4a7484aa, 0x5cb0a9dc, 0x76f988da, 0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7,
        0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967, 0x27b70a85, 0x2e1b2138, 0x4d2c6dfc,
        0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85, 0xa2bfe8a1, 0xa81a664b,
        0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070, 0x19a4c116,
        0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
        0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7,
        0xc67178f2};
    uint32_t w[64];
    for (int index = 0; index < 16; ++index) {
        w[index] = static_cast<uint32_t>(block[4 * index]) << 24 |
                   static_cast<uint32_t>(block[4 * index + 1]) << 16 |
                   static_cast<uint32_t>(block[4 * index + 2]) << 8 | block[4 * index + 3];
    }
    for (int index = 16; index < 64; ++index) {
        const uint32_t s0 =
            rotate(w[index - 15], 7) ^ rotate(w[index - 15], 18) ^ (w[index - 15] >> 3);
        const uint32_t s1 =
            rotate(w[index - 2], 17) ^ rotate(w[index - 2], 19) ^ (w[index - 2] >> 10);
        w[index] = w[index - 16] + s0 + w[index - 7] + s1;
    }
    uint32_t v[8];
    std::copy(state, state + 8, v);
    for (int index = 0; index < 64; ++index) {
        const uint32_t s1 = rotate(v[4], 6) ^ rotate(v[4], 11) ^ rotate(v[4], 25);
        const uint32_t choice = (v[4] & v[5]) ^ (~v[4] & v[6]);
        const uint32_t first = v[7] + s1 + choice + k[index] + w[index];
        const uint32_t s0 = rotate(v[0], 2) ^ rotate(v[0], 13) ^ rotate(v[0], 22);
        const uint32_t majority = (v[0] & v[1]) ^ (v[0] & v[2]) ^ (v[1] & v[2]);
        std::copy_backward(v, v + 7, v + 8);
        v[4] += first;
        v[0] = first + s0 + majority;
    }
    for (int index = 0; index < 8; ++index) {
        state[index] += v[index];
    }
}

std::string hashName(const std::string& bytes) {
    const std::array<uint8_t, 32> digest = Sha256().digest(bytes);
    static const char hex[] = "0123456789abcdef";
    std::string name;
    for (size_t index = 0; index < 16; ++index) {
        name += hex[digest[index] >> 4];
        name += hex[digest[index] & 0x0F];
    }
    return name;
}

} // namespace krel_platform
