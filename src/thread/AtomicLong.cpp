#include "thread/AtomicLong.h"

#include "thread/AutoLock.h"

namespace krel_std {

AtomicLong::AtomicLong() : value(0) {}

AtomicLong::AtomicLong(uint64_t value) : value(value) {}

AtomicLong::~AtomicLong() {}

std::wstring AtomicLong::toString() const {
    AutoLock<Lock> guard(lock);
    return L"AtomicLong{value=" + std::to_wstring(value) + L"}";
}

uint64_t AtomicLong::get() {
    AutoLock<Lock> guard(lock);
    return value;
}

void AtomicLong::set(uint64_t newValue) {
    AutoLock<Lock> guard(lock);
    value = newValue;
}

uint64_t AtomicLong::addAndGet(uint64_t delta) {
    return exchangeAdd(delta) + delta;
}

uint64_t AtomicLong::getAndAdd(uint64_t delta) {
    return exchangeAdd(delta);
}

uint64_t AtomicLong::incrementAndGet() {
    return addAndGet(1);
}

uint64_t AtomicLong::decrementAndGet() {
    return addAndGet(~uint64_t(0));
}

uint64_t AtomicLong::getAndIncrement() {
    return exchangeAdd(1);
}

uint64_t AtomicLong::getAndDecrement() {
    return exchangeAdd(~uint64_t(0));
}

uint64_t AtomicLong::getAndSet(uint64_t newValue) {
    AutoLock<Lock> guard(lock);
    uint64_t old = value;
    value = newValue;
    return old;
}

bool AtomicLong::compareAndSet(uint64_t expected, uint64_t newValue) {
    AutoLock<Lock> guard(lock);
    if (value != expected) {
        return false;
    }
    value = newValue;
    return true;
}

uint64_t AtomicLong::exchangeAdd(uint64_t delta) {
    AutoLock<Lock> guard(lock);
    uint64_t old = value;
    value += delta;
    return old;
}

} // namespace krel_std
