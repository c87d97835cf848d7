// DirectoryFilter, a listing filter that keeps the directories.
#pragma once

#include "file/IFileFilter.h"

namespace krel_std {

// Keeps the directories (File::isDirectory) of a listing.
class DirectoryFilter : public IFileFilter {
public:
    ~DirectoryFilter() override;

    bool accept(const File& file) const override;
};

} // namespace krel_std
