// Runnable, the work a thread runs.
#pragma once

#include "base/Object.h"

namespace krel_std {

// The work a thread runs.
class Runnable : public Object {
public:
    ~Runnable() override;

    // "Runnable{}".
    std::wstring toString() const override;

    virtual void run() = 0;
};

} // namespace krel_std
