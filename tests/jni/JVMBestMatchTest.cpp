// Choosing the installed Java runtime that best matches a wanted version.
#include "JVM/JVMBestMatch.h"

#include <gtest/gtest.h>

#include "exception/KrelIllegalArgumentException.h"

namespace {

using krel_std::JVM;
using krel_std::KrelIllegalArgumentException;

JVM::JVMInfo runtime(const std::wstring& version, const std::wstring& home = L"") {
    return JVM::JVMInfo{version, home, home + L"/lib/server/libjvm.so"};
}

// The message of the refusal, or "(none)" when a runtime was chosen.
std::wstring refusal(const std::wstring& desired, const std::vector<JVM::JVMInfo>& installed) {
    try {
        krel_std_internal::bestMatchedJVM(desired, installed);
    } catch (const KrelIllegalArgumentException& e) {
        return e.getMessage();
    }
    return L"(none)";
}

TEST(JVMBestMatchTest, MoreMatchingPartsWin) {
    EXPECT_EQ(
        krel_std_internal::bestMatchedJVM(L"1.6", {runtime(L"1.5.0_22"), runtime(L"1.6.0_20")})
            .version,
        L"1.6.0_20");
}

TEST(JVMBestMatchTest, EqualScoresGoToTheHigherVersion) {
    EXPECT_EQ(
        krel_std_internal::bestMatchedJVM(L"1.6.0", {runtime(L"1.6.0_07"), runtime(L"1.6.0_20")})
            .version,
        L"1.6.0_20");
}

TEST(JVMBestMatchTest, ABestBelowTheWantedVersionIsRefused) {
    EXPECT_EQ(refusal(L"1.6", {runtime(L"1.5.0_22")}),
              L"Couldn't find valid version, desired: <1.6> Best Match: <1.5.0_22>.");
}

TEST(JVMBestMatchTest, NoRuntimeFindsNoVersion) {
    EXPECT_EQ(refusal(L"1.6", {}), L"No version found!");
    EXPECT_EQ(refusal(L"1.6", {runtime(L"garbage")}), L"No version found!");
}

TEST(JVMBestMatchTest, AMajorVersionAloneTakesItsNewestRelease) {
    EXPECT_EQ(krel_std_internal::bestMatchedJVM(L"17", {runtime(L"17.0.15")}).version, L"17.0.15");
}

TEST(JVMBestMatchTest, ANewerMajorServesAnOlderWantedOne) {
    EXPECT_EQ(krel_std_internal::bestMatchedJVM(L"11", {runtime(L"17.0.15")}).version, L"17.0.15");
}

TEST(JVMBestMatchTest, AnOlderMajorDoesNotServeANewerWantedOne) {
    EXPECT_EQ(refusal(L"21", {runtime(L"17.0.15")}),
              L"Couldn't find valid version, desired: <21> Best Match: <17.0.15>.");
}

TEST(JVMBestMatchTest, TheMatchingMajorWinsOverANewerOne) {
    EXPECT_EQ(
        krel_std_internal::bestMatchedJVM(L"17", {runtime(L"17.0.15"), runtime(L"25.0.3")}).version,
        L"17.0.15");
    EXPECT_EQ(
        krel_std_internal::bestMatchedJVM(L"17", {runtime(L"25.0.3"), runtime(L"17.0.15")}).version,
        L"17.0.15");
}

TEST(JVMBestMatchTest, TheFirstOfEqualVersionsWins) {
    EXPECT_EQ(krel_std_internal::bestMatchedJVM(
                  L"17", {runtime(L"17.0.15", L"/first"), runtime(L"17.0.15", L"/second")})
                  .javaHome,
              L"/first");
}

TEST(JVMBestMatchTest, AnExactMatchEndsTheSearch) {
    EXPECT_EQ(krel_std_internal::bestMatchedJVM(L"1.6.0_10",
                                                {runtime(L"1.6.0_10"), runtime(L"1.6.0_10-rc")})
                  .version,
              L"1.6.0_10");
}

} // namespace
