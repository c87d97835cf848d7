#include "service/NTServiceLogger.h"

#include "log/CatalogueText.h"
#include "thread/AutoLock.h"
#include "thread/Lock.h"

namespace krel_std {

namespace {

using KrelStd::SWString;

// The code text passed to the base: the message method's qualified name.
SWString code(const wchar_t* number) {
    return krel_std_internal::catalogueCode(L"krel_std::NTServiceLogger", number);
}

SWString contextOf(const wchar_t* context) {
    return krel_std_internal::catalogueContext(context);
}

} // namespace

NTServiceLogger& NTServiceLogger::getInstance() {
    static Lock& lock = *new Lock;
    static NTServiceLogger* instance = nullptr;
    AutoLock guard(lock);
    if (instance == nullptr) {
        instance = new NTServiceLogger;
    }
    return *instance;
}

NTServiceLogger::NTServiceLogger() = default;

NTServiceLogger::~NTServiceLogger() = default;

std::wstring NTServiceLogger::getModuleName() const {
    return L"KrelStd";
}

void NTServiceLogger::SL1005(const wchar_t* context) const {
    Error(code(L"SL1005"), contextOf(context), L"The Control handler could not be installed\n");
}

void NTServiceLogger::SL1006(const wchar_t* context, const wchar_t* serviceName, int error) const {
    Error(code(L"SL1006"), contextOf(context), L"%ls failed to install. Error %d\n", serviceName,
          error);
}

void NTServiceLogger::SL1007(const wchar_t* context, const wchar_t* serviceName, int error) const {
    Error(code(L"SL1007"), contextOf(context), L"Could not remove %ls. Error %d\n", serviceName,
          error);
}

void NTServiceLogger::SL1008(const wchar_t* context) const {
    Error(code(L"SL1008"), contextOf(context), L"Invalid Arguments, Exiting\n");
}

void NTServiceLogger::SL1009(const wchar_t* context) const {
    Error(code(L"SL1009"), contextOf(context), L"The Control handler could not be installed\n");
}

void NTServiceLogger::SL1010(const wchar_t* context) const {
    Error(code(L"SL1010"), contextOf(context), L"The initialization process failed\n");
}

void NTServiceLogger::SL2000(const wchar_t* context) const {
    Error(code(L"SL2000"), contextOf(context), L"Invalid service control code.");
}

void NTServiceLogger::SL2001(const wchar_t* context) const {
    Error(code(L"SL2001"), contextOf(context), L"Invalid Request.\n");
}

void NTServiceLogger::SL4007(const wchar_t* context) const {
    Info(code(L"SL4007"), contextOf(context), L"The Windows NT service has started.");
}

void NTServiceLogger::SL4008(const wchar_t* context) const {
    Info(code(L"SL4008"), contextOf(context),
         L"The Windows NT service received a stop message from the Windows NT service manager.");
}

void NTServiceLogger::SL4009(const wchar_t* context) const {
    Info(code(L"SL4009"), contextOf(context),
         L"The Windows NT service received a pause message from the Windows NT service manager.");
}

void NTServiceLogger::SL4010(const wchar_t* context) const {
    Info(code(L"SL4010"), contextOf(context), L"The Windows NT service is paused.");
}

void NTServiceLogger::SL4011(const wchar_t* context) const {
    Info(code(L"SL4011"), contextOf(context), L"The Windows NT service has stopped.");
}

void NTServiceLogger::SL4012(const wchar_t* context) const {
    Info(
        code(L"SL4012"), contextOf(context),
        L"The Windows NT service received a continue message from the Windows NT service manager.");
}

void NTServiceLogger::SL4013(const wchar_t* context) const {
    Info(code(L"SL4013"), contextOf(context),
         L"The Windows NT service received an interrogate message from the Windows NT service "
         L"manager.");
}

void NTServiceLogger::SL4014(const wchar_t* context) const {
    Info(
        code(L"SL4014"), contextOf(context),
        L"The Windows NT service received a shutdown message from the Windows NT service manager.");
}

void NTServiceLogger::SL4015(const wchar_t* context) const {
    Info(code(L"SL4015"), contextOf(context),
         L"The Windows NT service received a user control message from the Windows NT service "
         L"manager.");
}

void NTServiceLogger::SL4016(const wchar_t* context, const wchar_t* serviceName, int majorVersion,
                             int minorVersion) const {
    Info(code(L"SL4016"), contextOf(context), L"%ls Version %d.%d\n", serviceName, majorVersion,
         minorVersion);
}

void NTServiceLogger::SL4017(const wchar_t* context, const wchar_t* state) const {
    Info(code(L"SL4017"), contextOf(context), L"The service is %ls installed\n", state);
}

void NTServiceLogger::SL4018(const wchar_t* context, const wchar_t* serviceName) const {
    Info(code(L"SL4018"), contextOf(context), L"%ls is already installed\n", serviceName);
}

void NTServiceLogger::SL4019(const wchar_t* context, const wchar_t* serviceName) const {
    Info(code(L"SL4019"), contextOf(context), L"%ls installed\n", serviceName);
}

void NTServiceLogger::SL4020(const wchar_t* context, const wchar_t* serviceName) const {
    Info(code(L"SL4020"), contextOf(context), L"%ls is not installed\n", serviceName);
}

void NTServiceLogger::SL4021(const wchar_t* context, const wchar_t* serviceName) const {
    Info(code(L"SL4021"), contextOf(context), L"%ls removed.\n", serviceName);
}

void NTServiceLogger::SL4022(const wchar_t* context) const {
    Info(code(L"SL4022"), contextOf(context), L"Service Removed\n");
}

void NTServiceLogger::SL4023(const wchar_t* context) const {
    Info(code(L"SL4023"), contextOf(context), L"Service Not Removed\n");
}

void NTServiceLogger::SL4024(const wchar_t* context) const {
    Info(code(L"SL4024"), contextOf(context), L"Service Started\n");
}

void NTServiceLogger::SL4025(const wchar_t* context) const {
    Info(code(L"SL4025"), contextOf(context), L"Service Control Stop message\n");
}

void NTServiceLogger::SL4026(const wchar_t* context) const {
    Info(code(L"SL4026"), contextOf(context), L"Service Stopped\n");
}

void NTServiceLogger::SL4027(const wchar_t* context) const {
    Info(code(L"SL4027"), contextOf(context), L"Service Control Pause message\n");
}

void NTServiceLogger::SL4028(const wchar_t* context) const {
    Info(code(L"SL4028"), contextOf(context), L"Service Paused\n");
}

void NTServiceLogger::SL4029(const wchar_t* context) const {
    Info(code(L"SL4029"), contextOf(context), L"Service Control Continue message\n");
}

void NTServiceLogger::SL4031(const wchar_t* context) const {
    Info(code(L"SL4031"), contextOf(context), L"Service Control Shutdown message\n");
}

void NTServiceLogger::SL4032(const wchar_t* context) const {
    Info(code(L"SL4032"), contextOf(context), L"Service Stopped\n");
}

void NTServiceLogger::SL4033(const wchar_t* context) const {
    Info(code(L"SL4033"), contextOf(context), L"Service User Control message\n");
}

void NTServiceLogger::SL4034(const wchar_t* context, const wchar_t* moduleFile,
                             const wchar_t* productName, const wchar_t* productVersion,
                             const wchar_t* privateBuild, const wchar_t* specialBuild,
                             const wchar_t* platform, const wchar_t* debugThreshold) const {
    Info(code(L"SL4034"), contextOf(context),
         L"<%ls>: Product <%ls> Version <%ls> Pri Build <%ls> Special Build <%ls> Platform <%ls> "
         L"Debug threshold <%ls>.",
         moduleFile, productName, productVersion, privateBuild, specialBuild, platform,
         debugThreshold);
}

void NTServiceLogger::SL4035(const wchar_t* context) const {
    Info(code(L"SL4035"), contextOf(context), L"An unexpected error occurred.");
}

void NTServiceLogger::SL4036(const wchar_t* context, const wchar_t* moduleFile,
                             const wchar_t* productName, const wchar_t* productVersion,
                             const wchar_t* privateBuild, const wchar_t* specialBuild) const {
    Info(code(L"SL4036"), contextOf(context),
         L"<%ls>: Product <%ls> Version <%ls> Pri Build <%ls> Special Build <%ls>.", moduleFile,
         productName, productVersion, privateBuild, specialBuild);
}

void NTServiceLogger::SL4037(const wchar_t* context, const wchar_t* platform) const {
    Info(code(L"SL4037"), contextOf(context), L"Platform <%ls>.", platform);
}

void NTServiceLogger::SL4038(const wchar_t* context, const wchar_t* debugThreshold) const {
    Info(code(L"SL4038"), contextOf(context), L"Debug threshold <%ls>.", debugThreshold);
}

} // namespace krel_std
