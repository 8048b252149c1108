// Properties of whole layouts over many seeded random small graphs (trees,
// grids, sparse random graphs with isolated vertices, several components,
// stars): every coordinate is finite and inside the final box, every axis
// is stretched from 0 to its extent, and one seed gives one layout bit for
// bit. Runs of the binary are compared byte for byte in golden_test.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "coarsen/coarsen.h"
#include "common/common.h"
#include "graph/graph.h"
#include "test_support.h"

namespace {

using Lists = std::vector<std::vector<int32_t>>;

/// The test's own generator (splitmix64), so that graph shapes do not
/// depend on the layout's rand15 stream.
struct Dice {
  uint64_t state;
  uint64_t next() {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  /// Uniform in lo..hi.
  int32_t in(int32_t lo, int32_t hi) {
    return lo + static_cast<int32_t>(next() % static_cast<uint64_t>(hi - lo + 1));
  }
};

void add_edge(Lists& l, int32_t u, int32_t w) {
  l[u - 1].push_back(w);
  l[w - 1].push_back(u);
}

Lists random_tree(Dice& d, int32_t n) {
  Lists l(n);
  for (int32_t v = 2; v <= n; ++v) add_edge(l, v, d.in(1, v - 1));
  return l;
}

/// m random distinct edges on n vertices; many vertices stay isolated.
Lists sparse_random(Dice& d, int32_t n, int32_t m) {
  Lists l(n);
  for (int32_t i = 0; i < m && n > 1; ++i) {
    int32_t u = d.in(1, n), w = d.in(1, n);
    if (u == w) continue;
    bool seen = false;
    for (int32_t x : l[u - 1]) seen = seen || x == w;
    if (!seen) add_edge(l, u, w);
  }
  return l;
}

/// The disjoint union of the parts, numbered one after another.
Lists components(const std::vector<Lists>& parts) {
  Lists all;
  int32_t offset = 0;
  for (const Lists& p : parts) {
    for (const auto& list : p) {
      all.emplace_back();
      for (int32_t w : list) all.back().push_back(w + offset);
    }
    offset += static_cast<int32_t>(p.size());
  }
  return all;
}

struct Sample {
  std::string what;
  Lists lists;
  uint32_t seed;
  int32_t friterations;
};

/// Sixty graphs of every kind, each with its own seed and iteration count.
std::vector<Sample> samples() {
  std::vector<Sample> s;
  Dice d{20240611};
  const int32_t iterations[] = {50, 0, 1, 7, -3, 10};
  for (int i = 0; i < 60; ++i) {
    Sample x;
    x.seed = static_cast<uint32_t>(d.next());
    x.friterations = iterations[i % 6];
    switch (i % 5) {
      case 0:
        x.what = "tree";
        x.lists = random_tree(d, d.in(2, 180));
        break;
      case 1:
        x.what = "grid";
        x.lists = grid_lists(d.in(1, 6), d.in(1, 6), d.in(1, 6));
        break;
      case 2: {
        x.what = "sparse random";
        int32_t n = d.in(1, 150);
        x.lists = sparse_random(d, n, d.in(0, n));
        break;
      }
      case 3:
        x.what = "components";
        x.lists = components({random_tree(d, d.in(1, 40)), grid_lists(d.in(1, 4), 3, 2),
                              Lists(static_cast<size_t>(d.in(0, 12))), path_lists(2),
                              cycle_lists(d.in(3, 30))});
        break;
      case 4:
        x.what = "star";
        x.lists = star_lists(d.in(2, 120));
        break;
    }
    s.push_back(std::move(x));
  }
  // The smallest cases.
  s.push_back({"one vertex", Lists(1), 1, 50});
  s.push_back({"one edge", path_lists(2), 2, 50});
  s.push_back({"two isolated vertices", Lists(2), 3, 50});
  s.push_back({"sixty isolated vertices", Lists(60), 4, 50});
  return s;
}

struct Layout {
  Posn posn;
  double box[4] = {0, 0, 0, 0};
};

Layout lay_out(const Graph& g, const Sample& x) {
  const int32_t nvtxs = static_cast<int32_t>(x.lists.size());
  Layout out;
  allocate_posn(out.posn, nvtxs);
  double X = 1000, Y = 800, Z = 600, k = 0;
  RunContext run;
  run.rand15_state = x.seed;
  run.console = nullptr;  // no progress lines
  coarsen_multilevel(LayoutLevel{&g, nvtxs, graph_nedges(x.lists), &X, &Y, &Z, &k,
                                 x.friterations, 0.6, 0.00001, &out.posn, 50, 0, &run});
  out.box[1] = X, out.box[2] = Y, out.box[3] = Z;
  return out;
}

/// A coordinate as the output file shows it, read back.
double printed(double value) {
  char buf[400];
  buf[format_coordinate(value, buf)] = '\0';
  return std::strtod(buf, nullptr);
}

TEST(LayoutProperties, ManySeededRandomGraphs) {
  for (const Sample& x : samples()) {
    const int32_t nvtxs = static_cast<int32_t>(x.lists.size());
    SCOPED_TRACE(x.what + ", " + std::to_string(nvtxs) + " vertices, seed " +
                 std::to_string(x.seed) + ", friterations " + std::to_string(x.friterations));
    GraphHandle g = make_graph(x.lists);
    Layout first = lay_out(*g, x);

    // The box keeps the proportions of the initial drawing area.
    ASSERT_TRUE(std::isfinite(first.box[1]) && first.box[1] >= 1000);
    EXPECT_NEAR(first.box[2] / first.box[1], 0.8, 1e-12);
    EXPECT_NEAR(first.box[3] / first.box[1], 0.6, 1e-12);

    for (int a = 1; a <= 3; ++a) {
      const double extent = first.box[a];
      double lo = INFINITY, hi = -INFINITY;
      for (int32_t v = 1; v <= nvtxs; ++v) {
        const double c = first.posn[a][v];
        ASSERT_TRUE(std::isfinite(c)) << "vertex " << v << " axis " << a;
        // The fit divides last, so the greatest value may overshoot by a
        // rounding step; what is written stays inside.
        ASSERT_GE(c, 0.0) << "vertex " << v << " axis " << a;
        ASSERT_LE(c, extent * (1 + 1e-15)) << "vertex " << v << " axis " << a;
        ASSERT_LE(printed(c), printed(extent)) << "vertex " << v << " axis " << a;
        lo = std::fmin(lo, c);
        hi = std::fmax(hi, c);
      }
      if (lo == hi) {
        EXPECT_EQ(lo, extent * 0.5) << "axis " << a << ": one position, centred";
      } else {
        EXPECT_EQ(lo, 0.0) << "axis " << a;
        EXPECT_NEAR(hi, extent, extent * 1e-15) << "axis " << a;
      }
    }
    // Two distinct vertices always get distinct positions on some axis.
    if (nvtxs >= 2) {
      bool spread = false;
      for (int a = 1; a <= 3; ++a) spread = spread || first.posn[a][1] != first.posn[a][2];
      EXPECT_TRUE(spread);
    }

    // Same seed, same bits.
    Layout again = lay_out(*g, x);
    for (int a = 1; a <= 3; ++a)
      ASSERT_EQ(std::memcmp(first.posn[a].data() + 1, again.posn[a].data() + 1,
                            sizeof(double) * static_cast<size_t>(nvtxs)),
                0)
          << "axis " << a;
    // Another seed moves a graph of some size elsewhere.
    if (nvtxs >= 10) {
      Sample other = x;
      other.seed = x.seed + 1;
      Layout moved = lay_out(*g, other);
      EXPECT_NE(std::memcmp(first.posn[1].data() + 1, moved.posn[1].data() + 1,
                            sizeof(double) * static_cast<size_t>(nvtxs)),
                0);
    }
  }
}

}  // namespace
