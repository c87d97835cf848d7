// The older API's thread-local slot.
#pragma once

namespace KrelStd {

// One thread-local slot shared by every instance in the process: each thread sees its own
// value. The slot exists from the first Create until Destroy; a new instance leaves it as it is.
class KrelThreadData {
public:
    KrelThreadData();
    ~KrelThreadData();

    // Allocates the slot unless it exists.
    void Create();
    void Destroy();
    // False without a slot; otherwise stores the calling thread's value and answers whether it
    // is non-null.
    bool Get(void** value) const;
    // False without a slot; otherwise answers whether the value was stored.
    bool Set(void* value);
};

} // namespace KrelStd
