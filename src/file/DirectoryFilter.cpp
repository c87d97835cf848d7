#include "file/DirectoryFilter.h"

#include "file/File.h"

namespace krel_std {

DirectoryFilter::~DirectoryFilter() {}

bool DirectoryFilter::accept(const File& file) const {
    return file.isDirectory();
}

} // namespace krel_std
