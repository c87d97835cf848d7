// Runs a service under the service control manager.
#pragma once

#include <atomic>
#include <memory>

#include "platform/WinService.h"
#include "service/ServiceController.h"

namespace krel_std {

// Enters the service control dispatcher, supplies the service main function and the control
// handler, reports the service's states and runs the service's run() on a thread of its own.
// One controller per process: the static functions act on the most recently made one.
class NTServiceController : public ServiceController {
public:
    // Registers the default signal handler when the service already runs in the foreground.
    explicit NTServiceController(AbstractService* service);
    // Ends a service main function still waiting for the stop and makes this controller
    // unreachable to late controls and signals. Neither throws nor calls into the service.
    ~NTServiceController() override;

    // "NTServiceController{}".
    std::wstring toString() const override;
    // Enters the dispatcher; returns when it returns. Throws KrelIOException for a malformed
    // table (13), a service already running (1056) and a program not run as a service (1063).
    void start() override;
    // Handles a stop control as the control handler does, after storing reportStopped.
    void stop(bool reportStopped) override;

    // The part of a controller the service main function keeps while it waits, so that the
    // controller may go meanwhile.
    struct SharedState;

private:
    static void runServiceMain(NTServiceController& controller);
    static void reportStatus(SharedState& state, DWORD serviceState);
    static void serviceStartFunction(DWORD argc, wchar_t** argv);
    static void handleServiceEvent(DWORD controlCode);
    static void defaultServiceSignalHandler(int signal);
    static std::wstring serviceStatusToString(DWORD state);
    static std::wstring controlCodeToString(DWORD controlCode);

    void setServiceStatus(DWORD state);
    void handleControl(DWORD controlCode);
    void registerDefaultSignalHandlers();

    std::shared_ptr<SharedState> state;
    static std::atomic<NTServiceController*> instance;
};

} // namespace krel_std
