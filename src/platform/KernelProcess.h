// The process kind of the kernel-object stand-in, and the table that reaps this process's
// children.
#pragma once

#include <map>
#include <memory>
#include <sys/types.h>

#include "platform/WinHandles.h"

// This C library's header declares the pidfd calls without C linkage.
extern "C" {
#include <sys/pidfd.h>
}

namespace krel_platform {

// Every child started by CreateProcessW, until it has been reaped and its last handle closed.
// Each access first reaps the children that have ended (waitid on the table's own pidfd,
// WNOHANG), so a child whose handles were all closed leaves no zombie past the next access.
class ChildTable {
public:
    static ChildTable& instance();

    // Enters a new child; the table keeps its own duplicate of the pidfd.
    void add(pid_t pid, int pidDescriptor);
    // A new pidfd of a child whose entry is still here (also after it ended, while it has
    // handles, as Windows keeps an ended process while handles of it are open), or -1.
    int duplicateDescriptor(pid_t pid);
    // The handle count of a child's entry; an entry without handles goes once reaped.
    void retain(pid_t pid);
    void release(pid_t pid);
    // Whether the child has ended; its code then. Reaps it when it ended just now.
    bool exitCode(pid_t pid, DWORD& code);
    // The code a child ended by TerminateProcess answers.
    void setTerminationCode(pid_t pid, DWORD code);
    // Reaps every child that has ended.
    void sweep();

private:
    struct Child {
        int descriptor = -1;
        int handles = 0;
        bool reaped = false;
        bool terminated = false;
        DWORD terminationCode = 0;
        DWORD code = 0;
    };

    ChildTable() = default;
    void sweepLocked();
    static void reap(Child& child);

    std::mutex mutex;
    std::map<pid_t, Child> children;
};

// A process handle: a pidfd, readable once the process has ended.
class KernelProcess : public KernelObject {
public:
    // Empty (errno set) when the process cannot be opened.
    static std::shared_ptr<KernelProcess> open(pid_t pid);
    // Adopts a pidfd of a child just started.
    static std::shared_ptr<KernelProcess> adopt(pid_t pid, int pidDescriptor);
    ~KernelProcess() override;

    int waitDescriptor() const override { return descriptor; }
    bool isSignaledFor(DWORD threadId) const override;

    pid_t getPid() const { return pid; }
    int getDescriptor() const { return descriptor; }
    bool isChild() const { return child; }
    bool hasEnded() const;

private:
    KernelProcess(pid_t pid, int descriptor, bool child);

    pid_t pid;
    int descriptor;
    bool child;
};

} // namespace krel_platform
