// A small fixed pool of worker threads for loops whose iterations are
// independent: each index is handled by exactly one thread and writes only
// its own results, so the outcome does not depend on the thread count.
#pragma once

#include <cstdint>
#include <functional>

/// Number of threads parallel_for uses (1 = everything on the caller).
void set_thread_count(int threads);
int thread_count();

/// Calls body(thread, begin, end) on disjoint contiguous ranges covering
/// [begin, end), handed out to the threads as they become free; `thread`
/// (0..thread_count()-1) names the calling thread, which may get several
/// ranges, and no two threads share a number at the same time. Ranges are
/// at least `min_chunk` long, except the last.
void parallel_for(int64_t begin, int64_t end, int64_t min_chunk,
                  const std::function<void(int, int64_t, int64_t)>& body);
