// Configuration files on disk: loading, saving, share locks, separators and failures.
#include "config/ConfigurationFile.h"

#include <atomic>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>

#include "ConfigTestSupport.h"
#include "config/IniConfigurationSerializer.h"
#include "exception/KrelIOException.h"
#include "exception/KrelIllegalStateException.h"
#include "file/File.h"
#include "file/LockedFile.h"
#include "support/BytesRead.h"

using config_test::describe;
using krel_std::Configuration;
using krel_std::ConfigurationFile;
using krel_std::ConfigurationSerializer;
using krel_std::File;
using krel_std::IniConfigurationSerializer;
using krel_std::KrelIOException;
using krel_std::LockedFile;

namespace {

class ConfigurationFileTest : public config_test::TempDirectoryTest {
protected:
    // A configuration bound to a file of the temporary directory.
    ConfigurationFile fileNamed(const std::string& name) const {
        return ConfigurationFile(File(path(name)));
    }
};

} // namespace

TEST_F(ConfigurationFileTest, SaveWritesTheExactTextAndLoadReadsItBack) {
    ConfigurationFile written = fileNamed("app.cfg");
    written.setValue(L"name", L"caf\xE9");
    written.setValue(L"size", L"10", L"Limits");
    written.save();
    EXPECT_EQ(readBytes("app.cfg"), "name=caf\xE9\r\n[Limits]\r\nsize=10\r\n");

    ConfigurationFile read = fileNamed("app.cfg");
    read.load();
    EXPECT_EQ(describe(read), describe(written));
}

TEST_F(ConfigurationFileTest, SaveAfterLoadWritesTheFileBackByteForByte) {
    const std::string content = "#  header comment  with  gaps\r\n"
                                "\r\n"
                                "top=1\r\n"
                                "[Section One]\r\n"
                                "key=  spaced  value\r\n"
                                "path\\\\to\\=x=C:\\dir\r\n"
                                "caf\xE9=\xE0 la \x80\r\n"
                                "#\xE9t\xE9\r\n"
                                "\r\n"
                                "[T]\r\n"
                                "k=\r\n";
    writeBytes("hand.cfg", content);
    ConfigurationFile configuration = fileNamed("hand.cfg");
    configuration.load();
    configuration.setPath(File(path("saved.cfg")));
    configuration.save();
    EXPECT_EQ(readBytes("saved.cfg"), content);
}

TEST_F(ConfigurationFileTest, SaveKeepsTheSeparatorOfTheLoadedFile) {
    writeBytes("lf.cfg", "# settings\nk=v\n");
    ConfigurationFile configuration = fileNamed("lf.cfg");
    configuration.load();
    EXPECT_EQ(configuration.getLineSeparator(), L"\n");
    configuration.setValue(L"added", L"1");
    configuration.save();
    EXPECT_EQ(readBytes("lf.cfg"), "# settings\nk=v\nadded=1\n");
}

TEST_F(ConfigurationFileTest, AByteOrderMarkKeepsTheFirstSectionAndIsSavedAgain) {
    const std::string content = "\xEF\xBB\xBF[s]\r\na=caf\xC3\xA9\r\n";
    writeBytes("bom.ini", content);
    ConfigurationFile configuration = fileNamed("bom.ini");
    configuration.load();
    EXPECT_EQ(configuration.getSectionNames(), Configuration::StringList({L"", L"s"}));
    EXPECT_EQ(configuration.getValue(L"a", L"s"), L"caf\u00c3\u00a9");
    EXPECT_TRUE(configuration.getKeys(L"").empty());
    configuration.save();
    EXPECT_EQ(readBytes("bom.ini"), content);
}

TEST_F(ConfigurationFileTest, AFileWithoutAByteOrderMarkIsSavedWithoutOne) {
    writeBytes("bom.ini", "\xEF\xBB\xBF[s]\r\na=1\r\n");
    writeBytes("plain.ini", "[s]\r\na=1\r\n");
    ConfigurationFile configuration = fileNamed("bom.ini");
    configuration.load();
    configuration.setPath(File(path("plain.ini")));
    configuration.load();
    configuration.setValue(L"b", L"2", L"s");
    configuration.save();
    EXPECT_EQ(readBytes("plain.ini"), "[s]\r\na=1\r\nb=2\r\n");
}

TEST_F(ConfigurationFileTest, SaveReplacesTheWholeFileAndLeavesNoHelperFiles) {
    writeBytes("a.cfg", "long=" + std::string(200, 'x') + "\r\n");
    ConfigurationFile configuration = fileNamed("a.cfg");
    configuration.setValue(L"k", L"v");
    configuration.save();
    EXPECT_EQ(readBytes("a.cfg"), "k=v\r\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(root),
                            std::filesystem::directory_iterator()),
              1);
}

TEST_F(ConfigurationFileTest, SaveMakesMissingParentDirectories) {
    ConfigurationFile configuration = fileNamed("one/two/app.cfg");
    configuration.setValue(L"k", L"v");
    configuration.save();
    EXPECT_EQ(readBytes("one/two/app.cfg"), "k=v\r\n");
}

TEST_F(ConfigurationFileTest, SaveFailsWhenTheParentCannotBeMade) {
    writeBytes("plain", "not a directory");
    ConfigurationFile configuration = fileNamed("plain/sub/app.cfg");
    try {
        configuration.save();
        FAIL() << "no exception";
    } catch (const KrelIOException& exception) {
        EXPECT_EQ(exception.getMessage(),
                  L"Unable to make necessary directories to save file with path: " +
                      path("plain/sub"));
    }
}

TEST_F(ConfigurationFileTest, FileOfAHundredThousandSectionsLoadsAndSavesUnchanged) {
    std::string text;
    for (int section = 0; section < 100000; ++section) {
        text += "[section " + std::to_string(section) + "]\r\n#c\r\nk=v\r\n";
    }
    writeBytes("many.cfg", text);
    ConfigurationFile configuration = fileNamed("many.cfg");
    configuration.load();
    EXPECT_EQ(configuration.getSectionNames().size(), 100001u);
    EXPECT_EQ(configuration.getValue(L"k", L"section 99999"), L"v");
    configuration.save();
    EXPECT_EQ(readBytes("many.cfg"), text);
}

TEST_F(ConfigurationFileTest, FailedLoadOfAMissingFileKeepsTheContent) {
    ConfigurationFile configuration = fileNamed("missing.cfg");
    configuration.setValue(L"k", L"v");
    EXPECT_THROW(configuration.load(), KrelIOException);
    EXPECT_EQ(configuration.getValue(L"k"), L"v");
}

TEST_F(ConfigurationFileTest, FailedLoadOfUndecodableBytesKeepsContentAndFile) {
    writeBytes("bad.cfg", "k=\xFF\xFE broken\r\n");
    ConfigurationFile configuration(
        File(path("bad.cfg")),
        boost::shared_ptr<ConfigurationSerializer>(new IniConfigurationSerializer(L"UTF-8")));
    configuration.setValue(L"k", L"old");
    EXPECT_THROW(configuration.load(), KrelIOException);
    EXPECT_EQ(configuration.getValue(L"k"), L"old");
    EXPECT_EQ(readBytes("bad.cfg"), "k=\xFF\xFE broken\r\n");
}

TEST_F(ConfigurationFileTest, FailedLoadOfAnOverlongUtf8NulKeepsContentAndFile) {
    const std::string bytes = "a=1\r\nb=\xC0\x80tail\r\nc=3\r\n";
    writeBytes("nul.cfg", bytes);
    ConfigurationFile configuration(
        File(path("nul.cfg")),
        boost::shared_ptr<ConfigurationSerializer>(new IniConfigurationSerializer(L"UTF-8")));
    configuration.setValue(L"k", L"old");
    EXPECT_THROW(configuration.load(), KrelIOException);
    EXPECT_EQ(configuration.getValue(L"k"), L"old");
    EXPECT_EQ(readBytes("nul.cfg"), bytes);
}

TEST_F(ConfigurationFileTest, FailedLoadOfADeviceReadsNothingAndKeepsTheContent) {
    ConfigurationFile configuration(File(L"/dev/zero"));
    configuration.setValue(L"k", L"old");
    const uint64_t before = krel_test::bytesReadSoFar();
    EXPECT_THROW(configuration.load(), KrelIOException);
    EXPECT_LT(krel_test::bytesReadSoFar() - before, krel_test::FEW_BYTES_READ);
    EXPECT_EQ(configuration.getValue(L"k"), L"old");
}

TEST_F(ConfigurationFileTest, SaveFailsAtOnceWhileAReaderHoldsTheFile) {
    writeBytes("held.cfg", "k=old\r\n");
    LockedFile reader;
    reader.open(File(path("held.cfg")), LockedFile::Read);
    ConfigurationFile configuration = fileNamed("held.cfg");
    configuration.setValue(L"k", L"new");
    EXPECT_THROW(configuration.save(), KrelIOException);
    reader.close();
    EXPECT_EQ(readBytes("held.cfg"), "k=old\r\n");
    configuration.save();
    EXPECT_EQ(readBytes("held.cfg"), "k=new\r\n");
}

TEST_F(ConfigurationFileTest, LoadFailsAtOnceWhileAWriterHoldsTheFile) {
    writeBytes("held.cfg", "k=v\r\n");
    LockedFile writer;
    writer.open(File(path("held.cfg")), LockedFile::Append);
    ConfigurationFile configuration = fileNamed("held.cfg");
    EXPECT_THROW(configuration.load(), KrelIOException);
    writer.close();
    configuration.load();
    EXPECT_EQ(configuration.getValue(L"k"), L"v");
}

TEST_F(ConfigurationFileTest, WithoutSerializerLoadAndSaveAreRefused) {
    ConfigurationFile configuration{boost::shared_ptr<ConfigurationSerializer>()};
    configuration.setPath(File(path("x.cfg")));
    EXPECT_EQ(configuration.getLineSeparator(), L"");
    configuration.setLineSeparator(L"\n");
    EXPECT_THROW(configuration.load(), krel_std::KrelIllegalStateException);
    EXPECT_THROW(configuration.save(), krel_std::KrelIllegalStateException);
}

TEST_F(ConfigurationFileTest, SerializerSharingFollowsTheConstructor) {
    const ConfigurationFile plain;
    const ConfigurationFile fromModel{Configuration()};
    const ConfigurationFile bound = fileNamed("x.cfg");
    EXPECT_EQ(plain.getSerializer(), ConfigurationFile::defaultSerializer);
    EXPECT_EQ(fromModel.getSerializer(), ConfigurationFile::defaultSerializer);
    EXPECT_NE(bound.getSerializer(), ConfigurationFile::defaultSerializer);
    EXPECT_EQ(bound.getSerializer()->getCharset(), L"windows-1252");
}

TEST_F(ConfigurationFileTest, DefaultSerializerIsASharedIniSerializerOfWindows1252) {
    const ConfigurationSerializer* shared = ConfigurationFile::defaultSerializer.get();
    ASSERT_NE(dynamic_cast<const krel_std::IniConfigurationSerializer*>(shared), nullptr);
    EXPECT_EQ(shared->getCharset(), L"windows-1252");
    EXPECT_EQ(ConfigurationFile().getSerializer().get(), shared);
}

TEST_F(ConfigurationFileTest, CopyHasTheSectionsAnEmptyPathAndItsOwnSerializer) {
    ConfigurationFile original = fileNamed("x.cfg");
    original.setValue(L"k", L"v", L"S");
    original.setLineSeparator(L"\n");
    const ConfigurationFile copy(original);
    EXPECT_EQ(describe(copy), describe(original));
    EXPECT_EQ(copy.getPath().getPath(), L"");
    EXPECT_NE(copy.getSerializer(), original.getSerializer());
    EXPECT_EQ(copy.getLineSeparator(), L"");
    EXPECT_EQ(copy.toString(), L"ConfigurationFile{path=''}");
}

TEST_F(ConfigurationFileTest, EachLoadReplacesTheWholeContent) {
    writeBytes("one.cfg", "[Old]\r\nk=1\r\n");
    writeBytes("two.cfg", "k=2\r\n[New]\r\nj=3\r\n");
    ConfigurationFile configuration = fileNamed("one.cfg");
    configuration.load();
    configuration.setPath(File(path("two.cfg")));
    configuration.load();
    EXPECT_EQ(configuration.getSectionNames(), Configuration::StringList({L"", L"New"}));
    EXPECT_FALSE(configuration.containsSection(L"Old"));
    EXPECT_EQ(configuration.getValue(L"k"), L"2");
    EXPECT_EQ(configuration.getValue(L"j", L"New"), L"3");
    const ConfigurationFile copy(configuration);
    EXPECT_EQ(copy.getValue(L"j", L"New"), L"3");
}

TEST_F(ConfigurationFileTest, ReadersNeverSeeAHalfLoadedConfiguration) {
    std::string first;
    std::string second;
    for (int index = 0; index < 20; ++index) {
        first += "a" + std::to_string(index) + "=1\r\n";
        second += "b" + std::to_string(index) + "=2\r\n";
    }
    writeBytes("first.cfg", first);
    writeBytes("second.cfg", second);
    ConfigurationFile configuration = fileNamed("first.cfg");
    configuration.load();
    std::atomic<bool> done(false);
    std::atomic<int> torn(0);
    std::thread reader([&] {
        while (!done) {
            const Configuration::StringList keys = configuration.getKeys();
            if (keys.size() != 20 || keys.front()[0] != keys.back()[0]) {
                ++torn;
            }
        }
    });
    for (int round = 0; round < 100; ++round) {
        configuration.setPath(File(path(round % 2 == 0 ? "second.cfg" : "first.cfg")));
        configuration.load();
    }
    done = true;
    reader.join();
    EXPECT_EQ(torn, 0);
}
