// rand15 and the conversion of milliseconds to reported seconds.
#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "common/common.h"
#include "common/parallel.h"

TEST(Rand15, FollowsTheLinearCongruenceOfItsOwnRun) {
  RunContext run, other;
  // s1 = 2531011 -> (s1 >> 16) & 0x7FFF = 38; s2 = 505908858 -> 7719.
  EXPECT_EQ(rand15(run), 38);
  EXPECT_EQ(run.rand15_state, 2531011u);
  EXPECT_EQ(rand15(run), 7719);
  EXPECT_EQ(rand15(other), 38) << "each run has its own state";
  // The state wraps at 2^32: 0xFFFFFFFF * 214013 + 2531011 = 2316998 mod 2^32.
  run.rand15_state = 0xFFFFFFFFu;
  rand15(run);
  EXPECT_EQ(run.rand15_state, 2316998u);
}

TEST(MsToSeconds, UsesTheSinglePrecisionThousandth) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%f", ms_to_seconds(10527));
  EXPECT_STREQ(buf, "10.527001");
  std::snprintf(buf, sizeof buf, "%f", ms_to_seconds(60000));
  EXPECT_STREQ(buf, "60.000003");
  std::snprintf(buf, sizeof buf, "%f", ms_to_seconds(10526));
  EXPECT_STREQ(buf, "10.526000");
}

TEST(ParallelFor, HandsOutEveryIndexOnceToAKnownThread) {
  for (int threads : {3, 1, 2}) {
    const Threads pool = start_threads(threads);
    for (int64_t n : {int64_t{0}, int64_t{5}, int64_t{4096}, int64_t{100003}}) {
      std::vector<std::atomic<int>> seen(static_cast<size_t>(n) + 7);
      std::atomic<bool> bad_thread{false};
      parallel_for(pool, 7, n + 7, 100, [&](int thread, int64_t b, int64_t e) {
        if (thread < 0 || thread >= threads) bad_thread = true;
        for (int64_t i = b; i < e; ++i) ++seen[static_cast<size_t>(i)];
      });
      EXPECT_FALSE(bad_thread) << threads;
      for (int64_t i = 0; i < n + 7; ++i)
        ASSERT_EQ(seen[static_cast<size_t>(i)].load(), i < 7 ? 0 : 1) << threads << " " << n << " " << i;
    }
  }
}
