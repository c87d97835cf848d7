// IFileFilter, the selection of the entries that File::listFiles answers.
#pragma once

namespace krel_std {

class File;

// Selects the entries that File::listFiles answers.
class IFileFilter {
public:
    virtual ~IFileFilter() {}

    // True when the file is to be kept.
    virtual bool accept(const File& file) const = 0;
};

} // namespace krel_std
