#include "process/Process.h"

#include "base/ErrorUtils.h"
#include "exception/KrelAccessException.h"
#include "exception/KrelIllegalArgumentException.h"
#include "exception/KrelUnknownException.h"
#include "platform/WinBase.h"
#include "platform/WinProcess.h"
#include "thread/Concurrency.h"
#include "windows/ProcessPimpl.h"

namespace krel_std {

namespace {

// The Windows priority class of each ProcessPriority value, in the enumeration's order.
const DWORD PRIORITY_CLASSES[] = {REALTIME_PRIORITY_CLASS,     HIGH_PRIORITY_CLASS,
                                  ABOVE_NORMAL_PRIORITY_CLASS, NORMAL_PRIORITY_CLASS,
                                  BELOW_NORMAL_PRIORITY_CLASS, IDLE_PRIORITY_CLASS};
const int PRIORITY_COUNT = sizeof(PRIORITY_CLASSES) / sizeof(PRIORITY_CLASSES[0]);

} // namespace

const int Process::DEFAULT_MAX_WAIT_TIME = 30000;

Process::Process(const File& executable, const std::wstring& arguments,
                 const File& workingDirectory)
    : pimpl(new krel_std_internal::ProcessPimpl(executable.getCanonicalPath(),
                                                L"\"" + executable.getName() + L"\" " + arguments,
                                                workingDirectory.getCanonicalPath())),
      maxWaitTime(DEFAULT_MAX_WAIT_TIME), path(executable.getAbsoluteFile()),
      id(pimpl->getProcessId()) {}

Process::Process(const boost::shared_ptr<krel_std_internal::ProcessPimpl>& pimpl)
    : pimpl(pimpl), maxWaitTime(DEFAULT_MAX_WAIT_TIME), path(File(L"Unknown").getAbsoluteFile()),
      id(pimpl->getProcessId()) {}

Process::~Process() {}

std::wstring Process::toString() const {
    return L"Process{path='" + path.getCanonicalPath() + L"'}";
}

boost::shared_ptr<Process> Process::getProcessByName(const std::wstring& name) {
    return boost::shared_ptr<Process>(
        new Process(krel_std_internal::ProcessPimpl::getProcessByName(name)));
}

boost::shared_ptr<Process> Process::getCurrentProcess() {
    HANDLE handle = ::GetCurrentProcess();
    if (handle == nullptr) {
        throw KrelAccessException(L"Unable to get current process");
    }
    return boost::shared_ptr<Process>(
        new Process(boost::shared_ptr<krel_std_internal::ProcessPimpl>(
            new krel_std_internal::ProcessPimpl(handle))));
}

unsigned int Process::getCurrentProcessId() {
    return ::GetCurrentProcessId();
}

unsigned int Process::getId() const {
    return id;
}

void Process::setMaxWaitTime(long milliseconds) {
    maxWaitTime = milliseconds < 0 ? 0 : milliseconds;
}

std::wstring Process::getProcessName() const {
    return path.getName();
}

std::wstring Process::getProcessPath() const {
    return path.getCanonicalPath();
}

Process::ProcessPriority Process::getPriority() {
    const DWORD priorityClass = pimpl->getPriorityClass();
    for (int index = 0; index < PRIORITY_COUNT; ++index) {
        if (PRIORITY_CLASSES[index] == priorityClass) {
            return static_cast<ProcessPriority>(index);
        }
    }
    const int error = ErrorUtils::getLastError();
    throw KrelAccessException(L"Unable to access process priority status: " +
                                  ErrorUtils::getErrorDescription(error),
                              error);
}

void Process::setPriority(ProcessPriority priority) {
    const int value = static_cast<int>(priority);
    if (value < 0 || value >= PRIORITY_COUNT) {
        throw KrelIllegalArgumentException(L"Attempted to set an invalid priority value: " +
                                           std::to_wstring(value));
    }
    if (!pimpl->setPriorityClass(PRIORITY_CLASSES[value])) {
        const int error = ErrorUtils::getLastError();
        throw KrelAccessException(
            L"Unable to change process priority" + ErrorUtils::getErrorDescription(error), error);
    }
}

void Process::signalShutdown(const std::wstring& eventName) {
    krel_std_internal::ProcessPimpl::signalStop(eventName);
}

boost::shared_ptr<Event> Process::getShutdownEvent() {
    return pimpl->getTerminationEvent();
}

void Process::stop(const std::wstring& eventName) {
    try {
        krel_std_internal::ProcessPimpl::signalStop(eventName);
        if (Concurrency::waitForSingleObject(*pimpl->getTerminationEvent(), maxWaitTime) != 0) {
            pimpl->killProcess();
        }
    } catch (const KrelUnknownException&) {
        pimpl->killProcess();
    }
}

bool Process::isRunning() {
    return pimpl->isRunning();
}

int Process::getExitCode() {
    return pimpl->getReturnCode();
}

} // namespace krel_std
