// The older configuration functions: reading entries, rewriting files line by line, section
// lists, the default path shared by the process, and writes that fail without losing the file.
#include "config/KrelStdConfig.h"

#include <atomic>
#include <climits>
#include <filesystem>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <vector>

#include "support/BytesRead.h"
#include "support/ChildWithLimit.h"
#include "support/DebugOutputCapture.h"
#include "support/TempDirectory.h"

using KrelStd::SWString;

namespace {

class KrelStdConfigTest : public TempDirectoryTest {
protected:
    void SetUp() override {
        TempDirectoryTest::SetUp();
        KrelStd::CloseConfigStringList();
        KrelStd::CfgSetFilePath(L"");
    }

    void TearDown() override {
        KrelStd::CloseConfigStringList();
        KrelStd::CfgSetFilePath(L"");
        TempDirectoryTest::TearDown();
    }

    SWString file(const std::string& name = "app.cfg") const { return SWString(path(name)); }

    SWString read(const SWString& section, const SWString& key,
                  const SWString& defaultValue = L"none") const {
        SWString value;
        KrelStd::GetConfigString(value, file(), section, key, defaultValue, false);
        return value;
    }

    std::set<std::string> entries() const {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(root)) {
            names.insert(entry.path().filename().string());
        }
        return names;
    }
};

} // namespace

TEST_F(KrelStdConfigTest, ValueKeepsBlanksAfterTheEqualsSignAndLosesTrailingOnes) {
    writeBytes("app.cfg", "[s]\r\n  k=  v  \r\n");
    SWString value;
    EXPECT_EQ(KrelStd::GetConfigString(value, file(), L"s", L"k", L"d", false), 3);
    EXPECT_EQ(value, L"  v");
}

TEST_F(KrelStdConfigTest, KeysMatchExactlyAndCommentMarksAreOrdinaryText) {
    writeBytes("app.cfg", "[s]\nk =1\nK=2\n;c=3\n[ s ]\nk=4\n");
    EXPECT_EQ(read(L"s", L"k"), L"none");
    EXPECT_EQ(read(L"s", L"K"), L"2");
    EXPECT_EQ(read(L"s", L";c"), L"3");
    EXPECT_EQ(read(L"t", L"k"), L"none");
}

TEST_F(KrelStdConfigTest, RepeatedHeadingReadsAndWritesItsFirstOccurrenceOnly) {
    writeBytes("app.cfg", "[s]\nk=1\n[s]\nk=2\nj=3\n");
    EXPECT_EQ(read(L"s", L"j"), L"none");
    EXPECT_EQ(KrelStd::PutConfigString(file(), L"s", L"j", L"new"), 1);
    EXPECT_EQ(readBytes("app.cfg"), "[s]\r\nk=1\r\nj=new\r\n[s]\r\nk=2\r\nj=3\r\n");
}

// Before the static log is initialised its DEBUG traces reach the debugger output.
TEST_F(KrelStdConfigTest, TracedReadNamesWhatItCouldNotFind) {
    writeBytes("app.cfg", "[s]\nk=1\n");
    SWString value;
    {
        krel_test::DebugOutputCapture found;
        KrelStd::GetConfigString(value, file(), L"s", L"k", L"d", true);
        EXPECT_EQ(found.all(), L"");
    }
    krel_test::DebugOutputCapture capture;
    KrelStd::GetConfigString(value, file(), L"t", L"k", L"d", true);
    KrelStd::GetConfigString(value, file(), L"s", L"j", L"d", true);
    KrelStd::GetConfigString(value, file("missing.cfg"), L"s", L"k", L"d", true);
    const std::wstring traced = capture.all();
    EXPECT_NE(traced.find(L"( d " + file() + L" t k d)\n"), std::wstring::npos);
    EXPECT_NE(traced.find(L"Couldn't find Section:t\n"), std::wstring::npos);
    EXPECT_NE(traced.find(L"Couldn't find Entry:j\n"), std::wstring::npos);
    EXPECT_NE(traced.find(L"_wfopen(" + file("missing.cfg") + L"):2\n"), std::wstring::npos);
}

TEST_F(KrelStdConfigTest, DeviceReadsAsAMissingFileWithoutReadingIt) {
    const uint64_t before = krel_test::bytesReadSoFar();
    SWString value;
    KrelStd::GetConfigString(value, L"/dev/zero", L"s", L"k", L"d", false);
    EXPECT_EQ(value, SWString(L"d"));
    EXPECT_EQ(KrelStd::GetConfigInt(L"/dev/zero", L"s", L"k", 7, false), 7);
    EXPECT_LT(krel_test::bytesReadSoFar() - before, krel_test::FEW_BYTES_READ);
}

TEST_F(KrelStdConfigTest, IntegerReadsLeadingDigitsClampedToIntAndMarkerAsMissing) {
    writeBytes("app.cfg", "[n]\na=12abc\nb=.mf/@#\nc=99999999999\nd=-99999999999\ne=x\n");
    EXPECT_EQ(KrelStd::GetConfigInt(file(), L"n", L"a", 7, false), 12);
    EXPECT_EQ(KrelStd::GetConfigInt(file(), L"n", L"b", 7, false), 7);
    EXPECT_EQ(KrelStd::GetConfigInt(file(), L"n", L"c", 7, false), INT_MAX);
    EXPECT_EQ(KrelStd::GetConfigInt(file(), L"n", L"d", 7, false), INT_MIN);
    EXPECT_EQ(KrelStd::GetConfigInt(file(), L"n", L"e", 7, false), 0);
    EXPECT_EQ(KrelStd::GetConfigInt(file(), L"n", L"missing", 7, false), 7);
}

TEST_F(KrelStdConfigTest, NarrowValueIsCutToTheBufferAndTerminated) {
    writeBytes("app.cfg", "[s]\nk=abcdef\n");
    const std::string name = native("app.cfg").string();
    char value[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(KrelStd::GetConfigString(value, 4, name.c_str(), "s", "k", "d", false), 3);
    EXPECT_STREQ(value, "abc");
    EXPECT_EQ(KrelStd::GetConfigString(value, 0, name.c_str(), "s", "k", "d", false), 0);
    EXPECT_STREQ(value, "abc");
}

TEST_F(KrelStdConfigTest, PutOnMissingFileWritesHeadingAndEntryOnly) {
    const mode_t mask = umask(022);
    EXPECT_EQ(KrelStd::PutConfigString(file(), L"s", L"k", L"v"), 1);
    umask(mask);
    EXPECT_EQ(readBytes("app.cfg"), "[s]\r\nk=v\r\n");
    struct stat status {};
    ASSERT_EQ(stat(native("app.cfg").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0644u);
}

TEST_F(KrelStdConfigTest, PutReplacesEveryEntryOfTheKeyAndTrimsEveryLine) {
    writeBytes("app.cfg", "  top  \n[s]\n k=1 \n other \nk=2\n[t]\n  k=3\n");
    EXPECT_EQ(KrelStd::PutConfigInt(file(), L"s", L"k", -5), 1);
    EXPECT_EQ(readBytes("app.cfg"), "top\r\n[s]\r\nk=-5\r\nother\r\nk=-5\r\n[t]\r\nk=3\r\n");
}

TEST_F(KrelStdConfigTest, NewKeyFollowsTheSectionsTrailingBlankLines) {
    writeBytes("app.cfg", "[a]\nx=1\n\n[b]\ny=2");
    EXPECT_EQ(KrelStd::PutConfigString(file(), L"a", L"k", L"v"), 1);
    EXPECT_EQ(readBytes("app.cfg"), "[a]\r\nx=1\r\n\r\nk=v\r\n[b]\r\ny=2\r\n");
}

TEST_F(KrelStdConfigTest, MissingSectionIsAppendedAndListLineEndsItsSection) {
    writeBytes("app.cfg", "[a]\nx=1\n[b]\n");
    EXPECT_EQ(KrelStd::PutConfigString(file(), L"c", L"k", L"v"), 1);
    EXPECT_EQ(KrelStd::PutConfigStringList(file(), L"a", L"x=1"), 1);
    EXPECT_EQ(readBytes("app.cfg"), "[a]\r\nx=1\r\nx=1\r\n[b]\r\n[c]\r\nk=v\r\n");
}

TEST_F(KrelStdConfigTest, DeleteEntryLeavesTheKeyInOtherSections) {
    writeBytes("app.cfg", "[a]\nk=1\nj=2\n\nk=3\n[b]\nk=4\n");
    EXPECT_EQ(KrelStd::DeleteConfigEntry(file(), L"a", L"k"), 1);
    EXPECT_EQ(readBytes("app.cfg"), "[a]\r\nj=2\r\n\r\n[b]\r\nk=4\r\n");
}

TEST_F(KrelStdConfigTest, DeleteLineRemovesTheSectionsEqualTrimmedLines) {
    writeBytes("app.cfg", "[a]\n item \nkeep\nitem\n[b]\nitem\n");
    EXPECT_EQ(KrelStd::DeleteConfigLine(file(), L"a", L"  item "), 1);
    EXPECT_EQ(readBytes("app.cfg"), "[a]\r\nkeep\r\n[b]\r\nitem\r\n");
}

TEST_F(KrelStdConfigTest, SectionValuesGoWithOrWithoutTheirHeading) {
    writeBytes("app.cfg", "[a]\nk=1\n\n[b]\nj=2\n[c]\n");
    EXPECT_EQ(KrelStd::DelConfigSectionValues(file(), L"a"), 1);
    EXPECT_EQ(readBytes("app.cfg"), "[a]\r\n[b]\r\nj=2\r\n[c]\r\n");
    EXPECT_EQ(KrelStd::DelConfigSection(file(), L"b"), 1);
    EXPECT_EQ(readBytes("app.cfg"), "[a]\r\n[c]\r\n");
}

TEST_F(KrelStdConfigTest, RemovalsOnAMissingFileLeaveNothingOrAnEmptyFile) {
    EXPECT_EQ(KrelStd::DelConfigSection(file("one.cfg"), L"a"), 1);
    EXPECT_EQ(KrelStd::DelConfigSectionValues(file("one.cfg"), L"a"), 1);
    EXPECT_TRUE(entries().empty());
    EXPECT_EQ(KrelStd::DeleteConfigEntry(file("two.cfg"), L"a", L"k"), 1);
    EXPECT_EQ(entries(), std::set<std::string>{"two.cfg"});
    EXPECT_EQ(readBytes("two.cfg"), "");
}

TEST_F(KrelStdConfigTest, RewrittenFileKeepsItsPermissionBitsAndNoTemporaryRemains) {
    writeBytes("app.cfg", "[s]\nk=1\n");
    ASSERT_EQ(chmod(native("app.cfg").c_str(), 0640), 0);
    EXPECT_EQ(KrelStd::PutConfigString(file(), L"s", L"k", L"2"), 1);
    struct stat status {};
    ASSERT_EQ(stat(native("app.cfg").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0640u);
    EXPECT_EQ(entries(), std::set<std::string>{"app.cfg"});
}

TEST_F(KrelStdConfigTest, WriteThatRunsOutOfSpaceKeepsTheFileAndRemovesTheTemporary) {
    const std::string original = "[s]\r\nk=old\r\n" + std::string(1000, 'x') + "\r\n";
    writeBytes("app.cfg", original);
    const SWString large(std::wstring(256 * 1024, L'n'));
    const int code = krel_test::runInChildWithLimit(RLIMIT_FSIZE, 64 * 1024, [&] {
        return KrelStd::PutConfigString(file(), L"s", L"k", large);
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(readBytes("app.cfg"), original);
    EXPECT_EQ(entries(), std::set<std::string>{"app.cfg"});
}

TEST_F(KrelStdConfigTest, WriteWithoutRoomForItsTemporaryAnswersZeroAndCreatesNothing) {
    EXPECT_EQ(KrelStd::PutConfigString(file("missing/app.cfg"), L"s", L"k", L"v"), 0);
    EXPECT_EQ(KrelStd::DeleteConfigEntry(file("missing/app.cfg"), L"s", L"k"), 0);
    EXPECT_TRUE(entries().empty());
}

TEST_F(KrelStdConfigTest, ListYieldsEveryLineOfTheSectionBlankOnesIncluded) {
    writeBytes("app.cfg", "[s]\n first \n\nlast\n[t]\nother\n");
    ASSERT_EQ(KrelStd::OpenConfigStringList(file(), L"s"), 3);
    SWString line;
    EXPECT_EQ(KrelStd::FetchConfigStringList(line), 1);
    EXPECT_EQ(line, L"first");
    EXPECT_EQ(KrelStd::FetchConfigStringList(line), 1);
    EXPECT_EQ(line, L"");
    char narrow[3];
    EXPECT_EQ(KrelStd::FetchConfigStringList(narrow, sizeof(narrow)), 1);
    EXPECT_STREQ(narrow, "la");
    EXPECT_EQ(KrelStd::FetchConfigStringList(line), 0);
    EXPECT_EQ(KrelStd::FetchConfigStringList(line), 1);
    EXPECT_EQ(line, L"other");
    EXPECT_EQ(KrelStd::FetchConfigStringList(line), 0);
    EXPECT_EQ(KrelStd::FetchConfigStringList(line), 0);

    std::vector<SWString> lines;
    EXPECT_EQ(KrelStd::GetConfigStringList(lines, file(), L"s"), 2);
    EXPECT_EQ(lines, (std::vector<SWString>{L"first", L"last"}));
}

TEST_F(KrelStdConfigTest, ListOfAnEmptyOrMissingSectionOpensNothing) {
    writeBytes("app.cfg", "[s]\n[t]\nx\n");
    EXPECT_EQ(KrelStd::OpenConfigStringList(file(), L"s"), 0);
    EXPECT_EQ(KrelStd::OpenConfigStringList(file(), L"u"), 0);
    SWString line;
    EXPECT_EQ(KrelStd::FetchConfigStringList(line), 0);
    EXPECT_EQ(KrelStd::CloseConfigStringList(), 1);
}

TEST_F(KrelStdConfigTest, FetchedValsSplitAtTheFirstEqualsSign) {
    writeBytes("app.cfg", "[s]\nword\n\na=b=c\n=v\n[t]\n");
    SWString key;
    SWString value;
    EXPECT_EQ(KrelStd::FetchConfigVals(value, file(), L"s", key, 0), 4);
    EXPECT_EQ(key, L"word");
    EXPECT_EQ(value, L"");
    EXPECT_EQ(KrelStd::FetchConfigVals(value, file(), L"s", key, 1), 1);
    EXPECT_EQ(key, L"a");
    EXPECT_EQ(value, L"b=c");
    EXPECT_EQ(KrelStd::FetchConfigVals(value, file(), L"s", key, 2), 0);
    EXPECT_EQ(value, L"v");
    EXPECT_EQ(KrelStd::FetchConfigVals(value, file(), L"s", key, 3), 0);
    EXPECT_EQ(key, L"");
}

TEST_F(KrelStdConfigTest, SectionListNamesEveryHeadingInFileOrder) {
    writeBytes("app.cfg", "x\n[b]\n [a] \n[ c ]\n[b]\n");
    std::vector<SWString> sections;
    EXPECT_EQ(KrelStd::GetConfigSectionList(sections, file()), 4);
    EXPECT_EQ(sections, (std::vector<SWString>{L"b", L"a", L" c ", L"b"}));
    EXPECT_EQ(KrelStd::GetConfigSectionList(sections, L""), -1);
    EXPECT_EQ(KrelStd::GetConfigSectionList(sections, file("missing.cfg")), -1);
    EXPECT_TRUE(sections.empty());
}

TEST_F(KrelStdConfigTest, FirstNamedFileBecomesTheDefaultPath) {
    writeBytes("app.cfg", "[s]\nk=1\n");
    writeBytes("other.cfg", "[s]\nk=2\n");
    EXPECT_EQ(read(L"s", L"k"), L"1");
    SWString value;
    KrelStd::GetConfigString(value, file("other.cfg"), L"s", L"k", L"d", false);
    EXPECT_EQ(value, L"2");
    EXPECT_EQ(std::wstring(KrelStd::WCfgGetFilePath()), file());
    KrelStd::GetConfigString(value, L"", L"s", L"k", L"d", false);
    EXPECT_EQ(value, L"1");
}

TEST_F(KrelStdConfigTest, SetFilePathFormatsAnyLengthAndIgnoresTheMarker) {
    const std::string directory(600, 'd');
    KrelStd::CfgSetFilePath("/%s/%d.cfg", directory.c_str(), 7);
    EXPECT_EQ(std::string(KrelStd::CfgGetFilePath()), "/" + directory + "/7.cfg");
    KrelStd::CfgSetFilePath("no parameter passed in");
    KrelStd::CfgSetFilePath(KrelStd::SFilePath(SWString(L"no parameter passed in"), L'/'));
    EXPECT_EQ(std::string(KrelStd::CfgGetFilePath()), "/" + directory + "/7.cfg");
    KrelStd::CfgSetFilePath(L"%ls", L"w.cfg");
    EXPECT_EQ(std::wstring(KrelStd::WCfgGetFilePath()), L"w.cfg");
}

TEST_F(KrelStdConfigTest, ConcurrentDefaultPathChangesAndListsStayWhole) {
    writeBytes("a.cfg", "[s]\nk=a\nline\n");
    writeBytes("b.cfg", "[s]\nk=b\nline\n");
    const std::wstring first = path("a.cfg");
    const std::wstring second = path("b.cfg");
    std::atomic<int> torn(0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 300; ++round) {
                const std::wstring& mine = (round + t) % 2 == 0 ? first : second;
                KrelStd::CfgSetFilePath(L"%ls", mine.c_str());
                SWString value;
                KrelStd::GetConfigString(value, L"", L"s", L"k", L"d", false);
                torn += value != L"a" && value != L"b" ? 1 : 0;
                KrelStd::OpenConfigStringList(L"", L"s");
                SWString line;
                while (KrelStd::FetchConfigStringList(line) == 1) {
                    torn += line != L"k=a" && line != L"k=b" && line != L"line" ? 1 : 0;
                }
                KrelStd::CloseConfigStringList();
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(torn, 0);
}
