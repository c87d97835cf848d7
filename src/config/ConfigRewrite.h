#pragma once

#include <string>

#include "base/SWString.h"
#include "config/ConfigFileReader.h"
#include "platform/FileReplacement.h"

namespace krel_std_internal {

// One rewrite of an older configuration file: the file is read line by line and the lines to
// keep are written to a new temporary file beside it ("cfgXXXXXX", with the file's permission
// bits), which then takes the file's place. Every write, the close of the temporary file and
// the replacement are checked; a rewrite that fails at any of them leaves the file as it was
// and removes the temporary file, and so does one that is never committed.
class ConfigRewrite {
public:
    enum Source { Opened, Missing, Unreadable };

    explicit ConfigRewrite(const KrelStd::SWString& path);
    ConfigRewrite(const ConfigRewrite&) = delete;
    ConfigRewrite& operator=(const ConfigRewrite&) = delete;

    // Creates the temporary file; false when it cannot be made.
    bool createTemporary();
    // Opens the file to copy. Missing when there is none; Unreadable for any other failure,
    // after which the rewrite must not replace the file.
    Source openExisting();
    ConfigFileReader& input() { return reader; }

    // Writes one line (CR LF added) in code page 0. After a failed write every later one fails
    // too and commit refuses.
    bool writeLine(const std::wstring& text);
    // Puts the temporary file in the file's place. False, with the file kept, when a write or
    // a read of the file failed, or the temporary file cannot be closed or renamed.
    bool commit();

private:
    bool flush();

    KrelStd::SWString path;
    ConfigFileReader reader;
    krel_platform::FileReplacement replacement;
    std::string pending;
    bool healthy;
};

} // namespace krel_std_internal
