// Neighbour embedding: the stress drawing refined so that each vertex's
// graph neighbours become its nearest points. The affinities are the
// graph's own (each vertex spreads its weight evenly over its edges), the
// drawing's similarities a heavy-tailed kernel 1 / (1 + d^2), and the
// sweeps descend the divergence of the two, the kernel's repulsion summed
// on an octree of the current positions (groups whose cell is small for
// their distance taken at their centre of mass). Gradient steps with
// momentum and per-coordinate gains; everything a sweep sums over all
// vertices is summed block by block, so the threads cannot change it.
#include <algorithm>
#include <cmath>

#include "octree/octree.h"
#include "quality/quality_internal.h"

namespace {

/// Vertices per chunk of the repulsion walk.
constexpr int64_t kMinWalkChunk = 256;

/// Sweeps with the attraction exaggerated (the global arrangement settles
/// first), by how much, and the sweeps after them.
constexpr int32_t kEarlySweeps = 60;
constexpr double kExaggeration = 12;
constexpr int32_t kLateSweeps = 120;
/// Momentum of the gradient steps in those two stretches.
constexpr double kEarlyMomentum = 0.5;
constexpr double kLateMomentum = 0.8;
/// Opening ratio of the octree walk: cells smaller than this times their
/// distance are taken whole.
constexpr double kOpening = 1.2;
/// The stress terms' pull, as a share of the embedding gradient's size,
/// and the share of a stress majorization step taken after every sweep:
/// together they hold the drawing to the graph distances while the
/// neighbourhoods sort themselves out.
constexpr double kAnchor = 0.7;
constexpr double kMajorize = 0.1;

/// The octree, its build storage and the walk stacks of one run.
struct EmbedWork {
  Octree tree;
  OctreeBuildScratch build;
  std::vector<int32_t> leaf_of;
  std::vector<double> x, y, z;              // 1-based copies of the positions
  std::vector<std::vector<int32_t>> stack;  // per thread
  std::vector<double> rep;                  // 3 per vertex: sum w^2 (y_v - y_u)
  std::vector<double> zsum;                 // per vertex: sum w
};

/// rep and zsum for every vertex, from an octree of xyz.
void kernel_repulsion(const Threads& threads, int32_t n, const std::vector<double>& xyz,
                      double theta, EmbedWork& w) {
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
  octree_create(w.tree, lo[0], lo[0] + side, lo[1], lo[1] + side, lo[2], lo[2] + side);
  const double tolerance = side * 1e-12;
  if (!octree_build(w.tree, n, w.x.data(), w.y.data(), w.z.data(), w.leaf_of, tolerance, w.build,
                    threads)) {
    octree_clear(w.tree);
    for (int32_t v = 1; v <= n; ++v)
      if (!octree_insert(w.tree, v, w.x[v], w.y[v], w.z[v], w.leaf_of, tolerance)) w.leaf_of[v] = 0;
  }
  const double theta2 = theta * theta;
  parallel_for(threads, 0, n, kMinWalkChunk, [&](int thread, int64_t v0, int64_t v1) {
    const OctreeNode* nodes = w.tree.nodes.data();
    const uint8_t* mask = w.tree.child_mask.data();
    std::vector<int32_t>& stack = w.stack[thread];
    for (int64_t v = v0; v < v1; ++v) {
      const double px = xyz[3 * v], py = xyz[3 * v + 1], pz = xyz[3 * v + 2];
      double fx = 0, fy = 0, fz = 0, zs = 0;
      stack.clear();
      stack.push_back(kOctreeRoot);
      while (!stack.empty()) {
        const int32_t idx = stack.back();
        stack.pop_back();
        const OctreeNode& node = nodes[idx];
        if (node.count == 0) continue;
        const double dx = px - node.cm_x, dy = py - node.cm_y, dz = pz - node.cm_z;
        const double d2 = dx * dx + dy * dy + dz * dz;
        if (node.first_child != 0) {
          if (node.side * node.side >= theta2 * d2) {
            for (int i = 7; i >= 0; --i)
              if (mask[idx] >> i & 1) stack.push_back(node.first_child + i);
            continue;
          }
        } else if (node.vertex == v + 1) {
          continue;
        }
        const double q = 1.0 / (1.0 + d2);
        const double c = node.first_child != 0 ? double(node.count) : 1.0;
        zs += c * q;
        const double f = c * q * q;
        fx += f * dx;
        fy += f * dy;
        fz += f * dz;
      }
      w.rep[3 * v] = fx;
      w.rep[3 * v + 1] = fy;
      w.rep[3 * v + 2] = fz;
      w.zsum[v] = zs;
    }
  });
}

}  // namespace

void embed_neighbours(const Threads& threads, const Component& part, const SecondNeighbours& ring,
                      const Pivots& pivots, std::vector<double>& xyz) {
  const int32_t n = part.n;
  if (n < 3) return;
  // Start with edges about one kernel width long, centred.
  double centre[3] = {0, 0, 0}, edge_sum = 0;
  for (int32_t v = 0; v < n; ++v) {
    for (int a = 0; a < 3; ++a) centre[a] += xyz[3 * v + a];
    for (int64_t e = part.xadj[v]; e < part.xadj[v + 1]; ++e) {
      const double* x = &xyz[3 * static_cast<size_t>(v)];
      const double* y = &xyz[3 * static_cast<size_t>(part.adjncy[e])];
      edge_sum += std::sqrt((x[0] - y[0]) * (x[0] - y[0]) + (x[1] - y[1]) * (x[1] - y[1]) +
                            (x[2] - y[2]) * (x[2] - y[2]));
    }
  }
  // Units of the embedding per hop, refitted every sweep.
  double unit = edge_sum > 0 ? double(part.xadj[n]) / edge_sum : 1.0;
  for (int32_t v = 0; v < n; ++v)
    for (int a = 0; a < 3; ++a) xyz[3 * v + a] = (xyz[3 * v + a] - centre[a] / n) * unit;

  // Affinities: (1/deg v + 1/deg u) / 2n on each edge, summing to 1.
  std::vector<double> p(part.adjncy.size());
  for (int32_t v = 0; v < n; ++v)
    for (int64_t e = part.xadj[v]; e < part.xadj[v + 1]; ++e) {
      const int32_t u = part.adjncy[e];
      p[e] = (1.0 / double(part.xadj[v + 1] - part.xadj[v]) +
              1.0 / double(part.xadj[u + 1] - part.xadj[u])) /
             (2.0 * n);
    }

  EmbedWork w;
  w.leaf_of.assign(static_cast<size_t>(n) + 1, 0);
  w.x.assign(static_cast<size_t>(n) + 1, 0.0);
  w.y = w.z = w.x;
  w.stack.resize(static_cast<size_t>(threads.count));
  for (std::vector<int32_t>& stack : w.stack) stack.reserve(512);
  w.rep.assign(static_cast<size_t>(n) * 3, 0.0);
  w.zsum.assign(static_cast<size_t>(n), 0.0);
  const size_t size = xyz.size();
  std::vector<double> velocity(size, 0.0), gain(size, 1.0), embed_grad(size), stress_grad(size);
  std::vector<double> fits(static_cast<size_t>(n) * 2), placed(size);
  const double rate = std::max(n / kExaggeration, 50.0);
  for (int32_t sweep = 0; sweep < kEarlySweeps + kLateSweeps; ++sweep) {
    const bool early = sweep < kEarlySweeps;
    const double ex = early ? kExaggeration : 1.0;
    const double momentum = early ? kEarlyMomentum : kLateMomentum;
    kernel_repulsion(threads, n, xyz, kOpening, w);
    const double z = block_sums(threads, n, 1, [&](int32_t v, double* s) { s[0] += w.zsum[v]; })[0];
    const double inv_z = z > 0 ? 1.0 / z : 0.0;
    parallel_for(threads, 0, n, 1024, [&](int, int64_t v0, int64_t v1) {
      for (int64_t v = v0; v < v1; ++v) {
        double g[3] = {0, 0, 0}, sg[3] = {0, 0, 0};
        const double* yv = &xyz[3 * v];
        for (int64_t e = part.xadj[v]; e < part.xadj[v + 1]; ++e) {
          const double* yu = &xyz[3 * static_cast<size_t>(part.adjncy[e])];
          const double dx = yv[0] - yu[0], dy = yv[1] - yu[1], dz = yv[2] - yu[2];
          const double q = p[e] / (1.0 + dx * dx + dy * dy + dz * dz);
          g[0] += q * dx;
          g[1] += q * dy;
          g[2] += q * dz;
        }
        fits[2 * v] = fits[2 * v + 1] = 0;
        stress_gradient(ring, pivots, xyz, static_cast<int32_t>(v), unit, sg, &fits[2 * v]);
        for (int a = 0; a < 3; ++a) {
          embed_grad[3 * v + a] = 4.0 * (ex * g[a] - w.rep[3 * v + a] * inv_z);
          stress_grad[3 * v + a] = sg[a] / unit;
        }
      }
    });
    const std::vector<double> sums = block_sums(threads, n, 4, [&](int32_t v, double* s) {
      for (int a = 0; a < 3; ++a) {
        s[0] += embed_grad[3 * v + a] * embed_grad[3 * v + a];
        s[1] += stress_grad[3 * v + a] * stress_grad[3 * v + a];
      }
      s[2] += fits[2 * v];
      s[3] += fits[2 * v + 1];
    });
    const double pull = sums[1] > 0 ? kAnchor * std::sqrt(sums[0] / sums[1]) : 0.0;
    if (sums[3] > 0 && sums[2] > 0) unit = sums[2] / sums[3];
    parallel_for(threads, 0, n, 1024, [&](int, int64_t v0, int64_t v1) {
      for (int64_t i = 3 * v0; i < 3 * v1; ++i) {
        const double grad = embed_grad[i] + pull * stress_grad[i];
        gain[i] = (grad > 0) != (velocity[i] > 0) ? gain[i] + 0.2 : std::max(0.01, gain[i] * 0.8);
        velocity[i] = momentum * velocity[i] - rate * gain[i] * grad;
        xyz[i] += velocity[i];
      }
    });
    parallel_for(threads, 0, n, 1024, [&](int, int64_t v0, int64_t v1) {
      for (int64_t v = v0; v < v1; ++v)
        place(part, ring, &pivots, xyz, static_cast<int32_t>(v), nullptr, unit, &placed[3 * v]);
    });
    for (size_t i = 0; i < size; ++i) xyz[i] = (1 - kMajorize) * xyz[i] + kMajorize * placed[i];
  }
  octree_free(w.tree);
  // Back to hops, by the scale that fits the stress terms best.
  for (double& x : xyz) x /= unit;
}

double sampled_neighbourhoods(const Threads& threads, const Component& part,
                              const std::vector<double>& xyz, int32_t samples) {
  const int32_t n = part.n;
  if (n < 2) return 1.0;
  const int32_t count = std::min(samples, n);
  std::vector<double> score(static_cast<size_t>(count), -1.0);
  parallel_for(threads, 0, count, 1, [&](int, int64_t s0, int64_t s1) {
    std::vector<int32_t> near;
    std::vector<std::pair<double, int32_t>> heap;
    for (int64_t s = s0; s < s1; ++s) {
      const int32_t v = static_cast<int32_t>(s * n / count);
      near.assign(part.adjncy.begin() + part.xadj[v], part.adjncy.begin() + part.xadj[v + 1]);
      std::sort(near.begin(), near.end());
      near.erase(std::unique(near.begin(), near.end()), near.end());
      near.erase(std::remove(near.begin(), near.end(), v), near.end());
      const size_t k = near.size();
      if (k == 0 || k >= static_cast<size_t>(n - 1)) continue;
      heap.clear();
      const double* x = &xyz[3 * static_cast<size_t>(v)];
      for (int32_t u = 0; u < n; ++u) {
        if (u == v) continue;
        const double* y = &xyz[3 * static_cast<size_t>(u)];
        const double d2 = (x[0] - y[0]) * (x[0] - y[0]) + (x[1] - y[1]) * (x[1] - y[1]) +
                          (x[2] - y[2]) * (x[2] - y[2]);
        if (heap.size() < k) {
          heap.emplace_back(d2, u);
          std::push_heap(heap.begin(), heap.end());
        } else if (d2 < heap.front().first) {
          std::pop_heap(heap.begin(), heap.end());
          heap.back() = {d2, u};
          std::push_heap(heap.begin(), heap.end());
        }
      }
      size_t hits = 0;
      for (const auto& [d2, u] : heap) hits += std::binary_search(near.begin(), near.end(), u);
      score[s] = double(hits) / double(2 * k - hits);
    }
  });
  double sum = 0;
  int32_t used = 0;
  for (double s : score)
    if (s >= 0) {
      sum += s;
      ++used;
    }
  return used > 0 ? sum / used : 1.0;
}
