#pragma once

#include <cstddef>
#include <thread>

/// Work over a range split in two halves, the first on a second thread and the second on
/// the calling one, for the passes over a whole listing (filter, sort keys, folding) that
/// divide without sharing anything. Small ranges stay on the calling thread.
namespace engine {

/// Below this many items a second thread costs more than it saves.
constexpr std::size_t kTwoThreadMinimum = 32768;

/// Calls work(0, 0, half) and work(1, half, n) (or work(0, 0, n) alone for a small n)
/// and returns once both have finished. `work` must not throw.
template <typename Work>
void inTwoHalves(std::size_t n, Work &&work)
{
    if (n < kTwoThreadMinimum || std::thread::hardware_concurrency() < 2) {
        work(0, std::size_t(0), n);
        return;
    }
    const std::size_t half = n / 2;
    std::thread first([&] { work(0, std::size_t(0), half); });
    work(1, half, n);
    first.join();
}

}  // namespace engine
