// A hash index from names to positions in an ordered list, used by the configuration classes to
// find a section or key without scanning their lists. Not part of the library's interface.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace krel_std_internal {

// Positions of the named entries of one list, by name. The index holds positions and hashes
// only: the names stay in the list, and find asks the list whether the entry at a position has
// the name sought. A list that moves or removes entries rebuilds its index; one that appends
// entries adds them.
class NameIndex {
public:
    static constexpr uint32_t npos = UINT32_MAX;

    NameIndex() = default;
    NameIndex(const NameIndex& other) = default;
    NameIndex& operator=(const NameIndex& other) = default;
    // The moved-from index is empty.
    NameIndex(NameIndex&& other) noexcept;
    NameIndex& operator=(NameIndex&& other) noexcept;

    // The hash of a name's characters: the same for a name held as bytes of characters below
    // U+0100 (see CompactText) as for the same name held as wide characters.
    static uint32_t hashOf(std::wstring_view name) { return hashOfCharacters(name); }
    static uint32_t hashOf(std::string_view name) { return hashOfCharacters(name); }

    // The position of the entry with that hash for which isNamed(position) holds, or npos.
    // isNamed(position) answers whether the list's entry at a position has the name sought.
    template <typename IsNamed> uint32_t find(uint32_t hash, const IsNamed& isNamed) const {
        if (count == 0) {
            return npos;
        }
        const size_t mask = table.size() - 1;
        for (size_t slot = hash & mask;; slot = (slot + 1) & mask) {
            const Slot& candidate = table[slot];
            if (candidate.position == kEmpty) {
                return npos;
            }
            if (candidate.hash == hash && isNamed(candidate.position)) {
                return candidate.position;
            }
        }
    }

    // Records the entry at the position under the hash of its name, which is not yet indexed.
    void add(uint32_t hash, uint32_t position);
    void clear();

private:
    static constexpr uint32_t kEmpty = UINT32_MAX;

    struct Slot {
        uint32_t hash;
        uint32_t position;
    };

    // FNV-1a over the characters' values, its 64 bits then mixed so that the low bits, which
    // pick the slot, depend on every character.
    template <typename View> static uint32_t hashOfCharacters(View name) {
        uint64_t hash = 0xCBF29CE484222325ull;
        for (auto character : name) {
            hash = (hash ^ characterValue(character)) * 0x100000001B3ull;
        }
        hash ^= hash >> 33;
        hash *= 0xFF51AFD7ED558CCDull;
        hash ^= hash >> 33;
        return static_cast<uint32_t>(hash);
    }
    static uint32_t characterValue(char byte) { return static_cast<uint8_t>(byte); }
    static uint32_t characterValue(wchar_t character) { return static_cast<uint32_t>(character); }

    void place(uint32_t hash, uint32_t position);
    void grow();

    std::vector<Slot> table;
    uint32_t count = 0;
};

} // namespace krel_std_internal
