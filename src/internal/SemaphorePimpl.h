#pragma once

#include <semaphore.h>

namespace krel_std_internal {

// One POSIX semaphore; failures map to library exceptions by errno name.
class SemaphorePimpl {
public:
    explicit SemaphorePimpl(unsigned int initialValue);
    SemaphorePimpl(const SemaphorePimpl&) = delete;
    SemaphorePimpl& operator=(const SemaphorePimpl&) = delete;
    virtual ~SemaphorePimpl();

    int getValue();
    bool tryDecrement();
    void increment();
    void decrement();

private:
    sem_t semaphore;
};

} // namespace krel_std_internal
