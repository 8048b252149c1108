// frlayout: force-directed iterations on one level. Each iteration
// optionally smooths, rebuilds the octree (nudging refused vertices towards
// the middle), takes repulsion from the tree and attraction along the
// edges, moves every vertex by at most the temperature, fits the positions
// to the box and cools.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "common/common.h"
#include "common/parallel.h"
#include "layout/layout.h"
#include "layout/layout_internal.h"
#include "octree/octree.h"

int64_t abandoned_insertions = 0;

namespace {
double g_last_ns_per_vertex_iteration = 0;
/// Levels from which the octree is built by octants on several threads.
/// Below, one vertex at a time is as fast on two threads, and the tree
/// (some 240 bytes a vertex) stays in a 32 MB cache, where the octant
/// build's depth-first layout buys the walk nothing.
int32_t g_min_octant_build = 1 << 17;
}  // namespace

double finest_ns_per_vertex_iteration() { return g_last_ns_per_vertex_iteration; }

int32_t set_octant_build_threshold(int32_t nvtxs) {
  const int32_t before = g_min_octant_build;
  g_min_octant_build = nvtxs;
  return before;
}

namespace {

/// Smoothing passes before the first iteration.
constexpr int32_t kInitialSmoothingPasses = 5;
/// Smoothing passes at the start of an iteration, when the count is a
/// multiple of 5.
constexpr int32_t kPeriodicSmoothingPasses = 2;
/// Factor applied to the repulsive force.
constexpr double kRepulsionScale = 0.01;
/// Vertices per thread below which a pass is not worth splitting.
constexpr int64_t kMinChunk = 2048;
/// The same for the repulsion pass, whose vertices each take microseconds:
/// small levels are split too.
constexpr int64_t kMinRepulsionChunk = 128;
/// Levels from which the attraction is split into edge pulls and sums on
/// several threads.
constexpr int32_t kMinSplitAttraction = 4096;
/// Longest run of iterations built one vertex at a time after a refusal
/// made the octant build give up.
constexpr int32_t kMaxOctantBuildPause = 64;

/// A level's edges arranged for the attraction on several threads. Each
/// edge is handled once, from its lower-numbered end, in a slot numbered in
/// the order of the one-pass loop: the slots of vertex j's edges to higher
/// vertices are [upper_start[j], upper_start[j+1]), and
/// lower_slot[lower_start[u] .. lower_start[u+1]) lists the slots of the
/// edges from lower vertices to u, in that same order.
struct EdgeSlots {
  bool numbered = false;  ///< tried already on this level; empty arrays if too many
  std::vector<int32_t> upper_start;
  std::vector<int32_t> lower_start;
  std::vector<int32_t> lower_slot;
  std::vector<double> term;  ///< the pull along each slot's edge: x, y, z
};

/// Everything one frlayout call owns, allocated once for all iterations.
struct Workspace {
  Posn disp;
  Octree tree;
  std::vector<int32_t> leaf_of;
  std::vector<NodeQueue> queues;  // one work list per thread
  std::vector<SharedQueue> shared_queues;  // one list of four walks per thread
  std::vector<double> smooth_copy;
  std::vector<int32_t> walk_order;  // vertices in the tree's leaf order
  std::vector<int32_t> stack;       // nodes still to visit while ordering
  OctreeBuildScratch build;
  int32_t build_pause = 0;      // iterations left to build one vertex at a time
  int32_t build_backoff = 1;    // the pause after the next refusal
  EdgeSlots slots;
};

/// Lists the vertices in the depth-first order of their leaves (octant 0
/// first), then those left out of the tree. Walks of consecutive vertices
/// then share most of their nodes in the cache; each force is computed on
/// its own, so the order changes no result.
void order_by_leaves(int32_t nvtxs, Workspace& ws) {
  ws.walk_order.clear();
  octree_leaf_order(ws.tree, ws.walk_order, ws.stack);
  for (int32_t v = 1; v <= nvtxs; ++v)
    if (ws.leaf_of[v] == 0) ws.walk_order.push_back(v);
  if (ws.walk_order.size() != static_cast<size_t>(nvtxs)) {  // never expected
    ws.walk_order.resize(static_cast<size_t>(nvtxs));
    for (int32_t v = 1; v <= nvtxs; ++v) ws.walk_order[v - 1] = v;
  }
}

void timed_smoothing(const Graph& graph, int32_t nvtxs, double X, double Y, double Z,
                     int32_t passes, Posn& posn, Workspace& ws) {
  uint32_t t0 = clock_ms();
  barycentralize_with(graph, nvtxs, X, Y, Z, passes, posn, ws.smooth_copy);
  barycentralizing_time += clock_ms() - t0;
}

/// Moves a refused vertex at least 2 and less than 3 epsilon towards the
/// middle of each axis (from the exact middle, downwards), and at least
/// four units in the last place of its coordinate, which a tiny epsilon on
/// a large drawing area would not.
inline double nudged(double c, double extent, double epsilon) {
  double r = rand15();
  const double least = 4 * (std::nextafter(std::fabs(c), INFINITY) - std::fabs(c));
  const double step = std::max(epsilon * (r / 32768 + 2), least);
  if (extent - c > c) return c + step;
  return c - step;
}

void build_octree(int32_t nvtxs, double X, double Y, double Z, double epsilon, Posn& posn,
                  Workspace& ws) {
  uint64_t started = clock_ns();
  // Refusals nudge vertices and draw random numbers in vertex order, which
  // only the one-at-a-time build keeps: when the octant build meets one it
  // gives up, and is not tried again for a while, longer after each time.
  if (thread_count() > 1 && nvtxs >= g_min_octant_build) {
    if (ws.build_pause > 0) {
      --ws.build_pause;
    } else if (octree_build(ws.tree, nvtxs, posn[1].data(), posn[2].data(), posn[3].data(),
                            ws.leaf_of, epsilon, ws.build)) {
      ws.build_backoff = 1;
      phase_ns[kPhaseBuild] += clock_ns() - started;
      return;
    } else {
      ws.build_pause = ws.build_backoff;
      ws.build_backoff = std::min(2 * ws.build_backoff, kMaxOctantBuildPause);
    }
  }
  octree_clear(ws.tree);
  const double extent[4] = {0, X, Y, Z};
  for (int32_t v = 1; v <= nvtxs; ++v) {
    int attempts = 1;
    while (!octree_insert(ws.tree, v, posn[1][v], posn[2][v], posn[3][v], ws.leaf_of,
                          epsilon)) {
      std::printf("fail, change from ....");
      std::printf("v = %d, posn[1][v] = %f, \t posn[2][v] = %f, \t posn[3][v] = %f \n", v,
                  posn[1][v], posn[2][v], posn[3][v]);
      for (int a = 1; a <= 3; ++a) posn[a][v] = nudged(posn[a][v], extent[a], epsilon);
      if (++attempts > kMaxInsertAttempts) {
        // Give up on this vertex for this iteration: it stays where the
        // nudges put it and takes no part in the repulsion.
        ws.leaf_of[v] = 0;
        ++abandoned_insertions;
        break;
      }
    }
  }
  phase_ns[kPhaseBuild] += clock_ns() - started;
}

void repulsion(int32_t nvtxs, double k, double ratio, const Posn& posn, Workspace& ws) {
  uint64_t started = clock_ns();
  const double* px = posn[1].data();
  const double* py = posn[2].data();
  const double* pz = posn[3].data();
  double* dx = ws.disp[1].data();
  double* dy = ws.disp[2].data();
  double* dz = ws.disp[3].data();
  order_by_leaves(nvtxs, ws);
  const int32_t* order = ws.walk_order.data();
  parallel_for(0, int64_t{nvtxs}, kMinRepulsionChunk, [&](int thread, int64_t b, int64_t e) {
    NodeQueue& queue = ws.queues[thread];
    SharedQueue& shared = ws.shared_queues[thread];
    int64_t i = b;
    // Four vertices at a time, neighbours in the leaf order, whose walks
    // share most of their nodes; then the last few one at a time.
    for (; i + 4 <= e; i += 4) {
      double f[4][3];
      repulsive_force4(ws.tree, order + i, px, py, pz, k, ws.leaf_of, queue, shared, ratio, f);
      for (int l = 0; l < 4; ++l) {
        const int32_t v = order[i + l];
        dx[v] = f[l][0] * kRepulsionScale;
        dy[v] = f[l][1] * kRepulsionScale;
        dz[v] = f[l][2] * kRepulsionScale;
      }
    }
    for (; i < e; ++i) {
      const int32_t v = order[i];
      double fx = 0, fy = 0, fz = 0;
      repulsive_force(ws.tree, v, px[v], py[v], pz[v], k, ws.leaf_of, queue, fx, fy, fz, ratio);
      dx[v] = fx * kRepulsionScale;
      dy[v] = fy * kRepulsionScale;
      dz[v] = fz * kRepulsionScale;
    }
  });
  phase_ns[kPhaseRepulse] += clock_ns() - started;
}

/// The pull along one edge, from the delta from its higher to its lower
/// end: (delta / d) * d^2/k on each axis, d at least epsilon.
inline void edge_pull(const double* delta, double k, double epsilon, double* pull) {
  double d = std::sqrt((delta[3] * delta[3] + delta[2] * delta[2]) + delta[1] * delta[1]);
  if (epsilon > d) d = epsilon;
  const double f = d * d / k;
  for (int a = 1; a <= 3; ++a) pull[a] = (delta[a] / d) * f;
}

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

/// Pulls the two ends of every edge towards each other with d^2/k, each
/// edge handled once from its lower-numbered end: vertex j subtracts the
/// pull, its neighbour u > j adds it, edge by edge in the order of j and
/// of j's list.
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

/// Numbers the slots of a level's edges; false when they are too many for
/// 32-bit slot numbers.
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

/// The same sums on several threads: first every edge's pull into its
/// slot, then each vertex's additions of the pulls from lower neighbours,
/// in the order of those neighbours, and subtractions of its own, in the
/// order of its list. That is the order in which the one-pass loop adds
/// them, so every bit agrees.
void attraction_by_slots(const Graph& graph, int32_t nvtxs, double k, double epsilon,
                         const Posn& posn, Posn& disp, EdgeSlots& slots) {
  const double* p[4] = {nullptr, posn[1].data(), posn[2].data(), posn[3].data()};
  const int32_t* upper = slots.upper_start.data();
  const int32_t* lower = slots.lower_start.data();
  const int32_t* lower_slot = slots.lower_slot.data();
  double* term = slots.term.data();
  parallel_for(1, int64_t{nvtxs} + 1, kMinChunk, [&](int, int64_t b, int64_t e) {
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
  parallel_for(1, int64_t{nvtxs} + 1, kMinChunk, [&](int, int64_t b, int64_t e) {
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

void attraction(const Graph& graph, int32_t nvtxs, double k, double epsilon, const Posn& posn,
                Posn& disp, Workspace& ws) {
  uint64_t started = clock_ns();
  if (thread_count() > 1 && nvtxs >= kMinSplitAttraction && !ws.slots.numbered) {
    ws.slots.numbered = true;
    if (!number_edge_slots(graph, nvtxs, ws.slots)) {  // release what was built
      ws.slots = EdgeSlots{};
      ws.slots.numbered = true;
    }
  }
  if (!ws.slots.upper_start.empty())
    attraction_by_slots(graph, nvtxs, k, epsilon, posn, disp, ws.slots);
  else
    attraction_in_one_pass(graph, nvtxs, k, epsilon, posn, disp);
  phase_ns[kPhaseAttract] += clock_ns() - started;
}

/// Moves every vertex along its displacement by at most t.
void move(int32_t nvtxs, double t, double epsilon, Posn& posn, const Posn& disp) {
  uint64_t started = clock_ns();
  double* p[4] = {nullptr, posn[1].data(), posn[2].data(), posn[3].data()};
  const double* q[4] = {nullptr, disp[1].data(), disp[2].data(), disp[3].data()};
  parallel_for(1, int64_t{nvtxs} + 1, kMinChunk, [&](int, int64_t b, int64_t e) {
    for (int64_t v = b; v < e; ++v) {
      double L = std::sqrt((q[3][v] * q[3][v] + q[2][v] * q[2][v]) + q[1][v] * q[1][v]);
      if (epsilon > L) L = epsilon;
      const double s = L < t ? L : t;
      for (int a = 1; a <= 3; ++a) p[a][v] = p[a][v] + (q[a][v] / L) * s;
    }
  });
  phase_ns[kPhaseMove] += clock_ns() - started;
}

}  // namespace

void frlayout(const Graph& graph, int32_t nvtxs, double X, double Y, double Z, double k,
              int32_t n, double ratio, double epsilon, Posn& posn, bool keep_positions) {
  double t = 0.1 * Y;
  if (!keep_positions) random_placement(nvtxs, X, Y, Z, posn);
  Workspace ws;
  timed_smoothing(graph, nvtxs, X, Y, Z, kInitialSmoothingPasses, posn, ws);

  allocate_posn(ws.disp, nvtxs);
  ws.leaf_of.assign(static_cast<size_t>(nvtxs) + 1, 0);
  ws.walk_order.reserve(static_cast<size_t>(nvtxs));
  octree_create(ws.tree, 0, X, 0, Y, 0, Z);
  ws.queues.resize(static_cast<size_t>(thread_count()));
  for (NodeQueue& queue : ws.queues) node_queue_init(queue, nvtxs);
  ws.shared_queues.resize(static_cast<size_t>(thread_count()));
  for (SharedQueue& queue : ws.shared_queues) shared_queue_init(queue, nvtxs);

  if (n > 0) {
    const uint64_t started = clock_ns();
    const bool periodic_smoothing = n % 5 == 0;
    for (int32_t i = 0; i < n; ++i) {
      if (on_iteration) on_iteration(i, n);
      if (periodic_smoothing)
        timed_smoothing(graph, nvtxs, X, Y, Z, kPeriodicSmoothingPasses, posn, ws);
      build_octree(nvtxs, X, Y, Z, epsilon, posn, ws);
      repulsion(nvtxs, k, ratio, posn, ws);
      attraction(graph, nvtxs, k, epsilon, posn, ws.disp, ws);
      move(nvtxs, t, epsilon, posn, ws.disp);
      const uint64_t fit_started = clock_ns();
      fit_to_drawing_area(nvtxs, X, Y, Z, posn);
      phase_ns[kPhaseMove] += clock_ns() - fit_started;
      t = k * (1 - static_cast<double>(i) / n);
    }
    g_last_ns_per_vertex_iteration =
        static_cast<double>(clock_ns() - started) / (static_cast<double>(nvtxs) * n);
  }
  octree_free(ws.tree);
}
