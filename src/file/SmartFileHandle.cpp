#include "file/SmartFileHandle.h"

#include "platform/WinCrtFile.h"

namespace krel_std {

SmartFileHandle<int>::SmartFileHandle(int descriptor) : descriptor(descriptor) {}

SmartFileHandle<int>::~SmartFileHandle() {
    close();
}

SmartFileHandle<int>& SmartFileHandle<int>::operator=(int newDescriptor) {
    if (newDescriptor != descriptor) {
        close();
        descriptor = newDescriptor;
    }
    return *this;
}

int SmartFileHandle<int>::close() {
    if (descriptor < 0) {
        return 0;
    }
    const int result = _close(descriptor);
    descriptor = -1;
    return result;
}

SmartFileHandle<FILE*>::SmartFileHandle(const std::wstring& path, const std::wstring& mode)
    : stream(path.empty() || mode.empty() ? nullptr : _wfopen(path.c_str(), mode.c_str())) {}

SmartFileHandle<FILE*>::~SmartFileHandle() {
    if (stream != nullptr) {
        fclose(stream);
    }
}

} // namespace krel_std
