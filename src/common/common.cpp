// rand15, the clock and the time accumulators.
#include "common/common.h"

#include <chrono>

namespace {
uint32_t g_rand15_state = 0;
}  // namespace

uint32_t coarsening_time = 0;
uint32_t barycentralizing_time = 0;

void seed_rand15(uint32_t seed) { g_rand15_state = seed; }

uint32_t rand15_state() { return g_rand15_state; }

int32_t rand15() {
  g_rand15_state = g_rand15_state * 214013u + 2531011u;
  return static_cast<int32_t>((g_rand15_state >> 16) & 0x7FFFu);
}

uint32_t clock_ms() {
  using namespace std::chrono;
  return static_cast<uint32_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

double ms_to_seconds(uint32_t ms) {
  return static_cast<double>(ms) * static_cast<double>(0.001f);
}

uint64_t phase_ns[kPhaseCount] = {};

uint64_t clock_ns() {
  using namespace std::chrono;
  return static_cast<uint64_t>(
      duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count());
}

void (*on_level_start)(int32_t, int32_t, int32_t) = nullptr;
void (*on_iteration)(int32_t, int32_t) = nullptr;
