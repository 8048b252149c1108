// The clocks, the report's conversion to seconds and the memory guard.
#include "common/common.h"

#include <chrono>
#include <unistd.h>

uint32_t clock_ms() {
  using namespace std::chrono;
  return static_cast<uint32_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

double ms_to_seconds(uint32_t ms) {
  return static_cast<double>(ms) * static_cast<double>(0.001f);
}

uint64_t clock_ns() {
  using namespace std::chrono;
  return static_cast<uint64_t>(
      duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count());
}

int64_t physical_memory_bytes() {
  const long pages = ::sysconf(_SC_PHYS_PAGES);
  const long page_size = ::sysconf(_SC_PAGE_SIZE);
  if (pages <= 0 || page_size <= 0) return 0;
  return static_cast<int64_t>(pages) * page_size;
}

std::string vertex_count_refusal(int64_t nvtxs) {
  const int64_t have = physical_memory_bytes();
  if (have == 0 || nvtxs <= have / kLayoutBytesPerVertex) return "";
  auto gib = [](int64_t bytes) { return std::to_string((bytes + (1LL << 29)) >> 30); };
  return "laying out " + std::to_string(nvtxs) + " vertices needs at least " +
         gib(nvtxs * kLayoutBytesPerVertex) + " GiB of memory; this machine has " + gib(have) +
         " GiB";
}
