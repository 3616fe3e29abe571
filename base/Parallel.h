#pragma once
// Work split over the machine's cores. Results must not depend on how the
// work is split: callers give every piece its own output range.
#include <cstddef>
#include <functional>

// Threads worth starting for parallel work: the hardware's count, at least 1,
// at most 8.
unsigned ParallelWorkers();

// Calls fn(i) once for every i in [0, count), pieces on as many threads as
// ParallelWorkers() (the caller's thread runs piece 0); returns when all are
// done. The threads it starts log to the caller's log sink and note files in
// its file trace. With one worker or one piece it runs in order on the caller's thread.
// When fn throws (out of memory, say), pieces not yet started are skipped and,
// once the running ones end, the exception of the lowest piece that threw is
// rethrown on the caller's thread, as the loop in order would have thrown it.
void ParallelFor(size_t count, const std::function<void(size_t)>& fn);
