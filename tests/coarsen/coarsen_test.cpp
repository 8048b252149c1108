// Random matching, contraction and the multilevel driver.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "coarsen/coarsen.h"
#include "common/common.h"
#include "test_support.h"

namespace {

/// Number of rand15 draws made by `fn`, found by replaying the generator.
template <typename Fn>
int draws_made(uint32_t seed, Fn fn) {
  seed_rand15(seed);
  fn();
  const uint32_t after = rand15_state();
  seed_rand15(seed);
  int n = 0;
  while (rand15_state() != after && n < 1000000) {
    rand15();
    ++n;
  }
  return n;
}

std::vector<int32_t> list_of(const Graph& g, int32_t v) {
  return std::vector<int32_t>(g.adj[v].entries + 1, g.adj[v].entries + g.adj[v].count);
}

}  // namespace

TEST(RandomPermutation, TwoDrawsPerSwapAndAPermutation) {
  std::vector<int32_t> order = {0, 1, 2, 3, 4, 5, 6, 7};
  EXPECT_EQ(draws_made(17, [&] { random_permutation(order, 7); }), 12);
  std::vector<int32_t> sorted(order.begin() + 1, order.end());
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(sorted, (std::vector<int32_t>{1, 2, 3, 4, 5, 6, 7}));
  EXPECT_EQ(order[0], 0);
  EXPECT_EQ(draws_made(17, [&] { random_permutation(order, 1); }), 0);
}

TEST(MatchingChoice, SplitsTheDrawsEvenly) {
  int two[3] = {0, 0, 0}, three[4] = {0, 0, 0, 0};
  for (int32_t r = 0; r < 32768; ++r) {
    ++two[matching_choice(r, 2)];
    ++three[matching_choice(r, 3)];
  }
  EXPECT_EQ(two[1], 16385);
  EXPECT_EQ(two[2], 16383);
  EXPECT_EQ(matching_choice(16384, 2), 1);
  EXPECT_EQ(matching_choice(16385, 2), 2);
  EXPECT_EQ(three[1], 10923);
  EXPECT_EQ(three[2], 10923);
  EXPECT_EQ(three[3], 10922);
  EXPECT_EQ(matching_choice(32767, 50), 50);
}

TEST(RandomMatching, IsSymmetricMaximalAndDrawsAsSpecified) {
  for (uint32_t seed = 1; seed <= 30; ++seed) {
    auto lists = grid_lists(4, 4, 3);
    lists.push_back({});  // an isolated vertex never pairs
    GraphHandle g = make_graph(lists);
    const int32_t n = static_cast<int32_t>(lists.size());
    std::vector<int32_t> match(n + 1, -1);
    seed_rand15(seed);
    int32_t pairs = random_matching(*g, n, match);
    int32_t matched = 0;
    for (int32_t v = 1; v <= n; ++v) {
      if (match[v] == 0) continue;
      ++matched;
      EXPECT_EQ(match[match[v]], v);
      const auto nb = lists[v - 1];
      EXPECT_NE(std::find(nb.begin(), nb.end(), match[v]), nb.end()) << "pairs follow edges";
    }
    EXPECT_EQ(matched, 2 * pairs);
    EXPECT_EQ(match[n], 0);
    for (int32_t v = 1; v <= n; ++v) {
      if (match[v] != 0) continue;
      for (int32_t u : lists[v - 1]) EXPECT_NE(match[u], 0) << "maximal";
    }
  }
}

TEST(RandomMatching, EdgeCases) {
  std::vector<int32_t> match(4);
  GraphHandle one = make_graph({{}});
  EXPECT_EQ(draws_made(3, [&] { EXPECT_EQ(random_matching(*one, 1, match), 0); }), 0);
  EXPECT_EQ(match[1], 0);
  GraphHandle empty = make_graph({{}, {}, {}});
  EXPECT_EQ(draws_made(3, [&] { EXPECT_EQ(random_matching(*empty, 3, match), 0); }), 4);
  GraphHandle edge = make_graph({{2}, {1}});
  EXPECT_EQ(draws_made(3, [&] { EXPECT_EQ(random_matching(*edge, 2, match), 1); }), 2);
  EXPECT_EQ(match[1], 2);
  // A star pairs once: the draws are the shuffle's, plus one only when the
  // centre comes first and chooses among its free leaves.
  for (uint32_t seed = 1; seed < 20; ++seed) {
    GraphHandle star = make_graph(star_lists(6));
    std::vector<int32_t> m(7);
    int made = draws_made(seed, [&] { EXPECT_EQ(random_matching(*star, 6, m), 1); });
    EXPECT_TRUE(made == 10 || made == 11) << made;
  }
}

TEST(NumberCoarseVertices, NumbersBySmallestMember) {
  std::vector<int32_t> match = {0, 3, 0, 1, 5, 4};
  std::vector<int32_t> coarse_of(6);
  number_coarse_vertices(match, 5, coarse_of);
  EXPECT_EQ(coarse_of, (std::vector<int32_t>{0, 1, 2, 1, 3, 3}));
}

TEST(BucketByCoarse, GroupsMembersInIncreasingOrder) {
  std::vector<int32_t> coarse_of = {0, 1, 2, 1, 3, 3};
  std::vector<int32_t> members(5), start(5);
  bucket_by_coarse(5, 3, coarse_of, members, start);
  EXPECT_EQ(members, (std::vector<int32_t>{1, 3, 2, 4, 5}));
  EXPECT_EQ(start[1], 0);
  EXPECT_EQ(start[2], 2);
  EXPECT_EQ(start[3], 3);
  EXPECT_EQ(start[4], 5);
}

TEST(ContractGraph, TriangleWithOnePair) {
  GraphHandle g = make_graph({{2, 3}, {1, 3}, {1, 2}});
  GraphHandle cg;
  int32_t cnedges = -1;
  contract_graph(*g, 3, 3, cg, 2, cnedges, {0, 1, 1, 2});
  EXPECT_EQ(cnedges, 1);
  EXPECT_EQ(cg->block, (std::vector<int32_t>{1, 2, 2, 1}));
  EXPECT_EQ(cg->block.capacity(), 4u) << "shrunk from the bound 6";
  EXPECT_EQ(cg->adj[2].entries, cg->block.data() + 2);
}

TEST(ContractGraph, FourCycleMergesParallelEdges) {
  GraphHandle g = make_graph(cycle_lists(4));
  GraphHandle cg;
  int32_t cnedges = 0;
  contract_graph(*g, 4, 4, cg, 2, cnedges, {0, 1, 1, 2, 2});
  EXPECT_EQ(cnedges, 1);
  EXPECT_EQ(list_of(*cg, 1), (std::vector<int32_t>{2}));
  EXPECT_EQ(list_of(*cg, 2), (std::vector<int32_t>{1}));
}

TEST(ContractGraph, NeighboursInOrderOfFirstMeeting) {
  // Coarse vertex 1 = {1, 4}. Vertex 1 lists 5, 2; vertex 4 lists 3, 5, 2.
  //   coarse: 1={1,4} 2={2} 3={3} 4={5}
  GraphHandle g = make_graph({{5, 2, 4}, {1, 4}, {4}, {1, 3, 5, 2}, {1, 4}});
  GraphHandle cg;
  int32_t cnedges = 0;
  contract_graph(*g, 5, 6, cg, 4, cnedges, {0, 1, 2, 3, 1, 4});
  EXPECT_EQ(list_of(*cg, 1), (std::vector<int32_t>{4, 2, 3}));
  EXPECT_EQ(cnedges, 3);
}

TEST(ContractGraph, FewerEntriesThanTheHeaderSays) {
  // The header may claim more edges than are listed; the bound then only
  // grows and the coarse count is the true one.
  GraphHandle g = make_graph(path_lists(4));
  GraphHandle cg;
  int32_t cnedges = 0;
  contract_graph(*g, 4, 50, cg, 2, cnedges, {0, 1, 1, 2, 2});
  EXPECT_EQ(cnedges, 1);
  EXPECT_EQ(cg->block.size(), 4u);
}

TEST(ContractGraph, IdentityMapGivesTheSameGraph) {
  GraphHandle g = make_graph({{}, {}, {}});
  GraphHandle cg;
  int32_t cnedges = -1;
  contract_graph(*g, 3, 0, cg, 3, cnedges, {0, 1, 2, 3});
  EXPECT_EQ(cnedges, 0);
  EXPECT_EQ(cg->block, (std::vector<int32_t>{1, 2, 3}));
}

TEST(CoarsenGraph, EdgelessLevelIsHalvedByLoosePairs) {
  GraphHandle g = make_graph({{}, {}, {}, {}, {}});
  GraphHandle cg;
  int32_t cnvtxs = 0, cnedges = 0;
  std::vector<int32_t> coarse_of;
  coarsen_graph(*g, 5, 0, cg, cnvtxs, cnedges, coarse_of);
  EXPECT_EQ(cnvtxs, 3);
  EXPECT_EQ(cnedges, 0);
  EXPECT_EQ(coarse_of, (std::vector<int32_t>{0, 1, 1, 2, 2, 3}));
}

TEST(LevelK, MultiplicationOrdersAndValues) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.8f", coarsest_k(1000, 800, 600, 40));
  EXPECT_STREQ(buf, "228.94284851");
  std::snprintf(buf, sizeof buf, "%.8f", refined_k(1600, 1280, 960, 64));
  EXPECT_STREQ(buf, "313.18941129");
  std::snprintf(buf, sizeof buf, "%.8f", refined_k(2500, 2000, 1500, 100));
  EXPECT_STREQ(buf, "421.71633265");
}

TEST(ProlongPositions, OffsetsByParityAxisByAxis) {
  Posn coarse, fine;
  allocate_posn(coarse, 1);
  allocate_posn(fine, 2);
  for (int a = 1; a <= 3; ++a) coarse[a][1] = 100 * a;
  seed_rand15(8);
  prolong_positions(fine, coarse, 3, 2, 10, {0, 1, 1});
  seed_rand15(8);
  for (int a = 1; a <= 3; ++a) {
    double u1 = rand15(), u2 = rand15();
    EXPECT_EQ(fine[a][1], u1 / 32768 * 10 + 100 * a);
    EXPECT_EQ(fine[a][2], -(u2 / 32768) * 10 + 100 * a);
    EXPECT_GE(fine[a][1], 100 * a);
    EXPECT_LE(fine[a][2], 100 * a);
  }
}

TEST(CoarsenMultilevel, GrowsTheAreaAndPrintsInNestingOrder) {
  // 100 vertices -> ... ; the area grows by n0 / n_coarsest.
  GraphHandle g = make_graph(grid_lists(5, 5, 4));
  Posn posn;
  allocate_posn(posn, 100);
  double X = 1000, Y = 800, Z = 600, k = 0;
  coarsening_time = barycentralizing_time = 0;
  seed_rand15(4);
  testing::internal::CaptureStdout();
  coarsen_multilevel(LayoutLevel{g.get(), 100, 240, &X, &Y, &Z, &k, 5, 0.6, 1e-5, &posn, 50, 0});
  std::string out = testing::internal::GetCapturedStdout();
  ASSERT_EQ(out.rfind("<Entering coarsen multi-level, step=0, nvtxs=100, nedges=240>\n", 0), 0u);
  int coarsest = 0;
  size_t at = out.find("Leaving coarsest frlayout, step=");
  ASSERT_NE(at, std::string::npos);
  std::sscanf(out.c_str() + at, "Leaving coarsest frlayout, step=%d", &coarsest);
  // Every entering line comes before every leaving line; steps count down.
  EXPECT_EQ(out.find("<Entering", at), std::string::npos);
  EXPECT_NE(out.find("Leaving coarsen frlayout, step=0, drawing area"), std::string::npos);
  size_t last = out.rfind("step=0, drawing area <");
  double x = 0;
  std::sscanf(out.c_str() + last, "step=0, drawing area <%lf", &x);
  EXPECT_NEAR(x, X, 1e-5);
  EXPECT_GT(X, 1000 * 100.0 / 50 - 1e-9) << "grown by at least 100/50";
  EXPECT_NEAR(Y / X, 0.8, 1e-15);
  EXPECT_NEAR(k, std::pow(((Z * X) * Y) / 100, 0.3333333333333333), 0);
  EXPECT_GE(coarsest, 1);
}

TEST(CoarsenMultilevel, SmallInputIsTheCoarsestLevel) {
  GraphHandle g = make_graph(cycle_lists(50));
  Posn posn;
  allocate_posn(posn, 50);
  double X = 1000, Y = 800, Z = 600, k = 0;
  coarsening_time = 0;
  testing::internal::CaptureStdout();
  coarsen_multilevel(LayoutLevel{g.get(), 50, 50, &X, &Y, &Z, &k, 50, 0.6, 1e-5, &posn, 50, 0});
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out,
            "<Entering coarsen multi-level, step=0, nvtxs=50, nedges=50>\n"
            "Leaving coarsest frlayout, step=0, drawing area <1000.00000,800.00000,600.00000>\n");
  EXPECT_EQ(X, 1000);
  EXPECT_EQ(coarsening_time, 0u);
}

TEST(PairLeftovers, PairsLeavesOfAHubAndIsolatedVertices) {
  //   3 4 5 6        7  8  9
  //    \| |/
  //  2 - 1           (isolated)
  auto lists = star_lists(6);
  lists.push_back({});
  lists.push_back({});
  lists.push_back({});
  GraphHandle g = make_graph(lists);
  std::vector<int32_t> match = {0, 2, 1, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(pair_leftovers(*g, 9, match), 3);
  EXPECT_EQ(match, (std::vector<int32_t>{0, 2, 1, 4, 3, 6, 5, 8, 7, 0}));
  // Loose pairs drop no entries: the block must still hold every list.
  std::vector<int32_t> coarse_of(10);
  number_coarse_vertices(match, 9, coarse_of);
  GraphHandle cg;
  int32_t cnedges = 0;
  contract_graph(*g, 9, 5, cg, 5, cnedges, coarse_of, 2);
  EXPECT_EQ(cnedges, 2);
  EXPECT_EQ(list_of(*cg, 1), (std::vector<int32_t>{2, 3}));
  EXPECT_EQ(list_of(*cg, 5), (std::vector<int32_t>{}));
}

TEST(CoarsenMultilevel, StarsAndIsolatedVerticesStillCoarsen) {
  // A star loses one vertex per plain matching step and isolated vertices
  // none; with the leftover pairing both halve per step, so few levels.
  for (auto lists : {std::vector<std::vector<int32_t>>(400), star_lists(400)}) {
    const int32_t n = static_cast<int32_t>(lists.size());
    GraphHandle g = make_graph(lists);
    Posn posn;
    allocate_posn(posn, n);
    double X = 1000, Y = 800, Z = 600, k = 0;
    seed_rand15(2);
    testing::internal::CaptureStdout();
    coarsen_multilevel(
        LayoutLevel{g.get(), n, graph_nedges(lists), &X, &Y, &Z, &k, 5, 0.6, 1e-5, &posn, 50, 0});
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("step=3"), std::string::npos) << out;
    EXPECT_EQ(out.find("step=5"), std::string::npos) << out;
    for (int a = 1; a <= 3; ++a)
      for (int32_t v = 1; v <= n; ++v) ASSERT_TRUE(std::isfinite(posn[a][v]));
  }
}
