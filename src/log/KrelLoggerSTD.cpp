#include "log/KrelLoggerSTD.h"

#include <limits>

#include "log/CatalogueText.h"

namespace krel_std {

namespace {

using KrelStd::SWString;

// The code text passed to the base: the message method's qualified name.
SWString code(const wchar_t* number) {
    return krel_std_internal::catalogueCode(L"krel_std::KrelLoggerSTD", number);
}

SWString contextOf(const wchar_t* context) {
    return krel_std_internal::catalogueContext(context);
}

// Counts and sizes are written with "%u" as 32-bit values: every value that fits is written
// unchanged, a larger one as the largest 32-bit value rather than cut to its low word.
unsigned int toUnsignedInt(unsigned long value) {
    const unsigned long largest = std::numeric_limits<unsigned int>::max();
    return static_cast<unsigned int>(value > largest ? largest : value);
}

} // namespace

KrelLoggerSTD::KrelLoggerSTD() = default;

KrelLoggerSTD::~KrelLoggerSTD() = default;

const wchar_t* KrelLoggerSTD::getSingletonName() {
    return L"krel_std::KrelLoggerSTD";
}

std::wstring KrelLoggerSTD::getModuleName() const {
    return L"KrelStd";
}

void KrelLoggerSTD::STD0000(const wchar_t* context) const {
    Info(code(L"STD0000"), contextOf(context),
         L"Starting preference change event dispatch thread.");
}

void KrelLoggerSTD::STD0001(const wchar_t* context) const {
    Info(code(L"STD0001"), contextOf(context),
         L"Stopping preference change event dispatch thread.");
}

void KrelLoggerSTD::STD0002(const wchar_t* context, const std::wstring& factoryName) const {
    Info(code(L"STD0002"), contextOf(context), L"Using %ls PreferencesFactory.",
         factoryName.c_str());
}

void KrelLoggerSTD::STD0003(const wchar_t* context, const std::wstring& className) const {
    Info(code(L"STD0003"), contextOf(context), L"Using %ls Paths.", className.c_str());
}

void KrelLoggerSTD::STD0004(const wchar_t* context, const std::wstring& client,
                            const std::wstring& service) const {
    Info(code(L"STD0004"), contextOf(context), L"Client <%ls> connected to service at <%ls>.",
         client.c_str(), service.c_str());
}

void KrelLoggerSTD::STD0005(const wchar_t* context, const std::wstring& client,
                            const std::wstring& service) const {
    Info(code(L"STD0005"), contextOf(context), L"Client <%ls> disconnected from service at <%ls>.",
         client.c_str(), service.c_str());
}

void KrelLoggerSTD::STD0006(const wchar_t* context, const std::wstring& libraryPath) const {
    Info(code(L"STD0006"), contextOf(context), L"Loaded shared library <%ls>.",
         libraryPath.c_str());
}

void KrelLoggerSTD::STD0007(const wchar_t* context, const std::wstring& libraryPath) const {
    Info(code(L"STD0007"), contextOf(context), L"Unloaded shared library <%ls>.",
         libraryPath.c_str());
}

void KrelLoggerSTD::STD0008(const wchar_t* context, const std::wstring& priorityName) const {
    Info(code(L"STD0008"), contextOf(context), L"Debugging threshold changed to: <%ls>.",
         priorityName.c_str());
}

void KrelLoggerSTD::STD0009(const wchar_t* context, unsigned long size) const {
    Info(code(L"STD0009"), contextOf(context), L"Maximum file size changed to: <%u>.",
         toUnsignedInt(size));
}

void KrelLoggerSTD::STD0010(const wchar_t* context, unsigned long count) const {
    Info(code(L"STD0010"), contextOf(context), L"Maximum file count changed to: <%u>.",
         toUnsignedInt(count));
}

void KrelLoggerSTD::STD2000(const wchar_t* context, const std::wstring& client,
                            const std::wstring& service) const {
    Error(code(L"STD2000"), contextOf(context),
          L"Client <%ls> failed to send heart beat to service at <%ls>.", client.c_str(),
          service.c_str());
}

void KrelLoggerSTD::STD2001(const wchar_t* context, const std::wstring& client) const {
    Error(code(L"STD2001"), contextOf(context), L"Client <%ls> failed to connect to any service.",
          client.c_str());
}

void KrelLoggerSTD::STD2002(const wchar_t* context, const std::wstring& reason) const {
    Error(code(L"STD2002"), contextOf(context), L"The service controller threw an exception: %ls",
          reason.c_str());
}

void KrelLoggerSTD::STD2003(const wchar_t* context, int errorCode,
                            const std::wstring& description) const {
    Error(code(L"STD2003"), contextOf(context),
          L"Failed to install console control signal translator.  Reason:[%d:%ls]", errorCode,
          description.c_str());
}

void KrelLoggerSTD::STD2004(const wchar_t* context, int errorCode,
                            const std::wstring& description) const {
    Error(code(L"STD2004"), contextOf(context),
          L"Failed to remove console control signal translator.  Reason:[%d:%ls]", errorCode,
          description.c_str());
}

void KrelLoggerSTD::STD3000(const wchar_t* context, const std::wstring& subject,
                            const std::wstring& errorText, const std::wstring& description) const {
    Warn(code(L"STD3000"), contextOf(context), L"%ls %ls: <%ls>.", subject.c_str(),
         errorText.c_str(), description.c_str());
}

void KrelLoggerSTD::STD3001(const wchar_t* context, const std::wstring& name) const {
    Warn(code(L"STD3001"), contextOf(context),
         L"Registry key <%ls> is not of REG_SZ or REG_DWORD type.", name.c_str());
}

void KrelLoggerSTD::STD3002(const wchar_t* context, const std::wstring& name) const {
    Warn(code(L"STD3002"), contextOf(context), L"Registry key <%ls> is not of REG_DWORD type.",
         name.c_str());
}

void KrelLoggerSTD::STD3003(const wchar_t* context) const {
    const SWString where = contextOf(context);
    Warn(code(L"STD3003"), where, L"Internal error: Caught unknown exception in <%ls>.",
         where.c_str());
}

void KrelLoggerSTD::STD3004(const wchar_t* context, unsigned int size) const {
    Warn(code(L"STD3004"), contextOf(context),
         L"Preference change notification queue has reached its maximum size <%d>.",
         static_cast<int>(size));
}

void KrelLoggerSTD::STD3005(const wchar_t* context, unsigned int size) const {
    Warn(code(L"STD3005"), contextOf(context),
         L"Preference change blocker queue has reached its maximum size <%d>.",
         static_cast<int>(size));
}

void KrelLoggerSTD::STD3006(const wchar_t* context, const std::wstring& reason) const {
    Warn(code(L"STD3006"), contextOf(context), L"Unable to initialize Xerces XML system : %ls",
         reason.c_str());
}

void KrelLoggerSTD::STD3007(const wchar_t* context, const std::wstring& reason) const {
    Warn(code(L"STD3007"), contextOf(context), L"Unable to shutdown Xerces XML system : %ls",
         reason.c_str());
}

void KrelLoggerSTD::STD3008(const wchar_t* context, const std::wstring& threadId,
                            const std::wstring& threadName, const std::wstring& reason) const {
    Warn(code(L"STD3008"), contextOf(context),
         L"The thread [%ls:%ls] terminated unexpectedly. Reason: %ls", threadId.c_str(),
         threadName.c_str(), reason.c_str());
}

void KrelLoggerSTD::STD3009(const wchar_t* context, uint64_t threadId,
                            const std::wstring& threadName, const std::wstring& pool,
                            const std::wstring& task, const std::wstring& runningTask) const {
    Warn(code(L"STD3009"), contextOf(context),
         L"Thread <0x%llx:%ls> in thread pool <%ls> running task <%ls> is considered hung and "
         L"removed. The running task %ls aborted.",
         static_cast<unsigned long long>(threadId), threadName.c_str(), pool.c_str(), task.c_str(),
         runningTask.c_str());
}

void KrelLoggerSTD::STD3010(const wchar_t* context, const std::wstring& factory,
                            const std::wstring& pool, const std::wstring& task) const {
    Warn(code(L"STD3010"), contextOf(context),
         L"Thread factory <%ls> could not create thread for thread pool <%ls>. Potentially "
         L"discarding task <%ls>.",
         factory.c_str(), pool.c_str(), task.c_str());
}

} // namespace krel_std
