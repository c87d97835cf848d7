#include "log/KrelLogLayout.h"

#include <ctime>

namespace krel_std {

namespace {

// Appends `value` in decimal with at least `digits` digits (as "%N.Nd").
void appendPadded(std::wstring& line, long long value, size_t digits) {
    std::wstring text = std::to_wstring(value < 0 ? -value : value);
    if (text.size() < digits) {
        text.insert(0, digits - text.size(), L'0');
    }
    if (value < 0) {
        line += L'-';
    }
    line += text;
}

void appendHex(std::wstring& line, uint64_t value) {
    static const wchar_t digits[] = L"0123456789abcdef";
    wchar_t buffer[16];
    size_t count = 0;
    do {
        buffer[count++] = digits[value & 0xF];
        value >>= 4;
    } while (value != 0);
    while (count > 0) {
        line += buffer[--count];
    }
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

std::wstring KrelLogLayout::format(const LogEvent& event) {
    std::wstring line;
    line.reserve(64 + event.message.size() + event.function.size());
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

void KrelLogLayout::appendTimestamp(std::wstring& line, const LogEvent& event) {
    const std::time_t seconds = static_cast<std::time_t>(event.time.time);
    std::tm local{};
    if (localtime_r(&seconds, &local) == nullptr) {
        return;
    }
    appendPadded(line, local.tm_year + 1900LL, 1);
    line += L'-';
    appendPadded(line, local.tm_mon + 1, 2);
    line += L'-';
    appendPadded(line, local.tm_mday, 2);
    line += L' ';
    appendPadded(line, local.tm_hour, 2);
    line += L':';
    appendPadded(line, local.tm_min, 2);
    line += L':';
    appendPadded(line, local.tm_sec, 2);
    line += L':';
    appendPadded(line, event.time.millitm, 3);
    line += L' ';
}

void KrelLogLayout::appendPriority(std::wstring& line, const LogEvent& event) {
    line += logEventPriorityToString(event.priority);
}

void KrelLogLayout::appendThreadId(std::wstring& line, const LogEvent& event) {
    if (event.threadId == LogEvent::NO_THREAD_ID) {
        return;
    }
    line += L" [0x";
    appendHex(line, event.threadId);
    line += L']';
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
        line += L'[';
        line += std::to_wstring(event.line);
        line += L']';
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
