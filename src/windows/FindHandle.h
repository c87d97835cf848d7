#pragma once

#include <cstdint>

namespace krel_std_internal {

// Owns one directory search of the C runtime and closes it with _findclose.
class FindHandle {
public:
    explicit FindHandle(intptr_t handle);
    FindHandle(const FindHandle&) = delete;
    FindHandle& operator=(const FindHandle&) = delete;
    virtual ~FindHandle();

    intptr_t get() const { return handle; }
    bool isValid() const { return handle != -1; }

private:
    intptr_t handle;
};

} // namespace krel_std_internal
