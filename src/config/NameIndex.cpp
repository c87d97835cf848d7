#include "config/NameIndex.h"

#include <utility>

namespace krel_std_internal {

namespace {

const size_t FIRST_SIZE = 8;

} // namespace

NameIndex::NameIndex(NameIndex&& other) noexcept
    : table(std::move(other.table)), count(other.count) {
    other.clear();
}

NameIndex& NameIndex::operator=(NameIndex&& other) noexcept {
    if (&other != this) {
        table = std::move(other.table);
        count = other.count;
        other.clear();
    }
    return *this;
}

void NameIndex::add(uint32_t hash, uint32_t position) {
    // At most three quarters full, so a search meets an empty slot soon.
    if ((count + 1) * 4 > table.size() * 3) {
        grow();
    }
    place(hash, position);
    ++count;
}

void NameIndex::clear() {
    std::vector<Slot>().swap(table);
    count = 0;
}

void NameIndex::place(uint32_t hash, uint32_t position) {
    const size_t mask = table.size() - 1;
    size_t slot = hash & mask;
    while (table[slot].position != kEmpty) {
        slot = (slot + 1) & mask;
    }
    table[slot] = Slot{hash, position};
}

void NameIndex::grow() {
    std::vector<Slot> old(table.empty() ? FIRST_SIZE : table.size() * 2, Slot{0, kEmpty});
    old.swap(table);
    for (const Slot& slot : old) {
        if (slot.position != kEmpty) {
            place(slot.hash, slot.position);
        }
    }
}

} // namespace krel_std_internal
