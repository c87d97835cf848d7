#include "base/AbstractDestructProcessor.h"

namespace krel_std {

AbstractDestructProcessor::AbstractDestructProcessor() : isDestructProcessorEnabledFlag(true) {}

bool AbstractDestructProcessor::isDestructProcessorEnabled() const {
    return isDestructProcessorEnabledFlag;
}

void AbstractDestructProcessor::setIsDestructProcessorEnabled(bool enabled) {
    isDestructProcessorEnabledFlag = enabled;
}

std::wstring AbstractDestructProcessor::toString() const {
    return std::wstring(L"AbstractDestructProcessor{isDestructProcessorEnabledFlag=") +
           (isDestructProcessorEnabledFlag ? L"true" : L"false") + L"}";
}

} // namespace krel_std
