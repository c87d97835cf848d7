#include "EventLogStore.h"

#include "platform/Utf16.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <limits>

namespace krel_platform {

namespace {

const int kBusyTimeoutMilliseconds = 5000;
const LONG kErrorBusy = 170; // the requested resource is in use

const char* const kSchema = "CREATE TABLE IF NOT EXISTS records("
                            "number INTEGER PRIMARY KEY AUTOINCREMENT,"
                            "time INTEGER NOT NULL,"
                            "source TEXT NOT NULL,"
                            "type INTEGER NOT NULL,"
                            "category INTEGER NOT NULL,"
                            "event_id INTEGER NOT NULL,"
                            "computer TEXT NOT NULL,"
                            "process_id INTEGER NOT NULL,"
                            "thread_id INTEGER NOT NULL,"
                            "string_count INTEGER NOT NULL,"
                            "strings BLOB NOT NULL,"
                            "data BLOB NOT NULL)";

const char* const kInsert = "INSERT INTO records(time, source, type, category, event_id, computer,"
                            " process_id, thread_id, string_count, strings, data)"
                            " VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11)";

const char* const kSelect =
    "SELECT number, time, source, type, category, event_id, computer, process_id, thread_id,"
    " string_count, strings, data FROM records"
    " WHERE number >= ?1 AND (?2 = '' OR source = ?2) ORDER BY number LIMIT ?3";

// The Windows error code for an SQLite result.
LONG errorOf(int result) {
    switch (result & 0xFF) {
    case SQLITE_OK:
    case SQLITE_ROW:
    case SQLITE_DONE:
        return ERROR_SUCCESS;
    case SQLITE_PERM:
    case SQLITE_READONLY:
    case SQLITE_CANTOPEN:
    case SQLITE_AUTH:
        return ERROR_ACCESS_DENIED;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return kErrorBusy;
    case SQLITE_NOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    case SQLITE_FULL:
        return ERROR_DISK_FULL;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return ERROR_INVALID_DATA;
    default:
        return ERROR_GEN_FAILURE;
    }
}

// A prepared statement, finalised when it goes.
class Statement {
public:
    Statement(sqlite3* connection, const char* sql)
        : result(sqlite3_prepare_v2(connection, sql, -1, &statement, nullptr)) {}
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    ~Statement() { sqlite3_finalize(statement); }

    sqlite3_stmt* get() const { return statement; }
    int prepared() const { return result; }

private:
    sqlite3_stmt* statement = nullptr;
    int result;
};

// Insertion strings are kept as Windows keeps them: UTF-16LE, each ending in a NUL.
std::u16string joinStrings(const std::vector<std::wstring>& strings) {
    std::u16string joined;
    for (const std::wstring& text : strings) {
        joined += wideToUtf16(text);
        joined.push_back(u'\0');
    }
    return joined;
}

std::vector<std::wstring> splitStrings(const void* bytes, int size, int count) {
    std::u16string joined(static_cast<size_t>(size) / 2, u'\0');
    if (!joined.empty()) {
        std::copy_n(static_cast<const char*>(bytes), joined.size() * 2,
                    reinterpret_cast<char*>(&joined[0]));
    }
    std::vector<std::wstring> strings;
    size_t start = 0;
    while (static_cast<int>(strings.size()) < count && start < joined.size()) {
        size_t end = joined.find(u'\0', start);
        if (end == std::u16string::npos) {
            end = joined.size();
        }
        strings.push_back(utf16ToWide(joined.substr(start, end - start)));
        start = end + 1;
    }
    return strings;
}

std::wstring columnText(sqlite3_stmt* statement, int column) {
    const unsigned char* text = sqlite3_column_text(statement, column);
    return text != nullptr ? utf8ToWide(reinterpret_cast<const char*>(text)) : std::wstring();
}

EventLogRecord recordOf(sqlite3_stmt* statement) {
    EventLogRecord record;
    record.recordNumber = static_cast<DWORD>(sqlite3_column_int64(statement, 0));
    record.timeWritten = sqlite3_column_int64(statement, 1);
    record.sourceName = columnText(statement, 2);
    record.eventType = static_cast<WORD>(sqlite3_column_int(statement, 3));
    record.eventCategory = static_cast<WORD>(sqlite3_column_int(statement, 4));
    record.eventId = static_cast<DWORD>(sqlite3_column_int64(statement, 5));
    record.computerName = columnText(statement, 6);
    record.processId = static_cast<DWORD>(sqlite3_column_int64(statement, 7));
    record.threadId = static_cast<DWORD>(sqlite3_column_int64(statement, 8));
    const void* strings = sqlite3_column_blob(statement, 10);
    record.strings =
        splitStrings(strings, strings != nullptr ? sqlite3_column_bytes(statement, 10) : 0,
                     sqlite3_column_int(statement, 9));
    const auto* data = static_cast<const unsigned char*>(sqlite3_column_blob(statement, 11));
    if (data != nullptr) {
        record.data.assign(data, data + sqlite3_column_bytes(statement, 11));
    }
    return record;
}

} // namespace

EventLogStore& EventLogStore::instance() {
    static EventLogStore& store = *new EventLogStore;
    return store;
}

std::string EventLogStore::databasePath() {
    const char* directory = std::getenv("KREL_REGISTRY_DIR");
    const std::string base =
        directory != nullptr && *directory != '\0' ? directory : "/var/lib/krelstd/registry";
    return base + "/eventlog.db";
}

LONG EventLogStore::open() {
    if (connection != nullptr) {
        return ERROR_SUCCESS;
    }
    const std::string path = databasePath();
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
    int result =
        sqlite3_open_v2(path.c_str(), &connection,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (result != SQLITE_OK) {
        sqlite3_close(connection);
        result = sqlite3_open_v2(path.c_str(), &connection,
                                 SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
    }
    if (result != SQLITE_OK) {
        sqlite3_close(connection);
        connection = nullptr;
        return errorOf(result);
    }
    // Before any other statement, so that even the first one waits for other processes.
    sqlite3_busy_timeout(connection, kBusyTimeoutMilliseconds);
    writable = sqlite3_db_readonly(connection, "main") == 0;
    schemaReady = false;
    return ERROR_SUCCESS;
}

LONG EventLogStore::createSchema() {
    const LONG error = errorOf(sqlite3_exec(connection, kSchema, nullptr, nullptr, nullptr));
    schemaReady = error == ERROR_SUCCESS;
    return error;
}

bool EventLogStore::hasSchema() {
    Statement statement(connection,
                        "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'records'");
    return statement.prepared() == SQLITE_OK && sqlite3_step(statement.get()) == SQLITE_ROW;
}

LONG EventLogStore::insert(const EventLogRecord& record) {
    Statement statement(connection, kInsert);
    if (statement.prepared() != SQLITE_OK) {
        return errorOf(statement.prepared());
    }
    sqlite3_stmt* s = statement.get();
    const std::string source = wideToUtf8(record.sourceName);
    const std::string computer = wideToUtf8(record.computerName);
    const std::u16string strings = joinStrings(record.strings);
    sqlite3_bind_int64(s, 1, record.timeWritten);
    sqlite3_bind_text(s, 2, source.c_str(), -1, SQLITE_STATIC);
    sqlite3_bind_int(s, 3, record.eventType);
    sqlite3_bind_int(s, 4, record.eventCategory);
    sqlite3_bind_int64(s, 5, record.eventId);
    sqlite3_bind_text(s, 6, computer.c_str(), -1, SQLITE_STATIC);
    sqlite3_bind_int64(s, 7, record.processId);
    sqlite3_bind_int64(s, 8, record.threadId);
    sqlite3_bind_int(s, 9, static_cast<int>(record.strings.size()));
    sqlite3_bind_blob(s, 10, strings.data(), static_cast<int>(strings.size() * 2), SQLITE_STATIC);
    sqlite3_bind_blob(s, 11, record.data.data(), static_cast<int>(record.data.size()),
                      SQLITE_STATIC);
    return errorOf(sqlite3_step(s));
}

LONG EventLogStore::append(EventLogRecord& record) {
    std::lock_guard<std::mutex> guard(mutex);
    LONG error = open();
    if (error != ERROR_SUCCESS) {
        return error;
    }
    if (!writable) {
        return ERROR_ACCESS_DENIED;
    }
    if (!schemaReady && (error = createSchema()) != ERROR_SUCCESS) {
        return error;
    }
    error = errorOf(sqlite3_exec(connection, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr));
    if (error != ERROR_SUCCESS) {
        return error;
    }
    // The time is taken inside the transaction, so later records never carry earlier times.
    record.timeWritten = static_cast<int64_t>(std::time(nullptr));
    error = insert(record);
    if (error == ERROR_SUCCESS) {
        record.recordNumber = static_cast<DWORD>(sqlite3_last_insert_rowid(connection));
        error = errorOf(sqlite3_exec(connection, "COMMIT", nullptr, nullptr, nullptr));
    }
    if (error != ERROR_SUCCESS) {
        sqlite3_exec(connection, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    return error;
}

LONG EventLogStore::read(const EventLogQuery& query, std::vector<EventLogRecord>& records) {
    records.clear();
    std::lock_guard<std::mutex> guard(mutex);
    const LONG error = open();
    if (error != ERROR_SUCCESS) {
        return error;
    }
    if (!schemaReady && !hasSchema()) {
        return ERROR_SUCCESS;
    }
    Statement statement(connection, kSelect);
    if (statement.prepared() != SQLITE_OK) {
        return errorOf(statement.prepared());
    }
    sqlite3_stmt* s = statement.get();
    const std::string source = wideToUtf8(query.sourceName);
    const sqlite3_int64 limit =
        query.maximumCount > static_cast<size_t>(std::numeric_limits<sqlite3_int64>::max())
            ? -1
            : static_cast<sqlite3_int64>(query.maximumCount);
    sqlite3_bind_int64(s, 1, query.firstRecordNumber);
    sqlite3_bind_text(s, 2, source.c_str(), -1, SQLITE_STATIC);
    sqlite3_bind_int64(s, 3, limit);
    int result;
    while ((result = sqlite3_step(s)) == SQLITE_ROW) {
        records.push_back(recordOf(s));
    }
    if (result != SQLITE_DONE) {
        records.clear();
        return errorOf(result);
    }
    return ERROR_SUCCESS;
}

} // namespace krel_platform
