#include "service/ArgumentParser.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

#include "exception/KrelIllegalArgumentException.h"

using namespace krel_std;

namespace {

class ArgumentParserTest : public ::testing::Test {
protected:
    // Parses "program" followed by the given arguments.
    unsigned int parse(std::vector<std::wstring> arguments) {
        arguments.insert(arguments.begin(), L"program");
        storage = arguments;
        pointers.clear();
        for (std::wstring& argument : storage) {
            pointers.push_back(&argument[0]);
        }
        pointers.push_back(nullptr);
        return parser.parseArguments(static_cast<int>(storage.size()), pointers.data());
    }

    ArgumentParser parser;
    std::vector<std::wstring> storage;
    std::vector<wchar_t*> pointers;
};

TEST_F(ArgumentParserTest, OnlyTheProgramNameYieldsNoKeys) {
    EXPECT_EQ(0u, parse({}));
    EXPECT_FALSE(parser.argumentParsed(L"F"));
}

TEST_F(ArgumentParserTest, EveryCallStartsFromAnEmptyMapAndNoCurrentKey) {
    ASSERT_EQ(2u, parse({L"-Lmy", L"-F"}));
    EXPECT_EQ(0u, parse({L"tail"}));
    EXPECT_FALSE(parser.argumentParsed(L"L"));
    EXPECT_FALSE(parser.argumentParsed(L"F"));
}

TEST_F(ArgumentParserTest, KeysAreOneCaseSensitiveCharacter) {
    EXPECT_EQ(1u, parse({L"-F"}));
    EXPECT_TRUE(parser.argumentParsed(L"F"));
    EXPECT_EQ(L"", parser.argumentValue(L"F"));
    parse({L"-f"});
    EXPECT_FALSE(parser.argumentParsed(L"F"));
    EXPECT_TRUE(parser.argumentParsed(L"f"));
}

TEST_F(ArgumentParserTest, PlainArgumentsAreAppendedToTheCurrentOptionUntrimmed) {
    parse({L"-Lmy", L"log", L" x "});
    EXPECT_EQ(L"mylog x ", parser.argumentValue(L"L"));
}

TEST_F(ArgumentParserTest, ARepeatedKeyKeepsItsFirstValueAndStillTakesPlainArguments) {
    EXPECT_EQ(1u, parse({L"-Da", L"-Db", L"x"}));
    EXPECT_EQ(L"ax", parser.argumentValue(L"D"));
}

TEST_F(ArgumentParserTest, AnOptionValueIsTrimmedOfUnicodeWhiteSpaceOnly) {
    // U+3000 ideographic space and U+2003 em space around, inner blanks kept.
    parse({L"-N \x3000 two  words\x2003\t", L"-V\x00e9 "});
    EXPECT_EQ(L"two  words", parser.argumentValue(L"N"));
    EXPECT_EQ(L"\x00e9", parser.argumentValue(L"V"));
}

TEST_F(ArgumentParserTest, PlainArgumentsBeforeTheFirstOptionAreIgnored) {
    EXPECT_EQ(1u, parse({L"stray", L"-Aone"}));
    EXPECT_EQ(L"one", parser.argumentValue(L"A"));
}

TEST_F(ArgumentParserTest, ALoneSwitchIsIgnoredAndKeepsTheCurrentKey) {
    EXPECT_EQ(1u, parse({L"-Aone", L"-", L"two"}));
    EXPECT_EQ(L"onetwo", parser.argumentValue(L"A"));
}

TEST_F(ArgumentParserTest, ASeparateArgumentStartingWithTheSwitchIsAlwaysANewOption) {
    EXPECT_EQ(2u, parse({L"-Aone", L"-10"}));
    EXPECT_EQ(L"one", parser.argumentValue(L"A"));
    EXPECT_EQ(L"0", parser.argumentValue(L"1"));
}

TEST_F(ArgumentParserTest, AValueForAKeyNotParsedIsRefusedByName) {
    parse({L"-Aone"});
    try {
        parser.argumentValue(L"X");
        FAIL() << "no exception";
    } catch (const KrelIllegalArgumentException& error) {
        EXPECT_EQ(L"The argument \"X\" was not parsed.", error.getMessage());
    }
}

TEST_F(ArgumentParserTest, IsDeletedThroughItsInterface) {
    // Run under the sanitizers: a parser deleted through the interface must destroy its map.
    std::unique_ptr<IArgumentParser> owned(new ArgumentParser());
    std::vector<wchar_t*> argv = {const_cast<wchar_t*>(L"program"),
                                  const_cast<wchar_t*>(L"-Qa value long enough to allocate")};
    EXPECT_EQ(1u, owned->parseArguments(2, argv.data()));
}

} // namespace
