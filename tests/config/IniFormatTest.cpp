// The INI text format: what a file reads as, and the exact bytes it is written back as.
#include <cwchar>
#include <gtest/gtest.h>
#include <sstream>
#include <utility>
#include <vector>

#include "ConfigTestSupport.h"
#include "base/ByteArray.h"
#include "config/Configuration.h"
#include "config/ConfigurationElement.h"
#include "config/ConfigurationSection.h"
#include "config/IniConfigurationSerializer.h"
#include "exception/KrelIOException.h"
#include "exception/KrelIllegalArgumentException.h"

using config_test::bytesOf;
using config_test::describe;
using krel_std::ByteArray;
using krel_std::Configuration;
using krel_std::ConfigurationElement;
using krel_std::ConfigurationSection;
using krel_std::IniConfigurationSerializer;

namespace {

struct RewriteCase {
    const char* name;
    std::string input;
    std::string written;
};

// Each input is read and written again with the same serializer (so with the separator the
// input uses); the rewritten bytes must read back as the same model.
const RewriteCase REWRITE_CASES[] = {
    {"empty file", "", ""},
    {"one empty line", "\r\n", "\r\n"},
    {"no final separator", "a=1", "a=1\r\n"},
    {"LF file keeps LF", "a=1\nb=2\n", "a=1\nb=2\n"},
    {"CR file keeps CR", "a=1\rb=2", "a=1\rb=2\r"},
    {"mixed, LF first", "a=1\nb=2\r\nc=3\r", "a=1\nb=2\nc=3\n"},
    {"mixed, CR LF first", "a=1\r\nb=2\nc=3\r", "a=1\r\nb=2\r\nc=3\r\n"},
    {"blank after equals stays", "a = b\r\n", "a= b\r\n"},
    {"trailing blanks of a value go", "k=v \t \r\n", "k=v\r\n"},
    {"value holds = # [", "k=a=b#c[d]\r\n", "k=a=b#c[d]\r\n"},
    {"escaped equals in key", "a\\=b=c\r\n", "a\\=b=c\r\n"},
    {"escaped backslash ends key", "a\\\\=b\r\n", "a\\\\=b\r\n"},
    {"escaped bracket and hash open a key", "\\[x=1\r\n\\#y=2\r\n", "\\[x=1\r\n\\#y=2\r\n"},
    {"backslash before ordinary character is literal", "path\\to=1\r\n", "path\\\\to=1\r\n"},
    {"literal backslash then special", "x\\y#z=1\r\n", "x\\\\y\\#z=1\r\n"},
    {"trailing backslash without equals", "abc\\\r\n", "\r\n"},
    {"duplicate key keeps first place, last value", "k=1\r\nj=2\r\nk=3\r\n", "k=3\r\nj=2\r\n"},
    {"duplicate sections merge into the first",
     "[ S ]\r\na=1\r\n[T]\r\nb=2\r\n[S]\r\nc=3\r\na=4\r\n", "[S]\r\na=4\r\nc=3\r\n[T]\r\nb=2\r\n"},
    {"[] returns to the unnamed section", "top=1\r\n[S]\r\na=1\r\n[]\r\nlate=2\r\n",
     "top=1\r\nlate=2\r\n[S]\r\na=1\r\n"},
    {"header without ] is dropped", "[broken\r\na=1\r\n", "a=1\r\n"},
    {"header runs to the last ]", "[a]b] tail\r\nk=v\r\n", "[a]b]\r\nk=v\r\n"},
    {"empty section survives", "[S]\r\n", "[S]\r\n"},
    {"comments keep inner blanks", "  #note\r\n#  spaced\r\n", "#note\r\n#  spaced\r\n"},
    {"lone # becomes a blank line", "#\r\nk=v\r\n", "\r\nk=v\r\n"},
    {"text without equals becomes a blank line", "just text\r\n", "\r\n"},
    {"empty key becomes a blank line", "=value\r\n  = v\r\n", "\r\n\r\n"},
    {"semicolon is not a comment", ";x=1\r\n", ";x=1\r\n"},
    {"names are case-sensitive", "K=1\r\nk=2\r\n[s]\r\n[S]\r\n", "K=1\r\nk=2\r\n[s]\r\n[S]\r\n"},
    {"blank lines kept, one final separator dropped", "a=1\r\n\r\n \t\r\n", "a=1\r\n\r\n\r\n"},
};

} // namespace

TEST(IniFormatTest, RewritesEachTrickyInputToItsExactBytes) {
    for (const RewriteCase& testCase : REWRITE_CASES) {
        SCOPED_TRACE(testCase.name);
        IniConfigurationSerializer serializer;
        const boost::shared_ptr<Configuration> first =
            serializer.deserialize(bytesOf(testCase.input));
        const std::string written = serializer.serialize(*first)->toString();
        EXPECT_EQ(written, testCase.written);
        const boost::shared_ptr<Configuration> again = serializer.deserialize(bytesOf(written));
        EXPECT_EQ(describe(*again), describe(*first));
    }
}

TEST(IniFormatTest, ReadsKeysValuesCommentsAndSections) {
    IniConfigurationSerializer serializer;
    const boost::shared_ptr<Configuration> model = serializer.deserialize(
        bytesOf("a = b\r\n# note\r\n[ Section One ]\r\n  key  =  spaced value  \r\n"));
    EXPECT_EQ(model->getValue(L"a"), L" b");
    EXPECT_EQ(model->getSectionNames(), Configuration::StringList({L"", L"Section One"}));
    EXPECT_EQ(model->getValue(L"key", L"Section One"), L"  spaced value");
    EXPECT_EQ(describe(*model), L"[]\n"
                                L"  ConfigurationElement{key='a',value=' b',comment=''}\n"
                                L"  ConfigurationElement{key='',value='',comment=' note'}\n"
                                L"[Section One]\n"
                                L"  ConfigurationElement{key='key',value='  spaced value',"
                                L"comment=''}\n");
}

TEST(IniFormatTest, KeysWithSpecialCharactersSurviveARoundTrip) {
    Configuration model;
    model.setValue(L"a=b", L"1");
    model.setValue(L"#hash", L"2");
    model.setValue(L"[bracket", L"3");
    model.setValue(L"back\\slash\\", L"4");
    IniConfigurationSerializer serializer;
    const std::string written = serializer.serialize(model)->toString();
    EXPECT_EQ(written, "a\\=b=1\r\n\\#hash=2\r\n\\[bracket=3\r\nback\\\\slash\\\\=4\r\n");
    EXPECT_EQ(describe(*serializer.deserialize(bytesOf(written))), describe(model));
}

TEST(IniFormatTest, NewConfigurationIsWrittenWithCrLfAndTheSerializerKeepsIt) {
    Configuration model;
    model.setValue(L"k", L"v");
    model.setValue(L"x", L"y", L"S");
    IniConfigurationSerializer serializer;
    EXPECT_EQ(serializer.getLineSeparator(), L"");
    EXPECT_EQ(serializer.serialize(model)->toString(), "k=v\r\n[S]\r\nx=y\r\n");
    EXPECT_EQ(serializer.getLineSeparator(), L"\r\n");
}

TEST(IniFormatTest, ReadingRemembersTheFirstSeparatorAndEmptyWhenThereIsNone) {
    IniConfigurationSerializer serializer;
    serializer.deserialize(bytesOf("a=1\rb=2\r\n"));
    EXPECT_EQ(serializer.getLineSeparator(), L"\r");
    serializer.deserialize(bytesOf("a=1"));
    EXPECT_EQ(serializer.getLineSeparator(), L"");
}

TEST(IniFormatTest, Windows1252ReadsAndWritesEveryNonZeroByte) {
    std::string value;
    for (int byte = 0x20; byte <= 0xFF; ++byte) {
        value += static_cast<char>(byte);
    }
    const std::string input = "k=" + value + "\r\n";
    IniConfigurationSerializer serializer(L"windows-1252");
    const boost::shared_ptr<Configuration> model = serializer.deserialize(bytesOf(input));
    const std::wstring decoded = model->getValue(L"k");
    ASSERT_EQ(decoded.size(), value.size());
    EXPECT_EQ(decoded[0x80 - 0x20], L'\x20AC');
    EXPECT_EQ(decoded[0x81 - 0x20], L'\x81');
    EXPECT_EQ(serializer.serialize(*model)->toString(), input);
}

TEST(IniFormatTest, CharactersWindows1252CannotHoldAreWrittenAsQuestionMarks) {
    Configuration model;
    model.setValue(L"k\x0100", L"\x20AC \x0101 \U0001F600");
    IniConfigurationSerializer serializer(L"windows-1252");
    EXPECT_EQ(serializer.serialize(model)->toString(), "k?=\x80 ? ?\r\n");
}

TEST(IniFormatTest, SectionsVisitedAgainAndAgainCollectTheirLinesInOrder) {
    std::string input;
    for (int round = 0; round < 50; ++round) {
        const std::string number = std::to_string(round);
        input += "[A]\na" + number + "=" + number + "\n#a" + number + "\n[B]\nb=" + number + "\n";
    }
    IniConfigurationSerializer serializer;
    const boost::shared_ptr<Configuration> model = serializer.deserialize(bytesOf(input));
    EXPECT_EQ(model->getSectionNames(), Configuration::StringList({L"", L"A", L"B"}));
    const Configuration::StringList keys = model->getKeys(L"A");
    ASSERT_EQ(keys.size(), 50u);
    EXPECT_EQ(keys[49], L"a49");
    EXPECT_EQ(model->getValue(L"a31", L"A"), L"31");
    EXPECT_EQ(model->getKeys(L"B"), Configuration::StringList({L"b"}));
    EXPECT_EQ(model->getValue(L"b", L"B"), L"49");
    const std::string written = serializer.serialize(*model)->toString();
    EXPECT_EQ(written.substr(0, 18), "[A]\na0=0\n#a0\na1=1\n");
    EXPECT_EQ(written.substr(written.size() - 9), "[B]\nb=49\n");
}

TEST(IniFormatTest, DecodedCharsetsReadEscapesHeadersAndCommentsAsWindows1252Does) {
    const std::wstring text = L"\x043A\\=\x00E9 = \x0437\r\n[ \x00DF ]\r\n#\x20AC\r\nplain\r\n";
    for (const wchar_t* charset : {L"UTF-8", L"ISO-10646-UCS-2"}) {
        SCOPED_TRACE(std::string(charset, charset + std::wcslen(charset)));
        IniConfigurationSerializer serializer(charset);
        const boost::shared_ptr<Configuration> model =
            serializer.deserialize(ByteArray(text, charset));
        EXPECT_EQ(model->getValue(L"\x043A=\x00E9"), L" \x0437");
        EXPECT_EQ(describe(*model), L"[]\n"
                                    L"  ConfigurationElement{key='\x043A=\x00E9',value=' \x0437',"
                                    L"comment=''}\n"
                                    L"[\x00DF]\n"
                                    L"  ConfigurationElement{key='',value='',comment='\x20AC'}\n"
                                    L"  ConfigurationElement{key='',value='',comment=''}\n");
        EXPECT_EQ(serializer.serialize(*model)->toWString(charset),
                  L"\x043A\\=\x00E9= \x0437\r\n[\x00DF]\r\n#\x20AC\r\n\r\n");
    }
}

TEST(IniFormatTest, LatinCharactersOfALineAreWrittenAsEachCharsetHoldsThem) {
    Configuration model;
    model.setValue(L"cl\xE9=x", L"\xE0\x81\x80");
    model.appendElement(ConfigurationElement(L"\xFF"));
    IniConfigurationSerializer windows1252(L"windows-1252");
    EXPECT_EQ(windows1252.serialize(model)->toString(), "cl\xE9\\=x=\xE0\x81?\r\n#\xFF\r\n");
    IniConfigurationSerializer utf8(L"UTF-8");
    EXPECT_EQ(utf8.serialize(model)->toString(),
              "cl\xC3\xA9\\=x=\xC3\xA0\xC2\x81\xC2\x80\r\n#\xC3\xBF\r\n");
    std::wostringstream stream;
    IniConfigurationSerializer::SerializationVisitor visitor(stream);
    model.visit(visitor);
    EXPECT_EQ(stream.str(), L"cl\xE9\\=x=\xE0\x81\x80\r\n#\xFF\r\n");
}

TEST(IniFormatTest, KeysReadBeyondAsciiAreFoundAndMergeWithTheirRepeats) {
    IniConfigurationSerializer serializer(L"UTF-8");
    const boost::shared_ptr<Configuration> model = serializer.deserialize(
        bytesOf("[s\xC3\xA9]\n\xC3\xA9=1\n\xC4\x80=2\n\xC3\xA9=\xE2\x82\xAC\n\xC4\x81=\xC3\xBF\n"));
    EXPECT_EQ(model->getKeys(L"s\xE9"), Configuration::StringList({L"\xE9", L"\x0100", L"\x0101"}));
    EXPECT_EQ(model->getValue(L"\xE9", L"s\xE9"), L"\x20AC");
    EXPECT_EQ(model->getValue(L"\x0100", L"s\xE9"), L"2");
    EXPECT_EQ(model->getValue(L"\x0101", L"s\xE9"), L"\xFF");
    EXPECT_FALSE(model->containsKey(L"\x01E9", L"s\xE9"));
    EXPECT_EQ(serializer.serialize(*model)->toString(),
              "[s\xC3\xA9]\n\xC3\xA9=\xE2\x82\xAC\n\xC4\x80=2\n\xC4\x81=\xC3\xBF\n");
}

TEST(IniFormatTest, HundredThousandSectionsReadInFileOrderAndMerge) {
    std::string input;
    for (int section = 0; section < 100000; ++section) {
        input += "[s" + std::to_string(section) + "]\nk=" + std::to_string(section) + "\n";
    }
    input += "[s5]\nk=again\nj=new\n";
    IniConfigurationSerializer serializer;
    const boost::shared_ptr<Configuration> model = serializer.deserialize(bytesOf(input));
    const Configuration::StringList names = model->getSectionNames();
    ASSERT_EQ(names.size(), 100001u);
    EXPECT_EQ(names[1], L"s0");
    EXPECT_EQ(names[100000], L"s99999");
    EXPECT_EQ(model->getValue(L"k", L"s99999"), L"99999");
    EXPECT_EQ(model->getKeys(L"s5"), Configuration::StringList({L"k", L"j"}));
    EXPECT_EQ(model->getValue(L"k", L"s5"), L"again");
}

TEST(IniFormatTest, HundredThousandKeysOfOneSectionKeepTheirOrder) {
    std::string input = "[S]\n";
    for (int key = 0; key < 100000; ++key) {
        input += "key" + std::to_string(key) + "=" + std::to_string(key) + "\n";
    }
    input += "key7 = later\n";
    IniConfigurationSerializer serializer;
    const boost::shared_ptr<Configuration> model = serializer.deserialize(bytesOf(input));
    const Configuration::StringList keys = model->getKeys(L"S");
    ASSERT_EQ(keys.size(), 100000u);
    EXPECT_EQ(keys[99999], L"key99999");
    EXPECT_EQ(model->getValue(L"key7", L"S"), L" later");
    EXPECT_EQ(model->getValue(L"key99999", L"S"), L"99999");
}

TEST(IniFormatTest, Utf8ReadsFourByteSequencesAndKeepsTheByteOrderMark) {
    const std::string text = "\xEF\xBB\xBFk=\xE2\x82\xAC \xF0\x9F\x98\x80\r\n";
    IniConfigurationSerializer serializer(L"UTF-8");
    const boost::shared_ptr<Configuration> model = serializer.deserialize(bytesOf(text));
    EXPECT_EQ(model->getKeys(), Configuration::StringList({L"k"}));
    EXPECT_EQ(model->getValue(L"k"), std::wstring(L"\x20AC \U0001F600"));
    EXPECT_EQ(serializer.serialize(*model)->toString(), text);
}

// "[s]\r\na=1\r\n" in each charset, after the UTF-8 byte-order mark.
TEST(IniFormatTest, OneUtf8ByteOrderMarkIsSkippedInEveryCharsetAndWrittenBack) {
    const std::string mark = "\xEF\xBB\xBF";
    const std::vector<std::pair<std::wstring, std::string>> cases = {
        {L"windows-1252", "[s]\r\na=1\r\n"},
        {L"UTF-8", "[s]\r\na=1\r\n"},
        {L"ISO-10646-UCS-2", std::string("[\0s\0]\0\r\0\n\0a\0=\0"
                                         "1\0\r\0\n\0",
                                         20)}};
    for (const auto& charset : cases) {
        SCOPED_TRACE(std::string(charset.first.begin(), charset.first.end()));
        IniConfigurationSerializer serializer(charset.first);
        const boost::shared_ptr<Configuration> model =
            serializer.deserialize(bytesOf(mark + charset.second));
        EXPECT_EQ(model->getKeys(L"s"), Configuration::StringList({L"a"}));
        EXPECT_TRUE(model->getKeys(L"").empty());
        EXPECT_EQ(serializer.serialize(*model)->toString(), mark + charset.second);
    }
}

TEST(IniFormatTest, OnlyTheFirstByteOrderMarkIsSkipped) {
    IniConfigurationSerializer serializer(L"UTF-8");
    const boost::shared_ptr<Configuration> model =
        serializer.deserialize(bytesOf("\xEF\xBB\xBF\xEF\xBB\xBFk=1\r\n"));
    EXPECT_EQ(model->getKeys(), Configuration::StringList({L"\uFEFFk"}));
}

TEST(IniFormatTest, TextBeginningAsTheMarkIsWrittenAfterAMarkAndReadsBackTheSame) {
    IniConfigurationSerializer serializer;
    const boost::shared_ptr<Configuration> model =
        serializer.deserialize(bytesOf(" \xEF\xBB\xBFk=1\r\n"));
    EXPECT_EQ(model->getKeys(), Configuration::StringList({L"\u00ef\u00bb\u00bfk"}));
    const std::string written = serializer.serialize(*model)->toString();
    EXPECT_EQ(written, "\xEF\xBB\xBF\xEF\xBB\xBFk=1\r\n");
    EXPECT_EQ(describe(*serializer.deserialize(bytesOf(written))), describe(*model));
}

TEST(IniFormatTest, AByteOrderMarkIsWrittenOnlyAfterReadingOne) {
    IniConfigurationSerializer serializer;
    Configuration fresh;
    fresh.setValue(L"k", L"v");
    EXPECT_EQ(serializer.serialize(fresh)->toString(), "k=v\r\n");
    serializer.deserialize(bytesOf("\xEF\xBB\xBFk=v\r\n"));
    EXPECT_EQ(serializer.serialize(fresh)->toString(), "\xEF\xBB\xBFk=v\r\n");
    serializer.deserialize(bytesOf("k=v\r\n"));
    EXPECT_EQ(serializer.serialize(fresh)->toString(), "k=v\r\n");
}

TEST(IniFormatTest, Ucs2IsLittleEndianUtf16WithoutByteOrderMarkWhenWritten) {
    const std::string text("k\0=\0\xE9\0\r\0\n\0", 10);
    IniConfigurationSerializer serializer(L"ISO-10646-UCS-2");
    const boost::shared_ptr<Configuration> model =
        serializer.deserialize(bytesOf(std::string("\xFF\xFE", 2) + text));
    EXPECT_EQ(model->getValue(L"k"), L"\xE9");
    EXPECT_EQ(serializer.serialize(*model)->toString(), text);
}

TEST(IniFormatTest, NulByteIsRefusedInsteadOfCuttingTheText) {
    IniConfigurationSerializer serializer;
    serializer.setLineSeparator(L"\n");
    EXPECT_THROW(serializer.deserialize(bytesOf(std::string("a=1\r\n\0b=2\r\n", 11))),
                 krel_std::KrelIOException);
    EXPECT_EQ(serializer.getLineSeparator(), L"\n");
}

TEST(IniFormatTest, OverlongUtf8NulIsRefusedInsteadOfCuttingTheText) {
    IniConfigurationSerializer serializer(L"UTF-8");
    serializer.setLineSeparator(L"\n");
    EXPECT_THROW(serializer.deserialize(bytesOf("a=1\r\nb=\xC0\x80x\r\nc=3\r\n")),
                 krel_std::KrelIOException);
    EXPECT_THROW(serializer.deserialize(bytesOf("a=1\r\n\xE0\x80\x80\r\nc=3\r\n")),
                 krel_std::KrelIOException);
    EXPECT_EQ(serializer.getLineSeparator(), L"\n");
}

TEST(IniFormatTest, UndecodableBytesAreRefused) {
    IniConfigurationSerializer utf8(L"UTF-8");
    EXPECT_THROW(utf8.deserialize(bytesOf("a=\xC3\r\n")), krel_std::KrelIOException);
    IniConfigurationSerializer ucs2(L"ISO-10646-UCS-2");
    EXPECT_THROW(ucs2.deserialize(bytesOf(std::string("a\0=", 3))), krel_std::KrelIOException);
}

TEST(IniFormatTest, InvalidCharsetIsRefusedWithItsName) {
    try {
        IniConfigurationSerializer serializer(L"latin1");
        FAIL() << "no exception";
    } catch (const krel_std::KrelIllegalArgumentException& exception) {
        EXPECT_EQ(exception.getMessage(), L"Charset latin1 is invalid.");
    }
    IniConfigurationSerializer serializer;
    EXPECT_THROW(serializer.setCharset(L"utf-8"), krel_std::KrelIllegalArgumentException);
    EXPECT_EQ(serializer.getCharset(), L"windows-1252");
}

TEST(IniFormatTest, NewInstanceHasTheSameCharsetAndNoSeparator) {
    IniConfigurationSerializer serializer(L"UTF-8");
    serializer.setLineSeparator(L"\n");
    const std::unique_ptr<krel_std::ConfigurationSerializer> copy(serializer.newInstance());
    EXPECT_NE(dynamic_cast<IniConfigurationSerializer*>(copy.get()), nullptr);
    EXPECT_EQ(copy->getCharset(), L"UTF-8");
    EXPECT_EQ(copy->getLineSeparator(), L"");
    EXPECT_EQ(copy->toString(), L"ConfigurationSerializer{charset='UTF-8'}");
}

TEST(IniFormatTest, SerializationVisitorWritesEachLineKind) {
    std::wostringstream stream;
    IniConfigurationSerializer::SerializationVisitor visitor(stream);
    visitor.visit(ConfigurationSection(L""));
    visitor.visit(ConfigurationSection(L"S"));
    visitor.visit(ConfigurationElement());
    visitor.visit(ConfigurationElement(L"note"));
    visitor.visit(ConfigurationElement(L"k=", L"v"));
    EXPECT_EQ(stream.str(), L"[S]\r\n\r\n#note\r\nk\\==v\r\n");
}
