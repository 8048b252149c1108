// Fixed worker pool behind parallel_for. Workers sleep on a condition
// variable between loops; the calling thread takes range 0 itself.
#include "common/parallel.h"

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace {

struct Pool {
  std::vector<std::thread> workers;
  std::mutex mutex;
  std::condition_variable wake;
  std::condition_variable done;
  const std::function<void(int, int64_t, int64_t)>* body = nullptr;
  std::vector<int64_t> bounds;  // range t is [bounds[t], bounds[t+1])
  uint64_t generation = 0;
  int pending = 0;
  bool stopping = false;

  ~Pool() {
    {
      std::lock_guard<std::mutex> lock(mutex);
      stopping = true;
    }
    wake.notify_all();
    for (std::thread& t : workers) t.join();
  }

  void work(int id) {
    uint64_t seen = 0;
    for (;;) {
      std::unique_lock<std::mutex> lock(mutex);
      wake.wait(lock, [&] { return stopping || generation != seen; });
      if (stopping) return;
      seen = generation;
      const auto* fn = body;
      int ranges = static_cast<int>(bounds.size()) - 1;
      int64_t b = id < ranges ? bounds[id] : 0;
      int64_t e = id < ranges ? bounds[id + 1] : 0;
      lock.unlock();
      if (b < e) (*fn)(id, b, e);
      lock.lock();
      if (--pending == 0) done.notify_one();
    }
  }
};

int g_threads = 1;
Pool* g_pool = nullptr;

Pool& pool() {
  static Pool p;
  return p;
}

}  // namespace

void set_thread_count(int threads) {
  if (threads < 1) threads = 1;
  g_threads = threads;
  Pool& p = pool();
  g_pool = &p;
  while (static_cast<int>(p.workers.size()) < threads - 1) {
    int id = static_cast<int>(p.workers.size()) + 1;
    p.workers.emplace_back([id] { g_pool->work(id); });
  }
}

int thread_count() { return g_threads; }

void parallel_for(int64_t begin, int64_t end, int64_t min_chunk,
                  const std::function<void(int, int64_t, int64_t)>& body) {
  if (end <= begin) return;
  if (min_chunk < 1) min_chunk = 1;
  int64_t n = end - begin;
  int64_t parts = n / min_chunk;
  if (parts > g_threads) parts = g_threads;
  if (parts <= 1 || g_pool == nullptr) {
    body(0, begin, end);
    return;
  }
  Pool& p = *g_pool;
  {
    std::lock_guard<std::mutex> lock(p.mutex);
    p.bounds.assign(static_cast<size_t>(parts) + 1, 0);
    for (int64_t t = 0; t <= parts; ++t) p.bounds[t] = begin + n * t / parts;
    p.body = &body;
    p.pending = static_cast<int>(p.workers.size());
    ++p.generation;
  }
  p.wake.notify_all();
  body(0, p.bounds[0], p.bounds[1]);
  std::unique_lock<std::mutex> lock(p.mutex);
  p.done.wait(lock, [&] { return p.pending == 0; });
  p.body = nullptr;
}
