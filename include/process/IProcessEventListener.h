// IProcessEventListener, told about a process's events (for users of Process).
#pragma once

namespace krel_std {

class Process;

// Told about a process's events. An interface for users of Process; the library itself neither
// implements nor calls it. It is not deleted through this type, so its destructor is protected.
class IProcessEventListener {
public:
    virtual void processEvent(Process& process) = 0;

protected:
    ~IProcessEventListener() = default;
};

} // namespace krel_std
