#include "log/KrelLogLayout.h"

#include "log/AppenderWriteGuard.h"
#include "log/DecimalDigits.h"
#include "log/LineWriter.h"
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
    LineWriter writer(line);
    appendTimestamp(writer, event);
    appendPriority(writer, event);
    if (debug) {
        appendThreadId(writer, event);
    }
    appendErrorId(writer, event);
    appendFileName(writer, event);
    if (debug) {
        appendFunction(writer, event);
    }
    appendMessage(writer, event);
    writer.finish();
    return line;
}

// The text up to the milliseconds is made once per second; milliseconds of a time made by the
// clock have exactly three digits.
void KrelLogLayout::appendTimestamp(LineWriter& line, const LogEvent& event) {
    using krel_std_internal::LocalTimeCache;
    wchar_t* prefix = line.room(LocalTimeCache::STAMP_PREFIX_ROOM);
    const size_t length = LocalTimeCache::writeStampPrefix(event.time.time, prefix);
    if (length == 0) {
        return;
    }
    line.commit(prefix + length);
    const unsigned millis = event.time.millitm;
    if (millis > 999) {
        line.commit(writeDecimal(line.room(kDecimalRoom + 3), millis, 3));
        line.put(L' ');
        return;
    }
    wchar_t* out = line.room(4);
    out[0] = static_cast<wchar_t>(L'0' + millis / 100);
    out[1] = static_cast<wchar_t>(L'0' + millis / 10 % 10);
    out[2] = static_cast<wchar_t>(L'0' + millis % 10);
    out[3] = L' ';
    line.commit(out + 4);
}

void KrelLogLayout::appendPriority(LineWriter& line, const LogEvent& event) {
    line.put(krel_std_internal::logEventPriorityName(event.priority));
}

void KrelLogLayout::appendThreadId(LineWriter& line, const LogEvent& event) {
    if (event.threadId == LogEvent::NO_THREAD_ID) {
        return;
    }
    wchar_t* out = line.room(4 + 16 + 1);
    *out++ = L' ';
    *out++ = L'[';
    *out++ = L'0';
    *out++ = L'x';
    out = writeHex(out, event.threadId);
    *out++ = L']';
    line.commit(out);
}

void KrelLogLayout::appendErrorId(LineWriter& line, const LogEvent& event) {
    if (!event.errorId.empty()) {
        line.put(L' ');
        line.put(event.errorId);
    }
}

void KrelLogLayout::appendFileName(LineWriter& line, const LogEvent& event) {
    if (event.file.empty()) {
        return;
    }
    line.put(L' ');
    line.put(event.file);
    appendLineNumber(line, event);
}

void KrelLogLayout::appendLineNumber(LineWriter& line, const LogEvent& event) {
    if (event.line != 0) {
        wchar_t* out = line.room(1 + kDecimalRoom + 1 + 1);
        *out++ = L'[';
        out = writeDecimal(out, event.line, 1);
        *out++ = L']';
        line.commit(out);
    }
}

void KrelLogLayout::appendFunction(LineWriter& line, const LogEvent& event) {
    line.put(L' ');
    line.put(event.function);
    line.put(L':');
}

void KrelLogLayout::appendMessage(LineWriter& line, const LogEvent& event) {
    line.put(L' ');
    line.put(event.message);
    if (event.message.empty() || event.message.back() != L'\n') {
        line.put(L'\n');
    }
}

} // namespace krel_std
