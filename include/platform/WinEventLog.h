// The event log of the Windows API stand-in.
//
// Every ReportEventW appends one record to the Application log, an SQLite database eventlog.db
// beside the machine hive (in the directory KREL_REGISTRY_DIR names, else
// /var/lib/krelstd/registry). A record keeps its number (1, 2, 3... in the order of writing, by
// any process), the time it was written, the source, type, category and event id, the computer's
// name, the writing process and thread, its insertion strings and its data. Sources need no
// registration to report, as on Windows; a source's message file is registered under
// SYSTEM\CurrentControlSet\Services\EventLog\Application\<source> of the machine hive by whoever
// installs it. readEventLogRecords gives the records back.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/WinError.h"
#include "platform/WinTypes.h"

#define EVENTLOG_SUCCESS 0x0000
#define EVENTLOG_ERROR_TYPE 0x0001
#define EVENTLOG_WARNING_TYPE 0x0002
#define EVENTLOG_INFORMATION_TYPE 0x0004
#define EVENTLOG_AUDIT_SUCCESS 0x0008
#define EVENTLOG_AUDIT_FAILURE 0x0010

// A named server that is not this computer.
#define RPC_S_SERVER_UNAVAILABLE 1722L

typedef void* PSID;

// A handle for reporting events under sourceName. The server must be null, empty or this
// computer's name (RPC_S_SERVER_UNAVAILABLE otherwise); an empty or null source answers
// ERROR_INVALID_PARAMETER. Null on failure, with the code in GetLastError.
HANDLE RegisterEventSourceW(LPCWSTR uncServerName, LPCWSTR sourceName);

// Releases a handle of RegisterEventSourceW; ERROR_INVALID_HANDLE for any other handle.
BOOL DeregisterEventSource(HANDLE eventLog);

// Appends one record. The user is not recorded. Fails with ERROR_INVALID_HANDLE for a handle
// that RegisterEventSourceW did not give, ERROR_INVALID_PARAMETER for missing strings or data,
// a string longer than 31839 UTF-16 units or data longer than 61440 bytes, and
// ERROR_ACCESS_DENIED when the log cannot be written.
BOOL ReportEventW(HANDLE eventLog, WORD type, WORD category, DWORD eventId, PSID userSid,
                  WORD numStrings, DWORD dataSize, LPCWSTR* strings, LPVOID rawData);

namespace krel_platform {

// One record of the event log, as ReportEventW wrote it.
struct EventLogRecord {
    DWORD recordNumber = 0;
    int64_t timeWritten = 0; // seconds since 1970-01-01 UTC
    std::wstring sourceName;
    WORD eventType = 0;
    WORD eventCategory = 0;
    DWORD eventId = 0;
    std::wstring computerName;
    DWORD processId = 0;
    DWORD threadId = 0;
    std::vector<std::wstring> strings;
    std::vector<unsigned char> data;
};

// Which records readEventLogRecords gives: record numbers from firstRecordNumber on, of one
// source (every source when empty), at most maximumCount of them, oldest first.
struct EventLogQuery {
    DWORD firstRecordNumber = 1;
    std::wstring sourceName;
    size_t maximumCount = SIZE_MAX;
};

// Fills records (emptied first) and answers ERROR_SUCCESS, or the error that stopped the
// reading (ERROR_ACCESS_DENIED for a log that cannot be opened). A log that was never written
// has no records.
LONG readEventLogRecords(const EventLogQuery& query, std::vector<EventLogRecord>& records);

// The event log's database file, in UTF-8.
std::string eventLogPath();

} // namespace krel_platform
