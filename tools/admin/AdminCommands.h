// The commands of krel-admin and what they share.
#pragma once

#include <string>
#include <vector>

#include "platform/WinReg.h"

namespace krel_admin {

// One command: its name on the command line, the usage of its arguments, and the function
// that runs it with the arguments after the name. A command answers the process's exit code:
// 0 done, 1 refused by the system (reported on stderr), 2 wrong usage.
struct AdminCommand {
    const char* name;
    const char* usage;
    const char* summary;
    int (*run)(const std::vector<std::string>& arguments);
};

const std::vector<AdminCommand>& adminCommands();

int listKey(const std::vector<std::string>& arguments);
int readValue(const std::vector<std::string>& arguments);
int writeValue(const std::vector<std::string>& arguments);
int deleteValue(const std::vector<std::string>& arguments);
int deleteKey(const std::vector<std::string>& arguments);
int readEventLog(const std::vector<std::string>& arguments);
int createService(const std::vector<std::string>& arguments);
int deleteService(const std::vector<std::string>& arguments);
int startService(const std::vector<std::string>& arguments);
int controlService(const std::vector<std::string>& arguments);
int queryService(const std::vector<std::string>& arguments);

// A key given on the command line as <hive>\<path>, the hive being HKCU, HKEY_CURRENT_USER,
// HKLM or HKEY_LOCAL_MACHINE (in any case).
struct KeyPath {
    HKEY root = nullptr;
    std::wstring rootName;
    std::wstring subKey;
};

// False, with a message on stderr, for an unknown hive.
bool parseKeyPath(const std::string& text, KeyPath& path);
// The full name of a key below a listed one.
std::wstring joinKeyPath(const std::wstring& parent, const std::wstring& child);

// A key opened for a command, closed when the command ends.
class OpenKey {
public:
    OpenKey() = default;
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;
    ~OpenKey();

    HKEY key = nullptr;
};

// Reads the value's type and data, whatever its size.
LSTATUS queryValue(HKEY key, const std::wstring& name, DWORD& type, std::vector<BYTE>& data);

// The type's name (REG_SZ, ...), or its number for a type without one.
std::wstring typeName(DWORD type);
// The data as the tool shows it: text for the string types, escaped as escapeValueText does
// (the strings of REG_MULTI_SZ separated by "\0"), decimal numbers for REG_DWORD and REG_QWORD,
// hexadecimal bytes otherwise.
std::wstring formatData(DWORD type, const std::vector<BYTE>& data);

// Reports a refused call on stderr ("krel-admin: <what>: <system text> (<code>)"); answers 1.
int reportError(const std::string& what, LSTATUS status);
// As reportError, but a status of ERROR_FILE_NOT_FOUND reads as the thing that is missing
// ("no such key", "no such value") rather than the system's text about files.
int reportMissing(const std::string& what, LSTATUS status, const char* missing);
// Reports wrong usage of the command on stderr; answers 2.
int reportUsage(const AdminCommand& command);
const AdminCommand& commandNamed(const char* name);

// The text with every control character written as an escape ("\n", "\t", "\x1B", ...),
// so that stored text can never break a printed line or reach the terminal as a control.
std::wstring escapeControls(const std::wstring& text);
std::string escapeControls(const std::string& text);
// Stored text as the tool shows a value: its control characters escaped and every backslash
// doubled, so that a TAB ("\t") and the two characters "\t" ("\\t") print differently.
std::wstring escapeValueText(const std::wstring& text);

// Prints one line on stdout, its control characters escaped.
void printLine(const std::wstring& text);

} // namespace krel_admin
