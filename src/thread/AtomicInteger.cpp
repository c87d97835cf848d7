#include "thread/AtomicInteger.h"

#include "thread/AutoLock.h"

namespace krel_std {

AtomicInteger::AtomicInteger() : value(0) {}

AtomicInteger::AtomicInteger(int value) : value(value) {}

AtomicInteger::~AtomicInteger() {}

std::wstring AtomicInteger::toString() const {
    AutoLock<Lock> guard(lock);
    return L"AtomicInteger{value=" + std::to_wstring(value) + L"}";
}

int AtomicInteger::get() {
    AutoLock<Lock> guard(lock);
    return value;
}

void AtomicInteger::set(int newValue) {
    AutoLock<Lock> guard(lock);
    value = newValue;
}

int AtomicInteger::addAndGet(int delta) {
    return static_cast<int>(static_cast<unsigned int>(exchangeAdd(delta)) +
                            static_cast<unsigned int>(delta));
}

int AtomicInteger::getAndAdd(int delta) {
    return exchangeAdd(delta);
}

int AtomicInteger::incrementAndGet() {
    return addAndGet(1);
}

int AtomicInteger::decrementAndGet() {
    return addAndGet(-1);
}

int AtomicInteger::getAndIncrement() {
    return exchangeAdd(1);
}

int AtomicInteger::getAndDecrement() {
    return exchangeAdd(-1);
}

int AtomicInteger::getAndSet(int newValue) {
    AutoLock<Lock> guard(lock);
    int old = value;
    value = newValue;
    return old;
}

bool AtomicInteger::compareAndSet(int expected, int newValue) {
    AutoLock<Lock> guard(lock);
    if (value != expected) {
        return false;
    }
    value = newValue;
    return true;
}

// The sum is taken in unsigned arithmetic, so it wraps instead of overflowing.
int AtomicInteger::exchangeAdd(int delta) {
    AutoLock<Lock> guard(lock);
    int old = value;
    value = static_cast<int>(static_cast<unsigned int>(value) + static_cast<unsigned int>(delta));
    return old;
}

} // namespace krel_std
