#include "prefs/AbstractPreferences.h"

#include <algorithm>
#include <charconv>
#include <cwctype>
#include <iterator>

#include "base/Base64Utils.h"
#include "base/ByteArray.h"
#include "base/ErrorUtils.h"
#include "base/InternalTrace.h"
#include "base/LogFunctionCall.h"
#include "base/StringUtils.h"
#include "base/Utf8Utils.h"
#include "exception/KrelIllegalArgumentException.h"
#include "exception/KrelIllegalStateException.h"
#include "prefs/PreferencesXmlWriter.h"
#include "thread/AutoLock.h"

namespace krel_std {

namespace {

// The default that the typed getters pass to get, to tell an absent value from a present one.
// Made on first use and never destroyed.
const std::wstring& defaultValueMarker() {
    static const std::wstring& marker = *new std::wstring(L"___krel_std_default_value___");
    return marker;
}

typedef AutoLock<Lock> Guard;

// Whether the text equals the lower-case word, ignoring case.
bool equalsIgnoreCase(const std::wstring& text, const wchar_t* word) {
    std::size_t i = 0;
    for (; i < text.size() && word[i] != L'\0'; ++i) {
        if (static_cast<wchar_t>(std::towlower(static_cast<wint_t>(text[i]))) != word[i]) {
            return false;
        }
    }
    return i == text.size() && word[i] == L'\0';
}

// The shortest text that reads back as the same value.
template <typename T> std::wstring shortestText(T value) {
    char buffer[64];
    const std::to_chars_result result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::wstring(buffer, result.ptr);
}

// The value read from a typed getter's text, or the default for an absent or unreadable one.
template <typename T> T readNumber(const std::wstring& text, T def) {
    if (text == defaultValueMarker()) {
        return def;
    }
    return StringUtils::parseNumber<T>(text, def);
}

// A number as text for a trace line, built only when the call level traces.
template <typename T> std::wstring traceText(T value) {
    return __internal_call_on() ? std::to_wstring(value) : std::wstring();
}

// Fails with the argument check's message when the text is longer than maximum. The check is
// called only for a text that fails it, so a good argument costs no name text.
void checkLength(const std::wstring& text, int maximum, const wchar_t* context,
                 const wchar_t* name) {
    if (text.length() > static_cast<std::size_t>(maximum)) {
        ErrorUtils::isAboveMaximumEx(text.length(), static_cast<std::size_t>(maximum), context,
                                     name);
    }
}

void checkKey(const std::wstring& key, const wchar_t* context) {
    if (key.empty()) {
        ErrorUtils::isEmptyEx(key, context, L"Key");
    }
    checkLength(key, Preferences::MAX_PREF_KEY_LENGTH, context, L"Key length");
}

void failArgument(const std::wstring& message, const wchar_t* context) {
    KrelIllegalArgumentException exception(message);
    exception.logDebug(context);
    throw exception;
}

} // namespace

AbstractPreferences::AbstractPreferences() : removed(false) {
    KREL_TRACE_SCOPE(L"krel_std::AbstractPreferences::AbstractPreferences");
}

AbstractPreferences::AbstractPreferences(const boost::shared_ptr<AbstractPreferences>& parent,
                                         const std::wstring& name)
    : removed(false) {
    const wchar_t* const context = L"krel_std::AbstractPreferences::AbstractPreferences";
    KREL_TRACE_SCOPE_ARGS(context, L"Begin. Parent <%p> Name <%ls>.",
                          static_cast<const void*>(parent.get()), name.c_str());
    checkLength(name, MAX_PREF_NAME_LENGTH, context, L"Name length");
    if (name.find(SLASH) != std::wstring::npos) {
        failArgument(L"Name <" + name + L"> contains a forward slash", context);
    }
    if (!parent && !name.empty()) {
        failArgument(L"Parent is NULL and name is not empty string.", context);
    }
    if (parent && name.empty()) {
        failArgument(L"Parent is not NULL and name is empty string.", context);
    }
    // A root is made only by the default constructor: no parent and no name is no child.
    ErrorUtils::isNullEx(parent, context, L"Parent");
    parentNode = parent;
    parentPath = parent->path();
    nodeName = name;
}

AbstractPreferences::~AbstractPreferences() = default;

std::wstring AbstractPreferences::toString() const {
    return (isUserNode() ? L"User" : L"System") + std::wstring(L" Preference Node: ") +
           absolutePath();
}

std::wstring AbstractPreferences::path() const {
    return parentNode ? parentPath + SLASH + nodeName : std::wstring();
}

std::wstring AbstractPreferences::absolutePath() const {
    return parentNode ? path() : std::wstring(1, SLASH);
}

void AbstractPreferences::addPreferenceChangeListener(
    const boost::shared_ptr<PreferenceChangeListener>&) {}

void AbstractPreferences::removePreferenceChangeListener(
    const boost::shared_ptr<PreferenceChangeListener>&) {}

std::vector<std::wstring> AbstractPreferences::childrenNames() {
    const wchar_t* const context = L"krel_std::AbstractPreferences::childrenNames";
    KREL_TRACE_SCOPE(context);
    Guard guard(lock);
    assertNodeNotRemoved(context);
    std::vector<std::wstring> stored = childrenNamesSpi();
    std::sort(stored.begin(), stored.end());
    std::vector<std::wstring> names;
    names.reserve(stored.size() + childCache.size());
    // childCache is ordered by name, so one merge gives the sorted union.
    std::vector<std::wstring> cached;
    cached.reserve(childCache.size());
    for (const auto& entry : childCache) {
        cached.push_back(entry.first);
    }
    std::set_union(stored.begin(), stored.end(), cached.begin(), cached.end(),
                   std::back_inserter(names));
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

void AbstractPreferences::clear() {
    const wchar_t* const context = L"krel_std::AbstractPreferences::clear";
    KREL_TRACE_SCOPE(context);
    Guard guard(lock);
    assertNodeNotRemoved(context);
    for (const std::wstring& key : keys()) {
        removeSpi(key);
    }
}

// The document is made before its file is truncated, so what it cannot carry is refused first.
void AbstractPreferences::exportNode(const std::wstring& fileName) {
    PreferencesXmlWriter::exportPreferences(shared_from_this(), false, fileName);
}

void AbstractPreferences::exportSubtree(const std::wstring& fileName) {
    PreferencesXmlWriter::exportPreferences(shared_from_this(), true, fileName);
}

void AbstractPreferences::flush() {
    KREL_TRACE_SCOPE(L"krel_std::AbstractPreferences::flush");
    flushNode(false);
}

void AbstractPreferences::sync() {
    KREL_TRACE_SCOPE(L"krel_std::AbstractPreferences::sync");
    flushNode(true);
}

std::wstring AbstractPreferences::get(const std::wstring& key, const std::wstring& def) {
    const wchar_t* const context = L"krel_std::AbstractPreferences::get";
    KREL_TRACE_SCOPE_ARGS(context, L"Begin. Key <%ls> Default value <%ls>.", key.c_str(),
                          def.c_str());
    checkKey(key, context);
    Guard guard(lock);
    assertNodeNotRemoved(context);
    std::wstring result;
    try {
        result = getSpi(key);
    } catch (const KrelException&) {
        result = def;
    }
    KREL_TRACE_SCOPE_PRINT(L"Return <%ls>.", result.c_str());
    return result;
}

bool AbstractPreferences::getBoolean(const std::wstring& key, bool def) {
    KREL_TRACE_SCOPE_ARGS(L"krel_std::AbstractPreferences::getBoolean",
                          L"Begin. Key <%ls> Default value <%d>.", key.c_str(),
                          static_cast<int>(def));
    const std::wstring text = get(key, std::wstring());
    bool result = def;
    if (equalsIgnoreCase(text, L"true")) {
        result = true;
    } else if (equalsIgnoreCase(text, L"false")) {
        result = false;
    }
    KREL_TRACE_SCOPE_PRINT(L"Return <%d>.", static_cast<int>(result));
    return result;
}

boost::shared_ptr<ByteArray> AbstractPreferences::getByteArray(const std::wstring& key,
                                                               const ByteArray& def) {
    const wchar_t* const context = L"krel_std::AbstractPreferences::getByteArray";
    KREL_TRACE_SCOPE_ARGS(context, L"Begin. Key <%ls>.", key.c_str());
    const std::wstring text = get(key, defaultValueMarker());
    boost::shared_ptr<ByteArray> result;
    if (text != defaultValueMarker()) {
        const std::string encoded = Utf8Utils::unicodeToUtf8(text);
        if (Base64Utils::isBase64String(encoded)) {
            result = Base64Utils::base64ToByteArray(encoded);
        }
    }
    if (!result) {
        result.reset(new ByteArray(def));
    }
    KREL_TRACE_SCOPE_PRINT(L"Return ByteArray of length <%d>.",
                           static_cast<int>(result->getLength()));
    return result;
}

double AbstractPreferences::getDouble(const std::wstring& key, double def) {
    KREL_TRACE_SCOPE_ARGS(L"krel_std::AbstractPreferences::getDouble",
                          L"Begin. Key <%ls> Default value <%f>.", key.c_str(), def);
    const double result = readNumber(get(key, defaultValueMarker()), def);
    KREL_TRACE_SCOPE_PRINT(L"Return <%f>.", result);
    return result;
}

float AbstractPreferences::getFloat(const std::wstring& key, float def) {
    KREL_TRACE_SCOPE_ARGS(L"krel_std::AbstractPreferences::getFloat",
                          L"Begin. Key <%ls> Default value <%f>.", key.c_str(),
                          static_cast<double>(def));
    const float result = readNumber(get(key, defaultValueMarker()), def);
    KREL_TRACE_SCOPE_PRINT(L"Return <%f>.", static_cast<double>(result));
    return result;
}

int AbstractPreferences::getInt(const std::wstring& key, int def) {
    KREL_TRACE_SCOPE_ARGS(L"krel_std::AbstractPreferences::getInt",
                          L"Begin. Key <%ls> Default value <%d>.", key.c_str(), def);
    const int result = readNumber(get(key, defaultValueMarker()), def);
    KREL_TRACE_SCOPE_PRINT(L"Return <%d>.", result);
    return result;
}

long long AbstractPreferences::getLongLong(const std::wstring& key, long long def) {
    KREL_TRACE_SCOPE_ARGS(L"krel_std::AbstractPreferences::getLongLong",
                          L"Begin. Key <%ls> Default value <%ls>.", key.c_str(),
                          traceText(def).c_str());
    const long long result = readNumber(get(key, defaultValueMarker()), def);
    KREL_TRACE_SCOPE_PRINT(L"Return <%ls>.", std::to_wstring(result).c_str());
    return result;
}

bool AbstractPreferences::isUserNode() const {
    const AbstractPreferences* root = this;
    while (root->parentNode) {
        root = root->parentNode.get();
    }
    return root == Preferences::userRoot().get();
}

std::vector<std::wstring> AbstractPreferences::keys() {
    const wchar_t* const context = L"krel_std::AbstractPreferences::keys";
    KREL_TRACE_SCOPE(context);
    Guard guard(lock);
    assertNodeNotRemoved(context);
    return keysSpi();
}

std::wstring AbstractPreferences::name() {
    return nodeName;
}

boost::shared_ptr<Preferences> AbstractPreferences::node(const std::wstring& path) {
    const wchar_t* const context = L"krel_std::AbstractPreferences::node";
    KREL_TRACE_SCOPE_ARGS(context, L"Begin. Path name <%ls>", path.c_str());
    {
        Guard guard(lock);
        assertNodeNotRemoved(context);
        if (path.empty() || path[0] != SLASH) {
            assertValidPath(path, context);
            return getNode(path);
        }
    }
    // An absolute path: this node's lock is released before the root's is taken.
    return getRootNode()->node(path.substr(1));
}

bool AbstractPreferences::nodeExists(const std::wstring& path) {
    const wchar_t* const context = L"krel_std::AbstractPreferences::nodeExists";
    KREL_TRACE_SCOPE_ARGS(context, L"Begin. Path name <%ls>", path.c_str());
    {
        Guard guard(lock);
        assertNodeNotRemoved(context);
        if (path.empty() || path[0] != SLASH) {
            assertValidPath(path, context);
            return existsNode(path);
        }
    }
    return getRootNode()->nodeExists(path.substr(1));
}

boost::shared_ptr<Preferences> AbstractPreferences::parent() {
    const wchar_t* const context = L"krel_std::AbstractPreferences::parent";
    KREL_TRACE_SCOPE(context);
    Guard guard(lock);
    assertNodeNotRemoved(context);
    return parentNode;
}

void AbstractPreferences::put(const std::wstring& key, const std::wstring& value) {
    const wchar_t* const context = L"krel_std::AbstractPreferences::put";
    KREL_TRACE_SCOPE_ARGS(context, L"Begin. Key <%ls> Value <%ls>.", key.c_str(), value.c_str());
    checkKey(key, context);
    checkLength(value, MAX_PREF_VALUE_LENGTH, context, L"Value length");
    Guard guard(lock);
    assertNodeNotRemoved(context);
    putSpi(key, value);
}

void AbstractPreferences::putBoolean(const std::wstring& key, bool value) {
    KREL_TRACE_SCOPE_ARGS(L"krel_std::AbstractPreferences::putBoolean",
                          L"Begin. Key <%ls> Value <%d>.", key.c_str(), static_cast<int>(value));
    put(key, value ? L"true" : L"false");
}

void AbstractPreferences::putByteArray(const std::wstring& key, const ByteArray& value) {
    KREL_TRACE_SCOPE_ARGS(L"krel_std::AbstractPreferences::putByteArray",
                          L"Begin. Key <%ls> Value length <%d>.", key.c_str(),
                          static_cast<int>(value.getLength()));
    const std::string encoded = Base64Utils::byteArrayToBase64(value);
    put(key, std::wstring(encoded.begin(), encoded.end()));
}

void AbstractPreferences::putDouble(const std::wstring& key, double value) {
    KREL_TRACE_SCOPE_ARGS(L"krel_std::AbstractPreferences::putDouble",
                          L"Begin. Key <%ls> Value <%f>.", key.c_str(), value);
    put(key, shortestText(value));
}

void AbstractPreferences::putFloat(const std::wstring& key, float value) {
    KREL_TRACE_SCOPE_ARGS(L"krel_std::AbstractPreferences::putFloat",
                          L"Begin. Key <%ls> Value <%f>.", key.c_str(), static_cast<double>(value));
    put(key, shortestText(value));
}

void AbstractPreferences::putInt(const std::wstring& key, int value) {
    KREL_TRACE_SCOPE_ARGS(L"krel_std::AbstractPreferences::putInt", L"Begin. Key <%ls> Value <%d>.",
                          key.c_str(), value);
    put(key, std::to_wstring(value));
}

void AbstractPreferences::putLongLong(const std::wstring& key, long long value) {
    const std::wstring text = std::to_wstring(value);
    KREL_TRACE_SCOPE_ARGS(L"krel_std::AbstractPreferences::putLongLong",
                          L"Begin. Key <%ls> Value <%ls>.", key.c_str(), text.c_str());
    put(key, text);
}

void AbstractPreferences::remove(const std::wstring& key) {
    const wchar_t* const context = L"krel_std::AbstractPreferences::remove";
    KREL_TRACE_SCOPE_ARGS(context, L"Begin. Key <%ls>.", key.c_str());
    // An empty key is the back end's to judge.
    checkLength(key, MAX_PREF_KEY_LENGTH, context, L"Key length");
    Guard guard(lock);
    assertNodeNotRemoved(context);
    removeSpi(key);
}

void AbstractPreferences::removeNode() {
    const wchar_t* const context = L"krel_std::AbstractPreferences::removeNode";
    KREL_TRACE_SCOPE_ARGS(context, L"Begin. Path <%ls>.", absolutePath().c_str());
    ErrorUtils::isNullEx(parentNode, context, L"Parent");
    Guard parentGuard(parentNode->lock);
    {
        Guard guard(lock);
        assertNodeNotRemoved(context);
        purge();
    }
    parentNode->childCache.erase(nodeName);
}

std::vector<boost::shared_ptr<AbstractPreferences>> AbstractPreferences::cachedChildren() {
    std::vector<boost::shared_ptr<AbstractPreferences>> children;
    children.reserve(childCache.size());
    for (const auto& entry : childCache) {
        children.push_back(entry.second);
    }
    return children;
}

bool AbstractPreferences::isRemoved() {
    Guard guard(lock);
    return removed;
}

boost::shared_ptr<AbstractPreferences> AbstractPreferences::getChild(const std::wstring& name) {
    KREL_TRACE_SCOPE_ARGS(L"krel_std::AbstractPreferences::getChild",
                          L"Begin. Child node name <%ls>", name.c_str());
    Guard guard(lock);
    const std::vector<std::wstring> stored = childrenNamesSpi();
    if (std::find(stored.begin(), stored.end(), name) == stored.end()) {
        return boost::shared_ptr<AbstractPreferences>();
    }
    return childSpi(name);
}

void AbstractPreferences::assertNodeNotRemoved(const wchar_t* context) {
    if (isRemoved()) {
        KrelIllegalStateException exception(L"Node removed");
        exception.logDebug(context);
        throw exception;
    }
}

void AbstractPreferences::assertValidPath(const std::wstring& path, const wchar_t* context) {
    const bool trailingSlash = path.size() > 1 && path.back() == SLASH;
    if (trailingSlash || path.find(L"//") != std::wstring::npos) {
        failArgument(L"Invalid path name <" + path + L">.", context);
    }
}

void AbstractPreferences::splitPathToChildNameAndPath(std::wstring& childName, std::wstring& rest,
                                                      const std::wstring& path) {
    std::size_t cut = path.find(SLASH);
    if (cut == std::wstring::npos) {
        // Only a path without any '/' is cut at a backslash.
        cut = path.find(L'\\');
    }
    if (cut == std::wstring::npos) {
        childName = path;
        rest.clear();
    } else {
        childName = path.substr(0, cut);
        rest = path.substr(cut + 1);
    }
}

boost::shared_ptr<AbstractPreferences> AbstractPreferences::getNode(const std::wstring& path) {
    const wchar_t* const context = L"krel_std::AbstractPreferences::getNode";
    KREL_TRACE_SCOPE_ARGS(context, L"Begin. Path name <%ls>", path.c_str());
    if (path.empty()) {
        return shared_from_this();
    }
    std::wstring childName;
    std::wstring rest;
    splitPathToChildNameAndPath(childName, rest, path);
    Guard guard(lock);
    boost::shared_ptr<AbstractPreferences> child;
    const auto cached = childCache.find(childName);
    if (cached != childCache.end()) {
        child = cached->second;
    } else {
        checkLength(childName, MAX_PREF_NAME_LENGTH, context, L"Child node name length");
        child = childSpi(childName);
        childCache.emplace(childName, child);
    }
    Guard childGuard(child->lock);
    return child->getNode(rest);
}

bool AbstractPreferences::existsNode(const std::wstring& path) {
    KREL_TRACE_SCOPE_ARGS(L"krel_std::AbstractPreferences::existsNode", L"Begin. Path name <%ls>",
                          path.c_str());
    if (path.empty()) {
        return !isRemoved();
    }
    Guard guard(lock);
    return existsSpi(path);
}

boost::shared_ptr<AbstractPreferences> AbstractPreferences::getRootNode() {
    boost::shared_ptr<AbstractPreferences> root = shared_from_this();
    while (root->parentNode) {
        root = root->parentNode;
    }
    return root;
}

void AbstractPreferences::flushNode(bool sync) {
    KREL_TRACE_SCOPE_ARGS(L"krel_std::AbstractPreferences::flushNode", L"Begin. Is sync <%d>",
                          static_cast<int>(sync));
    std::vector<std::wstring> names;
    {
        Guard guard(lock);
        if (sync) {
            syncSpi();
        } else {
            flushSpi();
        }
        names.reserve(childCache.size());
        for (const auto& entry : childCache) {
            names.push_back(entry.first);
        }
    }
    for (const std::wstring& childName : names) {
        boost::shared_ptr<AbstractPreferences> child;
        {
            Guard guard(lock);
            const auto cached = childCache.find(childName);
            if (cached != childCache.end()) {
                child = cached->second;
            }
        }
        if (child) {
            child->flushNode(sync);
        }
    }
}

void AbstractPreferences::purge() {
    for (const boost::shared_ptr<AbstractPreferences>& child : cachedChildren()) {
        Guard childGuard(child->lock);
        child->purge();
    }
    childCache.clear();
    removeNodeSpi();
    removed = true;
}

} // namespace krel_std
