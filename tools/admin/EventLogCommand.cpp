// krel-admin eventlog [--source <name>] [--from <record>] [--count <n>]: prints the records of
// the Application event log, oldest first, one field a line, each record ending in a blank line;
// "no records" when none matches.
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <string>
#include <system_error>

#include "AdminCommands.h"
#include "platform/Utf16.h"
#include "platform/WinEventLog.h"

namespace krel_admin {

namespace {

std::wstring eventTypeName(WORD type) {
    switch (type) {
    case EVENTLOG_SUCCESS:
        return L"Success";
    case EVENTLOG_ERROR_TYPE:
        return L"Error";
    case EVENTLOG_WARNING_TYPE:
        return L"Warning";
    case EVENTLOG_INFORMATION_TYPE:
        return L"Information";
    case EVENTLOG_AUDIT_SUCCESS:
        return L"Audit Success";
    case EVENTLOG_AUDIT_FAILURE:
        return L"Audit Failure";
    default:
        return std::to_wstring(type);
    }
}

std::wstring utcTime(int64_t seconds) {
    const std::time_t time = static_cast<std::time_t>(seconds);
    std::tm parts{};
    char text[32] = {};
    if (gmtime_r(&time, &parts) == nullptr ||
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &parts) == 0) {
        return std::to_wstring(seconds);
    }
    return krel_platform::utf8ToWide(text);
}

std::wstring hexBytes(const std::vector<unsigned char>& data) {
    std::wstring hex;
    for (unsigned char byte : data) {
        wchar_t digits[4];
        std::swprintf(digits, 4, hex.empty() ? L"%02X" : L" %02X", byte);
        hex += digits;
    }
    return hex;
}

void printRecord(const krel_platform::EventLogRecord& record) {
    wchar_t eventId[16];
    std::swprintf(eventId, 16, L"0x%08X", record.eventId);
    printLine(L"Record: " + std::to_wstring(record.recordNumber));
    printLine(L"Time: " + utcTime(record.timeWritten));
    printLine(L"Source: " + record.sourceName);
    printLine(L"Type: " + eventTypeName(record.eventType));
    printLine(L"Category: " + std::to_wstring(record.eventCategory));
    printLine(L"Event ID: " + std::wstring(eventId));
    printLine(L"Computer: " + record.computerName);
    printLine(L"Process: " + std::to_wstring(record.processId));
    printLine(L"Thread: " + std::to_wstring(record.threadId));
    for (size_t i = 0; i < record.strings.size(); ++i) {
        printLine(L"String " + std::to_wstring(i + 1) + L": " + record.strings[i]);
    }
    if (!record.data.empty()) {
        printLine(L"Data: " + hexBytes(record.data));
    }
    printLine(L"");
}

// A decimal number of at most 32 bits, whole.
bool parseCount(const std::string& text, unsigned long& value) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos ||
        text.size() > 10) {
        return false;
    }
    value = std::stoul(text);
    return value <= 0xFFFFFFFFul;
}

// Reads the options into the query; false, after naming the faulty option on stderr, for an
// unknown option, a missing value or a value the option does not take.
bool parseQuery(const std::vector<std::string>& arguments, krel_platform::EventLogQuery& query) {
    for (size_t i = 0; i < arguments.size(); i += 2) {
        const std::string& option = arguments[i];
        if (option != "--source" && option != "--from" && option != "--count") {
            std::cerr << "krel-admin: unknown option \"" << escapeControls(option) << "\""
                      << std::endl;
            return false;
        }
        if (i + 1 >= arguments.size()) {
            std::cerr << "krel-admin: option " << option << " needs a value" << std::endl;
            return false;
        }
        const std::string& value = arguments[i + 1];
        unsigned long number = 0;
        if (option == "--source" && !value.empty()) {
            query.sourceName = krel_platform::utf8ToWide(value);
        } else if (option == "--from" && parseCount(value, number)) {
            query.firstRecordNumber = static_cast<DWORD>(number);
        } else if (option == "--count" && parseCount(value, number)) {
            query.maximumCount = number;
        } else {
            std::cerr << "krel-admin: \"" << escapeControls(value) << "\" is no value for option "
                      << option << std::endl;
            return false;
        }
    }
    return true;
}

} // namespace

int readEventLog(const std::vector<std::string>& arguments) {
    krel_platform::EventLogQuery query;
    if (!parseQuery(arguments, query)) {
        return reportUsage(commandNamed("eventlog"));
    }
    // A log no program has written yet has no database: reading it must not make one.
    std::vector<krel_platform::EventLogRecord> records;
    std::error_code unknown;
    if (std::filesystem::exists(krel_platform::eventLogPath(), unknown) || unknown) {
        const LONG status = krel_platform::readEventLogRecords(query, records);
        if (status != ERROR_SUCCESS) {
            return reportError(krel_platform::eventLogPath(), status);
        }
    }
    if (records.empty()) {
        printLine(L"no records");
    }
    for (const krel_platform::EventLogRecord& record : records) {
        printRecord(record);
    }
    return 0;
}

} // namespace krel_admin
