#include "config/ConfigRewrite.h"

#include <cerrno>
#include <cstdio>

namespace krel_std_internal {

namespace {

// Both streams of a rewrite move their bytes in blocks of this size.
const size_t BLOCK_SIZE = 512;

} // namespace

ConfigRewrite::ConfigRewrite(const KrelStd::SWString& path) : path(path), healthy(true) {
    replacement.setTemporaryPattern("cfgXXXXXX");
}

bool ConfigRewrite::createTemporary() {
    healthy = replacement.begin(path, krel_platform::FileReplacement::Unlocked);
    return healthy;
}

ConfigRewrite::Source ConfigRewrite::openExisting() {
    if (reader.open(path)) {
        std::setvbuf(reader.get(), nullptr, _IOFBF, BLOCK_SIZE);
        return Opened;
    }
    return errno == ENOENT ? Missing : Unreadable;
}

bool ConfigRewrite::writeLine(const std::wstring& text) {
    if (!healthy) {
        return false;
    }
    pending += KrelStd::SWString(text).mb_str(0);
    pending += "\r\n";
    return pending.size() < BLOCK_SIZE || flush();
}

bool ConfigRewrite::commit() {
    healthy = healthy && !reader.failed() && flush() && replacement.commit();
    reader.close();
    if (!healthy) {
        replacement.abandon();
    }
    return healthy;
}

bool ConfigRewrite::flush() {
    healthy = healthy && replacement.write(pending.data(), pending.size());
    pending.clear();
    return healthy;
}

} // namespace krel_std_internal
