#include "log/StaticLogConstants.h"

namespace krel_std {

const std::wstring StaticLogConstants::debugSection = L"Debug Log";
const std::wstring StaticLogConstants::threshold = L"Threshold";
const std::wstring StaticLogConstants::appenderSection = L"Log Appenders";
const std::wstring StaticLogConstants::modules = L"modules";
const std::wstring StaticLogConstants::className = L"class";
const std::wstring StaticLogConstants::appenderPrefix = L"appender.";
const std::wstring StaticLogConstants::layoutName = L"layout";
const std::wstring StaticLogConstants::filterName = L"filter";
const std::wstring StaticLogConstants::nullClass = L"NULL";

} // namespace krel_std
