// The quality method: worked shapes (a path straight and in order, a cycle
// round), the fit into the drawing area, components kept apart, degenerate
// graphs, and the same bytes for any thread count.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "quality/quality.h"
#include "quality/quality_internal.h"
#include "test_support.h"

namespace {

constexpr double kX = 1000, kY = 800, kZ = 600;

Posn lay_out(const std::vector<std::vector<int32_t>>& lists, int threads = 1) {
  GraphHandle g = make_graph(lists);
  RunContext run;
  run.rand15_state = 7;
  run.threads = start_threads(threads);
  Posn posn;
  quality_layout(run, *g, static_cast<int32_t>(lists.size()), kX, kY, kZ, posn);
  return posn;
}

double distance(const Posn& p, int32_t u, int32_t v) {
  double s = 0;
  for (int a = 1; a <= 3; ++a) s += (p[a][u] - p[a][v]) * (p[a][u] - p[a][v]);
  return std::sqrt(s);
}

/// Every vertex inside the area, and the drawing touching both ends of the
/// axis that limits the one scale.
void expect_fitted(const Posn& p, int32_t n) {
  const double area[4] = {0, kX, kY, kZ};
  bool spans = false;
  for (int a = 1; a <= 3; ++a) {
    double lo, hi;
    ASSERT_TRUE(axis_range(p, n, a, lo, hi)) << "axis " << a;
    EXPECT_GE(lo, -1e-9);
    EXPECT_LE(hi, area[a] + 1e-9);
    // Centred on every axis.
    EXPECT_NEAR(lo + hi, area[a], 1e-6 * area[a]);
    spans = spans || std::fabs(hi - lo - area[a]) < 1e-6 * area[a];
  }
  EXPECT_TRUE(spans);
}

}  // namespace

TEST(QualityLayout, PathIsStraightCycleIsRound) {
  // 1 - 2 - ... - 20: in order along one line, the longest step less than
  // 1.5 times the shortest (the spreading pushes the middle apart).
  const int32_t n = 20;
  Posn p = lay_out(path_lists(n));
  expect_fitted(p, n);
  const double length = distance(p, 1, n);
  double shortest = length, longest = 0;
  for (int32_t v = 2; v <= n; ++v) {
    // Along the line: the steps add up to the whole length.
    EXPECT_NEAR(distance(p, 1, v - 1) + distance(p, v - 1, v), distance(p, 1, v), 1e-3 * length);
    shortest = std::min(shortest, distance(p, v - 1, v));
    longest = std::max(longest, distance(p, v - 1, v));
  }
  EXPECT_LT(longest, 1.5 * shortest);

  // A 24-cycle: every vertex as far from the centre within 2 %, and its
  // two nearest vertices are its neighbours on the cycle.
  const int32_t m = 24;
  Posn c = lay_out(cycle_lists(m));
  expect_fitted(c, m);
  double centre[4] = {};
  for (int a = 1; a <= 3; ++a)
    for (int32_t v = 1; v <= m; ++v) centre[a] += c[a][v] / m;
  std::vector<double> radius(m + 1);
  for (int32_t v = 1; v <= m; ++v) {
    for (int a = 1; a <= 3; ++a) radius[v] += (c[a][v] - centre[a]) * (c[a][v] - centre[a]);
    radius[v] = std::sqrt(radius[v]);
    EXPECT_NEAR(radius[v], radius[1], 0.02 * radius[1]) << v;
  }
  for (int32_t v = 1; v <= m; ++v) {
    const int32_t before = v == 1 ? m : v - 1, after = v == m ? 1 : v + 1;
    const double reach = std::max(distance(c, v, before), distance(c, v, after));
    for (int32_t u = 1; u <= m; ++u)
      if (u != v && u != before && u != after) {
        EXPECT_GT(distance(c, v, u), reach) << v << " " << u;
      }
  }
}

TEST(QualityLayout, SameBytesForAnyThreadCountAndComponentsApart) {
  // A 17x17x17 grid (more than one block of the sums, and enough for the
  // threads to share the sweeps), then a triangle, an edge and two lone
  // vertices.
  auto lists = grid_lists(17, 17, 17);
  const int32_t g = static_cast<int32_t>(lists.size());
  lists.push_back({g + 2, g + 3});
  lists.push_back({g + 1, g + 3});
  lists.push_back({g + 1, g + 2});
  lists.push_back({g + 5});
  lists.push_back({g + 4});
  lists.push_back({});
  lists.push_back({});
  const int32_t n = static_cast<int32_t>(lists.size());
  const Posn one = lay_out(lists, 1);
  expect_fitted(one, n);
  for (int threads : {2, 3}) {
    const Posn more = lay_out(lists, threads);
    for (int a = 1; a <= 3; ++a)
      EXPECT_EQ(0, std::memcmp(&one[a][1], &more[a][1], sizeof(double) * n)) << threads;
  }
  // Vertices of different components stay more than half a grid edge apart.
  const auto component = [&](int32_t v) {
    return v <= g ? 0 : v <= g + 3 ? 1 : v <= g + 5 ? 2 : v;
  };
  const double edge = distance(one, 1, 2);
  for (int32_t v = g + 1; v <= n; ++v)
    for (int32_t u = 1; u <= n; ++u)
      if (component(u) != component(v)) {
        EXPECT_GT(distance(one, u, v), 0.5 * edge) << u << " " << v;
      }
}

TEST(QualityLayout, DegenerateGraphs) {
  // No vertex; one vertex at the centre; lone vertices side by side.
  EXPECT_EQ(lay_out({})[1].size(), 1u);
  const Posn one = lay_out({{}});
  EXPECT_EQ(one[1][1], kX / 2);
  EXPECT_EQ(one[2][1], kY / 2);
  EXPECT_EQ(one[3][1], kZ / 2);
  const Posn lone = lay_out({{}, {}, {}, {}, {}});
  for (int32_t v = 1; v <= 5; ++v)
    for (int32_t u = 1; u < v; ++u) EXPECT_GT(distance(lone, u, v), 0.0);
  expect_fitted(lone, 5);
}
