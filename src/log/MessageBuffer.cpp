#include "log/MessageBuffer.h"

#include "log/LogThreadState.h"

namespace krel_std_internal {

namespace {

// A buffer this large is not kept: one huge message must not pin its memory.
constexpr std::size_t LARGEST_KEPT_MESSAGE = 16384;

} // namespace

MessageBuffer::MessageBuffer() : target(&own), lender(nullptr) {
    LogThreadState* state = LogThreadState::current();
    if (state != nullptr && !state->messageLent) {
        state->messageLent = true;
        state->message.clear();
        target = &state->message;
        lender = state;
    }
}

MessageBuffer::~MessageBuffer() {
    if (lender != nullptr) {
        if (lender->message.capacity() > LARGEST_KEPT_MESSAGE) {
            std::wstring().swap(lender->message);
        }
        lender->messageLent = false;
    }
}

} // namespace krel_std_internal
