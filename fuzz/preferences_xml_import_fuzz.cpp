// Feeds arbitrary bytes, as a file, to the XML preferences import over the in-memory back end.
// Bytes that do not import may only be refused with KrelInvalidPreferencesFormatException;
// nothing may crash, hang or read outside the file.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "../tests/support/MemoryPreferences.h"
#include "exception/KrelInvalidPreferencesFormatException.h"
#include "prefs/Preferences.h"

namespace {

// The directory of the input file: a memory file system where there is one, since a file on
// disk that is truncated and rewritten for every input costs a write-back on each close, which
// made that write the slowest step of a run; otherwise TMPDIR or /tmp.
std::string inputDirectory() {
    struct stat info {};
    if (stat("/dev/shm", &info) == 0 && S_ISDIR(info.st_mode) && access("/dev/shm", W_OK) == 0) {
        return "/dev/shm";
    }
    const char* base = std::getenv("TMPDIR");
    return base != nullptr && *base != '\0' ? base : "/tmp";
}

// The file every input is written to, made once per process and removed at its exit, so that
// the many processes of a run in fork mode leave no files behind.
class InputFile {
public:
    InputFile() : name(inputDirectory() + "/krel-xml-fuzz-XXXXXX") {
        const int descriptor = mkstemp(name.data());
        if (descriptor < 0) {
            std::abort();
        }
        close(descriptor);
        wideName.assign(name.begin(), name.end());
    }

    ~InputFile() { unlink(name.c_str()); }

    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    void write(const std::uint8_t* data, std::size_t size) const {
        std::ofstream out(name, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }

    const std::wstring& path() const { return wideName; }

private:
    std::string name;
    std::wstring wideName;
};

// Removes every child and key of a root. Removal frees the nodes, which a reset of the factory
// alone would keep, since parents and children hold each other; the reset that follows drops
// the stores with their journals.
void emptyTree(const boost::shared_ptr<krel_std::Preferences>& root) {
    for (const std::wstring& name : root->childrenNames()) {
        root->node(name)->removeNode();
    }
    root->clear();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static krel_test::MemoryPreferencesSelection selection;
    static const InputFile input;
    input.write(data, size);
    try {
        krel_std::Preferences::importPreferences(input.path());
    } catch (const krel_std::KrelInvalidPreferencesFormatException&) {
        // Refused input: the only allowed failure.
    }
    emptyTree(krel_std::Preferences::userRoot());
    emptyTree(krel_std::Preferences::systemRoot());
    krel_test::MemoryPreferencesFactory::registered().reset();
    return 0;
}
