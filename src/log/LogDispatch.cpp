#include "log/LogDispatch.h"

#include <string>
#include <vector>

#include "base/StringUtils.h"
#include "exception/KrelException.h"
#include "internal/GuardedCall.h"
#include "log/AppenderWriteGuard.h"
#include "log/DebugOutputLog.h"
#include "log/LogThreadState.h"
#include "log/MessageBuffer.h"
#include "log/PreparedLines.h"
#include "log/StaticLog.h"
#include "platform/VaListGuard.h"
#include "platform/WinCrt.h"
#include "thread/AutoLock.h"

namespace krel_std_internal {

using krel_std::StaticLog;

namespace {

// Releases a lock taken elsewhere when the scope ends.
class HeldLock {
public:
    explicit HeldLock(krel_std::Lock& lock) : lock(lock) {}
    ~HeldLock() {
        try {
            lock.unlock();
        } catch (...) {
            // Unlocking a lock this thread holds cannot fail; a destructor must not throw.
        }
    }
    HeldLock(const HeldLock&) = delete;
    HeldLock& operator=(const HeldLock&) = delete;

private:
    krel_std::Lock& lock;
};

// A log call kept while an appender changes, with its own copies of the texts.
struct KeptRecord {
    explicit KeptRecord(const LogRecord& record)
        : priority(record.priority), function(record.function), message(record.message),
          errorId(record.errorId), threadId(record.threadId), file(record.file), line(record.line) {
    }

    LogRecord view() const { return {priority, function, message, errorId, threadId, file, line}; }

    krel_std::LogEventPriority priority;
    std::wstring function;
    std::wstring message;
    std::wstring errorId;
    uint64_t threadId;
    std::wstring file;
    uint32_t line;
};

// The calls kept by the outermost runKeepingLogCalls of this thread; null outside one.
thread_local std::vector<KeptRecord>* keptRecords = nullptr;

// Makes the thread keep its log calls in `kept` while it lives, unless an outer scope does.
class KeepingScope {
public:
    explicit KeepingScope(std::vector<KeptRecord>& kept) : outermost(keptRecords == nullptr) {
        if (outermost) {
            keptRecords = &kept;
        }
    }
    ~KeepingScope() {
        if (outermost) {
            keptRecords = nullptr;
        }
    }
    KeepingScope(const KeepingScope&) = delete;
    KeepingScope& operator=(const KeepingScope&) = delete;

private:
    bool outermost;
};

void writeKept(const std::vector<KeptRecord>& kept) {
    for (const KeptRecord& record : kept) {
        LogDispatch::write(record.view());
    }
}

// The longest message formatted on the stack; a longer one is formatted into the thread's
// message buffer.
constexpr std::size_t STACK_MESSAGE_CHARACTERS = 256;

// Formats the message into a buffer on the stack and writes the record with it. Answers false,
// having written nothing and leaving the argument list unread, when the text does not fit or
// cannot be formatted there; the caller then formats it the long way, which also reports why
// a format fails.
bool writeFormattedOnStack(LogRecord& record, const wchar_t* format, va_list arguments) {
    wchar_t text[STACK_MESSAGE_CHARACTERS];
    va_list copy;
    va_copy(copy, arguments);
    krel_platform::VaListGuard endCopy(copy);
    const int length = krel_std_internal::callSwallowing(
        [&] { return _vsnwprintf(text, STACK_MESSAGE_CHARACTERS, format, copy); },
        [] { return -1; });
    if (length < 0) {
        return false;
    }
    record.message = std::wstring_view(text, static_cast<std::size_t>(length));
    LogDispatch::write(record);
    return true;
}

} // namespace

void LogDispatch::write(const LogRecord& record) {
    // A call from inside an appender's write must not take the static log's locks again.
    if (!StaticLog::initialized.load(std::memory_order_acquire) || AppenderWriteGuard::isActive()) {
        if (keptRecords != nullptr) {
            keptRecords->emplace_back(record);
            return;
        }
        DebugOutputLog::write(record.priority, record.message, record.file, record.line);
        return;
    }
    LogThreadState* state = LogThreadState::current();
    if (state == nullptr || state->prepared.isPreparing()) {
        writeLocked(record, nullptr);
        return;
    }
    if (!state->event) {
        state->event.reset(new krel_std::LogEvent());
    }
    // The event is the thread's own while its lines are laid out, before any lock is taken.
    krel_std::LogEvent& event = *state->event;
    krel_std::LoggerBase::fill(event, record);
    const PreparedLines::Scope prepared(state->prepared, event);
    writeLocked(record, &event);
}

void LogDispatch::writeLocked(const LogRecord& record, const krel_std::LogEvent* event) {
    krel_std::Lock* lock = StaticLog::lockForWrite();
    if (lock == nullptr) {
        return;
    }
    const HeldLock release(*lock);
    StaticLog* current = StaticLog::instance.load();
    if (current == nullptr) {
        return;
    }
    // The declared order of a log call: the static log's lock, the instance's own lock, then
    // the logger's lock, held while every appender writes.
    const krel_std::AutoLock<krel_std::Lock> instanceGuard(current->instanceLock);
    const krel_std::AutoLock<krel_std::Lock> loggerGuard(current->logger.lock);
    if (event != nullptr) {
        current->logger.appendToAll(*event);
    } else {
        current->logger.write(record);
    }
}

void LogDispatch::runExclusive(const std::function<void()>& change) {
    krel_std::Lock* lock = StaticLog::lockForWrite();
    if (lock == nullptr) {
        const AppenderWriteGuard writing;
        change();
        return;
    }
    const HeldLock release(*lock);
    StaticLog* current = StaticLog::instance.load();
    const AppenderWriteGuard writing;
    if (current == nullptr) {
        change();
        return;
    }
    const krel_std::AutoLock<krel_std::Lock> instanceGuard(current->instanceLock);
    const krel_std::AutoLock<krel_std::Lock> loggerGuard(current->logger.lock);
    change();
}

void LogDispatch::runKeepingLogCalls(const std::function<void()>& change) {
    std::vector<KeptRecord> kept;
    krel_std_internal::callSwallowing(
        [&] {
            const KeepingScope keeping(kept);
            const AppenderWriteGuard changing;
            change();
        },
        [&] {
            writeKept(kept);
            throw;
        });
    writeKept(kept);
}

void LogDispatch::writeFormatted(LogRecord record, const wchar_t* format, va_list arguments) {
    if (writeFormattedOnStack(record, format, arguments)) {
        return;
    }
    MessageBuffer message;
    try {
        krel_std::StringUtils::sprintfStringAppendVA(message.text(), arguments, format);
    } catch (const krel_std::KrelException& e) {
        message.text() = e.getMessage();
    }
    record.message = message.text();
    write(record);
}

} // namespace krel_std_internal
