// The block of text at the top of every file of a rolling file set.
#pragma once

#include "base/Configurable.h"

namespace krel_std {

class RollingFile;

// A header that a RollingFile writes at the top of each file it opens. Headers are built by
// class name like the other configurable parts of the log.
class RollingFileHeader : public Configurable {
public:
    RollingFileHeader() = default;
    RollingFileHeader(const RollingFileHeader&) = default;
    RollingFileHeader& operator=(const RollingFileHeader&) = default;
    ~RollingFileHeader() override;

    // Writes the header's bytes into the file through RollingFile::write.
    virtual void writeHeader(RollingFile& file) const = 0;

    // Calls writeHeader and swallows a KrelException it throws: a failing header leaves its
    // block out, it never keeps the file from opening.
    void callWriteHeader(RollingFile& file) const;
};

} // namespace krel_std
