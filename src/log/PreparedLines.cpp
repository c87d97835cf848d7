#include "log/PreparedLines.h"

#include "internal/GuardedCall.h"
#include "log/LogThreadState.h"

namespace krel_std_internal {

namespace {

// Buffers this large are not kept: one huge message must not pin its memory.
constexpr std::size_t LARGEST_KEPT_BYTES = 16384;

} // namespace

PreparedLines::Scope::Scope(PreparedLines& lines, const krel_std::LogEvent& event)
    : lines(lines.event == nullptr ? &lines : nullptr) {
    if (this->lines != nullptr) {
        this->lines->prepare(event);
    }
}

PreparedLines::Scope::~Scope() {
    if (lines != nullptr) {
        lines->forget();
    }
}

void PreparedLines::prepare(const krel_std::LogEvent& preparedEvent) {
    event = &preparedEvent;
    for (Slot& slot : slots) {
        if (!slot.maker) {
            continue;
        }
        krel_std_internal::callSwallowing(
            [&] { slot.made = slot.maker->make(preparedEvent, spareLine, slot.bytes); },
            [&] {
                // The appender makes the line itself under the locks, and meets the failure there.
                slot.made = false;
            });
    }
}

void PreparedLines::forget() {
    event = nullptr;
    for (Slot& slot : slots) {
        slot.made = false;
        if (slot.bytes.capacity() > LARGEST_KEPT_BYTES) {
            std::string().swap(slot.bytes);
        }
    }
    if (spareLine.capacity() > LARGEST_KEPT_BYTES) {
        std::wstring().swap(spareLine);
    }
}

void PreparedLines::remember(const boost::shared_ptr<const LineMaker>& maker) {
    LogThreadState* state = LogThreadState::current();
    if (state == nullptr || !maker) {
        return;
    }
    PreparedLines& lines = state->prepared;
    for (const Slot& slot : lines.slots) {
        if (slot.maker == maker) {
            return;
        }
    }
    Slot& slot = lines.slots[lines.nextSlot];
    slot.maker = maker;
    slot.made = false;
    lines.nextSlot = (lines.nextSlot + 1) % MAKERS;
}

const std::string* PreparedLines::find(const LineMaker* maker, const krel_std::LogEvent& event) {
    LogThreadState* state = LogThreadState::current();
    if (state == nullptr || state->prepared.event != &event) {
        return nullptr;
    }
    for (const Slot& slot : state->prepared.slots) {
        if (slot.made && slot.maker.get() == maker) {
            return &slot.bytes;
        }
    }
    return nullptr;
}

} // namespace krel_std_internal
