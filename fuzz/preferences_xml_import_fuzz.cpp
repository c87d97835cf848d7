// Feeds arbitrary bytes, as a file, to the XML preferences import over the in-memory back end.
// Bytes that do not import may only be refused with KrelInvalidPreferencesFormatException;
// nothing may crash, hang or read outside the file.
#include "exception/KrelInvalidPreferencesFormatException.h"
#include "prefs/Preferences.h"

#include "../tests/support/MemoryPreferences.h"

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

// The file every input is written to, made once in the temporary directory.
const std::string& inputFile() {
    static const std::string& name = *[] {
        const char* base = std::getenv("TMPDIR");
        std::string pattern =
            std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/krel-xml-fuzz-XXXXXX";
        const int descriptor = mkstemp(pattern.data());
        if (descriptor < 0) {
            std::abort();
        }
        close(descriptor);
        return new std::string(pattern);
    }();
    return name;
}

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
    {
        std::ofstream out(inputFile(), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    try {
        krel_std::Preferences::importPreferences(
            std::wstring(inputFile().begin(), inputFile().end()));
    } catch (const krel_std::KrelInvalidPreferencesFormatException&) {
        // Refused input: the only allowed failure.
    }
    emptyTree(krel_std::Preferences::userRoot());
    emptyTree(krel_std::Preferences::systemRoot());
    krel_test::MemoryPreferencesFactory::registered().reset();
    return 0;
}
