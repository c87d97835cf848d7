// The appender that writes log lines into a set of size-limited files.
#pragma once

#include <boost/shared_ptr.hpp>
#include <functional>
#include <map>
#include <string>

#include "base/AutoRegisterClass.h"
#include "config/ConfigurationListener.h"
#include "file/RollingFile.h"
#include "log/ILogAppender.h"

namespace krel_std_internal {
class LineMaker;
} // namespace krel_std_internal

namespace krel_std {

class RollingFileHeader;

// Writes each formatted line, as "windows-1252" bytes, into a RollingFile whose files begin
// with a header block. With the library's own filters and KrelLogLayout, a line of the static
// log is laid out and converted by the logging thread before it takes the log's locks, which
// are then held only to write it. Registered as "krel_std.RollingFileAppender" and built from the
// log configuration's properties: "path", "size", "files", "always_open" and "layout.debug".
//
// A debug appender ("layout.debug" true, default extension ".dbg") keeps its file open only
// while the log threshold is below INFO, unless "always_open" is true; a change of the
// threshold in the log configuration opens or closes it while the program runs.
//
// Every appender listens to the static log's configuration file from construction to
// destruction (without the log holding a share of it). The static log's own appenders live
// until the log is destroyed, after its file stopped reporting; an appender made elsewhere
// must not be destroyed while that file reports a change.
class RollingFileAppender : public ILogAppender,
                            public ConfigurationListener,
                            public AutoRegisterClass<RollingFileAppender> {
public:
    static const unsigned long MinFileSize = 0x100000;
    static const unsigned long MinFiles = 1;

    // No filter and no layout, a closed file carrying a WindowsVersionInfoHeader; listens to
    // the static log's configuration file when the log has one.
    RollingFileAppender();
    ~RollingFileAppender() override;

    std::wstring toString() const override;
    std::wstring getClassName() const override;

    // A new appender with its file opened from the properties. A KrelException while
    // preparing or opening the file is traced and leaves the appender with its file closed.
    Configurable* newInstance(const std::map<std::wstring, std::wstring>& properties) override;
    // "size", "files" and "always_open" change the file's settings (a changed size or count
    // is announced as STD0009 or STD0010); other keys go to the filter and the layout. A live
    // file is changed holding the static log's locks, whatever thread calls.
    void setProperty(const std::wstring& key, const std::wstring& value) override;

    // Follows the log threshold of the debug section for a debug appender. Runs holding the
    // static log's lock; a KrelException is traced and swallowed, so the thread that reports
    // configuration changes goes on.
    void onConfigChange(const ConfigurationChangeEvent& event) override;

    unsigned long getMaximumSize() const;
    unsigned long getMaximumFiles() const;
    bool getAlwaysOpen() const;

protected:
    // Writes the line that the logging thread made before it took the log's locks, when it
    // made one for this appender as it is now; otherwise hands the thread the way to make the
    // lines of its next calls and answers false.
    bool appendPrepared(const LogEvent& event) override;
    void localAppend(const LogEvent& event) override;
    void localAppend(const std::wstring& line) override;

private:
    class ThreadedLayout;

    // The maker of this appender's lines for the current filter and layout; none when they may
    // not be called by several threads at once.
    void refreshLineMaker();
    void writeBytes(const std::string& bytes);
    // This appender as the log configuration holds it: a shared pointer that does not own it.
    boost::shared_ptr<ConfigurationListener> asConfigurationListener();
    // Opens the file when it should be open at this threshold, closes it otherwise.
    void followThreshold(const ConfigurationChangeEvent& event);
    // Runs the change when differs() answers true, holding the static log's locks; answers
    // whether it ran.
    bool changeFile(const std::function<bool()>& differs, const std::function<void()>& change);
    // Prepares the directory and opens the file of a new appender.
    void openConfiguredFile(const File& file, unsigned long files, unsigned long size);

    RollingFile rollingFile;
    boost::shared_ptr<RollingFileHeader> header;
    bool debug;
    bool alwaysOpen;
    // The bytes of the line being written, kept from line to line.
    std::string lineBytes;
    boost::shared_ptr<const krel_std_internal::LineMaker> lineMaker;
};

} // namespace krel_std
