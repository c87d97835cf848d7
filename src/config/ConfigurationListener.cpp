#include "config/ConfigurationListener.h"

namespace krel_std {

ConfigurationListener::~ConfigurationListener() {}

} // namespace krel_std
