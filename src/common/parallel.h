// A small fixed pool of worker threads for loops whose iterations are
// independent: each index is handled by exactly one thread and writes only
// its own results, so the outcome does not depend on the thread count.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>

struct WorkerPool;

/// The threads of one run: `count` threads, the caller being thread 0 and
/// the pool's workers the others (no pool for one thread). Copies share
/// the pool; it stops when the last copy goes. One pool runs one loop at a
/// time: a run that lays out on several threads at once needs a pool each.
struct Threads {
  int count = 1;
  std::shared_ptr<WorkerPool> pool;
};

/// Threads for `count` threads (at least 1); when the system cannot start
/// them all, as many as it could, with a warning on `warnings` (null:
/// none).
Threads start_threads(int count, std::FILE* warnings = stderr);

/// Calls body(thread, begin, end) on disjoint contiguous ranges covering
/// [begin, end), handed out to the threads as they become free; `thread`
/// (0..threads.count-1) names the calling thread, which may get several
/// ranges, and no two threads share a number at the same time. Ranges are
/// at least `min_chunk` long, except the last.
void parallel_for(const Threads& threads, int64_t begin, int64_t end, int64_t min_chunk,
                  const std::function<void(int, int64_t, int64_t)>& body);
