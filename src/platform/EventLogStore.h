// The SQLite store behind the event log stand-in.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/WinEventLog.h"

namespace krel_platform {

class SqliteConnection;
class SqliteWriteLock;

// The process's one connection to eventlog.db, opened on first use and kept for the process.
// Every append is one transaction, taken in the writers' turn on the lock file eventlog.lock
// (SqliteWriteLock), so appenders of several processes queue instead of failing, and assigns
// the next record number. Commits are kept
// as the registry's hives keep theirs: a process that ends at any moment leaves every committed
// record, only a crash of the whole system may lose the latest ones. Calls of all
// threads are serialised on the store's mutex. The callers keep cancellation off.
class EventLogStore {
public:
    static EventLogStore& instance();

    // Stores the record, setting its number and time; answers a Windows error code.
    LONG append(EventLogRecord& record);
    LONG read(const EventLogQuery& query, std::vector<EventLogRecord>& records);

    // The database file: eventlog.db in the machine hive's directory.
    static std::string databasePath();

private:
    EventLogStore();
    ~EventLogStore();
    EventLogStore(const EventLogStore&) = delete;
    EventLogStore& operator=(const EventLogStore&) = delete;

    // Opens the connection when it is not open yet, or again when the environment has moved the
    // machine hive since (tests give each case a directory of its own); a directory that cannot
    // be written still gives a reading connection to an existing log. Whether the log is
    // written depends on the files alone, never on another process being busy.
    LONG open();
    // Sets the journal and creates the table, in the writers' turn.
    LONG createSchema();
    LONG insert(const EventLogRecord& record);
    bool hasSchema();

    std::mutex mutex;
    // The database file the connection has open.
    std::string openPath;
    std::unique_ptr<SqliteConnection> connection;
    std::unique_ptr<SqliteWriteLock> writeLock;
    bool writable = false;
    bool schemaReady = false;
};

} // namespace krel_platform
