#include "JVM/JVMBestMatch.h"

#include "exception/KrelIllegalArgumentException.h"

namespace krel_std_internal {

namespace {

using krel_std::JVM;

const int EXACT_MATCH = 5;

// How many leading parts of the two versions are equal, major first and the qualifier last.
int matchScore(const JVM::JVMVersion& candidate, const JVM::JVMVersion& desired) {
    if (candidate.major != desired.major) {
        return 0;
    }
    if (candidate.minor != desired.minor) {
        return 1;
    }
    if (candidate.micro != desired.micro) {
        return 2;
    }
    if (candidate.update != desired.update) {
        return 3;
    }
    return candidate.qualifier == desired.qualifier ? EXACT_MATCH : 4;
}

[[noreturn]] void refuse(const std::wstring& message) {
    krel_std::KrelIllegalArgumentException exception(message);
    exception.logDebug(L"krel_std::JVM::getBestMatchedJVM");
    throw exception;
}

} // namespace

JVM::JVMInfo bestMatchedJVM(const std::wstring& desired,
                            const std::vector<JVM::JVMInfo>& installed) {
    const JVM::JVMVersion wanted = JVM::getJVMVersion(desired);
    JVM::JVMVersion bestVersion;
    int bestScore = 0;
    JVM::JVMInfo best;
    for (const JVM::JVMInfo& info : installed) {
        if (bestScore >= EXACT_MATCH) {
            break;
        }
        const JVM::JVMVersion version = JVM::getJVMVersion(info.version);
        const int score = matchScore(version, wanted);
        if (score > bestScore || (score == bestScore && bestVersion < version)) {
            bestScore = score;
            bestVersion = version;
            best = info;
        }
    }
    if (bestVersion.major == 0) {
        refuse(L"No version found!");
    }
    if (bestVersion < wanted) {
        refuse(L"Couldn't find valid version, desired: <" + desired + L"> Best Match: <" +
               best.version + L">.");
    }
    return best;
}

} // namespace krel_std_internal
