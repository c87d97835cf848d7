// A fixture for tests of local-time texts: the process's time zone is UTC while each test
// starts and after it ends, and a test may switch to another zone for its own cases.
#pragma once

#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>

namespace krel_test {

class UtcZoneTest : public ::testing::Test {
protected:
    void SetUp() override { setZone("UTC"); }
    void TearDown() override { setZone("UTC"); }

    // A POSIX TZ text, such as "UTC" or "XYZ-2".
    static void setZone(const char* zone) {
        setenv("TZ", zone, 1);
        tzset();
    }
};

} // namespace krel_test
