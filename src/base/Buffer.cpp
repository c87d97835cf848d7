#include "base/Buffer.h"

#include "base/ErrorUtils.h"
#include "base/StringUtils.h"

namespace krel_std {

Buffer::Buffer() : capacity(0), limit(0), position(0), mark(-1) {}

Buffer::Buffer(const Buffer& other)
    : Object(other), capacity(other.capacity), limit(other.limit), position(other.position),
      mark(other.mark) {}

Buffer& Buffer::operator=(const Buffer& other) {
    Object::operator=(other);
    capacity = other.capacity;
    limit = other.limit;
    position = other.position;
    mark = other.mark;
    return *this;
}

Buffer::~Buffer() {}

long Buffer::getCapacity() const {
    return capacity;
}

long Buffer::getLimit() const {
    return limit;
}

long Buffer::getPosition() const {
    return position;
}

long Buffer::remaining() const {
    return static_cast<long>(limit) - position;
}

bool Buffer::hasRemaining() const {
    return limit > position;
}

void Buffer::clear() {
    position = 0;
    limit = capacity;
    mark = -1;
}

void Buffer::flip() {
    limit = position;
    position = 0;
    mark = -1;
}

void Buffer::rewind() {
    position = 0;
    mark = -1;
}

void Buffer::setMark() {
    mark = position;
}

void Buffer::reset() {
    if (mark >= 0) {
        position = mark;
    }
}

void Buffer::setLimit(long newLimit) {
    ErrorUtils::isOutsideRangeEx(newLimit, 0, static_cast<long>(capacity),
                                 L"krel_std::Buffer::setLimit", L"Limit");
    limit = static_cast<int32_t>(newLimit);
    if (position > limit) {
        position = limit;
    }
    if (mark > limit) {
        mark = -1;
    }
}

void Buffer::setPosition(long newPosition) {
    ErrorUtils::isOutsideRangeEx(newPosition, 0, static_cast<long>(limit),
                                 L"krel_std::Buffer::setPosition", L"Position");
    position = static_cast<int32_t>(newPosition);
    if (mark > position) {
        mark = -1;
    }
}

std::wstring Buffer::toString() const {
    std::wstring text;
    StringUtils::sprintfStringAppend(text, L"Buffer{capacity=%d,limit=%d,pos=%d,mark=%d}",
                                     static_cast<int>(capacity), static_cast<int>(limit),
                                     static_cast<int>(position), static_cast<int>(mark));
    return text;
}

} // namespace krel_std
