#include "service/IController.h"

namespace krel_std {

IController::~IController() = default;

std::wstring IController::toString() const {
    return L"IController{}";
}

} // namespace krel_std
