#include "thread/ThreadFactory.h"

namespace krel_std {

ThreadFactory::~ThreadFactory() {}

std::wstring ThreadFactory::toString() const {
    return L"ThreadFactory{}";
}

} // namespace krel_std
