#include "base/CollectionUtils.h"

namespace krel_std {

CollectionUtils::CollectionUtils() {}

CollectionUtils::~CollectionUtils() {}

} // namespace krel_std
