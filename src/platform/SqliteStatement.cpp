#include "platform/SqliteStatement.h"

#include <sqlite3.h>

#include "platform/SqliteConnection.h"

namespace krel_platform {

SqliteStatement::SqliteStatement(SqliteConnection& connection, const char* sql)
    : statement(connection.statement(sql)) {}

SqliteStatement::~SqliteStatement() {
    if (statement != nullptr) {
        sqlite3_reset(statement);
        sqlite3_clear_bindings(statement);
    }
}

SqliteStatement& SqliteStatement::bind(int index, int64_t value) {
    if (statement != nullptr) {
        sqlite3_bind_int64(statement, index, value);
    }
    return *this;
}

SqliteStatement& SqliteStatement::bind(int index, const std::string& bytes) {
    return bind(index, bytes.data(), bytes.size());
}

// An empty blob is bound as a zero-length blob, not as NULL.
SqliteStatement& SqliteStatement::bind(int index, const void* bytes, size_t size) {
    if (statement != nullptr) {
        if (size == 0) {
            sqlite3_bind_zeroblob(statement, index, 0);
        } else {
            sqlite3_bind_blob64(statement, index, bytes, size, SQLITE_STATIC);
        }
    }
    return *this;
}

int SqliteStatement::step() {
    return statement == nullptr ? SQLITE_ERROR : sqlite3_step(statement);
}

int SqliteStatement::run() {
    const int result = step();
    return result == SQLITE_DONE || result == SQLITE_ROW ? SQLITE_OK : result;
}

bool SqliteStatement::isNull(int column) const {
    return sqlite3_column_type(statement, column) == SQLITE_NULL;
}

int64_t SqliteStatement::integer(int column) const {
    return sqlite3_column_int64(statement, column);
}

const void* SqliteStatement::blob(int column) const {
    return sqlite3_column_blob(statement, column);
}

size_t SqliteStatement::blobSize(int column) const {
    return static_cast<size_t>(sqlite3_column_bytes(statement, column));
}

} // namespace krel_platform
