// Feeds arbitrary bytes to the INI reader in each charset. Whatever reads must write and read
// again to the same model, and writing that model again must give the same bytes; bytes that
// do not read may only be refused with KrelIOException. Nothing may crash.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "base/ByteArray.h"
#include "config/Configuration.h"
#include "config/ConfigurationElement.h"
#include "config/ConfigurationSection.h"
#include "config/ConfigurationVisitor.h"
#include "config/IniConfigurationSerializer.h"
#include "exception/KrelIOException.h"

using krel_std::ByteArray;
using krel_std::Configuration;
using krel_std::ConfigurationElement;
using krel_std::ConfigurationSection;
using krel_std::IniConfigurationSerializer;

namespace {

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// Every section name and element of a model, in order, as one text.
class ModelText : public krel_std::ConfigurationVisitor {
public:
    void visit(const ConfigurationElement& element) override { text += element.toString(); }
    void visit(const ConfigurationSection& section) override {
        text += L"[" + section.getName() + L"]";
    }

    std::wstring text;
};

std::wstring describe(const Configuration& configuration) {
    ModelText model;
    configuration.visit(model);
    return model.text;
}

void roundTrip(const ByteArray& input, const wchar_t* charset) {
    IniConfigurationSerializer serializer(charset);
    boost::shared_ptr<Configuration> first;
    try {
        first = serializer.deserialize(input);
    } catch (const krel_std::KrelIOException&) {
        return;
    }
    const boost::shared_ptr<ByteArray> written = serializer.serialize(*first);
    const boost::shared_ptr<Configuration> second = serializer.deserialize(*written);
    check(describe(*second) == describe(*first));
    check(*serializer.serialize(*second) == *written);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const ByteArray input(std::string(reinterpret_cast<const char*>(data), size));
    roundTrip(input, L"windows-1252");
    roundTrip(input, L"UTF-8");
    roundTrip(input, L"ISO-10646-UCS-2");
    return 0;
}
