#include "base/Parallel.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#include "base/ConversionLog.h"
#include "base/FileTrace.h"

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
    // An exception must not leave its thread (that ends the program): it is
    // kept for the caller.
    std::atomic<size_t> next{0};
    std::mutex failure;
    size_t failedPiece = count;
    std::exception_ptr error;
    // The helpers log to the caller's sink and note files in its record.
    ILogSink* const sink = CurrentLogSink();
    SFileTrace* const trace = CurrentFileTrace();
    auto run = [&] {
        for (size_t i = next++; i < count; i = next++) {
            try {
                fn(i);
            } catch (...) {
                std::lock_guard<std::mutex> lock(failure);
                if (i < failedPiece) {
                    failedPiece = i;
                    error = std::current_exception();
                }
                next = count; // pieces not yet taken all come after this one
            }
        }
    };
    std::vector<std::thread> helpers;
    helpers.reserve(threads - 1);
    for (size_t t = 1; t < threads; ++t) {
        try {
            helpers.emplace_back([&] {
                SetLogSink(sink);
                SetFileTrace(trace);
                run();
            });
        } catch (...) {
            break; // no thread to be had: the others (and this one) do the work
        }
    }
    run();
    for (std::thread& h : helpers)
        h.join();
    if (error)
        std::rethrow_exception(error);
}
