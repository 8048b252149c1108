// Placement, smoothing, fitting and the force-directed iteration on one
// level.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>

#include "common/common.h"
#include "common/parallel.h"
#include "layout/layout.h"
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
    double lo = posn[a][1], hi = posn[a][1];
    for (int32_t v = 1; v <= nvtxs; ++v) {
      ASSERT_TRUE(std::isfinite(posn[a][v]));
      lo = std::min(lo, posn[a][v]);
      hi = std::max(hi, posn[a][v]);
    }
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

TEST(Frlayout, NoIterationsMeansSmoothingAndFitOnly) {
  GraphHandle g = make_graph(path_lists(3));
  Posn a = make_posn({{0, 0, 0}, {4, 4, 4}, {10, 10, 10}});
  Posn b = a;
  RunContext run;
  frlayout(run, *g, 3, 1000, 800, 600, 100, 0, 0.6, 1e-5, a, true);
  barycentralize(run, *g, 3, 1000, 800, 600, 5, b);
  EXPECT_EQ(a, b);
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
