// The registry of the Windows API stand-in.
//
// Two hives, HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE, each one SQLite database (user.db and
// machine.db) in the directory KREL_REGISTRY_DIR names, else in $XDG_CONFIG_HOME/krelstd/registry
// (user) and /var/lib/krelstd/registry (machine). Every call is one transaction, so writes are
// atomic and safe across processes.
//
// Keys and values behave as on Windows:
// - Paths are '\'-separated and relative to the key given; '/' is an ordinary character. The
//   empty path names the key itself (a hive's root key holds values and subkeys). A leading '\'
//   or an empty element in the middle answers ERROR_BAD_PATHNAME; a trailing '\' is ignored; an
//   element longer than 255 UTF-16 units answers ERROR_INVALID_PARAMETER.
// - Names are case-insensitive (compared by per-character Unicode upper-casing) and keep the
//   spelling they were created with. Subkeys enumerate in that case-insensitive order, values in
//   creation order (an overwrite keeps the value's place).
// - Data is kept as Windows bytes: REG_SZ as UTF-16LE with its terminating NUL, REG_DWORD as 4
//   bytes little-endian, other types as given. A buffer too small answers ERROR_MORE_DATA with
//   the size needed; data is then not written, names are truncated and terminated.
// - An HKEY is a handle of the kernel-object handle table (platform/WinHandles.h) naming a key
//   object, not a path: once the key is deleted, by this or any process, every call on the
//   handle answers ERROR_KEY_DELETED, and a key created again at the same path is another key.
// - The access a handle was opened with is enforced: querying needs KEY_QUERY_VALUE, setting
//   and deleting values KEY_SET_VALUE, enumerating subkeys KEY_ENUMERATE_SUB_KEYS, notification
//   KEY_NOTIFY (ERROR_ACCESS_DENIED otherwise). A hive whose files the process cannot write
//   answers ERROR_ACCESS_DENIED to every write.
// - Other predefined roots and closed or foreign handles answer ERROR_INVALID_HANDLE. A root is
//   recognised by the low 32 bits of its value, so one passed through an int finds its hive.
#pragma once

#include "platform/WinError.h"
#include "platform/WinTypes.h"

struct SECURITY_ATTRIBUTES;
typedef SECURITY_ATTRIBUTES* LPSECURITY_ATTRIBUTES;
typedef FILETIME* PFILETIME;

typedef DWORD ACCESS_MASK;
typedef ACCESS_MASK REGSAM;

// The predefined roots, sign-extended to the pointer's width as 64-bit Windows defines them.
#define HKEY_CLASSES_ROOT                                                                          \
    (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(0x80000000))))
#define HKEY_CURRENT_USER                                                                          \
    (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(0x80000001))))
#define HKEY_LOCAL_MACHINE                                                                         \
    (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(0x80000002))))
#define HKEY_USERS (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(0x80000003))))
#define HKEY_PERFORMANCE_DATA                                                                      \
    (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(0x80000004))))
#define HKEY_CURRENT_CONFIG                                                                        \
    (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(0x80000005))))
#define HKEY_DYN_DATA                                                                              \
    (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(0x80000006))))

#define DELETE 0x00010000L
#define READ_CONTROL 0x00020000L
#define WRITE_DAC 0x00040000L
#define WRITE_OWNER 0x00080000L
#ifndef SYNCHRONIZE
#define SYNCHRONIZE 0x00100000L
#endif
#define STANDARD_RIGHTS_READ READ_CONTROL
#define STANDARD_RIGHTS_WRITE READ_CONTROL
#define STANDARD_RIGHTS_EXECUTE READ_CONTROL
#define STANDARD_RIGHTS_REQUIRED 0x000F0000L
#define STANDARD_RIGHTS_ALL 0x001F0000L

#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_CREATE_SUB_KEY 0x0004
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_NOTIFY 0x0010
#define KEY_CREATE_LINK 0x0020
#define KEY_WOW64_64KEY 0x0100
#define KEY_WOW64_32KEY 0x0200
#define KEY_WOW64_RES 0x0300
#define KEY_READ                                                                                   \
    ((STANDARD_RIGHTS_READ | KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY) &              \
     (~SYNCHRONIZE))
#define KEY_WRITE ((STANDARD_RIGHTS_WRITE | KEY_SET_VALUE | KEY_CREATE_SUB_KEY) & (~SYNCHRONIZE))
#define KEY_EXECUTE ((KEY_READ) & (~SYNCHRONIZE))
#define KEY_ALL_ACCESS                                                                             \
    ((STANDARD_RIGHTS_ALL | KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_CREATE_SUB_KEY |                 \
      KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY | KEY_CREATE_LINK) &                                     \
     (~SYNCHRONIZE))

#define REG_NONE 0ul
#define REG_SZ 1ul
#define REG_EXPAND_SZ 2ul
#define REG_BINARY 3ul
#define REG_DWORD 4ul
#define REG_DWORD_LITTLE_ENDIAN 4ul
#define REG_DWORD_BIG_ENDIAN 5ul
#define REG_LINK 6ul
#define REG_MULTI_SZ 7ul
#define REG_RESOURCE_LIST 8ul
#define REG_FULL_RESOURCE_DESCRIPTOR 9ul
#define REG_RESOURCE_REQUIREMENTS_LIST 10ul
#define REG_QWORD 11ul
#define REG_QWORD_LITTLE_ENDIAN 11ul

#define REG_OPTION_RESERVED 0x00000000L
#define REG_OPTION_NON_VOLATILE 0x00000000L
#define REG_OPTION_VOLATILE 0x00000001L
#define REG_OPTION_CREATE_LINK 0x00000002L
#define REG_OPTION_BACKUP_RESTORE 0x00000004L
#define REG_OPTION_OPEN_LINK 0x00000008L

#define REG_CREATED_NEW_KEY 0x00000001L
#define REG_OPENED_EXISTING_KEY 0x00000002L

#define REG_NOTIFY_CHANGE_NAME 0x00000001L
#define REG_NOTIFY_CHANGE_ATTRIBUTES 0x00000002L
#define REG_NOTIFY_CHANGE_LAST_SET 0x00000004L
#define REG_NOTIFY_CHANGE_SECURITY 0x00000008L
#define REG_NOTIFY_THREAD_AGNOSTIC 0x10000000L

// Opens the key at subKey below key (the key itself for an empty or null path).
// ERROR_FILE_NOT_FOUND when it does not exist.
LSTATUS RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM samDesired, PHKEY result);
// Opens the key at subKey below key, creating it and every missing key on its way; disposition
// (when not null) receives REG_CREATED_NEW_KEY or REG_OPENED_EXISTING_KEY.
LSTATUS RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD reserved, LPWSTR keyClass, DWORD options,
                        REGSAM samDesired, const LPSECURITY_ATTRIBUTES securityAttributes,
                        PHKEY result, LPDWORD disposition);
LSTATUS RegCloseKey(HKEY key);
// Reads a value (the unnamed default value for a null or empty name). With data null only the
// type and size are reported. ERROR_FILE_NOT_FOUND for a missing value.
LSTATUS RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                         LPDWORD dataSize);
// Adds or overwrites a value with the given bytes.
LSTATUS RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                       DWORD dataSize);
LSTATUS RegDeleteValueW(HKEY key, LPCWSTR valueName);
// The name of the index-th subkey; nameLength holds the buffer's size in characters and receives
// the name's length without its terminator. ERROR_NO_MORE_ITEMS past the last subkey.
LSTATUS RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, LPDWORD nameLength, LPDWORD reserved,
                      LPWSTR keyClass, LPDWORD keyClassLength, PFILETIME lastWriteTime);
// The name, type and data of the index-th value, as RegEnumKeyExW and RegQueryValueExW report
// them. ERROR_NO_MORE_ITEMS past the last value.
LSTATUS RegEnumValueW(HKEY key, DWORD index, LPWSTR valueName, LPDWORD valueNameLength,
                      LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD dataSize);
// Deletes the key at subKey below key with all its subkeys and values, in one transaction. A
// predefined root itself is refused (ERROR_ACCESS_DENIED).
LSTATUS SHDeleteKeyW(HKEY key, LPCWSTR subKey);
// Arms a one-shot notification: the event is signalled once when a value of the key is added,
// set or deleted, or the key is deleted, by any thread or process, or when the handle it was
// armed through is closed. Only watchSubtree FALSE,
// REG_NOTIFY_CHANGE_LAST_SET (optionally with REG_NOTIFY_THREAD_AGNOSTIC) and asynchronous TRUE
// are supported (ERROR_INVALID_PARAMETER otherwise).
LSTATUS RegNotifyChangeKeyValue(HKEY key, BOOL watchSubtree, DWORD notifyFilter, HANDLE event,
                                BOOL asynchronous);

#include <string>

namespace krel_platform {

// The directory that holds the hive's database, as the environment names it now (the machine
// hive's for any other root); stores that live beside the registry, such as the event log,
// take their place from it.
std::string registryHiveDirectory(HKEY root);

// Makes a hive answer ERROR_ACCESS_DENIED to every write, as it does when the process cannot
// write its files; for tests, which run with every right.
void setRegistryHiveReadOnly(HKEY root, bool readOnly);

// Closes the hive databases, so the next call opens them at the location the environment names
// then; for tests that give each case a directory of its own. Handles open before answer
// ERROR_INVALID_HANDLE afterwards, and armed notifications are dropped.
void reopenRegistryStore();

} // namespace krel_platform
