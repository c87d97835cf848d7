// Callable, a task that answers a result.
#pragma once

#include <string>

namespace krel_std {

// A task that answers a result.
template <typename T> class Callable {
public:
    virtual ~Callable() {}

    // "Callable{}".
    virtual std::wstring toString() const { return L"Callable{}"; }

    virtual T call() = 0;
};

} // namespace krel_std
