#include "log/KrelLogLayout.h"

#include "log/AppenderWriteGuard.h"
#include "log/DecimalDigits.h"
#include "log/LocalTimeCache.h"
#include "log/LogEventPriorityName.h"

namespace krel_std {

namespace {

using krel_std_internal::kDecimalRoom;
using krel_std_internal::writeDecimal;

// Writes `value` in lower-case hexadecimal and returns the end.
wchar_t* writeHex(wchar_t* out, uint64_t value) {
    static const wchar_t digits[] = L"0123456789abcdef";
    wchar_t reversed[16];
    size_t count = 0;
    do {
        reversed[count++] = digits[value & 0xF];
        value >>= 4;
    } while (value != 0);
    while (count > 0) {
        *out++ = reversed[--count];
    }
    return out;
}

} // namespace

KrelLogLayout::KrelLogLayout() : KrelLogLayout(false) {}

KrelLogLayout::KrelLogLayout(bool debug) : debug(debug) {}

KrelLogLayout::~KrelLogLayout() = default;

Configurable* KrelLogLayout::newInstance(const std::map<std::wstring, std::wstring>& properties) {
    const auto found = properties.find(L"debug");
    return new KrelLogLayout(found != properties.end() && found->second == L"true");
}

std::wstring KrelLogLayout::getClassName() const {
    return L"krel_std.KrelLogLayout";
}

// Inside a logger's write the line is built in the logger's spare storage.
std::wstring KrelLogLayout::format(const LogEvent& event) {
    std::wstring line = krel_std_internal::AppenderWriteGuard::takeSpareLine();
    const size_t needed = 64 + event.errorId.size() + event.file.size() + event.message.size() +
                          (debug ? event.function.size() : 0);
    if (line.capacity() < needed) {
        line.reserve(needed);
    }
    appendTimestamp(line, event);
    appendPriority(line, event);
    if (debug) {
        appendThreadId(line, event);
    }
    appendErrorId(line, event);
    appendFileName(line, event);
    if (debug) {
        appendFunction(line, event);
    }
    appendMessage(line, event);
    return line;
}

// The text up to the milliseconds is made once per second; the piece is appended whole.
void KrelLogLayout::appendTimestamp(std::wstring& line, const LogEvent& event) {
    size_t length = 0;
    const wchar_t* prefix = krel_std_internal::LocalTimeCache::stampPrefix(event.time.time, length);
    if (prefix == nullptr) {
        return;
    }
    wchar_t stamp[64 + kDecimalRoom + 3 + 1];
    if (length > 64) {
        line.append(prefix, length);
        length = 0;
    } else {
        std::char_traits<wchar_t>::copy(stamp, prefix, length);
    }
    wchar_t* end = writeDecimal(stamp + length, event.time.millitm, 3);
    *end++ = L' ';
    line.append(stamp, static_cast<size_t>(end - stamp));
}

void KrelLogLayout::appendPriority(std::wstring& line, const LogEvent& event) {
    line += krel_std_internal::logEventPriorityName(event.priority);
}

void KrelLogLayout::appendThreadId(std::wstring& line, const LogEvent& event) {
    if (event.threadId == LogEvent::NO_THREAD_ID) {
        return;
    }
    wchar_t piece[4 + 16 + 1] = {L' ', L'[', L'0', L'x'};
    wchar_t* end = writeHex(piece + 4, event.threadId);
    *end++ = L']';
    line.append(piece, static_cast<size_t>(end - piece));
}

void KrelLogLayout::appendErrorId(std::wstring& line, const LogEvent& event) {
    if (!event.errorId.empty()) {
        line += L' ';
        line += event.errorId;
    }
}

void KrelLogLayout::appendFileName(std::wstring& line, const LogEvent& event) {
    if (event.file.empty()) {
        return;
    }
    line += L' ';
    line += event.file;
    appendLineNumber(line, event);
}

void KrelLogLayout::appendLineNumber(std::wstring& line, const LogEvent& event) {
    if (event.line != 0) {
        wchar_t number[1 + kDecimalRoom + 1 + 1];
        number[0] = L'[';
        wchar_t* end = writeDecimal(number + 1, event.line, 1);
        *end++ = L']';
        line.append(number, static_cast<size_t>(end - number));
    }
}

void KrelLogLayout::appendFunction(std::wstring& line, const LogEvent& event) {
    line += L' ';
    line += event.function;
    line += L':';
}

void KrelLogLayout::appendMessage(std::wstring& line, const LogEvent& event) {
    line += L' ';
    line += event.message;
    if (event.message.empty() || event.message.back() != L'\n') {
        line += L'\n';
    }
}

} // namespace krel_std
