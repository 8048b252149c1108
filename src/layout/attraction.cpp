// The attraction along the edges: every edge pulls its two ends towards
// each other with d^2/k, summed either in one pass over the vertices or, on
// several threads, as numbered pulls added up per vertex in the one-pass
// order, so that both give the same bits.
#include <cmath>

#include "common/parallel.h"
#include "layout/layout_internal.h"

namespace {

/// Vertices per thread below which a pass is not worth splitting.
constexpr int64_t kMinChunk = 2048;

/// Calls fn(u, pull) for each edge from j to a higher-numbered neighbour
/// u, in the order of j's list; p holds the positions by axis.
template <typename Fn>
inline void for_each_pull(const Graph& graph, int64_t j, const double* const* p, double k,
                          double epsilon, Fn&& fn) {
  const AdjacencyList& list = graph.adj[j];
  for (int32_t e = 1; e < list.count; ++e) {
    const int32_t u = list.entries[e];
    if (u <= j) continue;
    double delta[4], pull[4];
    for (int a = 1; a <= 3; ++a) delta[a] = p[a][j] - p[a][u];
    edge_pull(delta, k, epsilon, pull);
    fn(u, pull);
  }
}

}  // namespace

void attraction_in_one_pass(const Graph& graph, int32_t nvtxs, double k, double epsilon,
                            const Posn& posn, Posn& disp) {
  const double* p[4] = {nullptr, posn[1].data(), posn[2].data(), posn[3].data()};
  double* q[4] = {nullptr, disp[1].data(), disp[2].data(), disp[3].data()};
  for (int32_t j = 1; j <= nvtxs; ++j) {
    for_each_pull(graph, j, p, k, epsilon, [&](int32_t u, const double* pull) {
      for (int a = 1; a <= 3; ++a) q[a][j] = q[a][j] - pull[a];
      for (int a = 1; a <= 3; ++a) q[a][u] = q[a][u] + pull[a];
    });
  }
}

bool number_edge_slots(const Graph& graph, int32_t nvtxs, EdgeSlots& slots) {
  const size_t n = static_cast<size_t>(nvtxs);
  slots.upper_start.assign(n + 2, 0);
  slots.lower_start.assign(n + 2, 0);
  int64_t total = 0;
  for (int32_t j = 1; j <= nvtxs; ++j) {
    slots.upper_start[j] = static_cast<int32_t>(total);
    const AdjacencyList& list = graph.adj[j];
    for (int32_t e = 1; e < list.count; ++e) {
      const int32_t u = list.entries[e];
      if (u <= j) continue;
      ++total;
      ++slots.lower_start[u + 1];
    }
    if (total > INT32_MAX) return false;
  }
  slots.upper_start[n + 1] = static_cast<int32_t>(total);
  for (size_t u = 1; u <= n; ++u) slots.lower_start[u + 1] += slots.lower_start[u];
  slots.lower_slot.resize(static_cast<size_t>(total));
  std::vector<int32_t> next(slots.lower_start.begin(), slots.lower_start.end());
  int32_t s = 0;
  for (int32_t j = 1; j <= nvtxs; ++j) {
    const AdjacencyList& list = graph.adj[j];
    for (int32_t e = 1; e < list.count; ++e) {
      const int32_t u = list.entries[e];
      if (u > j) slots.lower_slot[next[u]++] = s++;
    }
  }
  slots.term.resize(3 * static_cast<size_t>(total));
  return true;
}

void attraction_by_slots(const Threads& threads, const Graph& graph, int32_t nvtxs, double k,
                         double epsilon, const Posn& posn, Posn& disp, EdgeSlots& slots) {
  const double* p[4] = {nullptr, posn[1].data(), posn[2].data(), posn[3].data()};
  const int32_t* upper = slots.upper_start.data();
  const int32_t* lower = slots.lower_start.data();
  const int32_t* lower_slot = slots.lower_slot.data();
  double* term = slots.term.data();
  parallel_for(threads, 1, int64_t{nvtxs} + 1, kMinChunk, [&](int, int64_t b, int64_t e) {
    for (int64_t j = b; j < e; ++j) {
      double* out = term + 3 * static_cast<int64_t>(upper[j]);
      for_each_pull(graph, j, p, k, epsilon, [&](int32_t, const double* pull) {
        out[0] = pull[1];
        out[1] = pull[2];
        out[2] = pull[3];
        out += 3;
      });
    }
  });
  double* qx = disp[1].data();
  double* qy = disp[2].data();
  double* qz = disp[3].data();
  parallel_for(threads, 1, int64_t{nvtxs} + 1, kMinChunk, [&](int, int64_t b, int64_t e) {
    for (int64_t v = b; v < e; ++v) {
      double sx = qx[v], sy = qy[v], sz = qz[v];
      for (int32_t i = lower[v]; i < lower[v + 1]; ++i) {
        const double* t = term + 3 * static_cast<int64_t>(lower_slot[i]);
        sx = sx + t[0];
        sy = sy + t[1];
        sz = sz + t[2];
      }
      for (int32_t s = upper[v]; s < upper[v + 1]; ++s) {
        const double* t = term + 3 * static_cast<int64_t>(s);
        sx = sx - t[0];
        sy = sy - t[1];
        sz = sz - t[2];
      }
      qx[v] = sx;
      qy[v] = sy;
      qz[v] = sz;
    }
  });
}

