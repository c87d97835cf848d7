#include "log/AppenderWriteGuard.h"

#include <utility>

#include "log/HotThreadLocal.h"

namespace krel_std_internal {

namespace {

// A line buffer this large is not kept: one huge message must not pin its memory.
constexpr std::size_t LARGEST_KEPT_LINE = 16384;

KREL_HOT_THREAD_LOCAL bool writing = false;
KREL_HOT_THREAD_LOCAL std::wstring* spare = nullptr;

} // namespace

AppenderWriteGuard::AppenderWriteGuard() : previousWriting(writing), previousSpare(spare) {
    writing = true;
    spare = nullptr;
}

AppenderWriteGuard::AppenderWriteGuard(std::wstring& spareLine)
    : previousWriting(writing), previousSpare(spare) {
    writing = true;
    spare = &spareLine;
}

AppenderWriteGuard::~AppenderWriteGuard() {
    writing = previousWriting;
    spare = previousSpare;
}

bool AppenderWriteGuard::isActive() {
    return writing;
}

std::wstring AppenderWriteGuard::takeSpareLine() {
    if (spare == nullptr) {
        return std::wstring();
    }
    std::wstring line(std::move(*spare));
    line.clear();
    return line;
}

void AppenderWriteGuard::giveBackLine(std::wstring&& line) {
    if (spare != nullptr && line.capacity() > spare->capacity() &&
        line.capacity() <= LARGEST_KEPT_LINE) {
        *spare = std::move(line);
    }
}

} // namespace krel_std_internal
