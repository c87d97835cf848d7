#include "log/AppenderWriteGuard.h"

namespace krel_std_internal {

namespace {

thread_local bool writing = false;

} // namespace

AppenderWriteGuard::AppenderWriteGuard() : previous(writing) {
    writing = true;
}

AppenderWriteGuard::~AppenderWriteGuard() {
    writing = previous;
}

bool AppenderWriteGuard::isActive() {
    return writing;
}

} // namespace krel_std_internal
