// The cursor state of a fixed-capacity buffer: capacity, limit, position and mark.
#pragma once

#include <cstdint>
#include <string>

#include "base/Object.h"

namespace krel_std {

// Invariants: 0 <= mark <= position <= limit <= capacity, or mark == -1 when none is set.
class Buffer : public Object {
public:
    virtual ~Buffer();

    long getCapacity() const;
    long getLimit() const;
    long getPosition() const;
    long remaining() const;
    bool hasRemaining() const;

    // Position 0, limit at the capacity, no mark.
    void clear();
    // Limit at the position, position 0, no mark: what was written becomes readable.
    void flip();
    // Position 0, no mark.
    void rewind();
    void setMark();
    // Back to the mark; without a mark nothing happens.
    void reset();
    // Throws KrelIllegalArgumentException when the limit is outside 0..capacity.
    void setLimit(long limit);
    // Throws KrelIllegalArgumentException when the position is outside 0..limit.
    void setPosition(long position);

    std::wstring toString() const override;

protected:
    Buffer();
    Buffer(const Buffer& other);
    Buffer& operator=(const Buffer& other);

    int32_t capacity;
    int32_t limit;
    int32_t position;
    int32_t mark;
};

} // namespace krel_std
