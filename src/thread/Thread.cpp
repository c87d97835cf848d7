#include "thread/Thread.h"

#include "base/LogFunctionCall.h"
#include "internal/ThreadIdMap.h"
#include "internal/ThreadPimpl.h"
#include "platform/WinBase.h"
#include "thread/Concurrency.h"

using krel_std_internal::ThreadIdMap;
using krel_std_internal::ThreadPimpl;

namespace krel_std {

namespace {

const boost::shared_ptr<Runnable> NO_RUNNABLE;

} // namespace

Thread::Thread() : Thread(std::wstring()) {}

Thread::Thread(const std::wstring& name)
    : Waitable(false, true), pimpl(new ThreadPimpl(*this, NO_RUNNABLE)), joinOnDestruct(false),
      name(name) {}

Thread::Thread(const boost::shared_ptr<Runnable>& runnable, const std::wstring& name)
    : Waitable(false, true), pimpl(new ThreadPimpl(*this, runnable)), joinOnDestruct(true),
      name(name) {}

Thread::~Thread() {
    if (joinOnDestruct && pimpl->getState() == RUNNING && !pimpl->isCurrentThread()) {
        Concurrency::waitForSingleObject(*this, -1);
    }
    pimpl->releaseOwner();
}

std::wstring Thread::toString() const {
    return L"Thread{name='" + name + L"'}";
}

void Thread::run() {
    const boost::shared_ptr<Runnable>& runnable = pimpl->getRunnable();
    if (runnable) {
        runnable->run();
    }
}

void Thread::start() {
    KREL_TRACE_SCOPE(L"krel_std::Thread::start");
    ThreadPimpl::start(pimpl, name);
}

void Thread::cancel() {
    KREL_TRACE_SCOPE(L"krel_std::Thread::cancel");
    pimpl->cancel();
    signal();
}

bool Thread::join(long ms) {
    return Concurrency::waitForSingleObject(*this, ms) == 0;
}

int Thread::waitForStart(long ms) {
    return Concurrency::waitForSingleObject(pimpl->getStarted(), ms) == 0 ? 0 : -1;
}

Thread::ThreadState Thread::getState() {
    return pimpl->getState();
}

uint64_t Thread::getId() const {
    return pimpl->getId();
}

Thread::ThreadPriority Thread::getPriority() {
    return pimpl->getPriority();
}

void Thread::setPriority(ThreadPriority priority) {
    pimpl->setPriority(priority);
}

std::wstring Thread::getName() const {
    return name;
}

void Thread::setName(const std::wstring& newName) {
    name = newName;
}

bool Thread::isJoinOnDestruct() {
    return joinOnDestruct;
}

void Thread::setJoinOnDestruct(bool join) {
    joinOnDestruct = join;
}

void Thread::sleep(long ms) {
    const long longest = static_cast<long>(INFINITE) - 1;
    ::Sleep(static_cast<DWORD>(ms < 0 ? 0 : (ms > longest ? longest : ms)));
}

uint64_t Thread::getCurrentThreadId() {
    return ::GetCurrentThreadId();
}

void clearThreadIdMap() {
    KREL_TRACE_SCOPE(L"krel_std::clearThreadIdMap");
    ThreadIdMap::getInstance().clear();
}

} // namespace krel_std
