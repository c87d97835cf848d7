// What the soak's roles share: the journal files through which the service and the writer tell
// the driver what they did, the numbered log line, and the process figures read from /proc.
#pragma once

#include <cstdint>
#include <string>
#include <sys/types.h>

namespace krel_soak {

// The service's name in the private service database, and the log's name (Soak.cfg, Soak*.log).
extern const char* const kServiceName;
// The preferences node (HKEY_CURRENT_USER) the writer writes and the service listens to.
extern const wchar_t* const kPreferencesNode;
// The keys the writer writes, round robin.
const int kPreferenceKeys = 4;
// The service's logging threads.
const int kLogThreads = 4;

// Milliseconds of the monotonic clock, the same in every process of the machine.
int64_t monotonicMs();

// Appends one line (a '\n' is added) to the journal file with a single write, so that lines of
// several threads never mix.
void appendJournal(const std::string& path, const std::string& line);

// The message of the numbered log line of instance `instance`, thread `thread`, number `number`:
// "SOAK i=<instance> t=<thread> n=<number> x=<pad> END", where the pad's length and letters
// follow from the three numbers, so a torn or mixed line cannot pass for a whole one.
std::string soakMessage(unsigned instance, unsigned thread, unsigned long number);

// A process's figures, read from /proc; all zero when the process is gone.
struct ProcessFigures {
    long rssKb = 0;
    long threads = 0;
    long descriptors = 0;
};
ProcessFigures readProcessFigures(pid_t pid);

// Makes the calling process end with SIGKILL when its parent ends; false (and the caller should
// end) when the parent already ended.
bool endWithParent(pid_t parent);

} // namespace krel_soak
