#include "base/Parallel.h"

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

unsigned ParallelWorkers()
{
    return std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
}

void ParallelFor(size_t count, const std::function<void(size_t)>& fn)
{
    const size_t threads = std::min<size_t>(ParallelWorkers(), count);
    if (threads <= 1) {
        for (size_t i = 0; i < count; ++i)
            fn(i);
        return;
    }
    // Pieces are taken in turn, so a slow piece does not hold up the rest.
    std::atomic<size_t> next{0};
    auto run = [&] {
        for (size_t i = next++; i < count; i = next++)
            fn(i);
    };
    std::vector<std::thread> helpers;
    helpers.reserve(threads - 1);
    for (size_t t = 1; t < threads; ++t) {
        try {
            helpers.emplace_back(run);
        } catch (...) {
            break; // no thread to be had: the others (and this one) do the work
        }
    }
    run();
    for (std::thread& h : helpers)
        h.join();
}
