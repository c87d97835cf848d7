// What krel-admin prints of a service's status.
#include "ServiceManagerFixture.h"

namespace {

using ServiceToolStatusTest = ServiceManagerTest;

TEST_F(ServiceToolStatusTest, QueryNamesTheControlsBesideTheMask) {
    const std::string name = krel_platform::wideToUtf8(uniqueName());
    const SC_HANDLE service = create(krel_platform::utf8ToWide(name),
                                     helperCommand(krel_platform::utf8ToWide(name), "pause"));
    ASSERT_NE(service, nullptr);
    std::string output;
    ASSERT_EQ(runTool({"query-service", name}, &output), 0);
    EXPECT_NE(output.find("controls accepted: 0 (none)\n"), std::string::npos) << output;

    startService(service);
    leaveStartPending(service);
    ASSERT_EQ(runTool({"query-service", name}, &output), 0);
    EXPECT_NE(output.find("state: 4 RUNNING"), std::string::npos) << output;
    EXPECT_NE(output.find("controls accepted: 7 (STOP, PAUSE_CONTINUE, SHUTDOWN)\n"),
              std::string::npos)
        << output;
}

} // namespace
