// An import whose file is a device is refused before anything is read.
#include <gtest/gtest.h>

#include "XmlPreferencesFixture.h"
#include "exception/KrelIOException.h"
#include "support/BytesRead.h"

namespace {

class ImportFromDeviceTest : public krel_test::XmlPreferencesTest {};

} // namespace

TEST_F(ImportFromDeviceTest, ImportOfADeviceReadsNothingAndImportsNothing) {
    const uint64_t before = krel_test::bytesReadSoFar();
    EXPECT_THROW(krel_std::Preferences::importPreferences(L"/dev/zero"), krel_std::KrelIOException);
    EXPECT_LT(krel_test::bytesReadSoFar() - before, krel_test::FEW_BYTES_READ);
    EXPECT_TRUE(user->keys().empty());
    EXPECT_TRUE(user->childrenNames().empty());
}
