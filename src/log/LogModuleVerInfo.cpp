#include "log/LogModuleVerInfo.h"

#include "internal/GuardedCall.h"
#include "log/SLog.h"
#include "service/NTServiceLogger.h"
#include "system/SVersionInfo.h"

namespace KrelStd {

namespace {

const wchar_t* const CONTEXT = L"KrelStd::LogModuleVerInfo";

SWString debugThreshold() {
    return SLog::GetDefaultLog()->GetThreshold();
}

void logModuleLine(SVersionInfo& info, const SWString& moduleFile) {
    info.SetFilename(moduleFile);
    krel_std::NTServiceLogger::getInstance().SL4036(
        CONTEXT, moduleFile.c_str(), info.GetProductName().c_str(),
        info.GetProductVersion().c_str(), info.GetPrivateBuild().c_str(),
        info.GetSpecialBuild().c_str());
}

void logUnexpectedError() {
    krel_std_internal::callSwallowing(
        [&] { krel_std::NTServiceLogger::getInstance().SL4035(CONTEXT); },
        [&] {
            // Nothing is left to report a failing log with.
        });
}

} // namespace

void LogModuleVerInfo(const SWString& moduleFile) {
    krel_std_internal::callSwallowing(
        [&] {
            SVersionInfo info(moduleFile);
            krel_std::NTServiceLogger::getInstance().SL4034(
                CONTEXT, moduleFile.c_str(), info.GetProductName().c_str(),
                info.GetProductVersion().c_str(), info.GetPrivateBuild().c_str(),
                info.GetSpecialBuild().c_str(), GetOSName().c_str(), debugThreshold().c_str());
        },
        [&] { logUnexpectedError(); });
}

void LogModuleVerInfo(const wchar_t* const* moduleFiles) {
    krel_std_internal::callSwallowing(
        [&] {
            SVersionInfo info;
            for (const wchar_t* const* module = moduleFiles;
                 module != nullptr && *module != nullptr; ++module) {
                logModuleLine(info, SWString(*module));
            }
            krel_std::NTServiceLogger& messages = krel_std::NTServiceLogger::getInstance();
            messages.SL4037(CONTEXT, GetOSName().c_str());
            messages.SL4038(CONTEXT, debugThreshold().c_str());
        },
        [&] { logUnexpectedError(); });
}

} // namespace KrelStd
