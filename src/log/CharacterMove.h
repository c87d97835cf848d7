// Moves a run of wide characters, with the short runs of log lines copied inline.
#pragma once

#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

namespace krel_std_internal {

// Moves `count` characters from `from` to `to`; the ranges may overlap. The pieces of a log
// line (a file name, a function, a short message) are mostly under 17 characters: such a run
// is moved with at most two overlapping blocks read before anything is written, with no call.
// Longer runs go to the C library.
inline void moveCharacters(wchar_t* to, const wchar_t* from, std::size_t count) {
    if (count >= 8 && count <= 16) {
        wchar_t head[8];
        wchar_t tail[8];
        std::memcpy(head, from, sizeof head);
        std::memcpy(tail, from + count - 8, sizeof tail);
        std::memcpy(to, head, sizeof head);
        std::memcpy(to + count - 8, tail, sizeof tail);
    } else if (count >= 4 && count < 8) {
        wchar_t head[4];
        wchar_t tail[4];
        std::memcpy(head, from, sizeof head);
        std::memcpy(tail, from + count - 4, sizeof tail);
        std::memcpy(to, head, sizeof head);
        std::memcpy(to + count - 4, tail, sizeof tail);
    } else if (count < 4) {
        wchar_t run[3];
        for (std::size_t i = 0; i < count; ++i) {
            run[i] = from[i];
        }
        for (std::size_t i = 0; i < count; ++i) {
            to[i] = run[i];
        }
    } else {
        std::char_traits<wchar_t>::move(to, from, count);
    }
}

// Makes `target` equal to `text` without a call when it already has the text's length (the
// texts of one call site: its function, its file), else through assign.
inline void assignText(std::wstring& target, std::wstring_view text) {
    if (target.size() == text.size()) {
        moveCharacters(&target[0], text.data(), text.size());
    } else {
        target.assign(text.data(), text.size());
    }
}

} // namespace krel_std_internal
