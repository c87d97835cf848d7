#include "base/Base64Utils.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "base/ByteArray.h"
#include "base/ErrorUtils.h"
#include "base/InternalTrace.h"
#include "base/LogFunctionCall.h"
#include "exception/KrelIllegalArgumentException.h"

namespace krel_std {

namespace {

constexpr char ALPHABET[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
const char PAD = '=';

// The alphabet index of every byte value; NOT_BASE64 (above every index) for the others,
// the terminating zero included.
const unsigned char NOT_BASE64 = 0x80;

struct DecodeTable {
    unsigned char index[256];
};

constexpr DecodeTable makeDecodeTable() {
    DecodeTable table{};
    for (int byte = 0; byte < 256; ++byte) {
        table.index[byte] = NOT_BASE64;
    }
    for (int i = 0; i < 64; ++i) {
        table.index[static_cast<unsigned char>(ALPHABET[i])] = static_cast<unsigned char>(i);
    }
    return table;
}

constexpr DecodeTable DECODE_TABLE = makeDecodeTable();

const wchar_t* const ENCODER = L"krel_std::Base64Utils::internalMbcsToBase64";
const wchar_t* const DECODER = L"krel_std::Base64Utils::internalBase64ToMbcs";
const wchar_t* const NO_ROOM_FOR_BASE64 = L"Insufficient space to hold Base64 string.";
const wchar_t* const NO_ROOM_FOR_MBCS = L"Insufficient space to hold MBCS string.";

// White space as the C locale classifies it; bytes above 0x7F never are.
bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

unsigned int tableIndex(char c) {
    return DECODE_TABLE.index[static_cast<unsigned char>(c)];
}

int alphabetIndex(char c) {
    const unsigned int index = tableIndex(c);
    return index == NOT_BASE64 ? -1 : static_cast<int>(index);
}

const char* skipBlanks(const char* source) {
    while (isBlank(*source)) {
        ++source;
    }
    return source;
}

// The two characters of every 12-bit value, so that a group of three bytes is written with
// two lookups.
struct PairTable {
    char pair[4096][2];
};

constexpr PairTable makePairTable() {
    PairTable table{};
    for (int value = 0; value < 4096; ++value) {
        table.pair[value][0] = ALPHABET[value >> 6];
        table.pair[value][1] = ALPHABET[value & 63];
    }
    return table;
}

constexpr PairTable PAIR_TABLE = makePairTable();

void writeGroup(char* target, unsigned char b0, unsigned char b1, unsigned char b2) {
    const unsigned int bits = (static_cast<unsigned int>(b0) << 16) | (b1 << 8) | b2;
    std::memcpy(target, PAIR_TABLE.pair[bits >> 12], 2);
    std::memcpy(target + 2, PAIR_TABLE.pair[bits & 0xFFF], 2);
}

// The alphabet index of every byte value already moved to its place in a group's 24 bits, one
// table for each of the four places; a byte outside the alphabet sets the top bit instead.
const uint32_t GROUP_FAULT = 0x80000000u;

struct GroupTables {
    uint32_t place[4][256];
};

constexpr GroupTables makeGroupTables() {
    GroupTables tables{};
    for (int place = 0; place < 4; ++place) {
        for (int byte = 0; byte < 256; ++byte) {
            const unsigned int index = DECODE_TABLE.index[byte];
            tables.place[place][byte] =
                index == NOT_BASE64 ? GROUP_FAULT : index << (6 * (3 - place));
        }
    }
    return tables;
}

constexpr GroupTables GROUP_TABLES = makeGroupTables();

uint32_t groupBits(const char* source) {
    return GROUP_TABLES.place[0][static_cast<unsigned char>(source[0])] |
           GROUP_TABLES.place[1][static_cast<unsigned char>(source[1])] |
           GROUP_TABLES.place[2][static_cast<unsigned char>(source[2])] |
           GROUP_TABLES.place[3][static_cast<unsigned char>(source[3])];
}

// From a group boundary, takes whole groups of four alphabet characters while the room holds
// their three bytes (without a target, only counts them); answers where it stopped. The bytes
// stored are those the character-by-character reader stores for the same group.
const char* decodeGroups(const char* source, const char* end, unsigned char* target,
                         unsigned int room, unsigned int& index) {
    size_t groups = static_cast<size_t>(end - source) / 4;
    if (target != nullptr) {
        groups = std::min<size_t>(groups, (room - index) / 3);
    }
    for (; groups > 0; --groups) {
        const uint32_t bits = groupBits(source);
        if ((bits & GROUP_FAULT) != 0) {
            break;
        }
        if (target != nullptr) {
            target[index] = static_cast<unsigned char>(bits >> 16);
            target[index + 1] = static_cast<unsigned char>(bits >> 8);
            target[index + 2] = static_cast<unsigned char>(bits);
        }
        index += 3;
        source += 4;
    }
    return source;
}

} // namespace

Base64Utils::~Base64Utils() {}

unsigned long Base64Utils::getBase64StringLength(const std::string& bytes) {
    return (bytes.size() / 3) * 4 + 5;
}

unsigned long Base64Utils::getBase64StringLength(const ByteArray& bytes) {
    return (static_cast<unsigned long>(bytes.getLength()) / 3) * 4 + 5;
}

unsigned long Base64Utils::getMbcsStringLength(const std::string& base64) {
    return (base64.size() / 4) * 3 + 1;
}

int Base64Utils::fail(const wchar_t* function, const wchar_t* message) {
    KREL_INTERNAL_DEBUG(function, L"%ls", message);
    return -1;
}

// Fails before writing anything when the room cannot hold every group and the terminator.
int Base64Utils::internalMbcsToBase64(const unsigned char* source, unsigned int length,
                                      char* target, unsigned int room) {
    const unsigned long long groups = length / 3 + (length % 3 != 0 ? 1 : 0);
    if (groups * 4 >= room) {
        return fail(ENCODER, NO_ROOM_FOR_BASE64);
    }
    unsigned int written = 0;
    unsigned int read = 0;
    for (; length - read >= 3; read += 3, written += 4) {
        writeGroup(target + written, source[read], source[read + 1], source[read + 2]);
    }
    const unsigned int rest = length - read;
    if (rest > 0) {
        writeGroup(target + written, source[read], rest == 2 ? source[read + 1] : 0, 0);
        if (rest == 1) {
            target[written + 2] = PAD;
        }
        target[written + 3] = PAD;
        written += 4;
    }
    target[written] = 0;
    return static_cast<int>(written);
}

// Stores the six bits of one character for the given state; false when the room is short.
bool Base64Utils::storeBits(unsigned char* target, unsigned int room, int state,
                            unsigned int& index, unsigned char bits) {
    switch (state) {
    case 0:
        if (index >= room) {
            return false;
        }
        target[index] = static_cast<unsigned char>(bits << 2);
        return true;
    case 1:
    case 2:
        if (index + 1 >= room) {
            return false;
        }
        target[index] |= static_cast<unsigned char>(state == 1 ? bits >> 4 : bits >> 2);
        target[index + 1] =
            static_cast<unsigned char>(state == 1 ? (bits & 15) << 4 : (bits & 3) << 6);
        ++index;
        return true;
    default:
        if (index >= room) {
            return false;
        }
        target[index++] |= bits;
        return true;
    }
}

// `source` stands on the first "=". After the padding only white space may follow, and with
// a target the bits beyond the last whole byte must be zero.
int Base64Utils::readPadding(const char* source, int state, const unsigned char* target,
                             unsigned int index) {
    if (state < 2) {
        return -1;
    }
    ++source;
    if (state == 2) {
        source = skipBlanks(source);
        if (*source != PAD) {
            return fail(DECODER, L"Missing trailing padding.");
        }
        ++source;
    }
    if (*skipBlanks(source) != 0) {
        return fail(DECODER, L"Extra characters after padding.");
    }
    if (target != nullptr && target[index] != 0) {
        return fail(DECODER, L"Invalid characters after padding.");
    }
    return static_cast<int>(index);
}

int Base64Utils::internalBase64ToMbcs(const char* source, unsigned char* target,
                                      unsigned int room) {
    const char* const end = source + std::strlen(source);
    int state = 0;
    unsigned int index = 0;
    while (*source != 0 && *source != PAD) {
        if (state == 0) {
            source = decodeGroups(source, end, target, room, index);
            if (*source == 0 || *source == PAD) {
                break;
            }
        }
        if (isBlank(*source)) {
            ++source;
            continue;
        }
        const int bits = alphabetIndex(*source);
        if (bits < 0) {
            KREL_INTERNAL_DEBUG(DECODER, L"<%C> is not a Base64 character.", *source);
            return -1;
        }
        if (target == nullptr) {
            index += state == 0 ? 0 : 1;
        } else if (!storeBits(target, room, state, index, static_cast<unsigned char>(bits))) {
            return fail(DECODER, NO_ROOM_FOR_MBCS);
        }
        state = (state + 1) % 4;
        ++source;
    }
    if (*source == PAD) {
        return readPadding(source, state, target, index);
    }
    if (state != 0) {
        return fail(DECODER, L"Partial bytes after string.");
    }
    return static_cast<int>(index);
}

std::string Base64Utils::encode(const char* bytes, size_t length, const wchar_t* context) {
    const unsigned int room = static_cast<unsigned int>((length / 3) * 4 + 5);
    std::string text(room, '\0');
    const int result = internalMbcsToBase64(reinterpret_cast<const unsigned char*>(bytes),
                                            static_cast<unsigned int>(length), &text[0], room);
    if (result < 0) {
        // Traces the failure as the common range check does.
        ErrorUtils::isBelowMinimum(result, 0, context, L"Converted string length");
        return std::string();
    }
    text.resize(static_cast<size_t>(result));
    return text;
}

// Decodes into `bytes` (sized to the text plus one); answers the decoded length or -1.
int Base64Utils::decode(const std::string& base64, std::string& bytes, const wchar_t* context) {
    const unsigned int room = static_cast<unsigned int>(base64.size());
    bytes.assign(room + 1, '\0');
    const int result =
        internalBase64ToMbcs(base64.c_str(), reinterpret_cast<unsigned char*>(&bytes[0]), room);
    if (result < 0) {
        ErrorUtils::isBelowMinimum(result, 0, context, L"Converted string length");
        return -1;
    }
    return result;
}

std::string Base64Utils::mbcsToBase64(const std::string& bytes) {
    return encode(bytes.data(), bytes.size(), L"krel_std::Base64Utils::mbcsToBase64");
}

std::string Base64Utils::byteArrayToBase64(const ByteArray& bytes) {
    return encode(bytes.getArray().get(), static_cast<size_t>(bytes.getLength()),
                  L"krel_std::Base64Utils::byteArrayToBase64");
}

std::string Base64Utils::base64ToMbcs(const std::string& base64) {
    std::string bytes;
    const int length = decode(base64, bytes, L"krel_std::Base64Utils::base64ToMbcs");
    if (length < 0) {
        return std::string();
    }
    // The narrow result ends at the first zero byte.
    const void* zero = std::memchr(bytes.data(), 0, static_cast<size_t>(length));
    bytes.resize(zero == nullptr
                     ? static_cast<size_t>(length)
                     : static_cast<size_t>(static_cast<const char*>(zero) - bytes.data()));
    return bytes;
}

boost::shared_ptr<ByteArray> Base64Utils::base64ToByteArray(const std::string& base64) {
    std::string bytes;
    const int length = decode(base64, bytes, L"krel_std::Base64Utils::base64ToByteArray");
    if (length < 0) {
        return boost::shared_ptr<ByteArray>();
    }
    try {
        return boost::shared_ptr<ByteArray>(new ByteArray(bytes.data(), length));
    } catch (const KrelIllegalArgumentException&) {
        return boost::shared_ptr<ByteArray>();
    }
}

bool Base64Utils::isBase64String(const std::string& text) {
    return internalBase64ToMbcs(text.c_str(), nullptr, 0) >= 0;
}

} // namespace krel_std
