// A thread that keeps exchanging two names of a directory (RENAME_EXCHANGE), as another process
// attacking a tree walk would: typically a directory of the tree and a symbolic link that leads
// out of it.
#pragma once

#include <atomic>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <thread>

class DirectorySwapper {
public:
    // Starts swapping; stops by itself after maxSwaps exchanges or when one fails (a name is
    // gone).
    DirectorySwapper(const std::filesystem::path& first, const std::filesystem::path& second,
                     int maxSwaps)
        : running(true), finished(false), swaps(0), thread([this, first, second, maxSwaps] {
              while (running && swaps < maxSwaps &&
                     renameat2(AT_FDCWD, first.c_str(), AT_FDCWD, second.c_str(),
                               RENAME_EXCHANGE) == 0) {
                  ++swaps;
              }
              finished = true;
          }) {}

    DirectorySwapper(const DirectorySwapper&) = delete;
    DirectorySwapper& operator=(const DirectorySwapper&) = delete;
    ~DirectorySwapper() { stop(); }

    // Waits until the first exchange was made (or the swapping ended); false when none was.
    bool waitForFirstSwap() {
        while (swaps == 0 && running && !finished) {
            std::this_thread::yield();
        }
        return swaps > 0;
    }

    // Ends the swapping; answers the number of exchanges made.
    int stop() {
        running = false;
        if (thread.joinable()) {
            thread.join();
        }
        return swaps;
    }

private:
    std::atomic<bool> running;
    std::atomic<bool> finished;
    std::atomic<int> swaps;
    std::thread thread;
};
