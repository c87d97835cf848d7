#include "platform/WinEventLog.h"

#include <climits>
#include <new>
#include <unistd.h>

#include "platform/CancellationOff.h"
#include "platform/EventLogStore.h"
#include "platform/Utf16.h"
#include "platform/WinBase.h"
#include "platform/WinHandles.h"

namespace {

// Windows' own bounds of a report: the length of one insertion string and of the data.
const size_t MAXIMUM_STRING_UNITS = 31839;
const DWORD MAXIMUM_DATA_BYTES = 61440;

// A registered event source: the name its records carry.
class EventSource : public krel_platform::KernelObject {
public:
    explicit EventSource(const std::wstring& name) : name(name) {}
    const std::wstring name;
};

std::wstring computerName() {
    char name[HOST_NAME_MAX + 1] = {};
    if (gethostname(name, sizeof name - 1) != 0) {
        return L"localhost";
    }
    return krel_platform::utf8ToWide(name);
}

// A server name that names this computer: null, empty, or its name with or without the
// leading backslashes.
bool isLocalServer(LPCWSTR server) {
    if (server == nullptr || *server == L'\0') {
        return true;
    }
    std::wstring name(server);
    if (name.compare(0, 2, L"\\\\") == 0) {
        name.erase(0, 2);
    }
    return name == computerName();
}

BOOL fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

// Checks the caller's strings and data and copies them into the record; an error code when
// they cannot be reported.
DWORD takeContent(krel_platform::EventLogRecord& record, WORD numStrings, LPCWSTR* strings,
                  DWORD dataSize, LPVOID rawData) {
    if ((numStrings > 0 && strings == nullptr) || (dataSize > 0 && rawData == nullptr) ||
        dataSize > MAXIMUM_DATA_BYTES) {
        return ERROR_INVALID_PARAMETER;
    }
    for (WORD i = 0; i < numStrings; ++i) {
        if (strings[i] == nullptr) {
            return ERROR_INVALID_PARAMETER;
        }
        record.strings.emplace_back(strings[i]);
        if (krel_platform::wideToUtf16(record.strings.back()).size() > MAXIMUM_STRING_UNITS) {
            return ERROR_INVALID_PARAMETER;
        }
    }
    const auto* bytes = static_cast<const unsigned char*>(rawData);
    record.data.assign(bytes, bytes + dataSize);
    return ERROR_SUCCESS;
}

} // namespace

HANDLE RegisterEventSourceW(LPCWSTR uncServerName, LPCWSTR sourceName) {
    krel_platform::CancellationOff cancellationOff;
    try {
        if (sourceName == nullptr || *sourceName == L'\0') {
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        if (!isLocalServer(uncServerName)) {
            SetLastError(RPC_S_SERVER_UNAVAILABLE);
            return nullptr;
        }
        return krel_platform::insertHandle(std::make_shared<EventSource>(sourceName));
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

BOOL DeregisterEventSource(HANDLE eventLog) {
    krel_platform::CancellationOff cancellationOff;
    if (!krel_platform::referenceHandleAs<EventSource>(eventLog) ||
        !krel_platform::removeHandle(eventLog)) {
        return fail(ERROR_INVALID_HANDLE);
    }
    return TRUE;
}

BOOL ReportEventW(HANDLE eventLog, WORD type, WORD category, DWORD eventId, PSID, WORD numStrings,
                  DWORD dataSize, LPCWSTR* strings, LPVOID rawData) {
    krel_platform::CancellationOff cancellationOff;
    try {
        const auto source = krel_platform::referenceHandleAs<EventSource>(eventLog);
        if (!source) {
            return fail(ERROR_INVALID_HANDLE);
        }
        krel_platform::EventLogRecord record;
        const DWORD contentError = takeContent(record, numStrings, strings, dataSize, rawData);
        if (contentError != ERROR_SUCCESS) {
            return fail(contentError);
        }
        record.sourceName = source->name;
        record.eventType = type;
        record.eventCategory = category;
        record.eventId = eventId;
        record.computerName = computerName();
        record.processId = GetCurrentProcessId();
        record.threadId = GetCurrentThreadId();
        const LONG error = krel_platform::EventLogStore::instance().append(record);
        return error == ERROR_SUCCESS ? TRUE : fail(static_cast<DWORD>(error));
    } catch (const std::bad_alloc&) {
        return fail(ERROR_NOT_ENOUGH_MEMORY);
    }
}

namespace krel_platform {

LONG readEventLogRecords(const EventLogQuery& query, std::vector<EventLogRecord>& records) {
    CancellationOff cancellationOff;
    try {
        return EventLogStore::instance().read(query, records);
    } catch (const std::bad_alloc&) {
        records.clear();
        return ERROR_NOT_ENOUGH_MEMORY;
    }
}

std::string eventLogPath() {
    return EventLogStore::databasePath();
}

} // namespace krel_platform
