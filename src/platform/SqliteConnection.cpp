#include "platform/SqliteConnection.h"

#include <sqlite3.h>

namespace krel_platform {

std::unique_ptr<SqliteConnection> SqliteConnection::open(const std::string& path, bool writable,
                                                         int& error) {
    sqlite3* database = nullptr;
    const int flags =
        (writable ? SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE : SQLITE_OPEN_READONLY) |
        SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_PRIVATECACHE;
    error = sqlite3_open_v2(path.c_str(), &database, flags, nullptr);
    if (error == SQLITE_OK) {
        error = sqlite3_busy_timeout(database, BUSY_TIMEOUT_MS);
    }
    if (error != SQLITE_OK) {
        sqlite3_close_v2(database);
        return nullptr;
    }
    sqlite3_extended_result_codes(database, 0);
    return std::unique_ptr<SqliteConnection>(new SqliteConnection(database));
}

SqliteConnection::~SqliteConnection() {
    for (auto& entry : statements) {
        sqlite3_finalize(entry.second);
    }
    sqlite3_close_v2(database);
}

sqlite3_stmt* SqliteConnection::statement(const char* sql) {
    auto found = statements.find(sql);
    if (found != statements.end()) {
        return found->second;
    }
    sqlite3_stmt* prepared = nullptr;
    if (sqlite3_prepare_v3(database, sql, -1, SQLITE_PREPARE_PERSISTENT, &prepared, nullptr) !=
        SQLITE_OK) {
        sqlite3_finalize(prepared);
        return nullptr;
    }
    statements.emplace(sql, prepared);
    return prepared;
}

int SqliteConnection::execute(const char* sql) {
    return sqlite3_exec(database, sql, nullptr, nullptr, nullptr);
}

bool SqliteConnection::isReadOnly() const {
    return sqlite3_db_readonly(database, "main") != 0;
}

} // namespace krel_platform
