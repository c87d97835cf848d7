#include "log/RollingFileHeader.h"

#include "exception/KrelException.h"

namespace krel_std {

RollingFileHeader::~RollingFileHeader() = default;

void RollingFileHeader::callWriteHeader(RollingFile& file) const {
    try {
        writeHeader(file);
    } catch (const KrelException&) {
        // The header's block is missing from this file; the file itself is usable.
    }
}

} // namespace krel_std
