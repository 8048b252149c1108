// Placement, smoothing, fitting and the force-directed iteration on one
// level.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>

#include "common/common.h"
#include "common/parallel.h"
#include "layout/layout.h"
#include "layout/layout_internal.h"
#include "test_support.h"

namespace {

Posn make_posn(const std::vector<std::array<double, 3>>& points) {
  Posn posn;
  allocate_posn(posn, static_cast<int32_t>(points.size()));
  for (size_t v = 1; v <= points.size(); ++v)
    for (int a = 1; a <= 3; ++a) posn[a][v] = points[v - 1][a - 1];
  return posn;
}

void expect_inside_and_filled(const Posn& posn, int32_t nvtxs, const double extent[4]) {
  for (int a = 1; a <= 3; ++a) {
    double lo, hi;
    ASSERT_TRUE(axis_range(posn, nvtxs, a, lo, hi)) << "axis " << a;
    EXPECT_EQ(lo, 0.0) << "axis " << a;
    EXPECT_NEAR(hi, extent[a], extent[a] * 1e-15) << "axis " << a;
  }
}

}  // namespace

TEST(RandomPlacement, ThreeDrawsPerVertexInAxisOrder) {
  RunContext run;  // from state 0 the draws are 38, 7719, 21238, 2437, ...
  Posn posn;
  allocate_posn(posn, 2);
  random_placement(run, 2, 1000, 800, 600, posn);
  EXPECT_EQ(posn[1][1], 38 / 32768.0 * 1000);
  EXPECT_EQ(posn[2][1], 7719 / 32768.0 * 800);
  EXPECT_EQ(posn[3][1], 21238 / 32768.0 * 600);
  EXPECT_EQ(posn[1][2], 2437 / 32768.0 * 1000);
  EXPECT_EQ(run.rand15_state, 773150046u) << "six draws for two vertices";
  random_placement(run, 0, 1000, 800, 600, posn);
  EXPECT_EQ(run.rand15_state, 773150046u) << "none for no vertex";
}

TEST(Barycentralize, OnePassOnAPathIsASimultaneousUpdate) {
  // a=0, b=4, c=10 on every axis. After one pass a=2, b=4.5, c=7; the fit
  // maps 2..7 onto the extent, so b lands at exactly half of it. An
  // in-place (sequential) update would put b at 5, i.e. 60 %.
  GraphHandle g = make_graph(path_lists(3));
  Posn posn = make_posn({{0, 0, 0}, {4, 4, 4}, {10, 10, 10}});
  RunContext run;
  barycentralize(run, *g, 3, 1000, 800, 600, 1, posn);
  EXPECT_EQ(posn[1][1], 0);
  EXPECT_EQ(posn[1][2], 500);
  EXPECT_EQ(posn[2][2], 400);
  EXPECT_EQ(posn[3][2], 300);
  EXPECT_EQ(posn[1][3], 1000);
}

TEST(Barycentralize, RepeatedNeighbourWeighsTwiceAndIsolatedVertexStays) {
  // Vertex 1 lists 2 twice and 3 once: mean x = (2*8 + 2) / 3 = 6, so 1
  // moves to (6 + 0) / 2 = 3. Vertex 4 has no neighbours and stays at 5.
  GraphHandle g = make_graph({{2, 2, 3}, {1}, {1}, {}});
  Posn posn = make_posn({{0, 0, 0}, {8, 8, 8}, {2, 2, 2}, {5, 5, 5}});
  RunContext run;
  barycentralize(run, *g, 4, 10, 10, 10, 1, posn);
  // Before the fit: 1 -> 3, 2 -> 4, 3 -> 1, 4 -> 5; the fit maps 1..5 to 0..10.
  EXPECT_EQ(posn[1][1], 5);
  EXPECT_EQ(posn[1][2], 7.5);
  EXPECT_EQ(posn[1][3], 0);
  EXPECT_EQ(posn[1][4], 10);
}

TEST(Barycentralize, ZeroPassesOnlyFits) {
  GraphHandle g = make_graph(path_lists(2));
  Posn posn = make_posn({{1, 2, 3}, {3, 4, 6}});
  RunContext run;
  barycentralize(run, *g, 2, 100, 80, 60, 0, posn);
  EXPECT_EQ(posn[1][1], 0);
  EXPECT_EQ(posn[1][2], 100);
  EXPECT_EQ(posn[3][2], 60);
}

TEST(FitToDrawingArea, StretchesEachAxisAndCentresFlatOnes) {
  Posn posn = make_posn({{1, 5, 7}, {3, 5, 7}, {2, 5, 7}});
  fit_to_drawing_area(Threads{}, 3, 1000, 800, 600, posn);
  EXPECT_EQ(posn[1][1], 0);
  EXPECT_EQ(posn[1][2], 1000);
  EXPECT_EQ(posn[1][3], 500);
  for (int32_t v = 1; v <= 3; ++v) {
    EXPECT_EQ(posn[2][v], 400);  // a flat axis goes to the middle
    EXPECT_EQ(posn[3][v], 300);
  }
  Posn one = make_posn({{42, 42, 42}});
  fit_to_drawing_area(Threads{}, 1, 1000, 800, 600, one);
  EXPECT_EQ(one[1][1], 500);
}

TEST(Frlayout, NoIterationsMeansFiveSmoothingPassesAndAFit) {
  // An uneven path, whose fitted positions change with every pass.
  GraphHandle g = make_graph(path_lists(4));
  const Posn start = make_posn({{0, 0, 0}, {1, 2, 1}, {3, 3, 7}, {10, 9, 8}});
  Posn a = start;
  RunContext run;
  frlayout(run, *g, 4, 1000, 800, 600, 100, 0, 0.6, 1e-5, a, true);
  Posn four = start, five = start;
  barycentralize(run, *g, 4, 1000, 800, 600, 4, four);
  barycentralize(run, *g, 4, 1000, 800, 600, 5, five);
  ASSERT_NE(four, five);
  EXPECT_EQ(a, five);
}

TEST(Frlayout, TwoVerticesAtOnePointStayFinite) {
  // Smoothing puts two joined vertices on one point; the octree refuses
  // the second, which is nudged, and attraction at distance 0 is no NaN.
  GraphHandle g = make_graph(path_lists(2));
  Posn posn = make_posn({{0, 0, 0}, {10, 10, 10}});
  RunContext run;
  run.rand15_state = 1;
  testing::internal::CaptureStdout();
  frlayout(run, *g, 2, 1000, 800, 600, 500, 10, 0.6, 1e-5, posn, true);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out.rfind("fail, change from ....v = 2, posn[1][v] = 500.000000, \t posn[2][v] = "
                      "400.000000, \t posn[3][v] = 300.000000 \n", 0), 0u) << out;
  const double extent[4] = {0, 1000, 800, 600};
  expect_inside_and_filled(posn, 2, extent);
}

TEST(Frlayout, ThreadCountChangesNoBitOnAnAwkwardLevel) {
  // Large enough for the split octree build and attraction; lists out of
  // order with repeated edges; isolated vertices in groups on one point,
  // which are refused and nudged in vertex order.
  const int32_t n = 6000;
  std::vector<std::vector<int32_t>> lists(n);
  RunContext rng;
  rng.rand15_state = 3;
  auto rand15 = [&rng] { return ::rand15(rng); };
  for (int32_t e = 0; e < 3 * n; ++e) {
    const int32_t a = 1 + (rand15() * 32768 + rand15()) % (n - 100);
    const int32_t b = 1 + (rand15() * 32768 + rand15()) % (n - 100);
    if (a == b) continue;
    for (int copies = e % 7 == 0 ? 2 : 1; copies > 0; --copies) {
      lists[a - 1].push_back(b);
      lists[b - 1].push_back(a);
    }
  }
  GraphHandle g = make_graph(lists);
  std::vector<std::array<double, 3>> start(n);
  for (auto& p : start) p = {rand15() % 30 * 30.0, rand15() % 30 * 25.0, rand15() % 30 * 20.0};
  for (int32_t v = n - 100; v < n; ++v) start[v] = {500.0 + v % 10, 400, 300};  // isolated
  std::vector<double> first;
  std::string first_out;
  for (int threads : {1, 2, 3}) {
    RunContext run;
    run.threads = start_threads(threads);
    run.min_octant_build = 4096;
    run.rand15_state = 11;
    Posn posn = make_posn(start);
    testing::internal::CaptureStdout();
    frlayout(run, *g, n, 1000, 800, 600, 20, 5, 0.6, 1e-5, posn, true);
    const std::string out = testing::internal::GetCapturedStdout();
    std::vector<double> all;
    for (int a = 1; a <= 3; ++a) all.insert(all.end(), posn[a].begin(), posn[a].end());
    if (threads == 1) {
      first = all;
      first_out = out;
      EXPECT_NE(out.find("fail, change from"), std::string::npos);
      continue;
    }
    ASSERT_EQ(all.size(), first.size());
    EXPECT_EQ(std::memcmp(all.data(), first.data(), all.size() * sizeof(double)), 0)
        << threads << " threads";
    EXPECT_EQ(out, first_out) << threads << " threads";
  }
}

// The formulas of one iteration, with numbers worked by hand.

TEST(EdgePull, AlongEachAxisAndAtTheFloor) {
  // A 3-4-12 edge is 13 long; with k = 13 the pull d^2/k = 13 has the
  // delta itself as its components.
  double pull[4];
  const double skew[4] = {0, 3, 4, 12};
  edge_pull(skew, 13, 1e-5, pull);
  EXPECT_EQ(pull[1], 3);
  EXPECT_EQ(pull[2], 4);
  EXPECT_EQ(pull[3], 12);
  // One axis at a time: length 3, pull 9/2 on that axis only.
  for (int a = 1; a <= 3; ++a) {
    double delta[4] = {0, 0, 0, 0};
    delta[a] = -3;
    edge_pull(delta, 2, 1e-5, pull);
    for (int b = 1; b <= 3; ++b) EXPECT_EQ(pull[b], b == a ? -4.5 : 0.0) << a << b;
  }
  // Shorter than epsilon: the length counts as epsilon, and coinciding
  // ends pull nothing.
  const double tiny[4] = {0, 1e-7, 0, 0};
  edge_pull(tiny, 4, 1e-5, pull);
  EXPECT_DOUBLE_EQ(pull[1], 1e-7 / 1e-5 * (1e-10 / 4));
  const double none[4] = {0, 0, 0, 0};
  edge_pull(none, 4, 1e-5, pull);
  EXPECT_EQ(pull[1], 0);
}

TEST(Attraction, EndsMoveTowardsEachOtherInBothSumForms) {
  //      2 (3,4,12)
  //     /
  //    1 (0,0,0) -- 3 (4,3,12)       k = 13: each pull is the delta
  GraphHandle g = make_graph({{2, 3}, {1}, {1}});
  const Posn posn = make_posn({{0, 0, 0}, {3, 4, 12}, {4, 3, 12}});
  const double want[4][3] = {{}, {7, 7, 24}, {-3, -4, -12}, {-4, -3, -12}};
  Posn one;
  allocate_posn(one, 3);
  attraction_in_one_pass(*g, 3, 13, 1e-5, posn, one);
  EdgeSlots slots;
  ASSERT_TRUE(number_edge_slots(*g, 3, slots));
  Posn split;
  allocate_posn(split, 3);
  attraction_by_slots(start_threads(2), *g, 3, 13, 1e-5, posn, split, slots);
  for (int32_t v = 1; v <= 3; ++v)
    for (int a = 1; a <= 3; ++a) {
      EXPECT_EQ(one[a][v], want[v][a - 1]) << v << a;
      EXPECT_EQ(split[a][v], want[v][a - 1]) << v << a;
    }
}

TEST(MoveStep, CappedByTheTemperatureAndScaledBelowEpsilon) {
  double step[4];
  const double far[4] = {0, 30, 40, 120};  // 130 long
  move_step(far, 13, 1e-5, step);
  EXPECT_DOUBLE_EQ(step[1], 3);
  EXPECT_DOUBLE_EQ(step[2], 4);
  EXPECT_DOUBLE_EQ(step[3], 12);
  move_step(far, 1000, 1e-5, step);  // shorter than t: the whole way
  EXPECT_DOUBLE_EQ(step[1], 30);
  EXPECT_DOUBLE_EQ(step[3], 120);
  // 1.3e-6 long, under epsilon: scaled by min(epsilon, t) / epsilon.
  const double near[4] = {0, 3e-7, 4e-7, 12e-7};
  move_step(near, 1, 1e-5, step);
  EXPECT_DOUBLE_EQ(step[2], 4e-7);
  move_step(near, 2.5e-6, 1e-5, step);
  EXPECT_DOUBLE_EQ(step[2], 1e-7);
  const double zero[4] = {0, 0, 0, 0};
  move_step(zero, 5, 1e-5, step);
  EXPECT_EQ(step[1], 0);
}

TEST(Temperature, TenthOfYThenLinearFromK) {
  EXPECT_EQ(temperature(0, 50, 40, 800), 80);
  EXPECT_EQ(temperature(1, 50, 40, 800), 40);
  EXPECT_DOUBLE_EQ(temperature(11, 50, 40, 800), 32);   // 40 * (1 - 10/50)
  EXPECT_NEAR(temperature(49, 50, 40, 800), 1.6, 1e-14);  // 2k/n
  EXPECT_EQ(periodic_smoothing_passes(50), 2);
  EXPECT_EQ(periodic_smoothing_passes(100), 2);
  EXPECT_EQ(periodic_smoothing_passes(7), 0);
}

TEST(Nudge, TwoToThreeEpsilonTowardsTheMiddle) {
  RunContext run;  // draws 38 then 7719
  EXPECT_DOUBLE_EQ(nudged(run, 10, 100, 0.5), 10 + 0.5 * (38 / 32768.0 + 2));
  EXPECT_DOUBLE_EQ(nudged(run, 50, 100, 0.5), 50 - 0.5 * (7719 / 32768.0 + 2));  // middle: down
}

TEST(Frlayout, RepulsionScaleAndCoolingOnThreeVerticesInARow) {
  // Three isolated vertices at x = 0, 400, 1000 (y and z flat, so set to
  // the middle), k = 3000, two iterations; the octree takes every vertex
  // alone. Iteration 0 (t = 80): vertex 2 is pushed by 90000 (1/400 -
  // 1/600) * 0.01 = 75, the outer two by more than t, so they go to -80,
  // 475 and 1080, and the fit puts 2 at 555/1160 of 1000. Iteration 1
  // (t = k, no cap) leaves it at 501.1472 (with t still 80 it would be
  // 494.82, with the scale doubled 509.63).
  GraphHandle g = make_graph({{}, {}, {}});
  Posn posn = make_posn({{0, 400, 300}, {400, 400, 300}, {1000, 400, 300}});
  RunContext run;
  frlayout(run, *g, 3, 1000, 800, 600, 3000, 2, 0.6, 1e-5, posn, true);
  EXPECT_EQ(posn[1][1], 0);
  EXPECT_NEAR(posn[1][2], 501.1472039518908, 1e-9);
  EXPECT_EQ(posn[1][3], 1000);
  for (int32_t v = 1; v <= 3; ++v) {
    EXPECT_EQ(posn[2][v], 400) << v;
    EXPECT_EQ(posn[3][v], 300) << v;
  }
}
