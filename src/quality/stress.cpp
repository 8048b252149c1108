// Sparse stress majorization: each sweep moves every vertex to where the
// stress of its own terms, the others held still, is least. A vertex's
// terms are its edges (length 1), its second neighbours (length 2) and the
// pivots (their hop distance, the weight counting the vertices of the
// pivot's region that lie nearer to the pivot than half that distance: the
// pivot stands in for them). Sweeps read the old positions only, so the
// threads cannot change the result.
#include <algorithm>
#include <cmath>

#include "quality/quality_internal.h"

namespace {

/// Weight of a second neighbour's term (1 / length^2).
constexpr double kRingWeight = 0.25;

/// Adds the term "w wants x at distance d from y" to num and den.
inline void add_term(const double* x, const double* y, double w, double d, double* num,
                     double& den) {
  const double dx = x[0] - y[0], dy = x[1] - y[1], dz = x[2] - y[2];
  const double len = std::sqrt(dx * dx + dy * dy + dz * dz);
  const double pull = len > 0 ? d / len : 0.0;
  num[0] += w * (y[0] + pull * dx);
  num[1] += w * (y[1] + pull * dy);
  num[2] += w * (y[2] + pull * dz);
  den += w;
}

/// The weight of pivot i's term for a vertex d > 2 hops from it (nearer
/// pivots are already among the edge and second-neighbour terms).
inline double pivot_weight(const Pivots& pivots, int32_t i, int32_t d) {
  const int64_t last = pivots.first[i + 1] - 1;
  return double(pivots.closer[std::min(pivots.first[i] + d / 2, last)]) / (double(d) * d);
}

}  // namespace

double term_weight(const Component& part, const SecondNeighbours& ring, const Pivots* pivots,
                   int32_t v) {
  double den = double(part.xadj[v + 1] - part.xadj[v]) +
               kRingWeight * double(ring.xadj[v + 1] - ring.xadj[v]);
  if (pivots == nullptr) return den;
  const int32_t k = pivots->count;
  const int32_t* dist = &pivots->dist[static_cast<size_t>(v) * k];
  for (int32_t i = 0; i < k; ++i)
    if (dist[i] > 2) den += pivot_weight(*pivots, i, dist[i]);
  return den;
}

void stress_gradient(const SecondNeighbours& ring, const Pivots& pivots,
                     const std::vector<double>& xyz, int32_t v, double scale, double* grad,
                     double* fit) {
  const double* x = &xyz[static_cast<size_t>(v) * 3];
  const auto term = [&](int32_t u, double w, double d) {
    const double* y = &xyz[static_cast<size_t>(u) * 3];
    const double dx = x[0] - y[0], dy = x[1] - y[1], dz = x[2] - y[2];
    const double len = std::sqrt(dx * dx + dy * dy + dz * dz);
    fit[0] += w * len * d;
    fit[1] += w * d * d;
    if (len <= 0) return;
    const double c = w * (len - scale * d) / len;
    grad[0] += c * dx;
    grad[1] += c * dy;
    grad[2] += c * dz;
  };
  for (int64_t e = ring.xadj[v]; e < ring.xadj[v + 1]; ++e) term(ring.adjncy[e], kRingWeight, 2.0);
  const int32_t k = pivots.count;
  const int32_t* dist = &pivots.dist[static_cast<size_t>(v) * k];
  for (int32_t i = 0; i < k; ++i)
    if (dist[i] > 2) term(pivots.vertex[i], pivot_weight(pivots, i, dist[i]), dist[i]);
}

double place(const Component& part, const SecondNeighbours& ring, const Pivots* pivots,
             const std::vector<double>& xyz, int32_t v, const double* push, double unit,
             double* out) {
  const double* x = &xyz[static_cast<size_t>(v) * 3];
  double num[3] = {0, 0, 0}, den = 0;
  for (int64_t e = part.xadj[v]; e < part.xadj[v + 1]; ++e)
    add_term(x, &xyz[static_cast<size_t>(part.adjncy[e]) * 3], 1.0, unit, num, den);
  for (int64_t e = ring.xadj[v]; e < ring.xadj[v + 1]; ++e)
    add_term(x, &xyz[static_cast<size_t>(ring.adjncy[e]) * 3], kRingWeight, 2.0 * unit, num, den);
  if (pivots != nullptr) {
    const int32_t k = pivots->count;
    const int32_t* dist = &pivots->dist[static_cast<size_t>(v) * k];
    for (int32_t i = 0; i < k; ++i)
      if (dist[i] > 2)
        add_term(x, &xyz[static_cast<size_t>(pivots->vertex[i]) * 3],
                 pivot_weight(*pivots, i, dist[i]), dist[i] * unit, num, den);
  }
  if (den == 0) {
    out[0] = x[0], out[1] = x[1], out[2] = x[2];
    return 0;
  }
  double moved2 = 0;
  for (int a = 0; a < 3; ++a) {
    out[a] = (num[a] + (push != nullptr ? push[a] : 0.0)) / den;
    moved2 += (out[a] - x[a]) * (out[a] - x[a]);
  }
  return std::sqrt(moved2);
}

void second_neighbours(const Component& part, int32_t cap, SecondNeighbours& ring) {
  const int32_t n = part.n;
  ring.xadj.assign(static_cast<size_t>(n) + 1, 0);
  ring.adjncy.clear();
  // seen[u] == v marks u as v itself, a neighbour or already listed.
  std::vector<int32_t> seen(static_cast<size_t>(n), -1);
  for (int32_t v = 0; v < n; ++v) {
    seen[v] = v;
    for (int64_t e = part.xadj[v]; e < part.xadj[v + 1]; ++e) seen[part.adjncy[e]] = v;
    int32_t listed = 0;
    for (int64_t e = part.xadj[v]; e < part.xadj[v + 1] && listed < cap; ++e) {
      const int32_t u = part.adjncy[e];
      for (int64_t f = part.xadj[u]; f < part.xadj[u + 1] && listed < cap; ++f) {
        const int32_t w = part.adjncy[f];
        if (seen[w] == v) continue;
        seen[w] = v;
        ring.adjncy.push_back(w);
        ++listed;
      }
    }
    ring.xadj[v + 1] = static_cast<int64_t>(ring.adjncy.size());
  }
}

void sparse_stress(const Threads& threads, const Component& part, const SecondNeighbours& ring,
                   const Pivots& pivots, int32_t max_iterations, double tolerance,
                   std::vector<double>& xyz) {
  const int32_t n = part.n;
  std::vector<double> next(xyz.size());
  std::vector<double> moved(static_cast<size_t>(threads.count));
  const auto sweep_range = [&](int thread, int64_t v0, int64_t v1) {
    double most = moved[thread];
    for (int64_t v = v0; v < v1; ++v)
      most = std::max(most, place(part, ring, &pivots, xyz, static_cast<int32_t>(v), nullptr, 1.0,
                                  &next[v * 3]));
    moved[thread] = most;
  };
  for (int32_t sweep = 0; sweep < max_iterations; ++sweep) {
    std::fill(moved.begin(), moved.end(), 0.0);
    parallel_for(threads, 0, n, 1024, sweep_range);
    xyz.swap(next);
    if (*std::max_element(moved.begin(), moved.end()) < tolerance) break;
  }
}
