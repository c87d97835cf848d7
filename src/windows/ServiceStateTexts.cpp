#include "windows/ServiceStateTexts.h"

namespace krel_std_internal {

const wchar_t* serviceStateText(DWORD state) {
    static const wchar_t* const texts[] = {
        L"SERVICE_STOPPED", L"SERVICE_START_PENDING",    L"SERVICE_STOP_PENDING",
        L"SERVICE_RUNNING", L"SERVICE_CONTINUE_PENDING", L"SERVICE_PAUSE_PENDING",
        L"SERVICE_PAUSED"};
    return state >= 1 && state <= 7 ? texts[state - 1] : L"Unknown Service State";
}

const wchar_t* controlCodeText(DWORD controlCode) {
    static const wchar_t* const texts[] = {
        L"SERVICE_CONTROL_STOP",          L"SERVICE_CONTROL_PAUSE",
        L"SERVICE_CONTROL_CONTINUE",      L"SERVICE_CONTROL_INTERROGATE",
        L"SERVICE_CONTROL_SHUTDOWN",      L"SERVICE_CONTROL_PARAMCHANGE",
        L"SERVICE_CONTROL_NETBINDADD",    L"SERVICE_CONTROL_NETBINDREMOVE",
        L"SERVICE_CONTROL_NETBINDENABLE", L"SERVICE_CONTROL_NETBINDDISABLE",
        L"SERVICE_CONTROL_DEVICEEVENT",   L"SERVICE_CONTROL_HARDWAREPROFILECHANGE",
        L"SERVICE_CONTROL_POWEREVENT",    L"SERVICE_CONTROL_SESSIONCHANGE"};
    return controlCode >= 1 && controlCode <= 14 ? texts[controlCode - 1]
                                                 : L"Unknown Service Control Code";
}

} // namespace krel_std_internal
