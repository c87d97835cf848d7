#include "system/VersionInfoListener.h"

namespace krel_std {

VersionInfoListener::VersionInfoListener() = default;

VersionInfoListener::~VersionInfoListener() = default;

void VersionInfoListener::onModuleAdded(const VersionInfo&) {}

void VersionInfoListener::onModuleRemoved(const VersionInfo&) {}

} // namespace krel_std
