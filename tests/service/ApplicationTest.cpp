#include "service/Application.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace krel_std;

namespace {

// A program that only exposes what the frame gives it.
class Program : public Application {
public:
    void run() override {}

    unsigned int parse(std::vector<const wchar_t*> arguments) {
        arguments.insert(arguments.begin(), L"program");
        return argumentParser->parseArguments(static_cast<int>(arguments.size()),
                                              const_cast<wchar_t**>(arguments.data()));
    }

    IArgumentParser& parser() { return *argumentParser; }
    bool shutdownSignalled() { return shutdownEvent.isSignaled(); }
    void signalShutdown() { shutdownEvent.signal(); }
};

class ApplicationTest : public ::testing::Test {
protected:
    Program program;
};

TEST_F(ApplicationTest, TextNamesTheClass) {
    EXPECT_EQ(L"Application{}", program.toString());
}

TEST_F(ApplicationTest, TheShutdownEventStartsUnsignalledAndStaysSignalled) {
    EXPECT_FALSE(program.shutdownSignalled());
    program.signalShutdown();
    EXPECT_TRUE(program.shutdownSignalled());
    EXPECT_TRUE(program.shutdownSignalled());
}

TEST_F(ApplicationTest, TheProgramReadsItsOptionsThroughTheFramesParser) {
    EXPECT_EQ(2u, program.parse({L"-F", L"-Lmy", L"log"}));
    EXPECT_TRUE(program.parser().argumentParsed(L"F"));
    EXPECT_EQ(L"mylog", program.parser().argumentValue(L"L"));
}

} // namespace
