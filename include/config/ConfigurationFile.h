// ConfigurationFile, a configuration bound to a file and a serializer, loaded and saved whole.
#pragma once

#include <boost/shared_ptr.hpp>
#include <string>

#include "config/Configuration.h"
#include "config/ConfigurationSerializer.h"
#include "file/File.h"
#include "file/LockedFile.h"

namespace krel_std {

// A configuration bound to a file and to the serializer that turns it into bytes and back.
//
// load and save hold the configuration's lock for their whole run, and the system's share lock
// on the file while it is open: a file that another holder has open in a conflicting mode makes
// them fail at once. A failed load leaves the content as it was; save writes a temporary file
// beside the target and renames it over the target, so the file always holds either its old or
// its new content in full.
class ConfigurationFile : public Configuration {
public:
    // The serializer shared by every ConfigurationFile made without arguments or from a
    // Configuration: an IniConfigurationSerializer with the charset "windows-1252". Made by the
    // library's static initialisers and never destroyed, so files made or used at exit still
    // find it.
    static const boost::shared_ptr<ConfigurationSerializer>& defaultSerializer;

    // An empty path and the given serializer (by default the shared one). A null serializer
    // is accepted; load and save then throw KrelIllegalStateException.
    explicit ConfigurationFile(
        const boost::shared_ptr<ConfigurationSerializer>& serializer = defaultSerializer);
    // The file and the serializer; a null serializer is replaced by a new one of its own made
    // by defaultSerializer->newInstance().
    explicit ConfigurationFile(const File& file,
                               const boost::shared_ptr<ConfigurationSerializer>& serializer =
                                   boost::shared_ptr<ConfigurationSerializer>());
    // An empty path, the shared serializer and a copy of the other's sections.
    explicit ConfigurationFile(const Configuration& other);
    // An empty path, a new serializer from the other's newInstance() and a copy of its sections.
    ConfigurationFile(const ConfigurationFile& other);
    ~ConfigurationFile() override;

    // "ConfigurationFile{path='...'}".
    std::wstring toString() const override;
    virtual boost::shared_ptr<ConfigurationSerializer> getSerializer() const;
    virtual File getPath() const;
    // The serializer's line separator; "" without a serializer.
    virtual std::wstring getLineSeparator() const;
    virtual void setSerializer(const boost::shared_ptr<ConfigurationSerializer>& serializer);
    virtual void setPath(const File& file);
    // Handed to the serializer; ignored without one.
    virtual void setLineSeparator(const std::wstring& separator);
    // Replaces the content with the file's. Errors of the file (KrelIOException and the
    // others of LockedFile) and of the serializer pass out, and the content stays as it was.
    virtual void load();
    // Writes the content to the file, making missing parent directories first
    // (KrelIOException "Unable to make necessary directories to save file with path: " + the
    // parent's absolute path when that fails).
    virtual void save();

private:
    boost::shared_ptr<ConfigurationSerializer> requireSerializer() const;
    // Writes the bytes to a temporary file of its own beside the target and moves it over the
    // target in one atomic step, holding the target's share lock; a failure removes the
    // temporary file and leaves the target as it was.
    void replaceFileContent(const File& target, const ByteArray& bytes);

    boost::shared_ptr<ConfigurationSerializer> serializer;
    LockedFile lockedFile;
    File path;
};

} // namespace krel_std
