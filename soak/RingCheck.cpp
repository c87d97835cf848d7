#include "RingCheck.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <tuple>

#include "SoakSupport.h"

namespace krel_soak {
namespace {

void note(RingFigures& figures, const std::string& text) {
    if (figures.examples.size() < 8) {
        figures.examples.push_back(text);
    }
}

class RingReader {
public:
    RingReader(const LoggedLines& logged, bool live, RingFigures& figures)
        : logged(logged), live(live), figures(figures) {
        for (const auto& entry : logged) {
            figures.logged += entry.second;
        }
    }

    void readFile(const std::filesystem::path& path) {
        const size_t file = names.size();
        names.push_back(path.filename().string());
        std::error_code error;
        const uintmax_t size = std::filesystem::file_size(path, error);
        figures.largestFile = std::max<unsigned long>(figures.largestFile, error ? 0 : size);
        std::ifstream in(path, std::ios::binary);
        for (std::string line; std::getline(in, line);) {
            // While the service writes, the end of the file may be part of a line.
            if (!live || !in.eof()) {
                readLine(line, file);
            }
        }
    }

    // Judges each thread's lines file by file, and whether its newest line was kept.
    void judge() {
        for (const auto& entry : byFile) {
            const std::vector<unsigned long>& ranks = entry.second;
            for (size_t i = 1; i < ranks.size(); ++i) {
                if (ranks[i] != ranks[i - 1] + 1) {
                    ++figures.splitRuns;
                    note(figures, names[entry.first.first] + ", thread " +
                                      std::to_string(entry.first.second) + ": number " +
                                      std::to_string(ranks[i]) + " follows " +
                                      std::to_string(ranks[i - 1]));
                }
            }
        }
        if (live) {
            return;
        }
        const unsigned last = logged.empty() ? 0 : logged.rbegin()->first.first;
        for (unsigned thread = 0; thread < static_cast<unsigned>(kLogThreads); ++thread) {
            const unsigned long newest = rankOf(last, thread, lastOf(last, thread));
            if (newest != 0 && kept.count(newest + (static_cast<uint64_t>(thread) << 48)) == 0) {
                ++figures.newestMissing;
                note(figures, "thread " + std::to_string(thread) + ": its last line is not kept");
            }
        }
    }

private:
    void readLine(std::string& line, size_t file) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        const size_t text = line.find_first_not_of(' ');
        if (text == std::string::npos || line.compare(text, 14, "VERSION INFO: ") == 0) {
            return;
        }
        const size_t at = line.find("SOAK");
        if (at == std::string::npos && line.find(" END") == std::string::npos) {
            ++figures.otherLines;
            return;
        }
        unsigned instance = 0, thread = 0;
        unsigned long number = 0;
        if (at == std::string::npos ||
            std::sscanf(line.c_str() + at, "SOAK i=%u t=%u n=%lu x=", &instance, &thread,
                        &number) != 3 ||
            line.compare(at, std::string::npos, soakMessage(instance, thread, number)) != 0) {
            ++figures.torn;
            note(figures, "torn line in " + names[file] + ": " + line.substr(0, 160));
            return;
        }
        keep(instance, thread, number, file);
    }

    void keep(unsigned instance, unsigned thread, unsigned long number, size_t file) {
        const bool running = live && logged.count({instance, thread}) == 0;
        if (thread >= static_cast<unsigned>(kLogThreads) || number == 0 ||
            (!running && number > lastOf(instance, thread))) {
            ++figures.unexpected;
            note(figures, "line never logged in " + names[file] + ": " +
                              soakMessage(instance, thread, number).substr(0, 40));
            return;
        }
        if (!seen.insert(std::make_tuple(instance, thread, number)).second) {
            ++figures.duplicates;
            note(figures, "line kept twice, the second time in " + names[file] + ": " +
                              soakMessage(instance, thread, number).substr(0, 40));
            return;
        }
        ++figures.kept;
        const unsigned long rank = rankOf(instance, thread, number);
        byFile[{file, thread}].push_back(rank);
        kept.insert(rank + (static_cast<uint64_t>(thread) << 48));
    }

    unsigned long lastOf(unsigned instance, unsigned thread) const {
        const auto found = logged.find({instance, thread});
        return found == logged.end() ? 0 : found->second;
    }

    // The place of the line in its thread's sequence over all instances, from 1.
    unsigned long rankOf(unsigned instance, unsigned thread, unsigned long number) const {
        unsigned long before = 0;
        for (const auto& entry : logged) {
            if (entry.first.first < instance && entry.first.second == thread) {
                before += entry.second;
            }
        }
        return number == 0 ? 0 : before + number;
    }

    const LoggedLines& logged;
    const bool live;
    RingFigures& figures;
    std::vector<std::string> names;
    std::set<std::tuple<unsigned, unsigned, unsigned long>> seen;
    // (file, thread) -> the ranks of the thread's lines in the file, in the file's order.
    std::map<std::pair<size_t, unsigned>, std::vector<unsigned long>> byFile;
    // Every kept rank, with its thread in the top bits.
    std::set<uint64_t> kept;
};

} // namespace

RingFigures checkRing(const std::string& directory, const LoggedLines& logged, bool live) {
    RingFigures figures;
    RingReader reader(logged, live, figures);
    const std::regex ringFile("Soak[0-9]+\\.log");
    std::vector<std::filesystem::path> files;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(directory, error)) {
        if (std::regex_match(entry.path().filename().string(), ringFile)) {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    for (const std::filesystem::path& file : files) {
        reader.readFile(file);
    }
    figures.files = static_cast<unsigned>(files.size());
    reader.judge();
    return figures;
}

} // namespace krel_soak
