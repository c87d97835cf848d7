#pragma once

#include <boost/noncopyable.hpp>
#include <cstdint>
#include <string>

#include "platform/WinTypes.h"

namespace krel_std_internal {

// The Windows side of the event-log appender: registers an event source in the registry and
// with the event log, and reports events under it to the Application log.
class NTEventLogWrapper : private boost::noncopyable {
public:
    // Writes the source's registry entry, then registers the source, on every construction.
    // Throws KrelIOException when either fails (writing the machine hive needs the rights to
    // it).
    explicit NTEventLogWrapper(const std::wstring& sourceName);
    // Deregisters the source.
    virtual ~NTEventLogWrapper();

    // The entry with the library's own module as message file (libKrelStd.so in the paths
    // provider's "System Executable Path Key" directory, "." by default), and no categories.
    static void createEventLogEntry(const std::wstring& sourceName);
    // Creates or opens SYSTEM\CurrentControlSet\Services\EventLog\Application\<source> of the
    // machine hive and writes EventMessageFile and TypesSupported (7: error, warning and
    // information); CategoryMessageFile and CategoryCount only for a category file and a
    // positive count. A registry failure throws KrelIOException "Unable to create event log
    // entry." with that failure as its cause.
    static void createEventLogEntry(const std::wstring& sourceName, const std::wstring& messageFile,
                                    const std::wstring& categoryFile, int categoryCount);
    // Whether the source's entry can be opened for reading.
    static bool eventLogEntryExists(const std::wstring& sourceName);

    // Reports one event with the text as its only insertion string; false without a registered
    // source or when the event log refuses the record.
    bool reportEvent(uint16_t eventType, uint32_t eventId, uint16_t category,
                     const std::wstring& text);

private:
    // Throws KrelIOException "Error registering event source: " and the last error's
    // description on failure.
    void registerEventSource(const std::wstring& sourceName);
    void unregisterEventSource();
    HANDLE getEventLogHandle() const;

    HANDLE eventLogHandle;
};

} // namespace krel_std_internal
