// One connection to an SQLite database, with the statements it has prepared.
#pragma once

#include <map>
#include <memory>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

namespace krel_platform {

class SqliteConnection {
public:
    // How long a statement waits for another connection's lock before giving up.
    static constexpr int BUSY_TIMEOUT_MS = 5000;

    // Opens the database (":memory:" for a private one in memory), read-write and created when
    // missing, or read-only. The busy timeout is set before any statement runs. Empty on
    // failure, with the SQLite result code in error.
    static std::unique_ptr<SqliteConnection> open(const std::string& path, bool writable,
                                                  int& error);
    SqliteConnection(const SqliteConnection&) = delete;
    SqliteConnection& operator=(const SqliteConnection&) = delete;
    ~SqliteConnection();

    sqlite3* handle() const { return database; }
    // The statement for the text, prepared on first use and kept with the connection; null
    // when it cannot be prepared.
    sqlite3_stmt* statement(const char* sql);
    // Runs statements that return no rows; the SQLite result code.
    int execute(const char* sql);
    // Whether the database refuses writes (a file the process cannot write).
    bool isReadOnly() const;

private:
    explicit SqliteConnection(sqlite3* database) : database(database) {}

    sqlite3* database;
    std::map<const char*, sqlite3_stmt*> statements;
};

} // namespace krel_platform
