// One use of a prepared statement: binds its parameters, steps through its rows and resets it
// when the use ends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct sqlite3_stmt;

namespace krel_platform {

class SqliteConnection;

class SqliteStatement {
public:
    // The connection's statement for the text (kept by the connection, so the text must be a
    // literal). A statement that cannot be prepared fails its first step with SQLITE_ERROR.
    SqliteStatement(SqliteConnection& connection, const char* sql);
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;
    ~SqliteStatement();

    // Parameters are numbered from 1. Blobs are bound without a copy: the bytes must outlive
    // the use.
    SqliteStatement& bind(int index, int64_t value);
    SqliteStatement& bind(int index, const std::string& bytes);
    SqliteStatement& bind(int index, const void* bytes, size_t size);

    // SQLITE_ROW, SQLITE_DONE or the error.
    int step();
    // Steps once and answers SQLITE_OK when the statement finished without error.
    int run();

    bool isNull(int column) const;
    int64_t integer(int column) const;
    const void* blob(int column) const;
    size_t blobSize(int column) const;

private:
    sqlite3_stmt* statement;
};

} // namespace krel_platform
