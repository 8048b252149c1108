// Time of the repulsion walk alone on the positions of a finished layout:
// the tree is built once from the coordinates of a .3dlayout file, then
// every vertex's force is taken from it, in the leaf order the layout
// uses: four vertices together as the layout walks them, one vertex at a
// time four items at a time, and one item at a time; on one thread and on
// N. All must give the same bits; the tool says so.
//
//   walk_bench FILE.3dlayout [threads] [ratio]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "common/parallel.h"
#include "octree/octree.h"

namespace {

/// Timed passes over all vertices; the fastest counts.
constexpr int kPasses = 5;

/// Reads the first three numbers of every vertex line (those after the
/// "%" header and the counts line) into x, y, z from index 1 on.
bool read_positions(const char* path, std::vector<double>& x, std::vector<double>& y,
                    std::vector<double>& z) {
  FILE* f = std::fopen(path, "r");
  if (!f) return false;
  std::vector<char> line(1 << 20);
  bool counts_seen = false;
  x.assign(1, 0);
  y.assign(1, 0);
  z.assign(1, 0);
  while (std::fgets(line.data(), static_cast<int>(line.size()), f)) {
    if (line[0] == '%') continue;
    if (!counts_seen) {
      counts_seen = true;
      continue;
    }
    double a, b, c;
    if (std::sscanf(line.data(), "%lf %lf %lf", &a, &b, &c) != 3) continue;
    x.push_back(a);
    y.push_back(b);
    z.push_back(c);
  }
  std::fclose(f);
  return x.size() > 1;
}

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: walk_bench FILE.3dlayout [threads] [ratio]\n");
    return 2;
  }
  const int threads = argc > 2 ? std::max(1, std::atoi(argv[2])) : 2;
  const double ratio = argc > 3 ? std::atof(argv[3]) : 0.6;
  std::vector<double> x, y, z;
  if (!read_positions(argv[1], x, y, z)) {
    std::fprintf(stderr, "walk_bench: no positions in %s\n", argv[1]);
    return 1;
  }
  const int32_t n = static_cast<int32_t>(x.size()) - 1;
  const double X = *std::max_element(x.begin(), x.end());
  const double Y = *std::max_element(y.begin(), y.end());
  const double Z = *std::max_element(z.begin(), z.end());

  Octree tree;
  octree_create(tree, 0, X, 0, Y, 0, Z);
  std::vector<int32_t> leaf_of(static_cast<size_t>(n) + 1, 0);
  int32_t refused = 0;
  for (int32_t v = 1; v <= n; ++v)
    if (!octree_insert(tree, v, x[v], y[v], z[v], leaf_of, 1e-5)) ++refused;

  // The vertices in leaf order, as the layout walks them.
  std::vector<int32_t> order, stack;
  octree_leaf_order(tree, order, stack);

  const double k = 100;
  std::vector<double> force(3 * (static_cast<size_t>(n) + 1));
  std::vector<double> reference;
  std::printf("%d vertices, %zu nodes, %d refused; ratio %g\n", n, tree.nodes.size(), refused,
              ratio);
  std::printf("%-14s %8s %14s\n", "walk", "threads", "ns/vertex");
  // 0: four vertices together, as the layout walks them; 1: one vertex at
  // a time, four items at a time; 2: one item at a time.
  const char* const names[] = {"four-vertex", "four-item", "one-item"};
  for (int walk = 0; walk < 3; ++walk) {
    tree.vector_walk = walk < 2;
    if (walk < 2 && !vector_walk_available()) continue;
    for (int t : {1, threads}) {
      const Threads pool = start_threads(t);
      std::vector<NodeQueue> queues(static_cast<size_t>(t));
      std::vector<SharedQueue> shared(static_cast<size_t>(t));
      for (NodeQueue& q : queues) node_queue_init(q, n);
      for (SharedQueue& q : shared) shared_queue_init(q, n);
      double best = 1e300;
      for (int pass = 0; pass < kPasses; ++pass) {
        const auto start = std::chrono::steady_clock::now();
        parallel_for(pool, 0, static_cast<int64_t>(order.size()), 128,
                     [&](int thread, int64_t b, int64_t e) {
                       int64_t i = b;
                       if (walk == 0) {
                         for (; i + 4 <= e; i += 4) {
                           double f[4][3];
                           repulsive_force4(tree, &order[i], x.data(), y.data(), z.data(), k,
                                            leaf_of, queues[thread], shared[thread], ratio, f);
                           for (int l = 0; l < 4; ++l)
                             std::memcpy(&force[3 * static_cast<size_t>(order[i + l])], f[l],
                                         sizeof f[l]);
                         }
                       }
                       for (; i < e; ++i) {
                         const int32_t v = order[i];
                         double* f = &force[3 * static_cast<size_t>(v)];
                         f[0] = f[1] = f[2] = 0;
                         repulsive_force(tree, v, x[v], y[v], z[v], k, leaf_of, queues[thread],
                                         f[0], f[1], f[2], ratio);
                       }
                     });
        best = std::min(best, seconds_since(start));
      }
      if (reference.empty()) reference = force;
      const bool same =
          std::memcmp(reference.data(), force.data(), force.size() * sizeof(double)) == 0;
      std::printf("%-14s %8d %14.1f%s\n", names[walk], t,
                  best * 1e9 / static_cast<double>(order.size()),
                  same ? "" : "  DIFFERENT FORCES");
      if (t == threads) break;
    }
  }
  octree_free(tree);
  return 0;
}
