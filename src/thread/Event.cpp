#include "thread/Event.h"

namespace krel_std {

Event::Event(bool autoReset, bool signaled) : Waitable(autoReset, signaled) {}

Event::~Event() {}

std::wstring Event::toString() const {
    return std::wstring(L"Event{autoReset=") + (isAutoReset() ? L"1" : L"0") + L",signaled=" +
           (isSignaled() ? L"1" : L"0") + L"}";
}

void Event::signal() {
    Waitable::signal();
}

void Event::reset() {
    setSignaled(false);
}

} // namespace krel_std
