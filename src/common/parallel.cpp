// Fixed worker pool behind parallel_for. Workers sleep on a condition
// variable between loops; in a loop every taking part thread, the caller
// included, takes the next chunk of indices until none is left, so a
// thread slowed down by other work on the machine holds nobody up.
#include "common/parallel.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <cstdio>
#include <system_error>
#include <thread>
#include <vector>

struct WorkerPool {
  std::vector<std::thread> workers;
  std::mutex mutex;
  std::condition_variable wake;
  std::condition_variable done;
  const std::function<void(int, int64_t, int64_t)>* body = nullptr;
  std::atomic<int64_t> next{0};  // first index not yet handed out
  int64_t end = 0;
  int64_t chunk = 1;
  int active = 0;  // threads 0..active-1 take part in the current loop
  uint64_t generation = 0;
  int pending = 0;
  bool stopping = false;

  ~WorkerPool() {
    {
      std::lock_guard<std::mutex> lock(mutex);
      stopping = true;
    }
    wake.notify_all();
    for (std::thread& t : workers) t.join();
  }

  void run_chunks(int id, const std::function<void(int, int64_t, int64_t)>& fn) {
    for (;;) {
      const int64_t b = next.fetch_add(chunk, std::memory_order_relaxed);
      if (b >= end) return;
      fn(id, b, std::min(b + chunk, end));
    }
  }

  void work(int id) {
    uint64_t seen = 0;
    for (;;) {
      std::unique_lock<std::mutex> lock(mutex);
      wake.wait(lock, [&] { return stopping || generation != seen; });
      if (stopping) return;
      seen = generation;
      const auto* fn = body;
      const bool taking_part = id < active;
      lock.unlock();
      if (taking_part) run_chunks(id, *fn);
      lock.lock();
      if (--pending == 0) done.notify_one();
    }
  }
};

namespace {

/// Chunks a loop is cut into per taking part thread.
constexpr int64_t kChunksPerThread = 8;

}  // namespace

Threads start_threads(int count, std::FILE* warnings) {
  Threads threads;
  threads.count = count < 1 ? 1 : count;
  if (threads.count == 1) return threads;
  threads.pool = std::make_shared<WorkerPool>();
  WorkerPool* p = threads.pool.get();
  const int wanted = threads.count;
  while (static_cast<int>(p->workers.size()) < wanted - 1) {
    int id = static_cast<int>(p->workers.size()) + 1;
    try {
      p->workers.emplace_back([p, id] { p->work(id); });
    } catch (const std::system_error& e) {
      // Out of threads or of memory for their stacks: go on with fewer.
      threads.count = id;
      if (warnings != nullptr)
        std::fprintf(warnings, "frlayout3d: warning: could start only %d of %d threads (%s); "
                     "running with %d\n", id, wanted, e.what(), id);
      break;
    }
  }
  return threads;
}

void parallel_for(const Threads& threads, int64_t begin, int64_t end, int64_t min_chunk,
                  const std::function<void(int, int64_t, int64_t)>& body) {
  if (end <= begin) return;
  if (min_chunk < 1) min_chunk = 1;
  int64_t n = end - begin;
  int64_t parts = n / min_chunk;
  if (parts > threads.count) parts = threads.count;
  if (parts <= 1 || threads.pool == nullptr) {
    body(0, begin, end);
    return;
  }
  WorkerPool& p = *threads.pool;
  {
    std::lock_guard<std::mutex> lock(p.mutex);
    p.next.store(begin, std::memory_order_relaxed);
    p.end = end;
    // Several chunks a thread, so that the threads finish together.
    p.chunk = std::max(min_chunk, (n + parts * kChunksPerThread - 1) / (parts * kChunksPerThread));
    p.active = static_cast<int>(parts);
    p.body = &body;
    p.pending = static_cast<int>(p.workers.size());
    ++p.generation;
  }
  p.wake.notify_all();
  p.run_chunks(0, body);
  std::unique_lock<std::mutex> lock(p.mutex);
  p.done.wait(lock, [&] { return p.pending == 0; });
  p.body = nullptr;
}
