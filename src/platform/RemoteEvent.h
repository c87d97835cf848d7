// An event whose name another process holds (see EventNameServer.h).
#pragma once

#include <string>

#include "platform/KernelEvent.h"

namespace krel_platform {

// Mirrors the holder's state in a local event, updated from the connection whenever the state
// is tested. Set, reset and pulse are carried out by the holder before they return. When the
// holder goes, the event lives on as a local one in its last state.
class RemoteEvent : public KernelObject {
public:
    // A connection to the channel file at path whose holder runs under this process's user;
    // -1 when nobody listens there (errno ENOENT or ECONNREFUSED), another user answers (EPERM:
    // its answers are never taken), or the holder does not take the connection (ETIMEDOUT).
    static int openChannel(const std::string& path);
    // Empty, errno as openChannel's, or ECONNRESET when the connection closes before the holder
    // tells the state (the holder refuses this process or has gone meanwhile), or ETIMEDOUT
    // when it does not answer.
    static std::shared_ptr<RemoteEvent> connect(const std::string& path, bool manualReset);
    ~RemoteEvent() override;

    int waitDescriptor() const override;
    bool isSignaledFor(DWORD threadId) const override;
    void acquire(DWORD threadId) override;
    void addWaiter(WaitContext& context) override;
    void removeWaiter(WaitContext& context) override;

    // Sends 'S', 'R' or 'P' and waits for the holder's answer (at most a few seconds: a holder
    // that does not take or answer the request fails the call with ERROR_TIMEOUT). Called
    // without the state mutex.
    DWORD request(char command);

private:
    RemoteEvent(int descriptor, bool manualReset, std::shared_ptr<KernelEvent> mirror);
    // Applies what the holder sent; with the state mutex held.
    void drain() const;
    void applyLocally(char command);

    int descriptor;
    bool manualReset;
    std::shared_ptr<KernelEvent> mirror;
    mutable bool connected;
    mutable int answers;
};

} // namespace krel_platform
