#include "windows/NTEventLogWrapper.h"

#include "base/ErrorUtils.h"
#include "exception/KrelIOException.h"
#include "file/File.h"
#include "platform/WinEventLog.h"
#include "platform/WinReg.h"
#include "system/KrelRegistry.h"
#include "system/Paths.h"

namespace krel_std_internal {

namespace {

const wchar_t* const APPLICATION_LOG_KEY =
    L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\";

// Error, warning and information.
const int TYPES_SUPPORTED = 7;

// The file that carries the library's message table: its own module.
const wchar_t* const MESSAGE_FILE_NAME = L"libKrelStd.so";

} // namespace

NTEventLogWrapper::NTEventLogWrapper(const std::wstring& sourceName) : eventLogHandle(nullptr) {
    createEventLogEntry(sourceName);
    registerEventSource(sourceName);
}

NTEventLogWrapper::~NTEventLogWrapper() {
    unregisterEventSource();
}

void NTEventLogWrapper::createEventLogEntry(const std::wstring& sourceName) {
    const std::wstring directory =
        krel_std::Paths::getInstance()->getPath(L"System Executable Path Key", L".");
    const std::wstring messageFile =
        krel_std::File(directory, MESSAGE_FILE_NAME).getCanonicalPath();
    createEventLogEntry(sourceName, messageFile, L"", 0);
}

void NTEventLogWrapper::createEventLogEntry(const std::wstring& sourceName,
                                            const std::wstring& messageFile,
                                            const std::wstring& categoryFile, int categoryCount) {
    try {
        krel_std::KrelRegistry registry;
        bool alreadyExists = false;
        registry.createKey(alreadyExists, HKEY_LOCAL_MACHINE, APPLICATION_LOG_KEY + sourceName,
                           KEY_SET_VALUE, 0);
        registry.setStrValue(L"EventMessageFile", messageFile);
        registry.setIntValue(L"TypesSupported", TYPES_SUPPORTED);
        if (!categoryFile.empty() && categoryCount > 0) {
            registry.setStrValue(L"CategoryMessageFile", categoryFile);
            registry.setIntValue(L"CategoryCount", categoryCount);
        }
    } catch (const krel_std::KrelException& cause) {
        krel_std::KrelIOException failure(L"Unable to create event log entry.", cause);
        failure.logDebug(L"krel_std_internal::NTEventLogWrapper::createEventLogEntry");
        throw failure;
    }
}

bool NTEventLogWrapper::eventLogEntryExists(const std::wstring& sourceName) {
    try {
        krel_std::KrelRegistry registry;
        registry.openKey(HKEY_LOCAL_MACHINE, APPLICATION_LOG_KEY + sourceName, KEY_QUERY_VALUE);
        return true;
    } catch (const krel_std::KrelException&) {
        return false;
    }
}

bool NTEventLogWrapper::reportEvent(uint16_t eventType, uint32_t eventId, uint16_t category,
                                    const std::wstring& text) {
    if (eventLogHandle == nullptr) {
        return false;
    }
    LPCWSTR strings[] = {text.c_str()};
    return ReportEventW(eventLogHandle, eventType, category, eventId, nullptr, 1, 0, strings,
                        nullptr) != FALSE;
}

void NTEventLogWrapper::registerEventSource(const std::wstring& sourceName) {
    eventLogHandle = RegisterEventSourceW(nullptr, sourceName.c_str());
    if (eventLogHandle == nullptr) {
        krel_std::KrelIOException failure(L"Error registering event source: " +
                                          krel_std::ErrorUtils::getLastErrorDescription());
        failure.logDebug(L"krel_std_internal::NTEventLogWrapper::registerEventSource");
        throw failure;
    }
}

void NTEventLogWrapper::unregisterEventSource() {
    if (eventLogHandle != nullptr) {
        DeregisterEventSource(eventLogHandle);
        eventLogHandle = nullptr;
    }
}

HANDLE NTEventLogWrapper::getEventLogHandle() const {
    return eventLogHandle;
}

} // namespace krel_std_internal
