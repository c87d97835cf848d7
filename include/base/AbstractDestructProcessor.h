// AbstractDestructProcessor, the base of objects with a clean-up step that can be switched off.
#pragma once

#include <string>

namespace krel_std {

// Base of objects that run a clean-up step when they are torn down, which can be switched off.
// The destructor is not virtual; it is protected, so an object cannot be deleted through
// this base.
class AbstractDestructProcessor {
public:
    AbstractDestructProcessor();

    virtual bool isDestructProcessorEnabled() const;
    virtual void setIsDestructProcessorEnabled(bool enabled);
    // "AbstractDestructProcessor{isDestructProcessorEnabledFlag=true}".
    virtual std::wstring toString() const;
    // The clean-up step.
    virtual void processDestruct() = 0;

protected:
    ~AbstractDestructProcessor() {}

private:
    bool isDestructProcessorEnabledFlag;
};

} // namespace krel_std
