// Random matching, contraction and the multilevel driver.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <thread>

#include "coarsen/coarsen.h"
#include "common/common.h"
#include "test_support.h"

namespace {

/// Number of rand15 draws made by fn(run) from `seed`, found by replaying
/// the generator.
template <typename Fn>
int draws_made(uint32_t seed, Fn fn) {
  RunContext run;
  run.rand15_state = seed;
  fn(run);
  RunContext replay;
  replay.rand15_state = seed;
  int n = 0;
  while (replay.rand15_state != run.rand15_state && n < 1000000) {
    rand15(replay);
    ++n;
  }
  return n;
}

/// Runs the multilevel layout on `lists` from a 1000 x 800 x 600 area and
/// returns its progress lines; X, Y, Z and k are left as the run set them.
struct Multilevel {
  Posn posn;
  double X = 1000, Y = 800, Z = 600, k = 0;
  std::string out;
  RunContext run;
};
Multilevel multilevel(const std::vector<std::vector<int32_t>>& lists, uint32_t seed,
                      int32_t friterations) {
  Multilevel m;
  const int32_t n = static_cast<int32_t>(lists.size());
  GraphHandle g = make_graph(lists);
  allocate_posn(m.posn, n);
  m.run.rand15_state = seed;
  testing::internal::CaptureStdout();
  coarsen_multilevel(LayoutLevel{g.get(), n, graph_nedges(lists), &m.X, &m.Y, &m.Z, &m.k,
                                 friterations, 0.6, 1e-5, &m.posn, 50, 0, &m.run});
  m.out = testing::internal::GetCapturedStdout();
  return m;
}

}  // namespace

TEST(RandomPermutation, TwoDrawsPerSwapAndAPermutation) {
  std::vector<int32_t> order = {0, 1, 2, 3, 4, 5, 6, 7};
  EXPECT_EQ(draws_made(17, [&](RunContext& run) { random_permutation(run, order, 7); }), 12);
  std::vector<int32_t> sorted(order.begin() + 1, order.end());
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(sorted, (std::vector<int32_t>{1, 2, 3, 4, 5, 6, 7}));
  EXPECT_EQ(order[0], 0);
  EXPECT_EQ(draws_made(17, [&](RunContext& run) { random_permutation(run, order, 1); }), 0);
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

TEST(RandomMatching, IsSymmetricMaximalAndAlongEdges) {
  for (uint32_t seed = 1; seed <= 30; ++seed) {
    auto lists = grid_lists(4, 4, 3);
    lists.push_back({});  // an isolated vertex never pairs
    GraphHandle g = make_graph(lists);
    const int32_t n = static_cast<int32_t>(lists.size());
    std::vector<int32_t> match(n + 1, -1);
    RunContext run;
    run.rand15_state = seed;
    int32_t pairs = random_matching(run, *g, n, match);
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
  EXPECT_EQ(draws_made(3, [&](RunContext& run) { EXPECT_EQ(random_matching(run, *one, 1, match), 0); }), 0);
  EXPECT_EQ(match[1], 0);
  GraphHandle empty = make_graph({{}, {}, {}});
  EXPECT_EQ(draws_made(3, [&](RunContext& run) { EXPECT_EQ(random_matching(run, *empty, 3, match), 0); }), 4);
  GraphHandle edge = make_graph({{2}, {1}});
  EXPECT_EQ(draws_made(3, [&](RunContext& run) { EXPECT_EQ(random_matching(run, *edge, 2, match), 1); }), 2);
  EXPECT_EQ(match[1], 2);
  // A star pairs once: the draws are the shuffle's, plus one only when the
  // centre comes first and chooses among its free leaves.
  for (uint32_t seed = 1; seed < 20; ++seed) {
    GraphHandle star = make_graph(star_lists(6));
    std::vector<int32_t> m(7);
    int made = draws_made(seed, [&](RunContext& run) { EXPECT_EQ(random_matching(run, *star, 6, m), 1); });
    EXPECT_TRUE(made == 10 || made == 11) << made;
  }
}

TEST(NumberCoarseVertices, NumbersBySmallestMemberAndBucketsInIncreasingOrder) {
  std::vector<int32_t> match = {0, 3, 0, 1, 5, 4};
  std::vector<int32_t> coarse_of(6), members(5), start(5);
  number_coarse_vertices(match, 5, coarse_of);
  EXPECT_EQ(coarse_of, (std::vector<int32_t>{0, 1, 2, 1, 3, 3}));
  bucket_by_coarse(5, 3, coarse_of, members, start);
  EXPECT_EQ(members, (std::vector<int32_t>{1, 3, 2, 4, 5}));
  EXPECT_EQ(start, (std::vector<int32_t>{0, 0, 2, 3, 5}));
}

TEST(ContractGraph, ExactCoarseListsCountsAndBlockSizes) {
  struct Contracted {
    GraphHandle cg;
    int32_t cnedges = -1;
  };
  auto contract = [](const std::vector<std::vector<int32_t>>& lists, int32_t nedges,
                     int32_t cnvtxs, const std::vector<int32_t>& coarse_of) {
    Contracted c;
    GraphHandle g = make_graph(lists);
    contract_graph(*g, static_cast<int32_t>(lists.size()), nedges, c.cg, cnvtxs, c.cnedges,
                   coarse_of);
    return c;
  };
  // A triangle with one pair: the block is shrunk from its bound 6.
  Contracted t = contract({{2, 3}, {1, 3}, {1, 2}}, 3, 2, {0, 1, 1, 2});
  EXPECT_EQ(t.cnedges, 1);
  EXPECT_EQ(t.cg->block, (std::vector<int32_t>{1, 2, 2, 1}));
  EXPECT_EQ(t.cg->block.capacity(), 4u);
  EXPECT_EQ(t.cg->adj[2].entries, t.cg->block.data() + 2);
  // A four-cycle in two pairs: the parallel edges merge.
  Contracted c = contract(cycle_lists(4), 4, 2, {0, 1, 1, 2, 2});
  EXPECT_EQ(c.cnedges, 1);
  EXPECT_EQ(c.cg->block, (std::vector<int32_t>{1, 2, 2, 1}));
  // Coarse 1 = {1, 4}: vertex 1 lists 5, 2; vertex 4 lists 3, 5, 2, so the
  // coarse neighbours come in order of first meeting.
  Contracted m = contract({{5, 2, 4}, {1, 4}, {4}, {1, 3, 5, 2}, {1, 4}}, 6, 4, {0, 1, 2, 3, 1, 4});
  EXPECT_EQ(neighbours_of(*m.cg, 1), (std::vector<int32_t>{4, 2, 3}));
  EXPECT_EQ(m.cnedges, 3);
  // A header claiming more edges than listed: the count is the true one.
  Contracted h = contract(path_lists(4), 50, 2, {0, 1, 1, 2, 2});
  EXPECT_EQ(h.cnedges, 1);
  EXPECT_EQ(h.cg->block.size(), 4u);
  // The identity map on isolated vertices.
  Contracted i = contract({{}, {}, {}}, 0, 3, {0, 1, 2, 3});
  EXPECT_EQ(i.cnedges, 0);
  EXPECT_EQ(i.cg->block, (std::vector<int32_t>{1, 2, 3}));
}

TEST(CoarsenGraph, EdgelessLevelIsHalvedByLoosePairs) {
  GraphHandle g = make_graph({{}, {}, {}, {}, {}});
  GraphHandle cg;
  int32_t cnvtxs = 0, cnedges = 0;
  std::vector<int32_t> coarse_of;
  RunContext run;
  coarsen_graph(run, *g, 5, 0, cg, cnvtxs, cnedges, coarse_of);
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
  RunContext run;
  run.rand15_state = 0;
  prolong_positions(run, fine, coarse, 3, 2, 10, {0, 1, 1});
  // From state 0 the draws are 38, 7719, 21238, 2437, 8855, 11797: x of
  // vertex 1 and 2, then y, then z; the odd vertex goes up, the even down.
  const double u[6] = {38, 7719, 21238, 2437, 8855, 11797};
  for (int a = 1; a <= 3; ++a) {
    EXPECT_DOUBLE_EQ(fine[a][1], 100 * a + u[2 * a - 2] * 10 / 32768) << a;
    EXPECT_DOUBLE_EQ(fine[a][2], 100 * a - u[2 * a - 1] * 10 / 32768) << a;
  }
  EXPECT_EQ(run.rand15_state, 773150046u) << "six draws";
}

TEST(CoarsenMultilevel, GrowsTheAreaAndPrintsInNestingOrder) {
  // 100 vertices -> ... ; the area grows by n0 / n_coarsest.
  Multilevel m = multilevel(grid_lists(5, 5, 4), 4, 5);
  const std::string& out = m.out;
  ASSERT_EQ(out.rfind("<Entering coarsen multi-level, step=0, nvtxs=100, nedges=235>\n", 0), 0u);
  int coarsest = 0;
  size_t at = out.find("Leaving coarsest frlayout, step=");
  ASSERT_NE(at, std::string::npos);
  std::sscanf(out.c_str() + at, "Leaving coarsest frlayout, step=%d", &coarsest);
  EXPECT_GE(coarsest, 1);
  // Every entering line comes before every leaving line; steps count down.
  EXPECT_EQ(out.find("<Entering", at), std::string::npos);
  EXPECT_NE(out.find("Leaving coarsen frlayout, step=0, drawing area"), std::string::npos);
  double x = 0;
  std::sscanf(out.c_str() + out.rfind("step=0, drawing area <"), "step=0, drawing area <%lf", &x);
  EXPECT_NEAR(x, m.X, 1e-5);
  EXPECT_GT(m.X, 1000 * 100.0 / 50 - 1e-9) << "grown by at least 100/50";
  EXPECT_NEAR(m.Y / m.X, 0.8, 1e-15);
  EXPECT_EQ(m.k, refined_k(m.X, m.Y, m.Z, 100)) << "the input level's k is left";
}

TEST(CoarsenMultilevel, SmallInputIsTheCoarsestLevel) {
  Multilevel m = multilevel(cycle_lists(50), 1, 50);
  EXPECT_EQ(m.out,
            "<Entering coarsen multi-level, step=0, nvtxs=50, nedges=50>\n"
            "Leaving coarsest frlayout, step=0, drawing area <1000.00000,800.00000,600.00000>\n");
  EXPECT_EQ(m.X, 1000);
  EXPECT_EQ(m.run.coarsening_time, 0u);
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
  EXPECT_EQ(neighbours_of(*cg, 1), (std::vector<int32_t>{2, 3}));
  EXPECT_EQ(neighbours_of(*cg, 5), (std::vector<int32_t>{}));
}

TEST(CoarsenMultilevel, StarsAndIsolatedVerticesStillCoarsen) {
  // A star loses one vertex per plain matching step and isolated vertices
  // none; with the leftover pairing both halve per step, so few levels.
  for (const auto& lists : {std::vector<std::vector<int32_t>>(400), star_lists(400)}) {
    Multilevel m = multilevel(lists, 2, 5);
    EXPECT_NE(m.out.find("step=3"), std::string::npos) << m.out;
    EXPECT_EQ(m.out.find("step=5"), std::string::npos) << m.out;
    for (int a = 1; a <= 3; ++a)
      for (int32_t v = 1; v <= 400; ++v) ASSERT_TRUE(std::isfinite(m.posn[a][v]));
  }
}

TEST(CoarsenMultilevel, RunsInOneProcessDoNotMeet) {
  // Two layouts, each with its own run record and two worker threads: one
  // after the other, and both at once on two threads, each must give the
  // bits and the report counts of a lone run.
  const auto lists = grid_lists(9, 8, 7);
  GraphHandle g = make_graph(lists);
  const int32_t n = static_cast<int32_t>(lists.size());
  struct Outcome {
    Posn posn;
    uint32_t state = 0;
    int64_t abandoned = -1;
  };
  auto lay_out = [&](uint32_t seed) {
    Outcome o;
    RunContext run;
    run.rand15_state = seed;
    run.threads = start_threads(2);
    run.console = nullptr;
    allocate_posn(o.posn, n);
    double X = 1000, Y = 800, Z = 600, k = 0;
    coarsen_multilevel(LayoutLevel{g.get(), n, graph_nedges(lists), &X, &Y, &Z, &k, 10, 0.6,
                                   1e-5, &o.posn, 50, 0, &run});
    o.state = run.rand15_state;
    o.abandoned = run.abandoned_insertions;
    return o;
  };
  const Outcome a = lay_out(1), b = lay_out(2);
  ASSERT_NE(a.posn, b.posn);
  EXPECT_EQ(lay_out(1).posn, a.posn) << "after another run";
  Outcome at_once[2];
  std::thread other([&] { at_once[1] = lay_out(2); });
  at_once[0] = lay_out(1);
  other.join();
  for (int i = 0; i < 2; ++i) {
    const Outcome& lone = i == 0 ? a : b;
    EXPECT_EQ(at_once[i].posn, lone.posn) << i;
    EXPECT_EQ(at_once[i].state, lone.state) << i;
    EXPECT_EQ(at_once[i].abandoned, lone.abandoned) << i;
  }
}
