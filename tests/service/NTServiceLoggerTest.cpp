#include "service/NTServiceLogger.h"

#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "log/DebugFileFilter.h"
#include "log/LogTestSupport.h"
#include "support/RecordingLogTest.h"

using namespace krel_std;
using krel_test::RecordingAppender;
using krel_test::StaticLogTest;

namespace {

class NTServiceLoggerTest : public krel_test::RecordingLogTest {
protected:
    const LogEvent& onlyEvent() {
        EXPECT_EQ(1u, appender->events.size());
        return appender->events.back();
    }

    NTServiceLogger& messages = NTServiceLogger::getInstance();
};

struct Entry {
    const wchar_t* code;
    LogEventPriority priority;
    std::wstring text;
    std::function<void(NTServiceLogger&)> call;
};

const wchar_t* const CTX = L"KrelStd::SNTServiceBase::ParseStandardArgs";

std::vector<Entry> catalogue() {
    using M = NTServiceLogger;
    const wchar_t* const nt = L"The Windows NT service ";
    const wchar_t* const fromManager = L" message from the Windows NT service manager.";
    return {
        {L"SL1005", ERROR, L"The Control handler could not be installed\n",
         [](M& m) { m.SL1005(CTX); }},
        {L"SL1006", ERROR, L"svc failed to install. Error 5\n",
         [](M& m) { m.SL1006(CTX, L"svc", 5); }},
        {L"SL1007", ERROR, L"Could not remove svc. Error 1060\n",
         [](M& m) { m.SL1007(CTX, L"svc", 1060); }},
        {L"SL1008", ERROR, L"Invalid Arguments, Exiting\n", [](M& m) { m.SL1008(CTX); }},
        {L"SL1009", ERROR, L"The Control handler could not be installed\n",
         [](M& m) { m.SL1009(CTX); }},
        {L"SL1010", ERROR, L"The initialization process failed\n", [](M& m) { m.SL1010(CTX); }},
        {L"SL2000", ERROR, L"Invalid service control code.", [](M& m) { m.SL2000(CTX); }},
        {L"SL2001", ERROR, L"Invalid Request.\n", [](M& m) { m.SL2001(CTX); }},
        {L"SL4007", INFO, std::wstring(nt) + L"has started.", [](M& m) { m.SL4007(CTX); }},
        {L"SL4008", INFO, std::wstring(nt) + L"received a stop" + fromManager,
         [](M& m) { m.SL4008(CTX); }},
        {L"SL4009", INFO, std::wstring(nt) + L"received a pause" + fromManager,
         [](M& m) { m.SL4009(CTX); }},
        {L"SL4010", INFO, std::wstring(nt) + L"is paused.", [](M& m) { m.SL4010(CTX); }},
        {L"SL4011", INFO, std::wstring(nt) + L"has stopped.", [](M& m) { m.SL4011(CTX); }},
        {L"SL4012", INFO, std::wstring(nt) + L"received a continue" + fromManager,
         [](M& m) { m.SL4012(CTX); }},
        {L"SL4013", INFO, std::wstring(nt) + L"received an interrogate" + fromManager,
         [](M& m) { m.SL4013(CTX); }},
        {L"SL4014", INFO, std::wstring(nt) + L"received a shutdown" + fromManager,
         [](M& m) { m.SL4014(CTX); }},
        {L"SL4015", INFO, std::wstring(nt) + L"received a user control" + fromManager,
         [](M& m) { m.SL4015(CTX); }},
        {L"SL4016", INFO, L"svc Version 3.14\n", [](M& m) { m.SL4016(CTX, L"svc", 3, 14); }},
        {L"SL4017", INFO, L"The service is currently installed\n",
         [](M& m) { m.SL4017(CTX, L"currently"); }},
        {L"SL4018", INFO, L"svc is already installed\n", [](M& m) { m.SL4018(CTX, L"svc"); }},
        {L"SL4019", INFO, L"svc installed\n", [](M& m) { m.SL4019(CTX, L"svc"); }},
        {L"SL4020", INFO, L"svc is not installed\n", [](M& m) { m.SL4020(CTX, L"svc"); }},
        {L"SL4021", INFO, L"svc removed.\n", [](M& m) { m.SL4021(CTX, L"svc"); }},
        {L"SL4022", INFO, L"Service Removed\n", [](M& m) { m.SL4022(CTX); }},
        {L"SL4023", INFO, L"Service Not Removed\n", [](M& m) { m.SL4023(CTX); }},
        {L"SL4024", INFO, L"Service Started\n", [](M& m) { m.SL4024(CTX); }},
        {L"SL4025", INFO, L"Service Control Stop message\n", [](M& m) { m.SL4025(CTX); }},
        {L"SL4026", INFO, L"Service Stopped\n", [](M& m) { m.SL4026(CTX); }},
        {L"SL4027", INFO, L"Service Control Pause message\n", [](M& m) { m.SL4027(CTX); }},
        {L"SL4028", INFO, L"Service Paused\n", [](M& m) { m.SL4028(CTX); }},
        {L"SL4029", INFO, L"Service Control Continue message\n", [](M& m) { m.SL4029(CTX); }},
        {L"SL4031", INFO, L"Service Control Shutdown message\n", [](M& m) { m.SL4031(CTX); }},
        {L"SL4032", INFO, L"Service Stopped\n", [](M& m) { m.SL4032(CTX); }},
        {L"SL4033", INFO, L"Service User Control message\n", [](M& m) { m.SL4033(CTX); }},
        {L"SL4034", INFO,
         L"<m.so>: Product <P> Version <1.2> Pri Build <pb> Special Build <sb> Platform <OS> "
         L"Debug threshold <DEBUG>.",
         [](M& m) { m.SL4034(CTX, L"m.so", L"P", L"1.2", L"pb", L"sb", L"OS", L"DEBUG"); }},
        {L"SL4035", INFO, L"An unexpected error occurred.", [](M& m) { m.SL4035(CTX); }},
        {L"SL4036", INFO, L"<m.so>: Product <P> Version <1.2> Pri Build <pb> Special Build <sb>.",
         [](M& m) { m.SL4036(CTX, L"m.so", L"P", L"1.2", L"pb", L"sb"); }},
        {L"SL4037", INFO, L"Platform <OS>.", [](M& m) { m.SL4037(CTX, L"OS"); }},
        {L"SL4038", INFO, L"Debug threshold <CALL>.", [](M& m) { m.SL4038(CTX, L"CALL"); }},
    };
}

TEST_F(NTServiceLoggerTest, EveryCodeLogsItsTextAtTheLevelOfItsFirstDigit) {
    const std::vector<Entry> entries = catalogue();
    ASSERT_EQ(39u, entries.size());
    for (const Entry& entry : entries) {
        appender->events.clear();
        entry.call(messages);
        ASSERT_EQ(1u, appender->events.size()) << entry.code;
        const LogEvent& event = appender->events[0];
        EXPECT_EQ(entry.code, event.errorId);
        EXPECT_EQ(entry.priority, event.priority) << entry.code;
        EXPECT_EQ(entry.priority, entry.code[2] == L'4' ? INFO : ERROR) << entry.code;
        EXPECT_EQ(entry.text, event.message) << entry.code;
        EXPECT_EQ(L"SNTServiceBase::ParseStandardArgs", event.function) << entry.code;
    }
}

TEST_F(NTServiceLoggerTest, SameTextCodesDifferOnlyInTheirIds) {
    messages.SL1005(CTX);
    messages.SL1009(CTX);
    messages.SL4026(CTX);
    messages.SL4032(CTX);
    ASSERT_EQ(4u, appender->events.size());
    EXPECT_EQ(appender->events[0].message, appender->events[1].message);
    EXPECT_NE(appender->events[0].errorId, appender->events[1].errorId);
    EXPECT_EQ(appender->events[2].message, appender->events[3].message);
    EXPECT_NE(appender->events[2].errorId, appender->events[3].errorId);
}

TEST_F(NTServiceLoggerTest, UnexpectedErrorIsStillInformation) {
    messages.SL4035(L"KrelStd::LogModuleVerInfo");
    EXPECT_EQ(INFO, onlyEvent().priority);
    EXPECT_EQ(L"LogModuleVerInfo", onlyEvent().function);
}

TEST_F(NTServiceLoggerTest, OneInstanceNamesTheLibraryAsItsModule) {
    EXPECT_EQ(&messages, &NTServiceLogger::getInstance());
    EXPECT_EQ(L"KrelStd", messages.getModuleName());
}

TEST_F(NTServiceLoggerTest, NullContextLogsAnEmptyFunction) {
    messages.SL4024(nullptr);
    EXPECT_EQ(L"", onlyEvent().function);
    EXPECT_EQ(L"Service Started\n", onlyEvent().message);
}

} // namespace
