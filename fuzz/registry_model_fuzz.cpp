// Runs arbitrary sequences of registry operations on the stand-in and on a model kept in
// memory, and checks that both give the same answers: status codes, dispositions, types, bytes
// and sizes (also for buffers too small), subkey and value orders, and handles of deleted keys.
// Names come from a small set that differs by case only, and the store is emptied before
// each input.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/WinReg.h"

namespace {

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// Names that compare equal in pairs ("a" and "A") and sort around the underscore.
const wchar_t* const names[] = {L"a", L"A", L"b", L"_x", L"Ab", L"aB", L"z/y", L"B"};

std::wstring fold(const std::wstring& name) {
    std::wstring folded = name;
    for (wchar_t& c : folded) {
        if (c >= L'a' && c <= L'z') {
            c = static_cast<wchar_t>(c - 32);
        }
    }
    return folded;
}

struct Value {
    std::wstring name;
    DWORD type;
    std::vector<BYTE> data;
};

struct Node {
    long id;
    std::wstring name;
    std::map<std::wstring, std::unique_ptr<Node>> children;
    std::vector<Value> values;
};

// Reads the input a byte at a time; zeros once it is used up.
class Input {
public:
    Input(const uint8_t* data, size_t size) : data(data), size(size) {}
    bool more() const { return position < size; }
    uint8_t next() { return position < size ? data[position++] : 0; }
    const wchar_t* name() { return names[next() % 8]; }

private:
    const uint8_t* data;
    size_t size;
    size_t position = 0;
};

class Model {
public:
    Model() : root(Node{0, L"", {}, {}}) { live[0] = &root; }

    Node* find(const std::vector<std::wstring>& path) {
        Node* node = &root;
        for (const std::wstring& element : path) {
            auto child = node->children.find(fold(element));
            if (child == node->children.end()) {
                return nullptr;
            }
            node = child->second.get();
        }
        return node;
    }

    // Creates the missing keys; true when one was made.
    bool create(const std::vector<std::wstring>& path, Node*& node) {
        node = &root;
        bool created = false;
        for (const std::wstring& element : path) {
            std::unique_ptr<Node>& child = node->children[fold(element)];
            if (child == nullptr) {
                child.reset(new Node{++lastId, element, {}, {}});
                live[child->id] = child.get();
                created = true;
            }
            node = child.get();
        }
        return created;
    }

    void erase(Node& parent, const std::wstring& folded) {
        forget(*parent.children[folded]);
        parent.children.erase(folded);
    }

    Node* byId(long id) {
        auto found = live.find(id);
        return found == live.end() ? nullptr : found->second;
    }

    Node root;

private:
    void forget(const Node& node) {
        live.erase(node.id);
        for (const auto& child : node.children) {
            forget(*child.second);
        }
    }

    long lastId = 0;
    std::map<long, Node*> live;
};

Value* findValue(Node& node, const std::wstring& name) {
    for (Value& value : node.values) {
        if (fold(value.name) == fold(name)) {
            return &value;
        }
    }
    return nullptr;
}

std::wstring join(const std::vector<std::wstring>& path) {
    std::wstring text;
    for (const std::wstring& element : path) {
        text += (text.empty() ? L"" : L"\\") + element;
    }
    return text;
}

std::vector<std::wstring> readPath(Input& input) {
    std::vector<std::wstring> path;
    const int length = 1 + input.next() % 3;
    for (int i = 0; i < length; ++i) {
        path.push_back(input.name());
    }
    return path;
}

// A held handle and the model key it was opened on.
struct Held {
    HKEY key;
    long id;
};

class Session {
public:
    explicit Session(Input& input) : input(input) {}
    ~Session() {
        for (const Held& held : handles) {
            RegCloseKey(held.key);
        }
    }

    void run() {
        while (input.more()) {
            switch (input.next() % 8) {
            case 0:
                createKey();
                break;
            case 1:
                setValue();
                break;
            case 2:
                queryValue();
                break;
            case 3:
                deleteValue();
                break;
            case 4:
                deleteTree();
                break;
            case 5:
                enumerateKeys();
                break;
            case 6:
                enumerateValues();
                break;
            default:
                holdKey();
                break;
            }
        }
    }

private:
    // A key to work on: a held handle (whose key may be gone) or the hive's root.
    HKEY target(Node*& node) {
        const uint8_t choice = input.next();
        if (handles.empty() || choice % 3 == 0) {
            node = &model.root;
            return HKEY_CURRENT_USER;
        }
        const Held& held = handles[choice % handles.size()];
        node = model.byId(held.id);
        return held.key;
    }

    void createKey() {
        const std::vector<std::wstring> path = readPath(input);
        HKEY key = nullptr;
        DWORD disposition = 0;
        check(RegCreateKeyExW(HKEY_CURRENT_USER, join(path).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, &disposition) == ERROR_SUCCESS);
        Node* node = nullptr;
        const bool created = model.create(path, node);
        check(disposition ==
              static_cast<DWORD>(created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY));
        RegCloseKey(key);
    }

    void holdKey() {
        const std::vector<std::wstring> path = readPath(input);
        HKEY key = nullptr;
        const LSTATUS status =
            RegOpenKeyExW(HKEY_CURRENT_USER, join(path).c_str(), 0, KEY_ALL_ACCESS, &key);
        Node* node = model.find(path);
        check(status == (node != nullptr ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND));
        if (node != nullptr) {
            if (handles.size() == 4) {
                RegCloseKey(handles.front().key);
                handles.erase(handles.begin());
            }
            handles.push_back(Held{key, node->id});
        }
    }

    void setValue() {
        Node* node = nullptr;
        const HKEY key = target(node);
        const std::wstring name = input.name();
        const DWORD type = input.next() % 5;
        std::vector<BYTE> data(input.next() % 9);
        for (BYTE& byte : data) {
            byte = input.next();
        }
        const LSTATUS status = RegSetValueExW(key, name.c_str(), 0, type, data.data(),
                                              static_cast<DWORD>(data.size()));
        if (node == nullptr) {
            check(status == ERROR_KEY_DELETED);
            return;
        }
        check(status == ERROR_SUCCESS);
        if (Value* value = findValue(*node, name)) {
            value->type = type;
            value->data = data;
        } else {
            node->values.push_back(Value{name, type, data});
        }
    }

    void queryValue() {
        Node* node = nullptr;
        const HKEY key = target(node);
        const std::wstring name = input.name();
        BYTE buffer[16];
        std::memset(buffer, 0xEE, sizeof buffer);
        DWORD size = input.next() % 10;
        DWORD type = 99;
        const LSTATUS status = RegQueryValueExW(key, name.c_str(), nullptr, &type, buffer, &size);
        if (node == nullptr) {
            check(status == ERROR_KEY_DELETED);
            return;
        }
        const Value* value = findValue(*node, name);
        if (value == nullptr) {
            check(status == ERROR_FILE_NOT_FOUND);
            return;
        }
        check(type == value->type && size == value->data.size());
        if (status == ERROR_MORE_DATA) {
            check(buffer[0] == 0xEE);
            return;
        }
        check(status == ERROR_SUCCESS &&
              std::equal(value->data.begin(), value->data.end(), buffer));
    }

    void deleteValue() {
        Node* node = nullptr;
        const HKEY key = target(node);
        const std::wstring name = input.name();
        const LSTATUS status = RegDeleteValueW(key, name.c_str());
        if (node == nullptr) {
            check(status == ERROR_KEY_DELETED);
            return;
        }
        const Value* value = findValue(*node, name);
        check(status == (value != nullptr ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND));
        if (value != nullptr) {
            node->values.erase(node->values.begin() + (value - node->values.data()));
        }
    }

    void deleteTree() {
        std::vector<std::wstring> path = readPath(input);
        path.resize(path.size() - input.next() % 2);
        const LSTATUS status = SHDeleteKeyW(HKEY_CURRENT_USER, join(path).c_str());
        if (path.empty()) {
            check(status == ERROR_ACCESS_DENIED);
            return;
        }
        Node* node = model.find(path);
        check(status == (node != nullptr ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND));
        if (node != nullptr) {
            path.pop_back();
            model.erase(*model.find(path), fold(node->name));
        }
    }

    // Collects the names an enumeration call gives at index after index into short buffers;
    // answers the status that ended the listing.
    template <typename Enumerate>
    static LSTATUS listNames(const Enumerate& enumerate, std::vector<std::wstring>& found) {
        wchar_t name[8];
        LSTATUS status = ERROR_SUCCESS;
        for (DWORD index = 0; status == ERROR_SUCCESS; ++index) {
            DWORD length = 8;
            status = enumerate(index, name, &length);
            if (status == ERROR_SUCCESS) {
                found.emplace_back(name, length);
            }
        }
        return status;
    }

    void enumerateKeys() {
        Node* node = nullptr;
        const HKEY key = target(node);
        std::vector<std::wstring> found;
        const LSTATUS status = listNames(
            [key](DWORD index, LPWSTR name, LPDWORD length) {
                return RegEnumKeyExW(key, index, name, length, nullptr, nullptr, nullptr, nullptr);
            },
            found);
        if (node == nullptr) {
            check(status == ERROR_KEY_DELETED && found.empty());
            return;
        }
        check(status == ERROR_NO_MORE_ITEMS && found.size() == node->children.size());
        size_t i = 0;
        for (const auto& child : node->children) {
            check(found[i++] == child.second->name);
        }
    }

    void enumerateValues() {
        Node* node = nullptr;
        const HKEY key = target(node);
        std::vector<std::wstring> found;
        const LSTATUS status = listNames(
            [key](DWORD index, LPWSTR name, LPDWORD length) {
                return RegEnumValueW(key, index, name, length, nullptr, nullptr, nullptr, nullptr);
            },
            found);
        if (node == nullptr) {
            check(status == ERROR_KEY_DELETED && found.empty());
            return;
        }
        check(status == ERROR_NO_MORE_ITEMS && found.size() == node->values.size());
        for (size_t i = 0; i < found.size(); ++i) {
            check(found[i] == node->values[i].name);
        }
    }

    Input& input;
    Model model;
    std::vector<Held> handles;
};

// Removes every key and value of the user's hive.
void emptyStore() {
    wchar_t name[256];
    DWORD length = 256;
    while (RegEnumKeyExW(HKEY_CURRENT_USER, 0, name, &length, nullptr, nullptr, nullptr, nullptr) ==
           ERROR_SUCCESS) {
        check(SHDeleteKeyW(HKEY_CURRENT_USER, name) == ERROR_SUCCESS);
        length = 256;
    }
    while (RegEnumValueW(HKEY_CURRENT_USER, 0, name, &length, nullptr, nullptr, nullptr, nullptr) ==
           ERROR_SUCCESS) {
        check(RegDeleteValueW(HKEY_CURRENT_USER, name) == ERROR_SUCCESS);
        length = 256;
    }
}

std::string& storeDirectory() {
    static std::string directory;
    return directory;
}

void removeStore() {
    std::error_code ignored;
    std::filesystem::remove_all(storeDirectory(), ignored);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/krel-fuzz-XXXXXX";
    check(mkdtemp(pattern.data()) != nullptr);
    storeDirectory() = pattern;
    setenv("KREL_REGISTRY_DIR", pattern.c_str(), 1);
    std::atexit(&removeStore);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    emptyStore();
    Input input(data, size);
    Session(input).run();
    return 0;
}
