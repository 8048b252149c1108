// Pivots and classical scaling: breadth-first distances from a few pivots
// chosen far apart (each the vertex farthest from those before), then the
// pivot approximation of classical multidimensional scaling, which turns
// those distances into a first drawing in one pass over the vertices.
#include <algorithm>
#include <climits>
#include <cmath>

#include "quality/quality_internal.h"

namespace {

/// Sweeps of the subspace iteration for the three leading eigenvectors.
constexpr int kEigenSweeps = 200;

/// The doubly centred squared distances of vertex v to the pivots.
void centred_row(const Pivots& pivots, const std::vector<double>& column_mean, double grand_mean,
                 int32_t v, double* row) {
  const int32_t k = pivots.count;
  const int32_t* d = &pivots.dist[static_cast<size_t>(v) * k];
  double row_mean = 0;
  for (int32_t i = 0; i < k; ++i) row_mean += double(d[i]) * d[i];
  row_mean /= k;
  for (int32_t i = 0; i < k; ++i)
    row[i] = -0.5 * (double(d[i]) * d[i] - row_mean - column_mean[i] + grand_mean);
}

/// The three leading eigenvectors of the symmetric k x k matrix b, as
/// columns of q (q[i * 3 + a]), by orthogonal iteration from a fixed start.
void leading_eigenvectors(const std::vector<double>& b, int32_t k, std::vector<double>& q) {
  q.assign(static_cast<size_t>(k) * 3, 0.0);
  for (int32_t i = 0; i < k; ++i)
    for (int a = 0; a < 3; ++a) q[i * 3 + a] = 1.0 + ((i * 7 + a * 5) % 11) * 0.1 * (a + 1);
  std::vector<double> z(q.size());
  for (int sweep = 0; sweep < kEigenSweeps; ++sweep) {
    for (int32_t i = 0; i < k; ++i)
      for (int a = 0; a < 3; ++a) {
        double s = 0;
        for (int32_t j = 0; j < k; ++j) s += b[static_cast<size_t>(i) * k + j] * q[j * 3 + a];
        z[i * 3 + a] = s;
      }
    // Gram-Schmidt; a column that vanishes (rank below 3) stays zero.
    for (int a = 0; a < 3; ++a) {
      for (int c = 0; c < a; ++c) {
        double dot = 0;
        for (int32_t i = 0; i < k; ++i) dot += z[i * 3 + a] * z[i * 3 + c];
        for (int32_t i = 0; i < k; ++i) z[i * 3 + a] -= dot * z[i * 3 + c];
      }
      double norm = 0;
      for (int32_t i = 0; i < k; ++i) norm += z[i * 3 + a] * z[i * 3 + a];
      norm = std::sqrt(norm);
      for (int32_t i = 0; i < k; ++i) z[i * 3 + a] = norm > 1e-150 ? z[i * 3 + a] / norm : 0.0;
    }
    q.swap(z);
  }
}

}  // namespace

void bfs(const Component& part, int32_t source, std::vector<int32_t>& dist,
         std::vector<int32_t>& queue) {
  dist.assign(static_cast<size_t>(part.n), -1);
  queue.resize(static_cast<size_t>(part.n));
  size_t head = 0, tail = 0;
  dist[source] = 0;
  queue[tail++] = source;
  while (head < tail) {
    const int32_t v = queue[head++];
    for (int64_t e = part.xadj[v]; e < part.xadj[v + 1]; ++e) {
      const int32_t u = part.adjncy[e];
      if (dist[u] < 0) {
        dist[u] = dist[v] + 1;
        queue[tail++] = u;
      }
    }
  }
}

void choose_pivots(const Component& part, int32_t wanted, int32_t first, Pivots& pivots) {
  const int32_t n = part.n;
  const int32_t k = std::min({wanted, n, kMaxPivots});
  pivots.count = k;
  pivots.vertex.assign(static_cast<size_t>(k), 0);
  pivots.dist.assign(static_cast<size_t>(n) * k, 0);
  std::vector<int32_t> row, queue, nearest(static_cast<size_t>(n), 0);
  std::vector<int32_t> nearest_d(static_cast<size_t>(n), INT_MAX);
  int32_t next = first;
  for (int32_t i = 0; i < k; ++i) {
    pivots.vertex[i] = next;
    bfs(part, next, row, queue);
    int32_t farthest = 0;
    for (int32_t v = 0; v < n; ++v) {
      pivots.dist[static_cast<size_t>(v) * k + i] = row[v];
      if (row[v] < nearest_d[v]) {
        nearest_d[v] = row[v];
        nearest[v] = i;
      }
      if (nearest_d[v] > nearest_d[farthest]) farthest = v;
    }
    next = farthest;
  }
  // How many of each pivot's vertices lie within h hops of it, h = 0, 1, ...
  std::vector<int32_t> reach(static_cast<size_t>(k), 0);
  for (int32_t v = 0; v < n; ++v) reach[nearest[v]] = std::max(reach[nearest[v]], nearest_d[v]);
  pivots.first.assign(static_cast<size_t>(k) + 1, 0);
  for (int32_t i = 0; i < k; ++i) pivots.first[i + 1] = pivots.first[i] + reach[i] + 1;
  pivots.closer.assign(static_cast<size_t>(pivots.first[k]), 0);
  for (int32_t v = 0; v < n; ++v) ++pivots.closer[pivots.first[nearest[v]] + nearest_d[v]];
  for (int32_t i = 0; i < k; ++i)
    for (int64_t h = pivots.first[i] + 1; h < pivots.first[i + 1]; ++h)
      pivots.closer[h] += pivots.closer[h - 1];
}

void pivot_mds(const Threads& threads, const Component& part, const Pivots& pivots,
               std::vector<double>& xyz) {
  const int32_t n = part.n, k = pivots.count;
  xyz.assign(static_cast<size_t>(n) * 3, 0.0);
  if (k < 2) return;
  std::vector<double> column_mean = block_sums(threads, n, k, [&](int32_t v, double* sum) {
    const int32_t* d = &pivots.dist[static_cast<size_t>(v) * k];
    for (int32_t i = 0; i < k; ++i) sum[i] += double(d[i]) * d[i];
  });
  double grand_mean = 0;
  for (int32_t i = 0; i < k; ++i) grand_mean += column_mean[i] /= n;
  grand_mean /= k;

  // b = C'C over the centred rows C of all vertices.
  const size_t kk = static_cast<size_t>(k) * k;
  std::vector<double> b = block_sums(threads, n, kk, [&](int32_t v, double* sum) {
    double row[kMaxPivots];
    centred_row(pivots, column_mean, grand_mean, v, row);
    for (int32_t i = 0; i < k; ++i)
      for (int32_t j = 0; j < k; ++j) sum[static_cast<size_t>(i) * k + j] += row[i] * row[j];
  });
  std::vector<double> q;
  leading_eigenvectors(b, k, q);
  parallel_for(threads, 0, n, 4096, [&](int, int64_t v0, int64_t v1) {
    double row[kMaxPivots];
    for (int64_t v = v0; v < v1; ++v) {
      centred_row(pivots, column_mean, grand_mean, static_cast<int32_t>(v), row);
      for (int a = 0; a < 3; ++a) {
        double s = 0;
        for (int32_t i = 0; i < k; ++i) s += row[i] * q[i * 3 + a];
        xyz[v * 3 + a] = s;
      }
    }
  });

  // One scale for all axes: the least squares fit, relative to each
  // distance, of the drawn distances to the pivots to their hop counts.
  std::vector<double> fit = block_sums(threads, n, 2, [&](int32_t v, double* sum) {
    for (int32_t i = 0; i < k; ++i) {
      const int32_t d = pivots.dist[static_cast<size_t>(v) * k + i];
      if (d <= 0) continue;
      const int32_t p = pivots.vertex[i];
      double x2 = 0;
      for (int a = 0; a < 3; ++a) {
        const double t = xyz[v * 3 + a] - xyz[p * 3 + a];
        x2 += t * t;
      }
      sum[0] += std::sqrt(x2) / d;
      sum[1] += x2 / (double(d) * d);
    }
  });
  if (fit[1] > 0)
    for (double& x : xyz) x *= fit[0] / fit[1];
}
