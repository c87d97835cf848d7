// The in-memory configuration model: elements, sections, configurations, change events and the
// property helper.
#include <gtest/gtest.h>

#include "ConfigTestSupport.h"
#include "config/ConfigUtils.h"
#include "config/Configuration.h"
#include "config/ConfigurationChangeEvent.h"
#include "config/ConfigurationElement.h"
#include "config/ConfigurationSection.h"
#include "exception/KrelIllegalArgumentException.h"

using config_test::describe;
using krel_std::Configuration;
using krel_std::ConfigurationChangeEvent;
using krel_std::ConfigurationElement;
using krel_std::ConfigurationSection;
using krel_std::ConfigUtils;
using krel_std::KrelIllegalArgumentException;

TEST(ConfigurationElementTest, KindsFollowKeyAndComment) {
    const ConfigurationElement empty;
    const ConfigurationElement comment(L"text");
    const ConfigurationElement pair(L"k", L"v");
    EXPECT_TRUE(empty.isEmpty() && empty.isComment() && !empty.isKeyValue());
    EXPECT_TRUE(!comment.isEmpty() && comment.isComment() && !comment.isKeyValue());
    EXPECT_TRUE(!pair.isEmpty() && !pair.isComment() && pair.isKeyValue());
    EXPECT_EQ(pair.toString(), L"ConfigurationElement{key='k',value='v',comment=''}");
}

TEST(ConfigurationElementTest, KeyIsTrimmedAndValueLosesOnlyTrailingBlanks) {
    ConfigurationElement element(L" \tkey  ", L"  value \t");
    EXPECT_EQ(element.getKey(), L"key");
    EXPECT_EQ(element.getValue(), L"  value");
    element.setComment(L"  as is  ");
    EXPECT_EQ(element.getComment(), L"  as is  ");
}

TEST(ConfigurationElementTest, KeyValueAndCommentChangeIndependently) {
    ConfigurationElement element(L"k", L"v");
    element.setComment(L"note");
    element.setValue(L"a longer value ");
    element.setKey(L" other ");
    EXPECT_EQ(element.toString(),
              L"ConfigurationElement{key='other',value='a longer value',comment='note'}");
    element.setKey(L"");
    EXPECT_TRUE(element.isComment());
    EXPECT_FALSE(element.isEmpty());
    element.setComment(L"");
    EXPECT_TRUE(element.isEmpty());
    EXPECT_EQ(element.getValue(), L"a longer value");
}

TEST(ConfigurationElementTest, FieldsKeepCharactersOfEveryRangeWhileOthersChange) {
    // Latin characters up to U+00FF, then wider ones, then Latin ones again in one field: the
    // other fields keep their characters through each change.
    ConfigurationElement element(L"cl\xE9", L"na\xEFve \xFF");
    element.setComment(L"\x80\x9F\xA0");
    EXPECT_EQ(element.toString(),
              L"ConfigurationElement{key='cl\xE9',value='na\xEFve \xFF',comment='\x80\x9F\xA0'}");
    element.setValue(L"\x20AC \U0001F600 \xE9");
    EXPECT_EQ(element.getKey(), L"cl\xE9");
    EXPECT_EQ(element.getValue(), L"\x20AC \U0001F600 \xE9");
    EXPECT_EQ(element.getComment(), L"\x80\x9F\xA0");
    element.setKey(L"\x0100");
    element.setValue(L"\xE0");
    EXPECT_EQ(element.toString(),
              L"ConfigurationElement{key='\x0100',value='\xE0',comment='\x80\x9F\xA0'}");
    element.setKey(L"\xDF");
    EXPECT_EQ(element.toString(),
              L"ConfigurationElement{key='\xDF',value='\xE0',comment='\x80\x9F\xA0'}");
}

TEST(ConfigurationElementTest, BlankKeyIsRefused) {
    try {
        ConfigurationElement element(L"  ", L"v");
        FAIL() << "no exception";
    } catch (const KrelIllegalArgumentException& exception) {
        EXPECT_EQ(exception.getMessage(), L"key value is empty.");
    }
}

TEST(ConfigurationElementTest, LineBreaksAndNulAreRefusedInEveryField) {
    EXPECT_THROW(ConfigurationElement(L"k\n", L"v"), KrelIllegalArgumentException);
    EXPECT_THROW(ConfigurationElement(L"k", L"v\r[evil]"), KrelIllegalArgumentException);
    EXPECT_THROW(ConfigurationElement(std::wstring(L"c\0d", 3)), KrelIllegalArgumentException);
    EXPECT_THROW(ConfigurationSection(L"S\nk=v"), KrelIllegalArgumentException);
    ConfigurationElement element(L"k", L"v");
    try {
        element.setValue(L"1\r\n[other]\r\nx=2");
        FAIL() << "no exception";
    } catch (const KrelIllegalArgumentException& exception) {
        EXPECT_EQ(exception.getMessage(), L"value value contains a line break or NUL character.");
    }
    EXPECT_EQ(element.getValue(), L"v");
}

TEST(ConfigurationSectionTest, AppendElementMergesKeysAndAppendsOtherLines) {
    ConfigurationSection section(L"  S ");
    section.appendElement(ConfigurationElement(L"a", L"1"));
    section.appendElement(ConfigurationElement(L"note"));
    section.appendElement(ConfigurationElement(L"a", L"2"));
    section.appendElement(ConfigurationElement());
    EXPECT_EQ(section.getName(), L"S");
    EXPECT_EQ(section.getSize(), 3u);
    EXPECT_EQ(section.getKeys(), ConfigurationSection::StringList({L"a"}));
    EXPECT_EQ(section.getValues(), ConfigurationSection::StringList({L"2"}));
    EXPECT_EQ(section.toString(), L"ConfigurationSection{name='S'}");
}

TEST(ConfigurationSectionTest, RemoveKeyValueRemovesTheKeyAndKeepsOtherLines) {
    ConfigurationSection section;
    section.appendElement(ConfigurationElement(L"comment"));
    section.setValue(L"k", L"1");
    section.setValue(L"j", L"2");
    EXPECT_TRUE(section.removeKeyValue(L" k "));
    EXPECT_FALSE(section.contains(L"k"));
    EXPECT_FALSE(section.removeKeyValue(L"k"));
    EXPECT_EQ(section.getSize(), 2u);
    EXPECT_EQ(section.getKeys(), ConfigurationSection::StringList({L"j"}));
}

TEST(ConfigurationSectionTest, LookupsFollowRemovalsAndCopies) {
    ConfigurationSection section(L"S");
    for (int key = 0; key < 100; ++key) {
        section.setValue(L"k" + std::to_wstring(key), std::to_wstring(key));
        section.appendElement(ConfigurationElement(L"after " + std::to_wstring(key)));
    }
    EXPECT_TRUE(section.removeKeyValue(L"k10"));
    const ConfigurationSection copy = section;
    section.setValue(L"k10", L"again");
    section.setValue(L"k99", L"changed");
    EXPECT_EQ(section.getValue(L"k11"), L"11");
    EXPECT_EQ(section.getKeys().back(), L"k10");
    EXPECT_EQ(section.getValues()[98], L"changed");
    EXPECT_FALSE(copy.contains(L"k10"));
    EXPECT_EQ(copy.getValue(L"k99"), L"99");
    EXPECT_EQ(copy.getSize(), 199u);
}

TEST(ConfigurationSectionTest, MovedFromSectionsAndElementsStayUsable) {
    ConfigurationSection section(L"S");
    section.setValue(L"k", L"v");
    ConfigurationSection moved(std::move(section));
    EXPECT_FALSE(section.contains(L"k"));
    section.setValue(L"j", L"1");
    EXPECT_EQ(section.getValue(L"j"), L"1");
    EXPECT_EQ(moved.getValue(L"k"), L"v");

    ConfigurationElement element(L"key", L"value");
    const ConfigurationElement taken(std::move(element));
    EXPECT_TRUE(element.isEmpty());
    EXPECT_EQ(element.toString(), L"ConfigurationElement{key='',value='',comment=''}");
    EXPECT_EQ(taken.getValue(), L"value");
}

TEST(ConfigurationSectionTest, BlankKeyNeverMatchesCommentsOrEmptyLines) {
    ConfigurationSection section;
    section.appendElement(ConfigurationElement(L"comment"));
    section.appendElement(ConfigurationElement());
    EXPECT_FALSE(section.contains(L""));
    EXPECT_FALSE(section.removeKeyValue(L"  "));
    EXPECT_EQ(section.getSize(), 2u);
}

TEST(ConfigurationTest, NewConfigurationHasOnlyTheUnnamedSection) {
    Configuration configuration;
    EXPECT_EQ(configuration.getSectionNames(), Configuration::StringList({L""}));
    EXPECT_TRUE(configuration.containsSection(Configuration::defaultSection));
    EXPECT_EQ(configuration.toString(), L"Configuration{}");
}

TEST(ConfigurationTest, SettingAValueInAMissingSectionAppendsIt) {
    Configuration configuration;
    configuration.setValue(L"a", L"1", L"First");
    configuration.setValue(L" b ", L"  2  ", L" Second ");
    EXPECT_EQ(configuration.getSectionNames(),
              Configuration::StringList({L"", L"First", L"Second"}));
    EXPECT_EQ(configuration.getValue(L"b", L"Second"), L"  2");
    EXPECT_TRUE(configuration.containsKey(L"b ", L"Second"));
}

TEST(ConfigurationTest, MissingKeysAndSectionsAnswerEmptyOrFalse) {
    Configuration configuration;
    configuration.setValue(L"k", L"v");
    EXPECT_EQ(configuration.getValue(L"other"), L"");
    EXPECT_EQ(configuration.getValue(L"k", L"Nowhere"), L"");
    EXPECT_FALSE(configuration.containsKey(L"k", L"Nowhere"));
    EXPECT_FALSE(configuration.removeKeyValue(L"k", L"Nowhere"));
    EXPECT_TRUE(configuration.getKeys(L"Nowhere").empty());
    EXPECT_FALSE(configuration.containsSection(L"Nowhere"));
}

TEST(ConfigurationTest, EmptyKeyIsRefusedAndRefusedTextAddsNoSection) {
    Configuration configuration;
    EXPECT_THROW(configuration.setValue(L" ", L"v", L"S"), KrelIllegalArgumentException);
    EXPECT_THROW(configuration.setValue(L"k", L"a\nb", L"S"), KrelIllegalArgumentException);
    EXPECT_FALSE(configuration.containsSection(L"S"));
}

TEST(ConfigurationTest, RemovingTheUnnamedSectionEmptiesItAndKeepsItFirst) {
    Configuration configuration;
    configuration.setValue(L"k", L"v");
    configuration.setValue(L"x", L"y", L"S");
    EXPECT_TRUE(configuration.removeSection(L""));
    EXPECT_EQ(configuration.getSectionNames(), Configuration::StringList({L"", L"S"}));
    EXPECT_TRUE(configuration.getKeys().empty());
    EXPECT_TRUE(configuration.removeSection(L"S"));
    EXPECT_FALSE(configuration.removeSection(L"S"));
    EXPECT_EQ(configuration.getSectionNames(), Configuration::StringList({L""}));
}

TEST(ConfigurationTest, AddingAKnownSectionMergesIntoIt) {
    Configuration configuration;
    configuration.setValue(L"a", L"1", L"S");
    configuration.setValue(L"z", L"9", L"T");
    ConfigurationSection more(L"S");
    more.appendElement(ConfigurationElement(L"note"));
    more.setValue(L"a", L"2");
    more.setValue(L"b", L"3");
    configuration.addSection(more);
    EXPECT_EQ(configuration.getSectionNames(), Configuration::StringList({L"", L"S", L"T"}));
    EXPECT_EQ(describe(configuration), L"[]\n[S]\n"
                                       L"  ConfigurationElement{key='a',value='2',comment=''}\n"
                                       L"  ConfigurationElement{key='',value='',comment='note'}\n"
                                       L"  ConfigurationElement{key='b',value='3',comment=''}\n"
                                       L"[T]\n"
                                       L"  ConfigurationElement{key='z',value='9',comment=''}\n");
}

TEST(ConfigurationTest, RemovingASectionKeepsTheOthersFindable) {
    Configuration configuration;
    configuration.setValue(L"a", L"1", L"A");
    configuration.setValue(L"b", L"2", L"B");
    configuration.setValue(L"c", L"3", L"C");
    EXPECT_TRUE(configuration.removeSection(L" B "));
    EXPECT_FALSE(configuration.containsSection(L"B"));
    EXPECT_EQ(configuration.getValue(L"c", L"C"), L"3");
    configuration.setValue(L"b", L"4", L"B");
    configuration.setValue(L"a", L"5", L"A");
    EXPECT_EQ(configuration.getSectionNames(), Configuration::StringList({L"", L"A", L"C", L"B"}));
    EXPECT_EQ(configuration.getValue(L"a", L"A"), L"5");
    EXPECT_EQ(configuration.getValue(L"b", L"B"), L"4");
}

TEST(ConfigurationTest, SectionNamesAndKeysCompareExactly) {
    Configuration configuration;
    configuration.setValue(L"Key", L"1", L"Section");
    EXPECT_FALSE(configuration.containsSection(L"section"));
    EXPECT_FALSE(configuration.containsKey(L"key", L"Section"));
    EXPECT_TRUE(configuration.containsKey(L"\tKey ", L" Section\t"));
}

TEST(ConfigurationTest, KeysBeyondAsciiAreFoundReplacedAndRemoved) {
    Configuration configuration;
    configuration.setValue(L"\xE9t\xE9", L"1");
    configuration.setValue(L"\x0100", L"2");
    configuration.setValue(L"e\x301", L"3");
    configuration.setValue(L"\xE9t\xE9", L"4");
    EXPECT_EQ(configuration.getKeys(),
              Configuration::StringList({L"\xE9t\xE9", L"\x0100", L"e\x301"}));
    EXPECT_EQ(configuration.getValue(L"\xE9t\xE9"), L"4");
    EXPECT_FALSE(configuration.containsKey(L"\xC9t\xE9"));
    EXPECT_FALSE(configuration.containsKey(L"\x01E9t\xE9"));
    EXPECT_TRUE(configuration.removeKeyValue(L"\x0100"));
    EXPECT_EQ(configuration.getValue(L"\xE9t\xE9"), L"4");
    EXPECT_EQ(configuration.getValue(L"e\x301"), L"3");
    EXPECT_FALSE(configuration.containsKey(L"\x0100"));
}

TEST(ConfigurationTest, ClearLeavesOneEmptyUnnamedSection) {
    Configuration configuration;
    configuration.setValue(L"k", L"v");
    configuration.setValue(L"x", L"y", L"S");
    configuration.clear();
    EXPECT_EQ(describe(configuration), L"[]\n");
}

TEST(ConfigurationTest, KeysAndValuesComeInFileOrder) {
    Configuration configuration;
    configuration.setValue(L"b", L"2");
    configuration.appendElement(ConfigurationElement(L"between"));
    configuration.setValue(L"a", L"1");
    configuration.setValue(L"b", L"3");
    EXPECT_EQ(configuration.getKeys(), Configuration::StringList({L"b", L"a"}));
    EXPECT_EQ(configuration.getValues(), Configuration::StringList({L"3", L"1"}));
}

TEST(ConfigurationChangeEventTest, DescribesAddedRemovedAndChangedKeys) {
    const krel_std::File file(L"/etc/app.cfg");
    const ConfigurationChangeEvent added(file, ConfigurationChangeEvent::Added, L"S", L"k", L"new");
    const ConfigurationChangeEvent removed(file, ConfigurationChangeEvent::Removed, L"", L"k",
                                           L"old");
    const ConfigurationChangeEvent changed(file, ConfigurationChangeEvent::Changed, L"S", L"k",
                                           L"v2");
    EXPECT_EQ(added.toString(), L"ConfigurationChangeEvent{path='/etc/app.cfg',event='Added',"
                                L"section='S',key='k',value='new'}");
    EXPECT_EQ(removed.toString(), L"ConfigurationChangeEvent{path='/etc/app.cfg',event='Removed',"
                                  L"section='',key='k',value='old'}");
    EXPECT_EQ(changed.toString(), L"ConfigurationChangeEvent{path='/etc/app.cfg',event='Changed',"
                                  L"section='S',key='k',value='v2'}");
    EXPECT_EQ(changed.getType(), ConfigurationChangeEvent::Changed);
    EXPECT_EQ(changed.getPath(), file);
}

TEST(ConfigurationChangeEventTest, EventTypeIsTheTypeGivenAtConstruction) {
    const krel_std::File file(L"/etc/app.cfg");
    EXPECT_EQ(ConfigurationChangeEvent(file, ConfigurationChangeEvent::Added, L"", L"k", L"v")
                  .getEventType(),
              ConfigurationChangeEvent::Added);
    EXPECT_EQ(ConfigurationChangeEvent(file, ConfigurationChangeEvent::Removed, L"", L"k", L"v")
                  .getEventType(),
              ConfigurationChangeEvent::Removed);
}

TEST(ConfigurationChangeEventTest, UnknownTypeIsRefused) {
    try {
        ConfigurationChangeEvent event(krel_std::File(L"/a"),
                                       static_cast<ConfigurationChangeEvent::ChangeType>(3), L"",
                                       L"k", L"v");
        FAIL() << "no exception";
    } catch (const KrelIllegalArgumentException& exception) {
        EXPECT_EQ(exception.getMessage(),
                  L"Invalid value for configuration change type enumeration.");
    }
}

TEST(ConfigUtilsTest, TrimmedPrefixSubsetKeepsLongerPrefixedKeysWithoutThePrefix) {
    const ConfigUtils::PropertyMap properties = {{L"filter.level", L"DEBUG"},
                                                 {L"filter.", L"bare"},
                                                 {L"layout.x", L"1"},
                                                 {L"filter", L"no"}};
    EXPECT_EQ(ConfigUtils::getTrimmedPrefixSubset(properties, L"filter."),
              ConfigUtils::PropertyMap({{L"level", L"DEBUG"}}));
}
