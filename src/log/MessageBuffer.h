// The calling thread's reusable buffer for a message being formatted.
#pragma once

#include <string>

namespace krel_std_internal {

class LogThreadState;

// Lends the calling thread's message buffer, emptied, for as long as the object lives, so that
// formatting a log message allocates nothing once the buffer has grown. A buffer made while the
// thread's buffer is already lent (a log call made while another is formatted or written) is
// one of its own.
class MessageBuffer {
public:
    MessageBuffer();
    ~MessageBuffer();
    MessageBuffer(const MessageBuffer&) = delete;
    MessageBuffer& operator=(const MessageBuffer&) = delete;

    std::wstring& text() { return *target; }

private:
    std::wstring own;
    std::wstring* target;
    LogThreadState* lender;
};

} // namespace krel_std_internal
