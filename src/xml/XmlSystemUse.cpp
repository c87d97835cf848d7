#include "xml/XmlSystemUse.h"

#include <condition_variable>
#include <mutex>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/XMLUni.hpp>

#include "exception/KrelXmlException.h"

namespace krel_std {

namespace {

// The parser library's state. Other threads may still parse while the process exits and the
// library's unload hook stops the parser, so the state is never destroyed.
struct XmlSystemState {
    std::mutex mutex;
    std::condition_variable usesEnded;
    bool running = false;
    // Starts not yet matched by a stop: the library is open to uses while any is left.
    unsigned int starts = 0;
    unsigned int uses = 0;
};

XmlSystemState& state() {
    static XmlSystemState& shared = *new XmlSystemState;
    return shared;
}

} // namespace

XmlSystemUse::XmlSystemUse(const wchar_t* context) {
    XmlSystemState& shared = state();
    {
        std::lock_guard<std::mutex> guard(shared.mutex);
        if (shared.running) {
            ++shared.uses;
            return;
        }
    }
    KrelXmlException error(L"XML system is not running.");
    error.logDebug(context);
    throw error;
}

XmlSystemUse::~XmlSystemUse() {
    XmlSystemState& shared = state();
    std::lock_guard<std::mutex> guard(shared.mutex);
    if (--shared.uses == 0) {
        shared.usesEnded.notify_all();
    }
}

bool XmlSystemUse::isAvailable() {
    XmlSystemState& shared = state();
    std::lock_guard<std::mutex> guard(shared.mutex);
    return shared.running;
}

void XmlSystemUse::start() {
    XmlSystemState& shared = state();
    std::lock_guard<std::mutex> guard(shared.mutex);
    xercesc::XMLPlatformUtils::Initialize(xercesc::XMLUni::fgXercescDefaultLocale, nullptr, nullptr,
                                          nullptr);
    ++shared.starts;
    shared.running = true;
}

unsigned int XmlSystemUse::stop(std::chrono::milliseconds limit) {
    XmlSystemState& shared = state();
    std::unique_lock<std::mutex> guard(shared.mutex);
    if (shared.starts == 0) {
        return 0;
    }
    if (--shared.starts > 0) {
        // The parser library counts its starts too: this stop only matches one of them.
        xercesc::XMLPlatformUtils::Terminate();
        return 0;
    }
    shared.running = false;
    if (!shared.usesEnded.wait_for(guard, limit, [&shared] { return shared.uses == 0; })) {
        return shared.uses;
    }
    xercesc::XMLPlatformUtils::Terminate();
    return 0;
}

} // namespace krel_std
