#include "log/MessageBuffer.h"

#include "log/LogThreadState.h"

namespace krel_std_internal {

namespace {

// A buffer this large is not kept: one huge message must not pin its memory.
constexpr std::size_t kLargestKeptMessage = 16384;

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
        if (lender->message.capacity() > kLargestKeptMessage) {
            std::wstring().swap(lender->message);
        }
        lender->messageLent = false;
    }
}

} // namespace krel_std_internal
