#include "service/ISignalHandler.h"

namespace krel_std {

ISignalHandler::ISignalHandler() = default;

ISignalHandler::~ISignalHandler() = default;

std::wstring ISignalHandler::toString() const {
    return L"ISignalHandler{}";
}

} // namespace krel_std
