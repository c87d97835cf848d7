// What the three parts of the service manager share: the calls of a client to running services
// (WinService.cpp), the service database in the registry (WinServiceDatabase.cpp) and the
// dispatcher in a service's own process (WinServiceDispatcher.cpp).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/WinBase.h"
#include "platform/WinHandles.h"
#include "platform/WinService.h"

namespace krel_platform {
namespace service_manager {

// The environment variable that names the service to the process started as it.
constexpr char kMarker[] = "KREL_SERVICE_NAME";

// The records a running service takes on its socket and answers.
enum RequestKind : uint32_t { QueryRequest = 0, ControlRequest = 1, SystemControlRequest = 2 };
struct ServiceRequest {
    uint32_t kind;
    uint32_t code;
};
struct ServiceReply {
    uint32_t error;
    SERVICE_STATUS status;
};

class ServiceObject : public krel_platform::KernelObject {
public:
    explicit ServiceObject(const std::wstring& serviceName) : name(serviceName) {}
    const std::wstring name;
};

inline BOOL fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

inline std::shared_ptr<ServiceObject> serviceOf(SC_HANDLE handle) {
    return referenceHandleAs<ServiceObject>(reinterpret_cast<HANDLE>(handle));
}

// A service name: not empty, without a path separator.
bool isValidName(LPCWSTR name);
// Service names compare without regard to case.
bool sameName(const std::wstring& left, const std::wstring& right);
// The ImagePath of a service, false when the name has none (no such service).
bool readImagePath(const std::wstring& name, std::wstring& imagePath);
// A REG_DWORD value of the service's key; false when it has none.
bool readNumber(const std::wstring& name, const wchar_t* valueName, DWORD& number);
// The names in the service's DependOnService list.
std::vector<std::wstring> readDependencies(const std::wstring& name);

// How long a start waits for the started service to answer.
DWORD startTimeout();

} // namespace service_manager
} // namespace krel_platform
