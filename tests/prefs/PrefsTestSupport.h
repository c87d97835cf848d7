// The fixture of the preferences tests: the in-memory back end chosen and emptied for each test.
#pragma once

#include <boost/shared_ptr.hpp>
#include <gtest/gtest.h>
#include <string>

#include "exception/KrelException.h"
#include "prefs/Preferences.h"
#include "support/MemoryPreferences.h"

namespace krel_test {

class MemoryPreferencesTest : public ::testing::Test {
protected:
    void SetUp() override {
        factory().reset();
        root = krel_std::Preferences::userRoot();
    }

    static MemoryPreferencesFactory& factory() { return MemoryPreferencesFactory::registered(); }
    static boost::shared_ptr<MemoryStore> store() { return factory().getUserStore(); }

    MemoryPreferencesSelection selection;
    boost::shared_ptr<krel_std::Preferences> root;
};

} // namespace krel_test
