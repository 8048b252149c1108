// The spreading sweeps: the local stress terms (edges, second neighbours)
// with a repulsion of every vertex from every other in place of the
// pivots' terms, which opens up dense cores that distances alone draw
// crowded (the maximal-entropy stress model). The repulsion is summed on
// an octree of the current positions, rebuilt every sweep over their
// bounding cube.
#include <algorithm>
#include <cmath>

#include "octree/octree.h"
#include "quality/quality_internal.h"

namespace {

/// Repulsion sums for vertices in chunks of at least this many.
constexpr int64_t kMinPushChunk = 256;

/// The octree and the arrays of one spreading run, reused by every sweep.
struct SpreadWork {
  Octree tree;
  OctreeBuildScratch build;
  std::vector<int32_t> leaf_of;
  std::vector<double> x, y, z;  // 1-based copies of the positions
  std::vector<NodeQueue> queues;
  std::vector<double> push;     // 3 per vertex
};

/// push[3v..3v+2] = sum over u of (x_v - x_u) / |x_v - x_u|^2, approximately.
void repulsion(const Threads& threads, int32_t n, const std::vector<double>& xyz, double ratio,
               SpreadWork& w) {
  double lo[3], hi[3];
  bounding_box(xyz, lo, hi);
  double side = 0;
  for (int a = 0; a < 3; ++a) side = std::max(side, hi[a] - lo[a]);
  side = side * (1 + 1e-9) + 1e-9;
  for (int32_t v = 0; v < n; ++v) {
    w.x[v + 1] = xyz[3 * v];
    w.y[v + 1] = xyz[3 * v + 1];
    w.z[v + 1] = xyz[3 * v + 2];
  }
  // A cube, so that cells stay cubes and the opening test stays fair.
  octree_create(w.tree, lo[0], lo[0] + side, lo[1], lo[1] + side, lo[2], lo[2] + side);
  const double tolerance = side * 1e-12;
  if (!octree_build(w.tree, n, w.x.data(), w.y.data(), w.z.data(), w.leaf_of, tolerance, w.build,
                    threads)) {
    octree_clear(w.tree);
    // Vertices on top of one another: all but the first are left out.
    for (int32_t v = 1; v <= n; ++v)
      if (!octree_insert(w.tree, v, w.x[v], w.y[v], w.z[v], w.leaf_of, tolerance)) w.leaf_of[v] = 0;
  }
  parallel_for(threads, 0, n, kMinPushChunk, [&](int thread, int64_t v0, int64_t v1) {
    for (int64_t v = v0; v < v1; ++v) {
      double f[3] = {0, 0, 0};
      repulsive_force(w.tree, static_cast<int32_t>(v + 1), w.x[v + 1], w.y[v + 1], w.z[v + 1],
                      1.0, w.leaf_of, w.queues[thread], f[0], f[1], f[2], ratio);
      for (int a = 0; a < 3; ++a) w.push[3 * v + a] = f[a];
    }
  });
}

}  // namespace

void spread_stress(const Threads& threads, const Component& part, const SecondNeighbours& ring,
                   const Spread& spread, std::vector<double>& xyz) {
  const int32_t n = part.n;
  if (spread.sweeps <= 0 || n < 3) return;
  SpreadWork w;
  w.leaf_of.assign(static_cast<size_t>(n) + 1, 0);
  w.x.assign(static_cast<size_t>(n) + 1, 0.0);
  w.y = w.z = w.x;
  w.queues.resize(static_cast<size_t>(threads.count));
  for (NodeQueue& queue : w.queues) node_queue_init(queue, n);
  w.push.assign(static_cast<size_t>(n) * 3, 0.0);
  std::vector<double> next(xyz.size());
  double alpha = 0;
  const double fall =
      spread.sweeps > 1 ? std::pow(spread.last / spread.first, 1.0 / (spread.sweeps - 1)) : 1.0;
  for (int32_t sweep = 0; sweep < spread.sweeps; ++sweep) {
    repulsion(threads, n, xyz, spread.ratio, w);
    if (sweep == 0) {
      // The first push moves an average vertex about `first` edge lengths.
      const std::vector<double> sums = block_sums(threads, n, 2, [&](int32_t v, double* sum) {
        const double* p = &w.push[3 * static_cast<size_t>(v)];
        sum[0] += std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]);
        sum[1] += term_weight(part, ring, nullptr, v);
      });
      alpha = sums[0] > 0 ? spread.first * sums[1] / sums[0] : 0.0;
    } else {
      alpha *= fall;
    }
    parallel_for(threads, 0, n, 1024, [&](int, int64_t v0, int64_t v1) {
      for (int64_t v = v0; v < v1; ++v) {
        double p[3];
        for (int a = 0; a < 3; ++a) p[a] = alpha * w.push[3 * v + a];
        place(part, ring, nullptr, xyz, static_cast<int32_t>(v), p, 1.0, &next[3 * v]);
      }
    });
    xyz.swap(next);
  }
  octree_free(w.tree);
}
