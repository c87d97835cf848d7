// The older API's resizable array of elements (used with wchar_t).
#pragma once

#include <memory>

namespace KrelStd {

// An owned, uninitialised array of `size` elements; resizing drops the contents.
template <typename T> class MemoryBuffer {
public:
    explicit MemoryBuffer(unsigned int size) : count(0) { resize(size); }
    MemoryBuffer(const MemoryBuffer&) = delete;
    MemoryBuffer& operator=(const MemoryBuffer&) = delete;
    virtual ~MemoryBuffer() {}

    operator T*() { return data.get(); }
    operator const T*() const { return data.get(); }
    unsigned int size() const { return count; }

    // A new array of the new size when the size differs; the old contents are not kept.
    void resize(unsigned int size) {
        if (size == count) {
            return;
        }
        data.reset(size == 0 ? nullptr : new T[size]);
        count = size;
    }

private:
    unsigned int count;
    std::unique_ptr<T[]> data;
};

} // namespace KrelStd
