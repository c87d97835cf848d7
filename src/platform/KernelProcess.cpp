#include "platform/KernelProcess.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace krel_platform {

ChildTable& ChildTable::instance() {
    static ChildTable& table = *new ChildTable;
    return table;
}

void ChildTable::add(pid_t pid, int pidDescriptor) {
    std::lock_guard<std::mutex> guard(mutex);
    sweepLocked();
    Child& child = children[pid];
    child.descriptor = fcntl(pidDescriptor, F_DUPFD_CLOEXEC, 3);
}

int ChildTable::duplicateDescriptor(pid_t pid) {
    std::lock_guard<std::mutex> guard(mutex);
    sweepLocked();
    auto entry = children.find(pid);
    return entry == children.end() ? -1 : fcntl(entry->second.descriptor, F_DUPFD_CLOEXEC, 3);
}

void ChildTable::retain(pid_t pid) {
    std::lock_guard<std::mutex> guard(mutex);
    auto entry = children.find(pid);
    if (entry != children.end()) {
        ++entry->second.handles;
    }
}

void ChildTable::release(pid_t pid) {
    std::lock_guard<std::mutex> guard(mutex);
    auto entry = children.find(pid);
    if (entry != children.end()) {
        --entry->second.handles;
    }
    sweepLocked();
}

bool ChildTable::exitCode(pid_t pid, DWORD& code) {
    std::lock_guard<std::mutex> guard(mutex);
    sweepLocked();
    auto entry = children.find(pid);
    if (entry == children.end() || !entry->second.reaped) {
        return false;
    }
    code = entry->second.code;
    return true;
}

void ChildTable::setTerminationCode(pid_t pid, DWORD code) {
    std::lock_guard<std::mutex> guard(mutex);
    auto entry = children.find(pid);
    if (entry != children.end() && !entry->second.reaped && !entry->second.terminated) {
        entry->second.terminated = true;
        entry->second.terminationCode = code;
    }
}

void ChildTable::sweep() {
    std::lock_guard<std::mutex> guard(mutex);
    sweepLocked();
}

void ChildTable::sweepLocked() {
    for (auto entry = children.begin(); entry != children.end();) {
        Child& child = entry->second;
        if (!child.reaped) {
            reap(child);
        }
        if (child.reaped && child.handles <= 0) {
            close(child.descriptor);
            entry = children.erase(entry);
        } else {
            ++entry;
        }
    }
}

// A child killed after TerminateProcess answers the code given; another signal 128 + its number.
void ChildTable::reap(Child& child) {
    siginfo_t info{};
    if (waitid(static_cast<idtype_t>(P_PIDFD), static_cast<id_t>(child.descriptor), &info,
               WEXITED | WNOHANG) != 0) {
        if (errno == ECHILD) {
            // Reaped by someone else (a host's own SIGCHLD handler): the code is lost.
            child.reaped = true;
            child.code = 0;
        }
        return;
    }
    if (info.si_pid == 0) {
        return;
    }
    child.reaped = true;
    if (info.si_code == CLD_EXITED) {
        child.code = static_cast<DWORD>(info.si_status);
    } else if (child.terminated && info.si_status == SIGKILL) {
        child.code = child.terminationCode;
    } else {
        child.code = 128u + static_cast<DWORD>(info.si_status);
    }
}

std::shared_ptr<KernelProcess> KernelProcess::open(pid_t pid) {
    int descriptor = ChildTable::instance().duplicateDescriptor(pid);
    if (descriptor >= 0) {
        return std::shared_ptr<KernelProcess>(new KernelProcess(pid, descriptor, true));
    }
    descriptor = pidfd_open(pid, 0);
    if (descriptor < 0) {
        return nullptr;
    }
    return std::shared_ptr<KernelProcess>(new KernelProcess(pid, descriptor, false));
}

std::shared_ptr<KernelProcess> KernelProcess::adopt(pid_t pid, int pidDescriptor) {
    ChildTable::instance().add(pid, pidDescriptor);
    return std::shared_ptr<KernelProcess>(new KernelProcess(pid, pidDescriptor, true));
}

KernelProcess::KernelProcess(pid_t pid, int descriptor, bool child)
    : pid(pid), descriptor(descriptor), child(child) {
    if (child) {
        ChildTable::instance().retain(pid);
    }
}

KernelProcess::~KernelProcess() {
    close(descriptor);
    if (child) {
        ChildTable::instance().release(pid);
    }
}

bool KernelProcess::isSignaledFor(DWORD) const {
    return hasEnded();
}

bool KernelProcess::hasEnded() const {
    pollfd polled{descriptor, POLLIN, 0};
    return poll(&polled, 1, 0) == 1 && (polled.revents & (POLLIN | POLLHUP)) != 0;
}

} // namespace krel_platform
