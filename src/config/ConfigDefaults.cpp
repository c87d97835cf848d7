#include "config/ConfigDefaults.h"

namespace krel_std_internal {

namespace {

const wchar_t* const NO_PARAMETER_MARKER = L"no parameter passed in";

struct State {
    std::mutex mutex;
    KrelStd::SWString path;
    // The code page 0 form of path, made when path changes, so that handing it out never
    // moves a text that an earlier caller still reads.
    std::string narrowPath;
    FILE* listStream = nullptr;
};

State& state() {
    static State& shared = *new State;
    return shared;
}

} // namespace

ConfigDefaults::Guard::Guard() : lock(state().mutex) {}

KrelStd::SWString ConfigDefaults::resolve(const Guard& guard, const KrelStd::SWString& file) {
    if (file.empty()) {
        return state().path;
    }
    if (state().path.empty()) {
        setPath(guard, file);
    }
    return file;
}

void ConfigDefaults::setPath(const Guard&, const KrelStd::SWString& path) {
    if (static_cast<const std::wstring&>(path) == NO_PARAMETER_MARKER) {
        return;
    }
    // Both texts are made before either is stored: running out of memory keeps the old pair.
    KrelStd::SWString wide(path);
    std::string narrow(wide.mb_str(0));
    state().path.swap(wide);
    state().narrowPath.swap(narrow);
}

const char* ConfigDefaults::narrowPath(const Guard&) {
    return state().narrowPath.c_str();
}

const wchar_t* ConfigDefaults::widePath(const Guard&) {
    return state().path.c_str();
}

FILE*& ConfigDefaults::listStream(const Guard&) {
    return state().listStream;
}

} // namespace krel_std_internal
