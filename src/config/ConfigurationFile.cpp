#include "config/ConfigurationFile.h"

#include "base/ByteArray.h"
#include "base/ErrorUtils.h"
#include "base/LogFunctionCall.h"
#include "config/IniConfigurationSerializer.h"
#include "exception/KrelIOException.h"
#include "exception/KrelIllegalStateException.h"
#include "platform/FileReplacement.h"
#include "platform/WinBase.h"
#include "thread/AutoLock.h"

namespace krel_std {

namespace {

// Closes a LockedFile when the scope ends, also when an exception leaves it.
class CloseOnExit {
public:
    explicit CloseOnExit(LockedFile& file) : file(file) {}
    CloseOnExit(const CloseOnExit&) = delete;
    CloseOnExit& operator=(const CloseOnExit&) = delete;
    ~CloseOnExit() { file.close(); }

private:
    LockedFile& file;
};

// The shared default serializer, made on first use and never destroyed: the constructors
// here use it through this function, so a file made by another static initialiser before this
// file's own have run still finds it.
const boost::shared_ptr<ConfigurationSerializer>& sharedDefaultSerializer() {
    static const boost::shared_ptr<ConfigurationSerializer>& serializer =
        *new boost::shared_ptr<ConfigurationSerializer>(
            new IniConfigurationSerializer(ConfigurationSerializer::defaultCharset));
    return serializer;
}

} // namespace

const boost::shared_ptr<ConfigurationSerializer>& ConfigurationFile::defaultSerializer =
    sharedDefaultSerializer();

ConfigurationFile::ConfigurationFile(
    const boost::shared_ptr<ConfigurationSerializer>& newSerializer)
    : serializer(newSerializer) {}

ConfigurationFile::ConfigurationFile(
    const File& file, const boost::shared_ptr<ConfigurationSerializer>& newSerializer)
    : serializer(newSerializer ? newSerializer
                               : boost::shared_ptr<ConfigurationSerializer>(
                                     sharedDefaultSerializer()->newInstance())),
      path(file) {}

ConfigurationFile::ConfigurationFile(const Configuration& other)
    : serializer(sharedDefaultSerializer()) {
    replaceSections(other);
}

ConfigurationFile::ConfigurationFile(const ConfigurationFile& other) : Configuration() {
    const boost::shared_ptr<ConfigurationSerializer> otherSerializer = other.getSerializer();
    if (otherSerializer) {
        serializer.reset(otherSerializer->newInstance());
    }
    replaceSections(other);
}

ConfigurationFile::~ConfigurationFile() {}

std::wstring ConfigurationFile::toString() const {
    return L"ConfigurationFile{path='" + getPath().getPath() + L"'}";
}

boost::shared_ptr<ConfigurationSerializer> ConfigurationFile::getSerializer() const {
    AutoLock<Lock> guard(lock);
    return serializer;
}

File ConfigurationFile::getPath() const {
    AutoLock<Lock> guard(lock);
    return path;
}

std::wstring ConfigurationFile::getLineSeparator() const {
    AutoLock<Lock> guard(lock);
    return serializer ? serializer->getLineSeparator() : std::wstring();
}

void ConfigurationFile::setSerializer(
    const boost::shared_ptr<ConfigurationSerializer>& newSerializer) {
    AutoLock<Lock> guard(lock);
    serializer = newSerializer;
}

void ConfigurationFile::setPath(const File& file) {
    AutoLock<Lock> guard(lock);
    path = file;
}

void ConfigurationFile::setLineSeparator(const std::wstring& separator) {
    AutoLock<Lock> guard(lock);
    if (serializer) {
        serializer->setLineSeparator(separator);
    }
}

void ConfigurationFile::load() {
    KREL_TRACE_SCOPE(L"krel_std::ConfigurationFile::load");
    AutoLock<Lock> guard(lock);
    const boost::shared_ptr<ConfigurationSerializer> current = requireSerializer();
    boost::shared_ptr<ByteArray> bytes;
    {
        lockedFile.open(path, LockedFile::Read);
        CloseOnExit closer(lockedFile);
        bytes = lockedFile.read();
    }
    // Parsed into a new configuration first: a failure leaves the content as it was.
    const boost::shared_ptr<Configuration> fresh = current->deserialize(*bytes);
    bytes.reset();
    takeSections(*fresh);
}

void ConfigurationFile::save() {
    KREL_TRACE_SCOPE(L"krel_std::ConfigurationFile::save");
    AutoLock<Lock> guard(lock);
    const boost::shared_ptr<ConfigurationSerializer> current = requireSerializer();
    const File target = path.getCanonicalFile();
    const File parent = target.getParentFile();
    if (!parent.exists()) {
        parent.mkdirs();
        if (!parent.exists()) {
            throw KrelIOException(L"Unable to make necessary directories to save file with path: " +
                                  parent.getAbsolutePath());
        }
    }
    const boost::shared_ptr<ByteArray> bytes = current->serialize(*this);
    replaceFileContent(target, *bytes);
}

boost::shared_ptr<ConfigurationSerializer> ConfigurationFile::requireSerializer() const {
    if (!serializer) {
        throw KrelIllegalStateException(L"ConfigurationFile has no serializer.");
    }
    return serializer;
}

void ConfigurationFile::replaceFileContent(const File& target, const ByteArray& bytes) {
    krel_platform::FileReplacement replacement;
    // Holding the target alone keeps other holders out during the replacement, as an
    // overwriting open would.
    if (!replacement.begin(target.getPath(), krel_platform::FileReplacement::Exclusive)) {
        const int error = static_cast<int>(GetLastError());
        throw KrelIOException(L"Unable to open or create file.",
                              KrelIOException(target.getPath() + L": " +
                                                  ErrorUtils::getWindowsErrorDescription(error),
                                              error));
    }
    // One atomic step: the target holds its old content in full until it holds the new one.
    if (!replacement.write(bytes.getArray().get(), static_cast<size_t>(bytes.getLength())) ||
        !replacement.commit()) {
        const int error = static_cast<int>(GetLastError());
        throw KrelIOException(L"Unable to replace file with path: " + target.getAbsolutePath() +
                                  L": " + ErrorUtils::getWindowsErrorDescription(error),
                              error);
    }
}

} // namespace krel_std
