// Time per force-directed iteration of one level against its vertex count:
// random 3D grids of about 1e3, 1e4 and 1e5 vertices laid out as a single
// level from random positions (no coarsening), 10 iterations each.
//
//   level_bench [threads]
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "common/common.h"
#include "common/parallel.h"
#include "graph/graph.h"
#include "layout/layout.h"

namespace {

/// Iterations timed per graph.
constexpr int32_t kIterations = 10;

GraphHandle make_grid(int32_t side, int32_t& nvtxs, int32_t& nedges) {
  nvtxs = side * side * side;
  GraphHandle g(new Graph);
  g->adj.assign(static_cast<size_t>(nvtxs) + 1, AdjacencyList{0, nullptr});
  auto id = [side](int32_t i, int32_t j, int32_t k) { return 1 + i + side * (j + side * k); };
  int64_t entries = 0;
  for (int32_t k = 0; k < side; ++k)
    for (int32_t j = 0; j < side; ++j)
      for (int32_t i = 0; i < side; ++i) {
        const int32_t v = id(i, j, k);
        g->block.push_back(v);
        int32_t count = 1;
        const int32_t nb[6][3] = {{i - 1, j, k}, {i + 1, j, k}, {i, j - 1, k},
                                  {i, j + 1, k}, {i, j, k - 1}, {i, j, k + 1}};
        for (const auto& n : nb) {
          if (n[0] < 0 || n[1] < 0 || n[2] < 0 || n[0] >= side || n[1] >= side || n[2] >= side)
            continue;
          g->block.push_back(id(n[0], n[1], n[2]));
          ++count;
        }
        g->adj[v].count = count;
        entries += count - 1;
      }
  nedges = static_cast<int32_t>(entries / 2);
  rebuild_entry_pointers(*g, nvtxs);
  return g;
}

}  // namespace

int main(int argc, char** argv) {
  const Threads threads = start_threads(argc > 1 ? std::atoi(argv[1]) : 1);
  std::printf("%10s %10s %14s %18s\n", "vertices", "edges", "ms/iteration", "ns/vertex/iteration");
  for (int32_t side : {10, 22, 46}) {
    int32_t nvtxs = 0, nedges = 0;
    GraphHandle g = make_grid(side, nvtxs, nedges);
    Posn posn;
    allocate_posn(posn, nvtxs);
    RunContext run;
    run.rand15_state = 1;
    run.threads = threads;
    const double X = 1000, Y = 800, Z = 600;
    const double k = std::pow(((X * Y) * Z) / nvtxs, 0.3333333333333333);
    // The initial placement and smoothing are timed too, but are small
    // against the iterations.
    auto start = std::chrono::steady_clock::now();
    frlayout(run, *g, nvtxs, X, Y, Z, k, kIterations, 0.6, 1e-5, posn, false);
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%10d %10d %14.2f %18.1f\n", nvtxs, nedges, seconds * 1e3 / kIterations,
                seconds * 1e9 / kIterations / nvtxs);
  }
  return 0;
}
