// What a service holds to be run and stopped.
#pragma once

#include <string>

#include "base/Object.h"

namespace krel_std {

// Runs a service under whatever controls it and stops it again.
class IController : public Object {
public:
    IController() = default;
    IController(const IController&) = delete;
    IController& operator=(const IController&) = delete;
    ~IController() override;

    // "IController{}".
    std::wstring toString() const override;
    // Runs the service; returns when it has ended.
    virtual void start() = 0;
    // Stops the service; reportStopped false leaves the last reported state standing.
    virtual void stop(bool reportStopped) = 0;
};

} // namespace krel_std
