#include "platform/EventLogStore.h"

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <limits>
#include <sqlite3.h>
#include <unistd.h>

#include "platform/SqliteConnection.h"
#include "platform/SqliteStatement.h"
#include "platform/SqliteWriteLock.h"
#include "platform/Utf16.h"
#include "platform/WinReg.h"

namespace krel_platform {

namespace {

const LONG ERROR_BUSY = 170; // the requested resource is in use

const char* const SCHEMA = "CREATE TABLE IF NOT EXISTS records("
                           "number INTEGER PRIMARY KEY AUTOINCREMENT,"
                           "time INTEGER NOT NULL,"
                           "source BLOB NOT NULL,"
                           "type INTEGER NOT NULL,"
                           "category INTEGER NOT NULL,"
                           "event_id INTEGER NOT NULL,"
                           "computer BLOB NOT NULL,"
                           "process_id INTEGER NOT NULL,"
                           "thread_id INTEGER NOT NULL,"
                           "string_count INTEGER NOT NULL,"
                           "strings BLOB NOT NULL,"
                           "data BLOB NOT NULL)";

const char* const INSERT = "INSERT INTO records(time, source, type, category, event_id, computer,"
                           " process_id, thread_id, string_count, strings, data)"
                           " VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11)";

// Texts are kept as UTF-8 bytes; ?4 tells whether ?2 selects a source.
const char* const SELECT =
    "SELECT number, time, source, type, category, event_id, computer, process_id, thread_id,"
    " string_count, strings, data FROM records"
    " WHERE number >= ?1 AND (?4 = 0 OR source = ?2) ORDER BY number LIMIT ?3";

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
        return ERROR_BUSY;
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

// Insertion strings are kept as Windows keeps them: UTF-16LE, each ending in a NUL.
std::u16string joinStrings(const std::vector<std::wstring>& strings) {
    std::u16string joined;
    for (const std::wstring& text : strings) {
        joined += wideToUtf16(text);
        joined.push_back(u'\0');
    }
    return joined;
}

std::vector<std::wstring> splitStrings(const void* bytes, size_t size, int64_t count) {
    std::u16string joined(size / 2, u'\0');
    if (!joined.empty()) {
        std::copy_n(static_cast<const char*>(bytes), joined.size() * 2,
                    reinterpret_cast<char*>(&joined[0]));
    }
    std::vector<std::wstring> strings;
    size_t start = 0;
    while (static_cast<int64_t>(strings.size()) < count && start < joined.size()) {
        size_t end = joined.find(u'\0', start);
        if (end == std::u16string::npos) {
            end = joined.size();
        }
        strings.push_back(utf16ToWide(joined.substr(start, end - start)));
        start = end + 1;
    }
    return strings;
}

std::wstring textColumn(const SqliteStatement& statement, int column) {
    const char* bytes = static_cast<const char*>(statement.blob(column));
    return bytes != nullptr ? utf8ToWide(std::string(bytes, statement.blobSize(column)))
                            : std::wstring();
}

EventLogRecord recordOf(const SqliteStatement& statement) {
    EventLogRecord record;
    record.recordNumber = static_cast<DWORD>(statement.integer(0));
    record.timeWritten = statement.integer(1);
    record.sourceName = textColumn(statement, 2);
    record.eventType = static_cast<WORD>(statement.integer(3));
    record.eventCategory = static_cast<WORD>(statement.integer(4));
    record.eventId = static_cast<DWORD>(statement.integer(5));
    record.computerName = textColumn(statement, 6);
    record.processId = static_cast<DWORD>(statement.integer(7));
    record.threadId = static_cast<DWORD>(statement.integer(8));
    record.strings = splitStrings(statement.blob(10), statement.blobSize(10), statement.integer(9));
    const auto* data = static_cast<const unsigned char*>(statement.blob(11));
    if (data != nullptr) {
        record.data.assign(data, data + statement.blobSize(11));
    }
    return record;
}

} // namespace

EventLogStore& EventLogStore::instance() {
    static EventLogStore& store = *new EventLogStore;
    return store;
}

EventLogStore::EventLogStore() = default;

EventLogStore::~EventLogStore() = default;

std::string EventLogStore::databasePath() {
    return registryHiveDirectory(HKEY_LOCAL_MACHINE) + "/eventlog.db";
}

LONG EventLogStore::open() {
    const std::string path = databasePath();
    if (connection != nullptr && path == openPath) {
        return ERROR_SUCCESS;
    }
    connection.reset();
    writeLock.reset();
    openPath = path;
    const std::filesystem::path directory = std::filesystem::path(path).parent_path();
    std::error_code ignored;
    std::filesystem::create_directories(directory, ignored);
    int result = SQLITE_CANTOPEN;
    writable = false;
    if (access(directory.c_str(), W_OK) == 0) {
        connection = SqliteConnection::open(path, true, result);
        writeLock = std::make_unique<SqliteWriteLock>();
        writable = connection != nullptr && !connection->isReadOnly() &&
                   writeLock->open(directory.string() + "/eventlog.lock");
    }
    if (!writable) {
        writeLock.reset();
        connection = SqliteConnection::open(path, false, result);
    }
    if (connection == nullptr) {
        return errorOf(result);
    }
    schemaReady = false;
    return ERROR_SUCCESS;
}

LONG EventLogStore::createSchema() {
    SqliteWriteLock::Turn turn(*writeLock);
    LONG error = errorOf(turn.status());
    if (error == ERROR_SUCCESS) {
        error =
            errorOf(connection->execute("PRAGMA journal_mode=TRUNCATE; PRAGMA synchronous=OFF"));
    }
    if (error == ERROR_SUCCESS) {
        error = errorOf(connection->execute(SCHEMA));
    }
    schemaReady = error == ERROR_SUCCESS;
    return error;
}

bool EventLogStore::hasSchema() {
    SqliteStatement statement(
        *connection, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'records'");
    return statement.step() == SQLITE_ROW;
}

LONG EventLogStore::insert(const EventLogRecord& record) {
    const std::string source = wideToUtf8(record.sourceName);
    const std::string computer = wideToUtf8(record.computerName);
    const std::u16string strings = joinStrings(record.strings);
    SqliteStatement statement(*connection, INSERT);
    statement.bind(1, record.timeWritten)
        .bind(2, source)
        .bind(3, record.eventType)
        .bind(4, record.eventCategory)
        .bind(5, record.eventId)
        .bind(6, computer)
        .bind(7, record.processId)
        .bind(8, record.threadId)
        .bind(9, static_cast<int64_t>(record.strings.size()))
        .bind(10, strings.data(), strings.size() * 2)
        .bind(11, record.data.data(), record.data.size());
    return errorOf(statement.run());
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
    SqliteWriteLock::Turn turn(*writeLock);
    if ((error = errorOf(turn.status())) != ERROR_SUCCESS) {
        return error;
    }
    error = errorOf(connection->execute("BEGIN IMMEDIATE"));
    if (error != ERROR_SUCCESS) {
        return error;
    }
    // The time is taken inside the transaction, so later records never carry earlier times.
    record.timeWritten = static_cast<int64_t>(std::time(nullptr));
    error = insert(record);
    if (error == ERROR_SUCCESS) {
        record.recordNumber = static_cast<DWORD>(sqlite3_last_insert_rowid(connection->handle()));
        error = errorOf(connection->execute("COMMIT"));
    }
    if (error != ERROR_SUCCESS) {
        connection->execute("ROLLBACK");
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
    const std::string source = wideToUtf8(query.sourceName);
    const int64_t limit =
        query.maximumCount > static_cast<size_t>(std::numeric_limits<int64_t>::max())
            ? -1
            : static_cast<int64_t>(query.maximumCount);
    SqliteStatement statement(*connection, SELECT);
    statement.bind(1, query.firstRecordNumber)
        .bind(2, source)
        .bind(3, limit)
        .bind(4, source.empty() ? 0 : 1);
    int result;
    while ((result = statement.step()) == SQLITE_ROW) {
        records.push_back(recordOf(statement));
    }
    if (result != SQLITE_DONE) {
        records.clear();
        return errorOf(result);
    }
    return ERROR_SUCCESS;
}

} // namespace krel_platform
