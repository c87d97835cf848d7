#include "base/Configurable.h"

namespace krel_std {

Configurable::~Configurable() = default;

void Configurable::setProperty(const std::wstring&, const std::wstring&) {}

} // namespace krel_std
