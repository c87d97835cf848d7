// Scripted stand-ins for the application's side of a connection manager: an implementer with
// a call log, a listener that records what it hears and a heart-beat sender. Waits on them end
// after a generous bound so that a broken manager fails a test instead of hanging it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "connection/IConnectionImplementer.h"
#include "connection/IConnectionStatusListener.h"
#include "connection/ISendHeartBeat.h"
#include "exception/KrelConnectException.h"
#include "exception/KrelIllegalStateException.h"
#include "exception/KrelObjectNotFoundException.h"

namespace krel_test {

const std::chrono::seconds GENEROUS_WAIT(10);

// Knows the hosts given to it; refuses the indices marked so. Every call is logged as
// "use <i>", "establish <i>" or "disconnect".
class ScriptedImplementer : public krel_std::IConnectionImplementer {
public:
    explicit ScriptedImplementer(std::vector<std::wstring> hosts) : hosts(std::move(hosts)) {}

    std::wstring toString() override { return L"ScriptedImplementer"; }

    std::wstring useServiceConnectionInfo(int index) override {
        std::lock_guard<std::mutex> guard(mutex);
        record(L"use " + std::to_wstring(index));
        if (index < 0 || index >= static_cast<int>(hosts.size())) {
            throw krel_std::KrelObjectNotFoundException(L"No service " + std::to_wstring(index));
        }
        selected = index;
        return hosts[index];
    }

    void establishConnection() override {
        std::function<void()> hook;
        int index;
        {
            std::lock_guard<std::mutex> guard(mutex);
            index = selected;
            hook = beforeEstablish;
        }
        if (hook) {
            hook();
        }
        std::lock_guard<std::mutex> guard(mutex);
        record(L"establish " + std::to_wstring(index));
        if (runtimeFailures > 0) {
            --runtimeFailures;
            throw std::runtime_error("implementer broke");
        }
        if (refused.count(index) != 0) {
            throw krel_std::KrelConnectException(L"Refused " + std::to_wstring(index));
        }
    }

    void disconnectConnection() override {
        std::lock_guard<std::mutex> guard(mutex);
        record(L"disconnect");
        if (disconnectFailure) {
            disconnectFailure();
        }
    }

    void refuse(int index) {
        std::lock_guard<std::mutex> guard(mutex);
        refused.insert(index);
    }

    void accept(int index) {
        std::lock_guard<std::mutex> guard(mutex);
        refused.erase(index);
    }

    void failWithRuntimeError(int times) {
        std::lock_guard<std::mutex> guard(mutex);
        runtimeFailures = times;
    }

    // Runs on the establishing thread before each attempt, outside the fake's own lock.
    void setBeforeEstablish(std::function<void()> hook) {
        std::lock_guard<std::mutex> guard(mutex);
        beforeEstablish = std::move(hook);
    }

    void setDisconnectFailure(std::function<void()> failure) {
        std::lock_guard<std::mutex> guard(mutex);
        disconnectFailure = std::move(failure);
    }

    std::vector<std::wstring> calls() {
        std::lock_guard<std::mutex> guard(mutex);
        return log;
    }

    int count(const std::wstring& prefix) {
        std::lock_guard<std::mutex> guard(mutex);
        return countLocked(prefix);
    }

    void clearCalls() {
        std::lock_guard<std::mutex> guard(mutex);
        log.clear();
    }

    // Waits until at least n calls start with prefix.
    bool waitForCount(const std::wstring& prefix, int n) {
        std::unique_lock<std::mutex> guard(mutex);
        return changed.wait_for(guard, GENEROUS_WAIT, [&] { return countLocked(prefix) >= n; });
    }

private:
    void record(const std::wstring& call) {
        log.push_back(call);
        changed.notify_all();
    }

    int countLocked(const std::wstring& prefix) {
        int n = 0;
        for (const std::wstring& call : log) {
            n += call.compare(0, prefix.size(), prefix) == 0 ? 1 : 0;
        }
        return n;
    }

    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::wstring> hosts;
    std::set<int> refused;
    int selected = -1;
    int runtimeFailures = 0;
    std::function<void()> beforeEstablish;
    std::function<void()> disconnectFailure;
    std::vector<std::wstring> log;
};

// Records each status as "up <host>" or "down <host>"; may be told to throw on every call.
class RecordingListener : public krel_std::IConnectionStatusListener {
public:
    explicit RecordingListener(bool throwing = false) : throwing(throwing) {}

    std::wstring toString() override { return L"RecordingListener"; }

    void statusChanged(bool isUp, const std::wstring& host) override {
        {
            std::lock_guard<std::mutex> guard(mutex);
            heard.push_back((isUp ? L"up " : L"down ") + host);
            changed.notify_all();
        }
        if (throwing) {
            throw krel_std::KrelIllegalStateException(L"Listener refuses.");
        }
    }

    bool waitForCount(size_t n) {
        std::unique_lock<std::mutex> guard(mutex);
        return changed.wait_for(guard, GENEROUS_WAIT, [&] { return heard.size() >= n; });
    }

    std::vector<std::wstring> statuses() {
        std::lock_guard<std::mutex> guard(mutex);
        return heard;
    }

private:
    const bool throwing;
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::wstring> heard;
};

// Counts its beats; throws what it is told to after counting.
class ScriptedSender : public krel_std::ISendHeartBeat {
public:
    std::wstring toString() override { return L"ScriptedSender"; }

    void sendHeartBeat() override {
        std::function<void()> failure;
        {
            std::lock_guard<std::mutex> guard(mutex);
            ++beats;
            changed.notify_all();
            failure = failWith;
        }
        if (failure) {
            failure();
        }
    }

    void setFailure(std::function<void()> failure) {
        std::lock_guard<std::mutex> guard(mutex);
        failWith = std::move(failure);
    }

    bool waitForBeats(int n) {
        std::unique_lock<std::mutex> guard(mutex);
        return changed.wait_for(guard, GENEROUS_WAIT, [&] { return beats >= n; });
    }

    int count() {
        std::lock_guard<std::mutex> guard(mutex);
        return beats;
    }

private:
    std::mutex mutex;
    std::condition_variable changed;
    int beats = 0;
    std::function<void()> failWith;
};

} // namespace krel_test
