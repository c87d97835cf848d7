#include "service/NTServiceController.h"

#include <condition_variable>
#include <mutex>

#include "base/InternalTrace.h"
#include "base/LogFunctionCall.h"
#include "exception/KrelIOException.h"
#include "internal/GuardedCall.h"
#include "platform/WinBase.h"
#include "platform/WinSignal.h"
#include "service/AbstractService.h"
#include "service/NTServiceLogger.h"
#include "thread/Concurrency.h"
#include "thread/Event.h"
#include "thread/Thread.h"
#include "windows/ServiceStateTexts.h"

namespace krel_std {

namespace {

const wchar_t START_FUNCTION[] = L"krel_std::NTServiceController::serviceStartFunction";
const wchar_t HANDLE_EVENT[] = L"krel_std::NTServiceController::handleServiceEvent";
const wchar_t SIGNAL_HANDLER[] = L"krel_std::NTServiceController::defaultServiceSignalHandler";
const wchar_t SET_STATUS[] = L"krel_std::NTServiceController::setServiceStatus";
const wchar_t START[] = L"krel_std::NTServiceController::start";

void traceAtDebug(const wchar_t* context, KrelException& exception) {
    exception.logDebug(context);
}

// Counts the control and signal handler calls running on a controller, so that a controller
// being destroyed waits until none of them touches it any more. A call on the destroying thread
// itself (a handler that destroys its controller) is not waited for.
std::mutex callsMutex;
std::condition_variable callsEnded;
int callsInFlight = 0;
thread_local int callsOnThisThread = 0;

// The current controller, counted as in use until leaveCall; nullptr when there is none.
NTServiceController* enterCall(const std::atomic<NTServiceController*>& current) {
    std::lock_guard<std::mutex> lock(callsMutex);
    NTServiceController* controller = current.load();
    if (controller != nullptr) {
        ++callsInFlight;
        ++callsOnThisThread;
    }
    return controller;
}

void leaveCall() {
    std::lock_guard<std::mutex> lock(callsMutex);
    --callsInFlight;
    --callsOnThisThread;
    callsEnded.notify_all();
}

// Leaves the call however the handler ends.
struct CallScope {
    explicit CallScope(NTServiceController* controller) : entered(controller != nullptr) {}
    ~CallScope() {
        if (entered) {
            leaveCall();
        }
    }
    CallScope(const CallScope&) = delete;
    CallScope& operator=(const CallScope&) = delete;
    const bool entered;
};

} // namespace

// What the waiting service main function shares with its controller: it keeps it alive when
// the controller goes while it waits.
struct NTServiceController::SharedState {
    Event stopEvent{false, false};
    SERVICE_STATUS serviceStatus{SERVICE_WIN32_OWN_PROCESS,
                                 SERVICE_STOPPED,
                                 SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN,
                                 0,
                                 0,
                                 0,
                                 0};
    std::atomic<SERVICE_STATUS_HANDLE> statusHandle{nullptr};
    std::atomic<bool> reportStopped{true};
    std::atomic<bool> released{false};
};

std::atomic<NTServiceController*> NTServiceController::instance{nullptr};

NTServiceController::NTServiceController(AbstractService* service)
    : ServiceController(service), state(std::make_shared<SharedState>()) {
    instance.store(this);
    if (callServiceInForeground()) {
        registerDefaultSignalHandlers();
    }
}

NTServiceController::~NTServiceController() {
    {
        std::lock_guard<std::mutex> lock(callsMutex);
        NTServiceController* self = this;
        instance.compare_exchange_strong(self, nullptr);
    }
    state->released.store(true);
    state->stopEvent.signal();
    // A handler that found this controller before it was cleared may still be using it.
    std::unique_lock<std::mutex> lock(callsMutex);
    callsEnded.wait(lock, [] { return callsInFlight == callsOnThisThread; });
}

std::wstring NTServiceController::toString() const {
    return L"NTServiceController{}";
}

void NTServiceController::registerDefaultSignalHandlers() {
    for (int signal : {SIGINT, SIGTERM, SIGBREAK, SIGABRT}) {
        registerServiceSignalHandler(signal, &NTServiceController::defaultServiceSignalHandler);
    }
}

void NTServiceController::start() {
    std::wstring name = service->getServiceName();
    SERVICE_TABLE_ENTRYW table[] = {{&name[0], &NTServiceController::serviceStartFunction},
                                    {nullptr, nullptr}};
    KREL_INTERNAL_TRACE(START, L"Calling StartServiceCtrlDispatcher");
    if (StartServiceCtrlDispatcherW(table)) {
        return;
    }
    const DWORD error = GetLastError();
    const std::wstring prefix = L"Failed to start service control dispatcher: ";
    switch (error) {
    case ERROR_INVALID_DATA:
        throw KrelIOException(prefix + L"The specified dispatch table contains entries that are "
                                       L"not in the proper format.",
                              static_cast<int>(error));
    case ERROR_SERVICE_ALREADY_RUNNING:
        throw KrelIOException(prefix + L"This service is already running.",
                              static_cast<int>(error));
    case ERROR_FAILED_SERVICE_CONTROLLER_CONNECT:
        throw KrelIOException(prefix + L"The service is not being run as a service (possible "
                                       L"being run via the console?).",
                              static_cast<int>(error));
    default:
        return;
    }
}

void NTServiceController::stop(bool reportStopped) {
    state->reportStopped.store(reportStopped);
    handleServiceEvent(SERVICE_CONTROL_STOP);
}

void NTServiceController::serviceStartFunction(DWORD, wchar_t**) {
    NTServiceController* controller = instance.load();
    if (controller == nullptr) {
        return;
    }
    KREL_TRACE_SCOPE(START_FUNCTION);
    krel_std_internal::callGuarded(
        START_FUNCTION, [] { return std::wstring(L"The service main function"); },
        [controller] { runServiceMain(*controller); });
}

void NTServiceController::runServiceMain(NTServiceController& controller) {
    // Held to the end: the controller may be destroyed while this waits.
    const std::shared_ptr<SharedState> shared = controller.state;
    const NTServiceLogger& logger = NTServiceLogger::getInstance();
    const std::wstring name = controller.service->getServiceName();
    const SERVICE_STATUS_HANDLE handle =
        RegisterServiceCtrlHandlerW(name.c_str(), &NTServiceController::handleServiceEvent);
    shared->statusHandle.store(handle);
    if (handle == nullptr) {
        logger.SL1005(START_FUNCTION);
        const DWORD error = GetLastError();
        const std::wstring prefix = L"Failed to register the service control handler: ";
        if (error == ERROR_INVALID_NAME || error == ERROR_SERVICE_DOES_NOT_EXIST) {
            KrelIOException failure(prefix + (error == ERROR_INVALID_NAME
                                                  ? L"The service name is invalid."
                                                  : L"The service does not exist."),
                                    static_cast<int>(error));
            traceAtDebug(START_FUNCTION, failure);
            return;
        }
    }
    controller.setServiceStatus(SERVICE_START_PENDING);
    shared->stopEvent.reset();
    const bool started = krel_std_internal::callGuarded(
        START_FUNCTION, [] { return std::wstring(L"The service's onStart"); },
        [&controller] { controller.callServiceOnStart(); });
    if (!started) {
        reportStatus(*shared, SERVICE_STOPPED);
        return;
    }
    Thread serviceThread(boost::shared_ptr<Runnable>(controller.service, [](Runnable*) {}), L"");
    serviceThread.setJoinOnDestruct(true);
    serviceThread.start();
    controller.setServiceStatus(SERVICE_RUNNING);
    logger.SL4007(START_FUNCTION);
    if (!shared->released.load()) {
        Concurrency::waitForSingleObject(shared->stopEvent, -1);
    }
    if (shared->reportStopped.load() && !shared->released.load()) {
        reportStatus(*shared, SERVICE_STOPPED);
        logger.SL4011(START_FUNCTION);
    }
}

void NTServiceController::handleServiceEvent(DWORD controlCode) {
    NTServiceController* controller = enterCall(instance);
    const CallScope scope(controller);
    if (controller == nullptr) {
        return;
    }
    krel_std_internal::callGuarded(
        HANDLE_EVENT, [] { return std::wstring(L"The service's control handling"); },
        [controller, controlCode] { controller->handleControl(controlCode); });
}

void NTServiceController::handleControl(DWORD controlCode) {
    const NTServiceLogger& logger = NTServiceLogger::getInstance();
    KREL_INTERNAL_TRACE(HANDLE_EVENT, L"Begin.  Control Code:[%lu:%ls]",
                        static_cast<unsigned long>(controlCode),
                        controlCodeToString(controlCode).c_str());
    switch (controlCode) {
    case SERVICE_CONTROL_STOP:
        logger.SL4008(HANDLE_EVENT);
        if (state->reportStopped.load()) {
            setServiceStatus(SERVICE_STOP_PENDING);
        }
        callServiceOnStop();
        state->stopEvent.signal();
        break;
    case SERVICE_CONTROL_PAUSE:
        logger.SL4009(HANDLE_EVENT);
        setServiceStatus(SERVICE_PAUSE_PENDING);
        setServiceStatus(SERVICE_PAUSED);
        logger.SL4010(HANDLE_EVENT);
        break;
    case SERVICE_CONTROL_CONTINUE:
        logger.SL4012(HANDLE_EVENT);
        setServiceStatus(SERVICE_CONTINUE_PENDING);
        setServiceStatus(SERVICE_RUNNING);
        break;
    case SERVICE_CONTROL_INTERROGATE:
        logger.SL4013(HANDLE_EVENT);
        break;
    case SERVICE_CONTROL_SHUTDOWN:
        logger.SL4014(HANDLE_EVENT);
        setServiceStatus(SERVICE_STOP_PENDING);
        callServiceOnStop();
        state->stopEvent.signal();
        break;
    default:
        logger.SL4015(HANDLE_EVENT);
        logger.SL2000(HANDLE_EVENT);
        break;
    }
    KREL_INTERNAL_TRACE(
        HANDLE_EVENT, L"End with Updated status (%lu, %lu)",
        static_cast<unsigned long>(reinterpret_cast<uintptr_t>(state->statusHandle.load())),
        static_cast<unsigned long>(state->serviceStatus.dwCurrentState));
}

void NTServiceController::defaultServiceSignalHandler(int) {
    NTServiceController* controller = enterCall(instance);
    const CallScope scope(controller);
    if (controller == nullptr) {
        return;
    }
    krel_std_internal::callGuarded(
        SIGNAL_HANDLER, [] { return std::wstring(L"Stopping the service"); },
        [controller] { controller->stop(true); });
}

void NTServiceController::setServiceStatus(DWORD serviceState) {
    reportStatus(*state, serviceState);
}

void NTServiceController::reportStatus(SharedState& shared, DWORD serviceState) {
    const SERVICE_STATUS_HANDLE handle = shared.statusHandle.load();
    KREL_INTERNAL_TRACE(SET_STATUS, L"Status(%lu, %lu - %ls)",
                        static_cast<unsigned long>(reinterpret_cast<uintptr_t>(handle)),
                        static_cast<unsigned long>(serviceState),
                        serviceStatusToString(serviceState).c_str());
    shared.serviceStatus.dwCurrentState = serviceState;
    // Without a status handle (a service in the foreground) there is no one to tell.
    if (handle == nullptr || SetServiceStatus(handle, &shared.serviceStatus)) {
        return;
    }
    const DWORD error = GetLastError();
    const std::wstring prefix = L"Failed to set service status: ";
    if (error == ERROR_INVALID_DATA) {
        throw KrelIOException(prefix + L"The specified service status structure is invalid.",
                              static_cast<int>(error));
    }
    if (error == ERROR_INVALID_HANDLE) {
        throw KrelIOException(prefix + L"The specified handle is invalid.",
                              static_cast<int>(error));
    }
}

std::wstring NTServiceController::serviceStatusToString(DWORD state) {
    return krel_std_internal::serviceStateText(state);
}

std::wstring NTServiceController::controlCodeToString(DWORD controlCode) {
    return krel_std_internal::controlCodeText(controlCode);
}

} // namespace krel_std
