#include <boost/shared_ptr.hpp>
#include <cfloat>
#include <climits>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "base/ByteArray.h"
#include "exception/KrelBackingStoreException.h"
#include "exception/KrelIllegalArgumentException.h"
#include "exception/KrelIllegalStateException.h"
#include "prefs/PrefsTestSupport.h"
#include "support/MessageOf.h"

using boost::shared_ptr;
using krel_std::Preferences;
using krel_test::messageOf;

namespace {

class PreferencesTreeTest : public krel_test::MemoryPreferencesTest {};

// --- paths -----------------------------------------------------------------------------------

TEST_F(PreferencesTreeTest, EmptyPathAnswersTheNodeItselfAndARepeatedPathTheSameObject) {
    const shared_ptr<Preferences> a = root->node(L"a");
    EXPECT_EQ(a, a->node(L""));
    EXPECT_EQ(a, root->node(L"a"));
    EXPECT_EQ(L"/a", a->absolutePath());
    EXPECT_EQ(L"/a/b", a->node(L"b")->absolutePath());
}

TEST_F(PreferencesTreeTest, LeadingSlashesResolveFromTheRoot) {
    const shared_ptr<Preferences> deep = root->node(L"a/b/c");
    EXPECT_EQ(root, deep->node(L"/"));
    EXPECT_EQ(root, deep->node(L"//"));
    EXPECT_EQ(root->node(L"a"), deep->node(L"/a"));
    EXPECT_EQ(root->node(L"a"), deep->node(L"//a"));
    EXPECT_EQ(L"/", root->absolutePath());
}

TEST_F(PreferencesTreeTest, MalformedPathsAreRefusedNamingTheRelativePart) {
    EXPECT_EQ(L"Invalid path name <a/>.",
              messageOf<krel_std::KrelException>([&] { root->node(L"a/"); }));
    EXPECT_EQ(L"Invalid path name <a//b>.",
              messageOf<krel_std::KrelException>([&] { root->node(L"a//b"); }));
    EXPECT_EQ(L"Invalid path name <a//b>.",
              messageOf<krel_std::KrelException>([&] { root->node(L"/a//b"); }));
    EXPECT_THROW(root->nodeExists(L"a//b"), krel_std::KrelIllegalArgumentException);
}

TEST_F(PreferencesTreeTest, BackslashSeparatesOnlyInAPathWithoutSlash) {
    const shared_ptr<Preferences> y = root->node(L"x\\y");
    EXPECT_EQ(L"/x/y", y->absolutePath());
    EXPECT_EQ(root->node(L"x"), y->parent());

    const shared_ptr<Preferences> z = root->node(L"x\\y/z");
    EXPECT_EQ(L"x\\y", z->parent()->name());
    EXPECT_EQ(L"/x\\y/z", z->absolutePath());
}

TEST_F(PreferencesTreeTest, BackslashesAroundAnEmptyNameFailButATrailingOneIsIgnored) {
    const std::wstring emptyName = L"Parent is not NULL and name is empty string.";
    EXPECT_EQ(emptyName, messageOf<krel_std::KrelException>([&] { root->node(L"\\x"); }));
    EXPECT_EQ(emptyName, messageOf<krel_std::KrelException>([&] { root->node(L"x\\\\y"); }));
    EXPECT_EQ(root->node(L"x"), root->node(L"x\\"));
}

TEST_F(PreferencesTreeTest, AbsolutePathStaysInTheTreeOfTheNodeAskingForIt) {
    krel_test::MemoryPreferencesFactory other;
    const shared_ptr<Preferences> otherRoot = other.userRoot();
    const shared_ptr<Preferences> b = otherRoot->node(L"a")->node(L"/b");
    EXPECT_EQ(otherRoot, b->parent());
    EXPECT_NE(root->node(L"b"), b);
    EXPECT_EQ(otherRoot, b->node(L"/"));

    const shared_ptr<Preferences> system = Preferences::systemRoot();
    EXPECT_EQ(system, system->node(L"s")->node(L"/"));
}

TEST_F(PreferencesTreeTest, NodeExistsAsksTheStoreWithoutMakingNodes) {
    root->node(L"a/b");
    EXPECT_TRUE(root->nodeExists(L""));
    EXPECT_TRUE(root->nodeExists(L"a/b"));
    EXPECT_TRUE(root->node(L"a")->nodeExists(L"/a/b"));
    EXPECT_FALSE(root->nodeExists(L"c"));
    EXPECT_FALSE(root->nodeExists(L"c"));
}

// --- limits and arguments --------------------------------------------------------------------

TEST_F(PreferencesTreeTest, KeysAndNamesOf80CharactersPassAnd81Fail) {
    const std::wstring longest(80, L'k');
    root->put(longest, L"v");
    EXPECT_EQ(L"v", root->get(longest, L""));
    EXPECT_EQ(L"Key length value 81 is above maximum of 80.",
              messageOf<krel_std::KrelException>([&] { root->put(longest + L"k", L"v"); }));
    EXPECT_THROW(root->get(longest + L"k", L""), krel_std::KrelIllegalArgumentException);
    EXPECT_THROW(root->remove(longest + L"k"), krel_std::KrelIllegalArgumentException);

    EXPECT_EQ(longest, root->node(longest)->name());
    EXPECT_EQ(L"Child node name length value 81 is above maximum of 80.",
              messageOf<krel_std::KrelException>([&] { root->node(longest + L"k"); }));
}

TEST_F(PreferencesTreeTest, ValuesOf8192CharactersPassAnd8193Fail) {
    const std::wstring longest(8192, L'v');
    root->put(L"k", longest);
    EXPECT_EQ(longest, root->get(L"k", L""));
    EXPECT_EQ(L"Value length value 8193 is above maximum of 8192.",
              messageOf<krel_std::KrelException>([&] { root->put(L"k", longest + L"v"); }));
    EXPECT_EQ(longest, root->get(L"k", L""));
}

TEST_F(PreferencesTreeTest, EmptyKeyIsRefusedExceptByRemove) {
    EXPECT_EQ(L"Key value is empty.",
              messageOf<krel_std::KrelException>([&] { root->get(L"", L"d"); }));
    EXPECT_EQ(L"Key value is empty.",
              messageOf<krel_std::KrelException>([&] { root->putInt(L"", 1); }));
    EXPECT_NO_THROW(root->remove(L""));
}

TEST_F(PreferencesTreeTest, ChildConstructorRefusesBadNamesAndParents) {
    using krel_test::MemoryPreferences;
    const auto parent = boost::static_pointer_cast<MemoryPreferences>(root);
    const shared_ptr<MemoryPreferences> none;
    EXPECT_EQ(L"Name length value 81 is above maximum of 80.",
              messageOf<krel_std::KrelException>(
                  [&] { MemoryPreferences(parent, std::wstring(81, L'n')); }));
    EXPECT_EQ(L"Name <a/b> contains a forward slash",
              messageOf<krel_std::KrelException>([&] { MemoryPreferences(parent, L"a/b"); }));
    EXPECT_EQ(L"Parent is NULL and name is not empty string.",
              messageOf<krel_std::KrelException>([&] { MemoryPreferences(none, L"a"); }));
    EXPECT_EQ(L"Parent value is NULL.",
              messageOf<krel_std::KrelException>([&] { MemoryPreferences(none, L""); }));
}

// --- values ----------------------------------------------------------------------------------

TEST_F(PreferencesTreeTest, BooleansReadInAnyCaseAndOtherTextsGiveTheDefault) {
    root->put(L"upper", L"TRUE");
    root->put(L"mixed", L"FaLsE");
    root->put(L"word", L"yes");
    root->putBoolean(L"written", true);
    EXPECT_TRUE(root->getBoolean(L"upper", false));
    EXPECT_FALSE(root->getBoolean(L"mixed", true));
    EXPECT_TRUE(root->getBoolean(L"word", true));
    EXPECT_FALSE(root->getBoolean(L"word", false));
    EXPECT_FALSE(root->getBoolean(L"absent", false));
    EXPECT_EQ(L"true", root->get(L"written", L""));
}

TEST_F(PreferencesTreeTest, NumbersAreReadFromTheTextsLeadingNumber) {
    root->put(L"blank", L" 42");
    root->put(L"suffix", L"42abc");
    root->put(L"letters", L"abc");
    EXPECT_EQ(42, root->getInt(L"blank", 7));
    EXPECT_EQ(42, root->getInt(L"suffix", 7));
    EXPECT_EQ(7, root->getInt(L"letters", 7));
    EXPECT_EQ(7, root->getInt(L"absent", 7));
    root->putLongLong(L"min", LLONG_MIN);
    EXPECT_EQ(LLONG_MIN, root->getLongLong(L"min", 0));
    root->putInt(L"int", INT_MIN);
    EXPECT_EQ(L"-2147483648", root->get(L"int", L""));
}

TEST_F(PreferencesTreeTest, DoublesAndFloatsRoundTripExactlyInTheirShortestText) {
    root->putDouble(L"pi", 3.14159265);
    EXPECT_EQ(L"3.14159265", root->get(L"pi", L""));
    for (const double value :
         {3.14159265, 0.1 + 0.2, DBL_MAX, -DBL_MIN, 4.9406564584124654e-324, 1e21, 123456789.125}) {
        root->putDouble(L"d", value);
        EXPECT_EQ(value, root->getDouble(L"d", 0.0)) << root->get(L"d", L"");
    }
    root->putFloat(L"f", 0.1f);
    EXPECT_EQ(L"0.1", root->get(L"f", L""));
    for (const float value : {0.1f, 3.14159265f, FLT_MAX, -FLT_MIN, 16777215.0f}) {
        root->putFloat(L"f", value);
        EXPECT_EQ(value, root->getFloat(L"f", 0.0f)) << root->get(L"f", L"");
    }
    root->put(L"old", L"3.14159");
    EXPECT_EQ(3.14159, root->getDouble(L"old", 0.0));
    EXPECT_EQ(3.14159f, root->getFloat(L"old", 0.0f));
}

TEST_F(PreferencesTreeTest, StoredMarkerReadsAsAbsentForTypedGettersOnly) {
    const std::wstring marker = L"___krel_std_default_value___";
    root->put(L"k", marker);
    EXPECT_EQ(marker, root->get(L"k", L"d"));
    EXPECT_EQ(5, root->getInt(L"k", 5));
    EXPECT_EQ(5LL, root->getLongLong(L"k", 5));
    EXPECT_EQ(2.5, root->getDouble(L"k", 2.5));
    EXPECT_EQ(2.5f, root->getFloat(L"k", 2.5f));
    EXPECT_EQ(3, root->getByteArray(L"k", krel_std::ByteArray("abc", 3))->getLength());
}

TEST_F(PreferencesTreeTest, ByteArraysTravelAsBase64AndBadTextGivesACopyOfTheDefault) {
    const krel_std::ByteArray bytes(std::string("\0\xff", 2));
    root->putByteArray(L"bytes", bytes);
    EXPECT_EQ(L"AP8=", root->get(L"bytes", L""));
    EXPECT_TRUE(bytes == *root->getByteArray(L"bytes", krel_std::ByteArray()));

    const krel_std::ByteArray def("def", 3);
    root->put(L"bad", L"not base64!");
    const shared_ptr<krel_std::ByteArray> fallback = root->getByteArray(L"bad", def);
    EXPECT_TRUE(def == *fallback);
    EXPECT_NE(def.getArray().get(), fallback->getArray().get());
    EXPECT_TRUE(def == *root->getByteArray(L"absent", def));
}

TEST_F(PreferencesTreeTest, ClearRemovesEveryKeyOfTheNodeOnly) {
    root->put(L"a", L"1");
    root->put(L"b", L"2");
    root->node(L"c")->put(L"a", L"3");
    root->clear();
    EXPECT_TRUE(root->keys().empty());
    EXPECT_EQ(L"3", root->node(L"c")->get(L"a", L""));
}

// --- children, removal and flushing ----------------------------------------------------------

TEST_F(PreferencesTreeTest, ChildrenNamesAreTheSortedUnionOfCacheAndStore) {
    root->node(L"b");
    root->node(L"hidden");
    store()->unlisted.insert(L"/hidden");
    store()->nodes[L"/a"];
    store()->nodes[L"/c/deeper"];
    store()->nodes[L"/c"];
    EXPECT_EQ((std::vector<std::wstring>{L"a", L"b", L"c", L"hidden"}), root->childrenNames());
}

TEST_F(PreferencesTreeTest, RootCannotBeRemoved) {
    EXPECT_EQ(L"Parent value is NULL.",
              messageOf<krel_std::KrelException>([&] { root->removeNode(); }));
}

TEST_F(PreferencesTreeTest, RemovedNodeRefusesWorkAndItsPathMakesANewNode) {
    const shared_ptr<Preferences> a = root->node(L"a");
    const shared_ptr<Preferences> b = a->node(L"b");
    a->put(L"k", L"v");
    a->removeNode();
    EXPECT_EQ(L"Node removed", messageOf<krel_std::KrelException>([&] { a->get(L"k", L""); }));
    EXPECT_THROW(b->put(L"k", L"v"), krel_std::KrelIllegalStateException);
    EXPECT_THROW(a->removeNode(), krel_std::KrelIllegalStateException);
    EXPECT_EQ((std::vector<std::wstring>{L"remove /a/b", L"remove /a"}), store()->journalCopy());
    EXPECT_EQ(L"/a", a->absolutePath());
    EXPECT_NO_THROW(a->flush());

    const shared_ptr<Preferences> again = root->node(L"a");
    EXPECT_NE(a, again);
    EXPECT_EQ(L"", again->get(L"k", L""));
}

TEST_F(PreferencesTreeTest, FailedRemovalKeepsFinishedChildrenRemovedAndTheRestLive) {
    const shared_ptr<Preferences> a = root->node(L"a");
    const shared_ptr<Preferences> b = a->node(L"b");
    const shared_ptr<Preferences> c = a->node(L"c");
    const shared_ptr<Preferences> d = c->node(L"d");
    store()->failingRemovals.insert(L"/a/c");
    EXPECT_THROW(a->removeNode(), krel_std::KrelBackingStoreException);

    EXPECT_THROW(b->get(L"k", L""), krel_std::KrelIllegalStateException);
    EXPECT_THROW(d->get(L"k", L""), krel_std::KrelIllegalStateException);
    EXPECT_NO_THROW(c->get(L"k", L""));
    EXPECT_NE(d, c->node(L"d"));
    EXPECT_EQ(b, a->node(L"b"));
    EXPECT_EQ(a, root->node(L"a"));

    store()->failingRemovals.clear();
    a->removeNode();
    EXPECT_NE(a, root->node(L"a"));
}

TEST_F(PreferencesTreeTest, FlushAndSyncVisitCachedNodesParentsFirst) {
    root->node(L"b");
    root->node(L"a/y");
    root->node(L"a/x");
    store()->nodes[L"/never"];
    root->flush();
    root->node(L"a")->sync();
    EXPECT_EQ((std::vector<std::wstring>{L"flush /", L"flush /a", L"flush /a/x", L"flush /a/y",
                                         L"flush /b", L"sync /a", L"sync /a/x", L"sync /a/y"}),
              store()->journalCopy());
}

TEST_F(PreferencesTreeTest, ToStringAndParentTellTheNodesPlace) {
    const shared_ptr<Preferences> a = root->node(L"a");
    EXPECT_EQ(L"User Preference Node: /", root->toString());
    EXPECT_EQ(L"User Preference Node: /a", a->toString());
    EXPECT_EQ(L"System Preference Node: /s", Preferences::systemRoot()->node(L"s")->toString());
    EXPECT_EQ(root, a->parent());
    EXPECT_FALSE(root->parent());
}

} // namespace
