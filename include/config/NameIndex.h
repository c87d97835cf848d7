// A hash index from names to positions in an ordered list, used by the configuration classes to
// find a section or key without scanning their lists. Not part of the library's interface.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace krel_std_internal {

// Positions of the named entries of one list, by name. The index holds positions and hashes
// only: the names stay in the list, and find asks the list for the name at a position. A list
// that moves or removes entries rebuilds its index; one that appends entries adds them.
class NameIndex {
public:
    static constexpr uint32_t npos = UINT32_MAX;

    NameIndex() = default;
    NameIndex(const NameIndex& other) = default;
    NameIndex& operator=(const NameIndex& other) = default;
    // The moved-from index is empty.
    NameIndex(NameIndex&& other) noexcept;
    NameIndex& operator=(NameIndex&& other) noexcept;

    static uint32_t hashOf(std::wstring_view name);

    // The position of the entry with that name and hash, or npos. nameAt(position) answers
    // the name of the list's entry at a position.
    template <typename NameAt>
    uint32_t find(std::wstring_view name, uint32_t hash, const NameAt& nameAt) const {
        if (count == 0) {
            return npos;
        }
        const size_t mask = table.size() - 1;
        for (size_t slot = hash & mask;; slot = (slot + 1) & mask) {
            const Slot& candidate = table[slot];
            if (candidate.position == kEmpty) {
                return npos;
            }
            if (candidate.hash == hash && nameAt(candidate.position) == name) {
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

    void place(uint32_t hash, uint32_t position);
    void grow();

    std::vector<Slot> table;
    uint32_t count = 0;
};

} // namespace krel_std_internal
