#include "platform/RegistryHive.h"

#include <fcntl.h>
#include <filesystem>
#include <sqlite3.h>
#include <string_view>
#include <unistd.h>

#include "platform/FileReplacement.h"
#include "platform/RegistryNotifier.h"
#include "platform/RegistryValueBuffer.h"
#include "platform/RegistryValueCache.h"
#include "platform/SqliteConnection.h"
#include "platform/SqliteStatement.h"
#include "platform/WinError.h"

namespace krel_platform {

namespace {

// Key names are unique among their siblings by folded name, value names within their key; the
// root key is row 1. AUTOINCREMENT keeps deleted row ids from being used again, so a key made
// anew at a deleted key's path is another key. Values enumerate by row id: creation order,
// kept by an overwrite, which updates the row in place; vals_in_order lists a key's values in
// that order from any of them.
const char* const SCHEMA =
    "CREATE TABLE IF NOT EXISTS keys(id INTEGER PRIMARY KEY AUTOINCREMENT,"
    " parent INTEGER NOT NULL, name BLOB NOT NULL, folded BLOB NOT NULL,"
    " changes INTEGER NOT NULL DEFAULT 0);"
    "CREATE UNIQUE INDEX IF NOT EXISTS keys_by_name ON keys(parent, folded);"
    "CREATE TABLE IF NOT EXISTS vals(id INTEGER PRIMARY KEY AUTOINCREMENT,"
    " key INTEGER NOT NULL, name BLOB NOT NULL, folded BLOB NOT NULL,"
    " type INTEGER NOT NULL, data BLOB NOT NULL);"
    "CREATE UNIQUE INDEX IF NOT EXISTS vals_by_name ON vals(key, folded);"
    "CREATE INDEX IF NOT EXISTS vals_in_order ON vals(key, id);"
    "INSERT OR IGNORE INTO keys(id, parent, name, folded) VALUES(1, 0, x'', x'');";

// Where writers ring the doorbell file, apart from the write version at its start.
constexpr off_t RING_OFFSET = 64;

// ERROR_BUSY: the hive stayed in other writers' hands for the whole wait.
constexpr LSTATUS ERROR_BUSY = 170;

// The Windows error for an SQLite result.
LSTATUS statusOf(int result) {
    switch (result) {
    case SQLITE_OK:
    case SQLITE_DONE:
    case SQLITE_ROW:
        return ERROR_SUCCESS;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return ERROR_BUSY;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
    case SQLITE_CANTOPEN:
        return ERROR_ACCESS_DENIED;
    case SQLITE_NOMEM:
        return ERROR_OUTOFMEMORY;
    case SQLITE_FULL:
        return ERROR_DISK_FULL;
    default:
        return ERROR_REGISTRY_IO_FAILED;
    }
}

// Steps a query that answers at most one row: ERROR_SUCCESS with the query on its row, none
// when it answers no row, or the error.
LSTATUS stepRow(SqliteStatement& query, LSTATUS none) {
    const int result = query.step();
    return result == SQLITE_ROW ? ERROR_SUCCESS : result == SQLITE_DONE ? none : statusOf(result);
}

// A listing reads a run of at most this many entries, and stops early once the values' data
// it holds passes RUN_BYTES.
constexpr int64_t RUN_LENGTH = 64;
constexpr size_t RUN_BYTES = 64 * 1024;

// The listings' queries: ?1 the key, ?3 the run's length; "at" queries count ?2 entries from
// the first, "after" queries continue after the place ?2.
const char* const SUBKEYS_AT = "SELECT name, folded, id, 0, NULL FROM keys WHERE parent = ?1"
                               " ORDER BY folded LIMIT ?3 OFFSET ?2";
const char* const SUBKEYS_AFTER = "SELECT name, folded, id, 0, NULL FROM keys WHERE parent = ?1"
                                  " AND folded > ?2 ORDER BY folded LIMIT ?3";
const char* const VALUES_AT = "SELECT name, folded, id, type, data FROM vals WHERE key = ?1"
                              " ORDER BY id LIMIT ?3 OFFSET ?2";
const char* const VALUES_AFTER = "SELECT name, folded, id, type, data FROM vals WHERE key = ?1"
                                 " AND id > ?2 ORDER BY id LIMIT ?3";

// Reads the query's rows as entries (columns: name, folded name, and for values row id, type
// and data; NULL for subkeys) until the run is long enough: whether the rows ended first.
bool readEntries(SqliteStatement& query, std::vector<RegistryEnumCursor::Entry>& run, int& result) {
    size_t bytes = 0;
    while (bytes <= RUN_BYTES && (result = query.step()) == SQLITE_ROW) {
        RegistryEnumCursor::Entry entry;
        const void* name = query.blob(0);
        entry.name = RegistryName::textOf(name, query.blobSize(0));
        const void* folded = query.blob(1);
        entry.folded.assign(static_cast<const char*>(folded), query.blobSize(1));
        entry.row = query.integer(2);
        entry.type = static_cast<DWORD>(query.integer(3));
        const void* data = query.blob(4);
        entry.data.assign(static_cast<const char*>(data), data == nullptr ? 0 : query.blobSize(4));
        bytes += entry.data.size();
        run.push_back(std::move(entry));
    }
    return result == SQLITE_DONE;
}

// A transaction on the hive's connection, rolled back unless committed. A write transaction
// takes the write lock at once, so it never fails half way for want of it, and marks the
// hive's write version from then until its end.
class Transaction {
public:
    Transaction(SqliteConnection& connection, bool write, RegistryValueCache* writes = nullptr)
        : connection(connection), writes(writes) {
        result = SqliteStatement(connection, write ? "BEGIN IMMEDIATE" : "BEGIN").run();
        open = result == SQLITE_OK;
        if (open && writes != nullptr) {
            mark = writes->startWrite();
        }
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    ~Transaction() {
        if (open) {
            SqliteStatement(connection, "ROLLBACK").run();
            open = false;
        }
        finish();
    }

    LSTATUS begun() const { return statusOf(result); }
    LSTATUS commit() {
        result = SqliteStatement(connection, "COMMIT").run();
        if (result == SQLITE_OK) {
            open = false;
            finish();
        }
        return statusOf(result);
    }

private:
    void finish() {
        if (writes != nullptr && mark != 0) {
            writes->finishWrite(mark);
            mark = 0;
        }
    }

    SqliteConnection& connection;
    RegistryValueCache* writes;
    uint64_t mark = 0;
    int result;
    bool open;
};

} // namespace

RegistryHive::RegistryHive(const std::string& databasePath, const std::string& doorbellPath,
                           const std::string& lockPath, mode_t fileMode)
    : databasePath(databasePath), doorbellPath(doorbellPath) {
    open(lockPath, fileMode);
}

RegistryHive::~RegistryHive() {
    if (doorbellDescriptor >= 0) {
        close(doorbellDescriptor);
    }
}

// Only the owner writes the database, as SQLite itself would make it (0644).
void RegistryHive::createDatabase(mode_t fileMode) {
    const int created = openResolved(databasePath, O_RDWR | O_CREAT | O_CLOEXEC, fileMode & 0644);
    if (created >= 0) {
        close(created);
    }
}

// Whether the hive is writable depends on the files alone; its database is set up at the first
// call, in the writers' turn. Without the shared write version
// other processes could not tell this one's writes from their remembered reads, and without
// the lock file it could not take its turn: such a hive is not written.
void RegistryHive::open(const std::string& lockPath, mode_t fileMode) {
    const std::string& path = databasePath;
    const std::filesystem::path directory = std::filesystem::path(path).parent_path();
    std::error_code ignored;
    std::filesystem::create_directories(directory, ignored);
    int error = SQLITE_OK;
    if (access(directory.c_str(), W_OK) == 0) {
        createDatabase(fileMode);
        connection = SqliteConnection::open(path, true, error);
        if (connection != nullptr && !connection->isReadOnly() &&
            writeLock.open(lockPath, fileMode)) {
            doorbellDescriptor = openResolved(doorbellPath, O_RDWR | O_CREAT | O_CLOEXEC, fileMode);
            writable = cache.attach(doorbellDescriptor, true);
        }
        if (writable) {
            return;
        }
        if (doorbellDescriptor >= 0) {
            close(doorbellDescriptor);
            doorbellDescriptor = -1;
        }
    }
    ready = true;
    const int doorbell = ::open(doorbellPath.c_str(), O_RDONLY | O_CLOEXEC);
    cache.attach(doorbell, false);
    if (doorbell >= 0) {
        close(doorbell);
    }
    connection = SqliteConnection::open(path, false, error);
    if (connection == nullptr) {
        connection = SqliteConnection::open(":memory:", true, error);
        if (connection != nullptr) {
            initialise(*connection);
        }
    }
}

// A rollback journal, emptied after each commit (cheaper than making and removing it each
// time), so a reader needs no file of its own beside the database and an empty journal is
// never taken for one to roll back. Commits are not flushed to the disk: a process that ends
// at any moment leaves every committed write in the database, as the operating system keeps
// what was written; only a crash of the whole system may lose the latest writes.
LSTATUS RegistryHive::initialise(SqliteConnection& candidate) {
    if (const int result =
            candidate.execute("PRAGMA journal_mode=TRUNCATE; PRAGMA synchronous=OFF")) {
        return statusOf(result);
    }
    Transaction transaction(candidate, true);
    if (LSTATUS status = transaction.begun()) {
        return status;
    }
    if (const int result = candidate.execute(SCHEMA)) {
        return statusOf(result);
    }
    return transaction.commit();
}

LSTATUS RegistryHive::prepare() {
    if (ready.load(std::memory_order_acquire)) {
        return ERROR_SUCCESS;
    }
    SqliteWriteLock::Turn turn(writeLock);
    if (turn.status() != SQLITE_OK) {
        return statusOf(turn.status());
    }
    std::lock_guard<std::mutex> guard(mutex);
    if (!ready.load(std::memory_order_relaxed)) {
        if (LSTATUS status = initialise(*connection)) {
            return status;
        }
        ready.store(true, std::memory_order_release);
    }
    return ERROR_SUCCESS;
}

LSTATUS RegistryHive::checkKey(int64_t key) {
    SqliteStatement exists(*connection, "SELECT 1 FROM keys WHERE id = ?1");
    return stepRow(exists.bind(1, key), ERROR_KEY_DELETED);
}

LSTATUS RegistryHive::walk(int64_t base, const std::vector<RegistryName>& path, int64_t& key,
                           size_t& depth) {
    if (LSTATUS status = checkKey(base)) {
        return status;
    }
    key = base;
    for (depth = 0; depth < path.size(); ++depth) {
        SqliteStatement child(*connection, "SELECT id FROM keys WHERE parent = ?1 AND folded = ?2");
        if (LSTATUS status =
                stepRow(child.bind(1, key).bind(2, path[depth].folded()), ERROR_FILE_NOT_FOUND)) {
            return status;
        }
        key = child.integer(0);
    }
    return ERROR_SUCCESS;
}

LSTATUS RegistryHive::openKey(int64_t base, LPCWSTR subKey, int64_t& key) {
    const std::wstring_view text = subKey == nullptr ? std::wstring_view() : subKey;
    if (LSTATUS status = prepare()) {
        return status;
    }
    std::lock_guard<std::mutex> guard(mutex);
    const uint64_t before = cache.version();
    LSTATUS status = ERROR_SUCCESS;
    if (keys.answer(before, base, text, key, status)) {
        return status;
    }
    std::vector<RegistryName> path;
    if ((status = RegistryName::splitPath(subKey, path)) != ERROR_SUCCESS) {
        return status;
    }
    int64_t found = 0;
    status = lookUp(base, path, found);
    // Only what the database answered is remembered, not a failure to read it.
    if (status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND || status == ERROR_KEY_DELETED) {
        keys.remember(before, cache.version(), base, text, status, found);
    }
    if (status == ERROR_SUCCESS) {
        key = found;
    }
    return status;
}

LSTATUS RegistryHive::lookUp(int64_t base, const std::vector<RegistryName>& path, int64_t& key) {
    Transaction transaction(*connection, false);
    if (LSTATUS status = transaction.begun()) {
        return status;
    }
    size_t depth = 0;
    if (LSTATUS status = walk(base, path, key, depth)) {
        return status;
    }
    return transaction.commit();
}

LSTATUS RegistryHive::createKey(int64_t base, LPCWSTR subKey, bool mayCreate, int64_t& key,
                                bool& created) {
    created = false;
    LSTATUS status = openKey(base, subKey, key);
    if (status != ERROR_FILE_NOT_FOUND) {
        return status;
    }
    if (!mayCreate || !isWritable()) {
        return ERROR_ACCESS_DENIED;
    }
    std::vector<RegistryName> path;
    if ((status = RegistryName::splitPath(subKey, path)) != ERROR_SUCCESS) {
        return status;
    }
    SqliteWriteLock::Turn turn(writeLock);
    if (turn.status() != SQLITE_OK) {
        return statusOf(turn.status());
    }
    std::lock_guard<std::mutex> guard(mutex);
    Transaction transaction(*connection, true, &cache);
    if ((status = transaction.begun()) != ERROR_SUCCESS) {
        return status;
    }
    size_t depth = 0;
    int64_t found = 0;
    status = walk(base, path, found, depth);
    if (status == ERROR_FILE_NOT_FOUND) {
        for (; depth < path.size(); ++depth) {
            SqliteStatement insert(*connection,
                                   "INSERT INTO keys(parent, name, folded) VALUES(?1, ?2, ?3)");
            const int result = insert.bind(1, found)
                                   .bind(2, path[depth].spelling())
                                   .bind(3, path[depth].folded())
                                   .run();
            if (result != SQLITE_OK) {
                return statusOf(result);
            }
            found = sqlite3_last_insert_rowid(connection->handle());
        }
        created = true;
        status = ERROR_SUCCESS;
    }
    if (status == ERROR_SUCCESS && (status = transaction.commit()) == ERROR_SUCCESS) {
        key = found;
    }
    return status;
}

// A value read again with the name spelled as before is answered before the name is converted;
// only a name that was read without error is remembered.
bool RegistryHive::answerRemembered(int64_t key, LPCWSTR valueName,
                                    const RegistryValueBuffer& buffer, LSTATUS& status) {
    const std::wstring_view spelling = valueName == nullptr ? std::wstring_view() : valueName;
    std::lock_guard<std::mutex> guard(mutex);
    return cache.answer(cache.version(), key, spelling, buffer, status);
}

LSTATUS RegistryHive::queryValue(int64_t key, LPCWSTR valueName,
                                 const RegistryValueBuffer& buffer) {
    LSTATUS status = ERROR_SUCCESS;
    if (answerRemembered(key, valueName, buffer, status)) {
        return status;
    }
    const std::wstring_view spelling = valueName == nullptr ? std::wstring_view() : valueName;
    RegistryName name;
    if ((status = RegistryName::fromValueName(valueName, name)) != ERROR_SUCCESS) {
        return status;
    }
    if ((status = prepare()) != ERROR_SUCCESS) {
        return status;
    }
    std::lock_guard<std::mutex> guard(mutex);
    const uint64_t before = cache.version();
    if (cache.answer(before, key, name.folded(), buffer, status)) {
        return status;
    }
    SqliteStatement query(*connection, "SELECT v.type, v.data, v.id FROM keys k LEFT JOIN vals v"
                                       " ON v.key = k.id AND v.folded = ?2 WHERE k.id = ?1");
    status = stepRow(query.bind(1, key).bind(2, name.folded()), ERROR_KEY_DELETED);
    if (status != ERROR_SUCCESS && status != ERROR_KEY_DELETED) {
        return status;
    }
    DWORD type = 0;
    const void* data = nullptr;
    size_t size = 0;
    if (status == ERROR_SUCCESS && query.isNull(2)) {
        status = ERROR_FILE_NOT_FOUND;
    }
    if (status == ERROR_SUCCESS) {
        type = static_cast<DWORD>(query.integer(0));
        data = query.blob(1);
        size = query.blobSize(1);
    }
    cache.remember(before, cache.version(), key, spelling, name.folded(), status, type, data, size);
    return status == ERROR_SUCCESS ? buffer.deliver(type, data, size) : status;
}

// Bumping the counter first also finds out whether the key still exists.
LSTATUS RegistryHive::bumpCounter(int64_t key) {
    SqliteStatement bump(*connection, "UPDATE keys SET changes = changes + 1 WHERE id = ?1");
    const int result = bump.bind(1, key).run();
    if (result != SQLITE_OK) {
        return statusOf(result);
    }
    return sqlite3_changes(connection->handle()) == 0 ? ERROR_KEY_DELETED : ERROR_SUCCESS;
}

template <typename Change> LSTATUS RegistryHive::changeValues(int64_t key, Change change) {
    if (!isWritable()) {
        return ERROR_ACCESS_DENIED;
    }
    if (LSTATUS status = prepare()) {
        return status;
    }
    {
        SqliteWriteLock::Turn turn(writeLock);
        if (turn.status() != SQLITE_OK) {
            return statusOf(turn.status());
        }
        std::lock_guard<std::mutex> guard(mutex);
        Transaction transaction(*connection, true, &cache);
        LSTATUS status = transaction.begun();
        if (status == ERROR_SUCCESS) {
            status = bumpCounter(key);
        }
        if (status == ERROR_SUCCESS) {
            status = change();
        }
        if (status == ERROR_SUCCESS) {
            status = transaction.commit();
        }
        if (status != ERROR_SUCCESS) {
            return status;
        }
    }
    announce({key});
    return ERROR_SUCCESS;
}

LSTATUS RegistryHive::setValue(int64_t key, const RegistryName& name, DWORD type, const void* data,
                               size_t size) {
    return changeValues(key, [&]() {
        SqliteStatement upsert(*connection,
                               "INSERT INTO vals(key, name, folded, type, data)"
                               " VALUES(?1, ?2, ?3, ?4, ?5) ON CONFLICT(key, folded)"
                               " DO UPDATE SET type = excluded.type, data = excluded.data");
        return statusOf(upsert.bind(1, key)
                            .bind(2, name.spelling())
                            .bind(3, name.folded())
                            .bind(4, static_cast<int64_t>(type))
                            .bind(5, data, size)
                            .run());
    });
}

LSTATUS RegistryHive::deleteValue(int64_t key, const RegistryName& name) {
    return changeValues(key, [&]() {
        SqliteStatement remove(*connection, "DELETE FROM vals WHERE key = ?1 AND folded = ?2");
        const LSTATUS status = statusOf(remove.bind(1, key).bind(2, name.folded()).run());
        if (status == ERROR_SUCCESS && sqlite3_changes(connection->handle()) == 0) {
            return static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND);
        }
        return status;
    });
}

LSTATUS RegistryHive::enumKey(int64_t key, DWORD index, RegistryEnumCursor* cursor,
                              std::wstring& name) {
    if (LSTATUS status = prepare()) {
        return status;
    }
    std::lock_guard<std::mutex> guard(mutex);
    RegistryEnumCursor& at = cursor != nullptr ? *cursor : rootSubkeys;
    if (LSTATUS status = listed(key, index, false, at)) {
        return status;
    }
    name = at.entryOfRun(key, index)->name;
    return ERROR_SUCCESS;
}

LSTATUS RegistryHive::enumValue(int64_t key, DWORD index, RegistryEnumCursor* cursor,
                                std::wstring& name, const RegistryValueBuffer& buffer) {
    if (LSTATUS status = prepare()) {
        return status;
    }
    std::lock_guard<std::mutex> guard(mutex);
    RegistryEnumCursor& at = cursor != nullptr ? *cursor : rootValues;
    if (LSTATUS status = listed(key, index, true, at)) {
        return status;
    }
    const RegistryEnumCursor::Entry& entry = *at.entryOfRun(key, index);
    name = entry.name;
    return buffer.deliver(entry.type, entry.data.data(), entry.data.size());
}

// The cursor's run answers while no process has written the hive since it was read. Otherwise
// a run is read: after the entry before the index while the key's entries are known unchanged
// since the cursor's run was read (a value listing's key change counter, read in the same
// transaction, is the run's; for subkeys, the write version stayed the run's until the new run
// was read), else counted from the first entry.
LSTATUS RegistryHive::listed(int64_t key, DWORD index, bool values, RegistryEnumCursor& at) {
    const uint64_t version = cache.version();
    if (at.entryAt(key, index, version) != nullptr) {
        return ERROR_SUCCESS;
    }
    if (at.endsBefore(key, index, version)) {
        return ERROR_NO_MORE_ITEMS;
    }
    const bool sameVersion = version != RegistryValueCache::NO_VERSION && version == at.version;
    const RegistryEnumCursor::Entry* before = at.entryBefore(key, index);
    LSTATUS status = readRun(key, index, values, values || sameVersion ? before : nullptr, at);
    if (status == ERROR_SUCCESS && !values && before != nullptr && at.version != version) {
        status = readRun(key, index, values, nullptr, at);
    }
    if (status == ERROR_SUCCESS && at.entryOfRun(key, index) == nullptr) {
        return ERROR_NO_MORE_ITEMS;
    }
    return status;
}

// Reads the run from the index in one transaction, after the entry before it when one is
// given and still valid (for values: the key's change counter is still the cursor's). The run is
// stamped with the write version when that stayed the same around the read, else with NO_VERSION,
// which no version read later matches.
LSTATUS RegistryHive::readRun(int64_t key, DWORD index, bool values,
                              const RegistryEnumCursor::Entry* before, RegistryEnumCursor& at) {
    const uint64_t version = cache.version();
    Transaction transaction(*connection, false);
    if (LSTATUS status = transaction.begun()) {
        return status;
    }
    SqliteStatement owner(*connection, "SELECT changes FROM keys WHERE id = ?1");
    if (LSTATUS status = stepRow(owner.bind(1, key), ERROR_KEY_DELETED)) {
        return status;
    }
    const int64_t counter = owner.integer(0);
    const bool after = before != nullptr && (!values || counter == at.counter);
    SqliteStatement query(*connection, values ? (after ? VALUES_AFTER : VALUES_AT)
                                              : (after ? SUBKEYS_AFTER : SUBKEYS_AT));
    // A run that no later call can be answered from is read one entry long.
    query.bind(1, key).bind(3, version == RegistryValueCache::NO_VERSION ? 1 : RUN_LENGTH);
    if (!after) {
        query.bind(2, static_cast<int64_t>(index));
    } else if (values) {
        query.bind(2, before->row);
    } else {
        query.bind(2, before->folded);
    }
    std::vector<RegistryEnumCursor::Entry> run;
    int result = SQLITE_OK;
    const bool reachedEnd = readEntries(query, run, result);
    if (result != SQLITE_ROW && result != SQLITE_DONE) {
        return statusOf(result);
    }
    const bool complete = reachedEnd && version != RegistryValueCache::NO_VERSION &&
                          run.size() < static_cast<size_t>(RUN_LENGTH);
    at.fill(key, index, cache.version() == version ? version : RegistryValueCache::NO_VERSION,
            counter, std::move(run), complete);
    return ERROR_SUCCESS;
}

LSTATUS RegistryHive::deleteTree(int64_t base, const std::vector<RegistryName>& path) {
    if (!isWritable()) {
        return ERROR_ACCESS_DENIED;
    }
    if (LSTATUS status = prepare()) {
        return status;
    }
    std::vector<int64_t> deleted;
    {
        SqliteWriteLock::Turn turn(writeLock);
        if (turn.status() != SQLITE_OK) {
            return statusOf(turn.status());
        }
        std::lock_guard<std::mutex> guard(mutex);
        Transaction transaction(*connection, true, &cache);
        if (LSTATUS status = transaction.begun()) {
            return status;
        }
        size_t depth = 0;
        int64_t target = 0;
        if (LSTATUS status = walk(base, path, target, depth)) {
            return status;
        }
        if (target == ROOT_KEY) {
            return ERROR_ACCESS_DENIED;
        }
        SqliteStatement subtree(*connection,
                                "WITH RECURSIVE sub(id) AS (SELECT ?1 UNION ALL"
                                " SELECT k.id FROM keys k JOIN sub ON k.parent = sub.id)"
                                " SELECT id FROM sub");
        subtree.bind(1, target);
        int result;
        while ((result = subtree.step()) == SQLITE_ROW) {
            deleted.push_back(subtree.integer(0));
        }
        if (result != SQLITE_DONE) {
            return statusOf(result);
        }
        for (int64_t key : deleted) {
            SqliteStatement values(*connection, "DELETE FROM vals WHERE key = ?1");
            SqliteStatement keys(*connection, "DELETE FROM keys WHERE id = ?1");
            if ((result = values.bind(1, key).run()) != SQLITE_OK ||
                (result = keys.bind(1, key).run()) != SQLITE_OK) {
                return statusOf(result);
            }
        }
        if (LSTATUS status = transaction.commit()) {
            return status;
        }
    }
    announce(deleted);
    return ERROR_SUCCESS;
}

LSTATUS RegistryHive::changeCounter(int64_t key, int64_t& counter) {
    if (LSTATUS status = prepare()) {
        return status;
    }
    std::lock_guard<std::mutex> guard(mutex);
    SqliteStatement query(*connection, "SELECT changes FROM keys WHERE id = ?1");
    if (LSTATUS status = stepRow(query.bind(1, key), ERROR_KEY_DELETED)) {
        return status;
    }
    counter = query.integer(0);
    return ERROR_SUCCESS;
}

void RegistryHive::announce(const std::vector<int64_t>& keys) {
    if (doorbellDescriptor >= 0) {
        const char ring = 1;
        // A lost ring is caught by the notifiers' safety poll.
        [[maybe_unused]] const ssize_t written = pwrite(doorbellDescriptor, &ring, 1, RING_OFFSET);
    }
    RegistryNotifier::instance().keysChanged(this, keys);
}

// The watch connection is opened on first use, read-only, so it never takes the write lock.
int64_t RegistryHive::watchedDataVersion() {
    int error = SQLITE_OK;
    if (watchConnection == nullptr) {
        watchConnection = SqliteConnection::open(databasePath, false, error);
        if (watchConnection == nullptr) {
            return -1;
        }
    }
    SqliteStatement version(*watchConnection, "PRAGMA data_version");
    return version.step() == SQLITE_ROW ? version.integer(0) : -1;
}

// A counter that cannot be read is reported as -2, which never counts as a change.
std::vector<int64_t> RegistryHive::watchedCounters(const std::vector<int64_t>& keys) {
    std::vector<int64_t> counters(keys.size(), -2);
    if (watchConnection == nullptr) {
        watchedDataVersion();
    }
    if (watchConnection == nullptr) {
        return counters;
    }
    Transaction transaction(*watchConnection, false);
    for (size_t i = 0; i < keys.size(); ++i) {
        SqliteStatement query(*watchConnection, "SELECT changes FROM keys WHERE id = ?1");
        const LSTATUS status = stepRow(query.bind(1, keys[i]), ERROR_KEY_DELETED);
        if (status == ERROR_SUCCESS) {
            counters[i] = query.integer(0);
        } else if (status == ERROR_KEY_DELETED) {
            counters[i] = -1;
        }
    }
    return counters;
}

bool RegistryHive::hasUnannouncedChanges(uint64_t& writeVersion) const {
    return cache.movedSinceAccounted(writeVersion);
}

void RegistryHive::accountChanges(uint64_t writeVersion) {
    cache.account(writeVersion);
}

} // namespace krel_platform
