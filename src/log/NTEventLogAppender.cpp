#include "log/NTEventLogAppender.h"

#include "base/KrelStdUtils.h"
#include "log/StaticLog.h"
#include "platform/WinEventLog.h"
#include "windows/NTEventLogWrapper.h"

namespace krel_std {

namespace {

// How a priority is reported: the event type and the id of the message-table entry.
struct EventKind {
    uint16_t type;
    uint32_t id;
};

EventKind eventKindOf(LogEventPriority priority) {
    switch (priority) {
    case WARN:
        return {EVENTLOG_WARNING_TYPE, 0x80000003u};
    case ERROR:
        return {EVENTLOG_ERROR_TYPE, 0x80000004u};
    case FATAL:
        return {EVENTLOG_ERROR_TYPE, 0xC0000005u};
    default:
        return {EVENTLOG_INFORMATION_TYPE, 0x40000002u};
    }
}

} // namespace

NTEventLogAppender::NTEventLogAppender()
    : ILogAppender(boost::shared_ptr<ILogEventFilter>(), boost::shared_ptr<ILogEventLayout>()) {}

NTEventLogAppender::NTEventLogAppender(
    const boost::shared_ptr<krel_std_internal::NTEventLogWrapper>& wrapper)
    : ILogAppender(boost::shared_ptr<ILogEventFilter>(), boost::shared_ptr<ILogEventLayout>()),
      wrapper(wrapper) {}

NTEventLogAppender::~NTEventLogAppender() = default;

Configurable*
NTEventLogAppender::newInstance(const std::map<std::wstring, std::wstring>& properties) {
    const auto named = properties.find(L"sourceName");
    const std::wstring sourceName =
        named != properties.end() ? named->second : StaticLog::getModuleName();
    const boost::shared_ptr<krel_std_internal::NTEventLogWrapper> made(
        new krel_std_internal::NTEventLogWrapper(sourceName));
    return new NTEventLogAppender(made);
}

std::wstring NTEventLogAppender::getClassName() const {
    return L"krel_std.NTEventLogAppender";
}

void NTEventLogAppender::localAppend(const LogEvent& event) {
    // The prototype has no event source: given a filter, it drops what passes.
    if (!wrapper) {
        return;
    }
    const EventKind kind = eventKindOf(event.priority);
    const KrelStd::SWString text =
        KrelStd::sprintfString(L"%ls %ls", event.errorId.c_str(), event.message.c_str());
    wrapper->reportEvent(kind.type, kind.id, 0, text);
}

void NTEventLogAppender::localAppend(const std::wstring&) {}

} // namespace krel_std
