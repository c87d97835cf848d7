// The start type and dependencies stored with a service are kept when it is started.
#include "ServiceManagerFixture.h"

namespace {

class ServiceStartRulesTest : public ServiceManagerTest {
protected:
    SC_HANDLE createWith(const std::wstring& name, const std::wstring& command, DWORD startType,
                         const wchar_t* dependencies) {
        SC_HANDLE service =
            CreateServiceW(manager, name.c_str(), nullptr, SERVICE_ALL_ACCESS,
                           SERVICE_WIN32_OWN_PROCESS, startType, SERVICE_ERROR_NORMAL,
                           command.c_str(), nullptr, nullptr, dependencies, nullptr, nullptr);
        EXPECT_NE(service, nullptr) << GetLastError();
        if (service != nullptr) {
            services.push_back(service);
        }
        return service;
    }

    // The helper's command line with a record file of the dependency's own.
    std::wstring dependencyCommand(const std::wstring& name) const {
        return krel_platform::utf8ToWide(helperPath() + " " + (root / "dependency.txt").string() +
                                         " ") +
               name;
    }
};

TEST_F(ServiceStartRulesTest, ADisabledServiceIsRefused) {
    const std::wstring name = uniqueName();
    SC_HANDLE service = createWith(name, helperCommand(name), SERVICE_DISABLED, nullptr);

    EXPECT_FALSE(StartServiceW(service, 0, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_DISABLED));
    EXPECT_TRUE(recordLines().empty());
}

TEST_F(ServiceStartRulesTest, AServiceWhoseDependencyDoesNotExistIsRefused) {
    const std::wstring name = uniqueName();
    const std::wstring missing = uniqueName() + L'\0';
    SC_HANDLE service =
        createWith(name, helperCommand(name), SERVICE_DEMAND_START, missing.c_str());

    EXPECT_FALSE(StartServiceW(service, 0, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_DEPENDENCY_DELETED));
    EXPECT_TRUE(recordLines().empty());
}

TEST_F(ServiceStartRulesTest, AStoppedDependencyIsStartedFirst) {
    const std::wstring dependencyName = uniqueName();
    SC_HANDLE dependency = createWith(dependencyName, dependencyCommand(dependencyName),
                                      SERVICE_DEMAND_START, nullptr);
    const std::wstring name = uniqueName();
    const std::wstring list = dependencyName + L'\0';
    SC_HANDLE service = createWith(name, helperCommand(name), SERVICE_DEMAND_START, list.c_str());

    startService(service);
    SERVICE_STATUS status{};
    ASSERT_TRUE(QueryServiceStatus(dependency, &status));
    EXPECT_NE(status.dwCurrentState, SERVICE_STOPPED);
    // The test's end waits for the dependency's process too.
    std::ifstream record(root / "dependency.txt");
    std::string line;
    ASSERT_TRUE(std::getline(record, line) && line.compare(0, 4, "pid ") == 0);
    const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, std::stoul(line.substr(4)));
    ASSERT_NE(process, nullptr);
    processes.push_back(process);
}

TEST_F(ServiceStartRulesTest, ADependencyThatCannotStartFailsTheStart) {
    const std::wstring dependencyName = uniqueName();
    createWith(dependencyName, L"/bin/true", SERVICE_DISABLED, nullptr);
    const std::wstring name = uniqueName();
    const std::wstring list = dependencyName + L'\0';
    SC_HANDLE service = createWith(name, helperCommand(name), SERVICE_DEMAND_START, list.c_str());

    EXPECT_FALSE(StartServiceW(service, 0, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_DEPENDENCY_FAIL));
    EXPECT_TRUE(recordLines().empty());
}

} // namespace
