#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <thread>
#include <unistd.h>
#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/parsers/XercesDOMParser.hpp>

#include "exception/KrelXmlException.h"
#include "prefs/Preferences.h"
#include "xml/XmlSystemUse.h"
#include "xml/XmlUtils.h"

// Stopping the parser library is process-wide, so every case runs in a child process and
// reports through its exit code: 0 when the case holds.
namespace {

const wchar_t* const CONTEXT = L"XmlSystemShutdownTest";
const char* const DOCUMENT = "<root><child/></root>";

// 0 when the call throws KrelXmlException "XML system is not running.".
template <class Call> int refusedAsNotRunning(Call call) {
    try {
        call();
    } catch (const krel_std::KrelXmlException& error) {
        return error.getMessage() == L"XML system is not running." ? 0 : 2;
    } catch (...) {
        return 3;
    }
    return 1;
}

// A parser made while the library runs; the child process ends without destroying it.
xercesc::XercesDOMParser& parserMadeBeforeTermination() {
    return *new xercesc::XercesDOMParser;
}

void parseAfterTermination() {
    xercesc::XercesDOMParser& parser = parserMadeBeforeTermination();
    krel_std::XmlUtils::terminateXercesSystem();
    std::_Exit(refusedAsNotRunning([&parser] {
        krel_std::XmlUtils::parseAndGetDocument(CONTEXT, parser, std::string(DOCUMENT));
    }));
}

void wideParseAndTranscodingAfterTermination() {
    xercesc::XercesDOMParser& parser = parserMadeBeforeTermination();
    krel_std::XmlUtils::terminateXercesSystem();
    const int parse = refusedAsNotRunning([&parser] {
        krel_std::XmlUtils::parseAndGetDocument(CONTEXT, parser, std::wstring(L"<root/>"));
    });
    const int transcode = refusedAsNotRunning([] { krel_std::XmlUtils::transcodeString(L"x"); });
    std::_Exit(parse == 0 && transcode == 0 ? 0 : 1);
}

void importAfterTermination() {
    krel_std::XmlUtils::terminateXercesSystem();
    std::_Exit(refusedAsNotRunning(
        [] { krel_std::Preferences::importPreferences(L"never-read-preferences.xml"); }));
}

// One parse straight through the parser library, under a use the caller holds.
bool parsesUnderHeldUse() {
    xercesc::XercesDOMParser parser;
    xercesc::MemBufInputSource source(reinterpret_cast<const XMLByte*>(DOCUMENT),
                                      std::char_traits<char>::length(DOCUMENT), "held");
    parser.parse(source);
    return parser.getDocument() != nullptr && parser.getDocument()->getDocumentElement() != nullptr;
}

// A use stands for a parse in progress: termination starts on another thread, refuses new
// uses at once, and stops the parser library only after the use ends.
void terminationWaitsForTheUseInProgress() {
    auto use = std::make_unique<krel_std::XmlSystemUse>(CONTEXT);
    std::atomic<bool> terminated{false};
    std::thread terminator([&terminated] {
        krel_std::XmlUtils::terminateXercesSystem();
        terminated = true;
    });
    while (krel_std::XmlSystemUse::isAvailable()) {
        std::this_thread::yield();
    }
    const bool parsedWhileClosing = parsesUnderHeldUse();
    const bool stillRunning = !terminated;
    use.reset();
    terminator.join();
    const int later = refusedAsNotRunning([] { krel_std::XmlSystemUse refused(CONTEXT); });
    std::_Exit(parsedWhileClosing && stillRunning && later == 0 ? 0 : 1);
}

void startAfterTerminationParsesAgain() {
    krel_std::XmlUtils::terminateXercesSystem();
    krel_std::XmlUtils::initializeXercesSystem();
    xercesc::XercesDOMParser parser;
    krel_std::XmlUtils::parseAndGetDocument(CONTEXT, parser, std::string(DOCUMENT));
    std::_Exit(0);
}

// A caller's own start and stop, balanced, leave the library's start in place: its imports
// still parse.
void balancedStartAndStopLeaveImportsWorking() {
    krel_std::XmlUtils::initializeXercesSystem();
    krel_std::XmlUtils::terminateXercesSystem();
    const char* base = std::getenv("TMPDIR");
    const std::string file = std::string(base != nullptr ? base : "/tmp") + "/balanced-" +
                             std::to_string(getpid()) + ".xml";
    std::ofstream(file) << "<preferences><root type=\"user\"><map/></root></preferences>";
    int result = 0;
    try {
        krel_std::Preferences::importPreferences(std::wstring(file.begin(), file.end()));
    } catch (...) {
        result = 1;
    }
    std::remove(file.c_str());
    std::_Exit(result);
}

class XmlSystemShutdownDeathTest : public ::testing::Test {
protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

} // namespace

TEST_F(XmlSystemShutdownDeathTest, ParseAfterTerminationFailsWithXmlException) {
    EXPECT_EXIT(parseAfterTermination(), ::testing::ExitedWithCode(0), "");
}

TEST_F(XmlSystemShutdownDeathTest, WideParseAndTranscodingAfterTerminationFail) {
    EXPECT_EXIT(wideParseAndTranscodingAfterTermination(), ::testing::ExitedWithCode(0), "");
}

TEST_F(XmlSystemShutdownDeathTest, PreferencesImportAfterTerminationFailsBeforeMakingAParser) {
    EXPECT_EXIT(importAfterTermination(), ::testing::ExitedWithCode(0), "");
}

TEST_F(XmlSystemShutdownDeathTest, TerminationWaitsForTheParseInProgress) {
    EXPECT_EXIT(terminationWaitsForTheUseInProgress(), ::testing::ExitedWithCode(0), "");
}

TEST_F(XmlSystemShutdownDeathTest, StartingAgainAfterTerminationParsesAgain) {
    EXPECT_EXIT(startAfterTerminationParsesAgain(), ::testing::ExitedWithCode(0), "");
}

TEST_F(XmlSystemShutdownDeathTest, ABalancedStartAndStopOfACallerLeaveImportsWorking) {
    EXPECT_EXIT(balancedStartAndStopLeaveImportsWorking(), ::testing::ExitedWithCode(0), "");
}
