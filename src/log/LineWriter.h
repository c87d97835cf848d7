// Builds a line piece by piece in a buffer on the stack.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "log/CharacterMove.h"

namespace krel_std_internal {

// Collects the pieces of a line in a buffer of its own and appends them to the line a
// buffer-full at a time, so that a line of many short pieces costs one append to the string.
// finish() appends what is left.
class LineWriter {
public:
    explicit LineWriter(std::wstring& line) : line(line), used(0) {}
    LineWriter(const LineWriter&) = delete;
    LineWriter& operator=(const LineWriter&) = delete;

    void put(wchar_t character) {
        if (used == CAPACITY) {
            flush();
        }
        buffer[used++] = character;
    }

    void put(std::wstring_view text) {
        if (text.size() > CAPACITY - used) {
            flush();
            if (text.size() > CAPACITY) {
                line.append(text.data(), text.size());
                return;
            }
        }
        moveCharacters(buffer + used, text.data(), text.size());
        used += text.size();
    }

    // Room for `count` characters (at most 64) at the end; commit() ends what was written.
    wchar_t* room(std::size_t count) {
        if (count > CAPACITY - used) {
            flush();
        }
        return buffer + used;
    }
    void commit(const wchar_t* end) { used = static_cast<std::size_t>(end - buffer); }

    void finish() { flush(); }

private:
    static constexpr std::size_t CAPACITY = 256;

    void flush() {
        line.append(buffer, used);
        used = 0;
    }

    std::wstring& line;
    std::size_t used;
    wchar_t buffer[CAPACITY];
};

} // namespace krel_std_internal
