// The keys and values of one registry hive, kept in an SQLite database of their own.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <vector>

#include "platform/RegistryEnumCursor.h"
#include "platform/RegistryKeyCache.h"
#include "platform/RegistryName.h"
#include "platform/RegistryValueCache.h"
#include "platform/SqliteWriteLock.h"
#include "platform/WinTypes.h"

namespace krel_platform {

class RegistryValueBuffer;
class SqliteConnection;

// Every operation is one transaction on the hive's connection, which this process shares
// between its threads. Writers of every process take their turns on the hive's lock file
// (SqliteWriteLock) before they take the database's write lock (BEGIN IMMEDIATE), so each
// write waits for the writes ahead of it and then lands, however busy the hive. Value reads and key
// lookups are remembered while no process writes the hive (RegistryValueCache,
// RegistryKeyCache). Each key has a row id that is never used again and a change counter that
// every value write and value deletion of the key bumps in its transaction. After each such
// commit the hive rings its doorbell, a small file beside the database that the notifiers of
// every process watch. Key ids name keys here; a key that no longer exists answers
// ERROR_KEY_DELETED.
class RegistryHive {
public:
    static constexpr int64_t ROOT_KEY = 1;

    // Opens the database, creating it and its directory when the process may; the database,
    // doorbell and lock files it creates get fileMode (the database without write permission
    // for others). A hive that cannot be written is opened
    // read-only, and one that cannot be read at all is empty. A writable hive's database is set
    // up at the first call; one that stays busy meanwhile is set up at a later call.
    RegistryHive(const std::string& databasePath, const std::string& doorbellPath,
                 const std::string& lockPath, mode_t fileMode);
    RegistryHive(const RegistryHive&) = delete;
    RegistryHive& operator=(const RegistryHive&) = delete;
    ~RegistryHive();

    // Whether writes can succeed: the files are writable and no test made the hive read-only;
    // never false because another process was busy.
    bool isWritable() const { return writable && !forcedReadOnly; }
    void setForcedReadOnly(bool readOnly) { forcedReadOnly = readOnly; }
    const std::string& doorbell() const { return doorbellPath; }

    // Opens the key at the '\\'-separated path below base (null or empty: base itself); a
    // malformed path answers RegistryName::splitPath's error.
    LSTATUS openKey(int64_t base, LPCWSTR subKey, int64_t& key);
    // Opens the key, creating it and the keys on its way when missing; creation needs
    // mayCreate (ERROR_ACCESS_DENIED otherwise).
    LSTATUS createKey(int64_t base, LPCWSTR subKey, bool mayCreate, int64_t& key, bool& created);
    // Reads the value named valueName (null: the default value); a malformed name answers
    // RegistryName::fromValueName's error.
    LSTATUS queryValue(int64_t key, LPCWSTR valueName, const RegistryValueBuffer& buffer);
    // Delivers the value as a read spelling its name the same way remembered it under the write
    // version now, and answers true; false when no such answer is at hand. Touches neither the
    // database nor any descriptor, so it is no cancellation point.
    bool answerRemembered(int64_t key, LPCWSTR valueName, const RegistryValueBuffer& buffer,
                          LSTATUS& status);
    LSTATUS setValue(int64_t key, const RegistryName& name, DWORD type, const void* data,
                     size_t size);
    LSTATUS deleteValue(int64_t key, const RegistryName& name);
    // The name of the index-th subkey in name order, as the hive holds the subkeys at the
    // call; ERROR_NO_MORE_ITEMS past the last. The cursor is the handle's (null: the hive's
    // own, for its predefined root handle); it makes the next index as cheap as the first.
    LSTATUS enumKey(int64_t key, DWORD index, RegistryEnumCursor* cursor, std::wstring& name);
    // The index-th value in creation order, as the hive holds the values at the call; the data
    // goes to the buffer. The cursor as for enumKey.
    LSTATUS enumValue(int64_t key, DWORD index, RegistryEnumCursor* cursor, std::wstring& name,
                      const RegistryValueBuffer& buffer);
    // Deletes the key at the path below base with everything below it. The root key is
    // refused (ERROR_ACCESS_DENIED).
    LSTATUS deleteTree(int64_t base, const std::vector<RegistryName>& path);
    // The key's change counter; ERROR_KEY_DELETED when the key is gone.
    LSTATUS changeCounter(int64_t key, int64_t& counter);

    // For the notifier thread alone, on a connection of its own: the number that changes when
    // another connection commits, and the counters of keys (-1 for a deleted key).
    int64_t watchedDataVersion();
    std::vector<int64_t> watchedCounters(const std::vector<int64_t>& keys);
    // For the notifier thread: whether the hive may hold changes that no look of the notifier
    // and no announcement of this process's writes has covered; writeVersion receives the
    // write version now, to be accounted for once the counters have been looked at.
    bool hasUnannouncedChanges(uint64_t& writeVersion) const;
    void accountChanges(uint64_t writeVersion);

private:
    void open(const std::string& lockPath, mode_t fileMode);
    // Makes the missing database file with the mode, so that SQLite's journal files, which
    // copy its mode, get it too.
    void createDatabase(mode_t fileMode);
    LSTATUS initialise(SqliteConnection& candidate);
    // Sets up a writable hive's database in the writers' turn when that has not succeeded yet:
    // the error that stopped it (ERROR_BUSY when other writers kept the hive the whole time).
    LSTATUS prepare();
    // Finds the key at the path below base within the current transaction: ERROR_SUCCESS with
    // key set, ERROR_FILE_NOT_FOUND with key the last existing one and depth the number of
    // elements found, or an error.
    LSTATUS walk(int64_t base, const std::vector<RegistryName>& path, int64_t& key, size_t& depth);
    // Finds the key at the path below base in a read transaction of its own.
    LSTATUS lookUp(int64_t base, const std::vector<RegistryName>& path, int64_t& key);
    LSTATUS checkKey(int64_t key);
    // Bumps the key's change counter: ERROR_KEY_DELETED when the key is gone.
    LSTATUS bumpCounter(int64_t key);
    // A value write in a transaction of its own: refused on a read-only hive; bumps the key's
    // counter, runs the change (under the hive's lock, returning its status) and commits, then
    // announces the key.
    template <typename Change> LSTATUS changeValues(int64_t key, Change change);
    // After a committed value write: rings the doorbell and tells this process's notifier.
    void announce(const std::vector<int64_t>& keys);
    // Makes the cursor's run hold the key's value (subkey unless values) at the index:
    // ERROR_SUCCESS when it does, ERROR_NO_MORE_ITEMS past the last entry, or the error.
    LSTATUS listed(int64_t key, DWORD index, bool values, RegistryEnumCursor& at);
    // Reads the cursor's run from the index, after the entry before it when given and the
    // key's entries are known unchanged since.
    LSTATUS readRun(int64_t key, DWORD index, bool values, const RegistryEnumCursor::Entry* before,
                    RegistryEnumCursor& at);

    std::string databasePath;
    std::string doorbellPath;
    std::mutex mutex;
    std::unique_ptr<SqliteConnection> connection;
    std::unique_ptr<SqliteConnection> watchConnection;
    RegistryValueCache cache;
    RegistryKeyCache keys;
    // The listings' cursors of the predefined root handle, which every thread shares.
    RegistryEnumCursor rootValues;
    RegistryEnumCursor rootSubkeys;
    SqliteWriteLock writeLock;
    int doorbellDescriptor = -1;
    bool writable = false;
    std::atomic<bool> ready{false};
    std::atomic<bool> forcedReadOnly{false};
};

} // namespace krel_platform
