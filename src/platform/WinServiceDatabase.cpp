#include <algorithm>
#include <cstring>
#include <cwctype>
#include <string>
#include <vector>

#include "platform/RegistryHive.h"
#include "platform/RegistryStore.h"
#include "platform/Utf16.h"
#include "platform/WinBase.h"
#include "platform/WinHandles.h"
#include "platform/WinReg.h"
#include "platform/WinService.h"
#include "platform/WinServiceParts.h"

using namespace krel_platform::service_manager;

namespace {

const wchar_t SERVICES_KEY[] = L"SYSTEM\\CurrentControlSet\\Services\\";

class ManagerObject : public krel_platform::KernelObject {};

SC_HANDLE failHandle(DWORD error) {
    SetLastError(error);
    return nullptr;
}

std::wstring keyOf(const std::wstring& name) {
    return SERVICES_KEY + name;
}

// A whole value of the service's key, with its type; false when the key or the value is missing.
bool readServiceValue(const std::wstring& name, const wchar_t* valueName, DWORD& type,
                      std::vector<BYTE>& data) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyOf(name).c_str(), 0, KEY_READ, &key) !=
        ERROR_SUCCESS) {
        return false;
    }
    DWORD size = 0;
    bool found = RegQueryValueExW(key, valueName, nullptr, &type, nullptr, &size) == ERROR_SUCCESS;
    if (found) {
        data.assign(size, 0);
        found =
            RegQueryValueExW(key, valueName, nullptr, &type, data.data(), &size) == ERROR_SUCCESS;
        data.resize(size);
    }
    RegCloseKey(key);
    return found;
}

// The UTF-16 units of string data, up to its first NUL or its end.
std::u16string unitsOf(const std::vector<BYTE>& data) {
    std::u16string units(data.size() / sizeof(char16_t), u'\0');
    std::memcpy(&units[0], data.data(), units.size() * sizeof(char16_t));
    return units;
}

// Registry strings are UTF-16 data with their terminators.
LSTATUS setUnits(HKEY key, const wchar_t* name, DWORD type, const std::wstring& text) {
    const std::u16string units = krel_platform::wideToUtf16(text);
    return RegSetValueExW(key, name, 0, type, reinterpret_cast<const BYTE*>(units.data()),
                          static_cast<DWORD>(units.size() * sizeof(char16_t)));
}

LSTATUS setString(HKEY key, const wchar_t* name, DWORD type, const std::wstring& text) {
    return setUnits(key, name, type, text + L'\0');
}

LSTATUS setNumber(HKEY key, const wchar_t* name, DWORD number) {
    return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                          sizeof(number));
}

// The NUL-separated list ended by an empty string, with its final NULs.
std::wstring multiString(LPCWSTR list) {
    std::wstring text;
    for (LPCWSTR entry = list; *entry != L'\0'; entry += std::wcslen(entry) + 1) {
        text.append(entry, std::wcslen(entry) + 1);
    }
    text += L'\0';
    return text;
}

LSTATUS writeService(HKEY key, LPCWSTR displayName, DWORD serviceType, DWORD startType,
                     DWORD errorControl, LPCWSTR binaryPathName, LPCWSTR dependencies,
                     LPCWSTR serviceStartName) {
    LSTATUS status = setString(key, L"DisplayName", REG_SZ, displayName);
    if (status == ERROR_SUCCESS) {
        status = setNumber(key, L"Type", serviceType);
    }
    if (status == ERROR_SUCCESS) {
        status = setNumber(key, L"Start", startType);
    }
    if (status == ERROR_SUCCESS) {
        status = setNumber(key, L"ErrorControl", errorControl);
    }
    if (status == ERROR_SUCCESS && dependencies != nullptr && *dependencies != L'\0') {
        status = setUnits(key, L"DependOnService", REG_MULTI_SZ, multiString(dependencies));
    }
    if (status == ERROR_SUCCESS) {
        status = setString(key, L"ObjectName", REG_SZ,
                           serviceStartName != nullptr ? serviceStartName : L"LocalSystem");
    }
    // ImagePath last: a key becomes a service only once it is complete.
    if (status == ERROR_SUCCESS) {
        status = setString(key, L"ImagePath", REG_EXPAND_SZ, binaryPathName);
    }
    return status;
}

} // namespace

namespace krel_platform {
namespace service_manager {

bool isValidName(LPCWSTR name) {
    if (name == nullptr || *name == L'\0') {
        return false;
    }
    return std::wcspbrk(name, L"\\/") == nullptr;
}

bool sameName(const std::wstring& left, const std::wstring& right) {
    if (left.size() != right.size()) {
        return false;
    }
    for (size_t index = 0; index < left.size(); ++index) {
        if (std::towlower(left[index]) != std::towlower(right[index])) {
            return false;
        }
    }
    return true;
}

bool readImagePath(const std::wstring& name, std::wstring& imagePath) {
    DWORD type = 0;
    std::vector<BYTE> data;
    if (!readServiceValue(name, L"ImagePath", type, data) ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return false;
    }
    imagePath = krel_platform::utf16ToWide(unitsOf(data).c_str());
    return true;
}

bool readNumber(const std::wstring& name, const wchar_t* valueName, DWORD& number) {
    DWORD type = 0;
    std::vector<BYTE> data;
    if (!readServiceValue(name, valueName, type, data) || type != REG_DWORD ||
        data.size() != sizeof(number)) {
        return false;
    }
    std::memcpy(&number, data.data(), sizeof(number));
    return true;
}

std::vector<std::wstring> readDependencies(const std::wstring& name) {
    std::vector<std::wstring> names;
    DWORD type = 0;
    std::vector<BYTE> data;
    if (!readServiceValue(name, L"DependOnService", type, data) || type != REG_MULTI_SZ) {
        return names;
    }
    const std::u16string units = unitsOf(data);
    for (size_t at = 0; at < units.size() && units[at] != u'\0';) {
        const size_t end = std::min(units.find(u'\0', at), units.size());
        names.push_back(krel_platform::utf16ToWide(units.substr(at, end - at).c_str()));
        at = end + 1;
    }
    return names;
}

} // namespace service_manager
} // namespace krel_platform

SC_HANDLE OpenSCManagerW(LPCWSTR machineName, LPCWSTR databaseName, DWORD desiredAccess) {
    if ((machineName != nullptr && *machineName != L'\0') || databaseName != nullptr) {
        return failHandle(ERROR_INVALID_PARAMETER);
    }
    // Changing the database is an administrator's right: it needs a writable machine hive.
    if ((desiredAccess & SC_MANAGER_CREATE_SERVICE) != 0) {
        const std::shared_ptr<krel_platform::RegistryHive> hive =
            krel_platform::RegistryStore::instance().hive(
                krel_platform::RegistryStore::localMachine);
        if (hive == nullptr || !hive->isWritable()) {
            return failHandle(ERROR_ACCESS_DENIED);
        }
    }
    return reinterpret_cast<SC_HANDLE>(
        krel_platform::insertHandle(std::make_shared<ManagerObject>()));
}

SC_HANDLE OpenServiceW(SC_HANDLE manager, LPCWSTR serviceName, DWORD) {
    if (krel_platform::referenceHandleAs<ManagerObject>(reinterpret_cast<HANDLE>(manager)) ==
        nullptr) {
        return failHandle(ERROR_INVALID_HANDLE);
    }
    if (!isValidName(serviceName)) {
        return failHandle(ERROR_INVALID_NAME);
    }
    std::wstring imagePath;
    if (!readImagePath(serviceName, imagePath)) {
        return failHandle(ERROR_SERVICE_DOES_NOT_EXIST);
    }
    return reinterpret_cast<SC_HANDLE>(
        krel_platform::insertHandle(std::make_shared<ServiceObject>(serviceName)));
}

SC_HANDLE CreateServiceW(SC_HANDLE manager, LPCWSTR serviceName, LPCWSTR displayName, DWORD,
                         DWORD serviceType, DWORD startType, DWORD errorControl,
                         LPCWSTR binaryPathName, LPCWSTR, LPDWORD, LPCWSTR dependencies,
                         LPCWSTR serviceStartName, LPCWSTR) {
    if (krel_platform::referenceHandleAs<ManagerObject>(reinterpret_cast<HANDLE>(manager)) ==
        nullptr) {
        return failHandle(ERROR_INVALID_HANDLE);
    }
    if (!isValidName(serviceName)) {
        return failHandle(ERROR_INVALID_NAME);
    }
    if (binaryPathName == nullptr || *binaryPathName == L'\0') {
        return failHandle(ERROR_INVALID_PARAMETER);
    }
    std::wstring existing;
    if (readImagePath(serviceName, existing)) {
        return failHandle(ERROR_SERVICE_EXISTS);
    }
    HKEY key = nullptr;
    LSTATUS status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, keyOf(serviceName).c_str(), 0, nullptr, 0,
                                     KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS) {
        return failHandle(static_cast<DWORD>(status));
    }
    status = writeService(key, displayName != nullptr ? displayName : serviceName, serviceType,
                          startType, errorControl, binaryPathName, dependencies, serviceStartName);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) {
        return failHandle(static_cast<DWORD>(status));
    }
    return reinterpret_cast<SC_HANDLE>(
        krel_platform::insertHandle(std::make_shared<ServiceObject>(serviceName)));
}

BOOL DeleteService(SC_HANDLE service) {
    std::shared_ptr<ServiceObject> object = serviceOf(service);
    if (object == nullptr) {
        return fail(ERROR_INVALID_HANDLE);
    }
    std::wstring imagePath;
    if (!readImagePath(object->name, imagePath)) {
        return fail(ERROR_SERVICE_MARKED_FOR_DELETE);
    }
    const LSTATUS status = SHDeleteKeyW(HKEY_LOCAL_MACHINE, keyOf(object->name).c_str());
    return status == ERROR_SUCCESS ? TRUE : fail(static_cast<DWORD>(status));
}

BOOL CloseServiceHandle(SC_HANDLE handle) {
    const HANDLE object = reinterpret_cast<HANDLE>(handle);
    if (krel_platform::referenceHandleAs<ServiceObject>(object) == nullptr &&
        krel_platform::referenceHandleAs<ManagerObject>(object) == nullptr) {
        return fail(ERROR_INVALID_HANDLE);
    }
    krel_platform::removeHandle(object);
    return TRUE;
}
