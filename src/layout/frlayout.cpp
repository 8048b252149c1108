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

namespace {

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
  std::vector<double> exchange;  // the repulsion by leaf order, shared between processes
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

void timed_smoothing(RunContext& run, const Graph& graph, int32_t nvtxs, double X, double Y,
                     double Z, int32_t passes, Posn& posn, Workspace& ws) {
  uint32_t t0 = clock_ms();
  barycentralize_with(run, graph, nvtxs, X, Y, Z, passes, posn, ws.smooth_copy);
  run.barycentralizing_time += clock_ms() - t0;
}

void build_octree(RunContext& run, int32_t nvtxs, double X, double Y, double Z, double epsilon,
                  Posn& posn, Workspace& ws) {
  uint64_t started = clock_ns();
  // Refusals nudge vertices and draw random numbers in vertex order, which
  // only the one-at-a-time build keeps: when the octant build meets one it
  // gives up, and is not tried again for a while, longer after each time.
  if (run.threads.count > 1 && nvtxs >= run.min_octant_build) {
    if (ws.build_pause > 0) {
      --ws.build_pause;
    } else if (octree_build(ws.tree, nvtxs, posn[1].data(), posn[2].data(), posn[3].data(),
                            ws.leaf_of, epsilon, ws.build, run.threads)) {
      ws.build_backoff = 1;
      run.phase_ns[kPhaseBuild] += clock_ns() - started;
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
      if (run.console != nullptr)
        std::fprintf(run.console,
                     "fail, change from ....v = %d, posn[1][v] = %f, \t posn[2][v] = %f, \t "
                     "posn[3][v] = %f \n",
                     v, posn[1][v], posn[2][v], posn[3][v]);
      for (int a = 1; a <= 3; ++a) posn[a][v] = nudged(run, posn[a][v], extent[a], epsilon);
      if (++attempts > kMaxInsertAttempts) {
        // Give up on this vertex for this iteration: it stays where the
        // nudges put it and takes no part in the repulsion.
        ws.leaf_of[v] = 0;
        ++run.abandoned_insertions;
        break;
      }
    }
  }
  run.phase_ns[kPhaseBuild] += clock_ns() - started;
}

/// Gives every process the displacements that the others' stretches of
/// the leaf order hold, the repulsion of vertex order[i] in slot i.
void share_repulsion(RunContext& run, int32_t nvtxs, int64_t mine_first, int64_t mine_end,
                     Workspace& ws) {
  const int32_t* order = ws.walk_order.data();
  double* d[4] = {nullptr, ws.disp[1].data(), ws.disp[2].data(), ws.disp[3].data()};
  ws.exchange.resize(3 * static_cast<size_t>(nvtxs));
  double* slots = ws.exchange.data();
  for (int64_t i = mine_first; i < mine_end; ++i)
    for (int a = 1; a <= 3; ++a) slots[3 * i + a - 1] = d[a][order[i]];
  share_blocks(run.processes, slots, nvtxs, 3);
  for (int64_t i = 0; i < nvtxs; ++i)
    for (int a = 1; a <= 3; ++a) d[a][order[i]] = slots[3 * i + a - 1];
}

void repulsion(RunContext& run, int32_t nvtxs, double k, double ratio, const Posn& posn,
               Workspace& ws) {
  uint64_t started = clock_ns();
  const double* px = posn[1].data();
  const double* py = posn[2].data();
  const double* pz = posn[3].data();
  double* dx = ws.disp[1].data();
  double* dy = ws.disp[2].data();
  double* dz = ws.disp[3].data();
  order_by_leaves(nvtxs, ws);
  const int32_t* order = ws.walk_order.data();
  // Each process walks its own stretch of the leaf order (all of it when
  // alone); the stretches are shared afterwards.
  int64_t mine_first = 0, mine_end = nvtxs;
  process_block(nvtxs, run.processes.rank, run.processes.count, mine_first, mine_end);
  parallel_for(run.threads, mine_first, mine_end, kMinRepulsionChunk,
               [&](int thread, int64_t b, int64_t e) {
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
  if (run.processes.count > 1) share_repulsion(run, nvtxs, mine_first, mine_end, ws);
  run.phase_ns[kPhaseRepulse] += clock_ns() - started;
}

void attraction(RunContext& run, const Graph& graph, int32_t nvtxs, double k, double epsilon,
                const Posn& posn, Posn& disp, Workspace& ws) {
  uint64_t started = clock_ns();
  if (run.threads.count > 1 && nvtxs >= kMinSplitAttraction && !ws.slots.numbered) {
    ws.slots.numbered = true;
    if (!number_edge_slots(graph, nvtxs, ws.slots)) {  // release what was built
      ws.slots = EdgeSlots{};
      ws.slots.numbered = true;
    }
  }
  if (!ws.slots.upper_start.empty())
    attraction_by_slots(run.threads, graph, nvtxs, k, epsilon, posn, disp, ws.slots);
  else
    attraction_in_one_pass(graph, nvtxs, k, epsilon, posn, disp);
  run.phase_ns[kPhaseAttract] += clock_ns() - started;
}

/// Moves every vertex along its displacement by at most t.
void move(RunContext& run, int32_t nvtxs, double t, double epsilon, Posn& posn,
          const Posn& disp) {
  uint64_t started = clock_ns();
  double* p[4] = {nullptr, posn[1].data(), posn[2].data(), posn[3].data()};
  const double* q[4] = {nullptr, disp[1].data(), disp[2].data(), disp[3].data()};
  parallel_for(run.threads, 1, int64_t{nvtxs} + 1, kMinChunk, [&](int, int64_t b, int64_t e) {
    for (int64_t v = b; v < e; ++v) {
      const double d[4] = {0, q[1][v], q[2][v], q[3][v]};
      double step[4];
      move_step(d, t, epsilon, step);
      for (int a = 1; a <= 3; ++a) p[a][v] = p[a][v] + step[a];
    }
  });
  run.phase_ns[kPhaseMove] += clock_ns() - started;
}

}  // namespace

void frlayout(RunContext& run, const Graph& graph, int32_t nvtxs, double X, double Y, double Z,
              double k, int32_t n, double ratio, double epsilon, Posn& posn,
              bool keep_positions) {
  if (!keep_positions) random_placement(run, nvtxs, X, Y, Z, posn);
  Workspace ws;
  timed_smoothing(run, graph, nvtxs, X, Y, Z, kInitialSmoothingPasses, posn, ws);

  allocate_posn(ws.disp, nvtxs);
  ws.leaf_of.assign(static_cast<size_t>(nvtxs) + 1, 0);
  ws.walk_order.reserve(static_cast<size_t>(nvtxs));
  octree_create(ws.tree, 0, X, 0, Y, 0, Z);
  ws.tree.vector_walk = run.vector_walk;
  ws.queues.resize(static_cast<size_t>(run.threads.count));
  for (NodeQueue& queue : ws.queues) node_queue_init(queue, nvtxs);
  ws.shared_queues.resize(static_cast<size_t>(run.threads.count));
  for (SharedQueue& queue : ws.shared_queues) shared_queue_init(queue, nvtxs);

  if (n > 0) {
    const uint64_t started = clock_ns();
    const int32_t smoothing = periodic_smoothing_passes(n);
    for (int32_t i = 0; i < n; ++i) {
      if (run.progress.iteration) run.progress.iteration(run.progress.user, i, n);
      if (smoothing > 0) timed_smoothing(run, graph, nvtxs, X, Y, Z, smoothing, posn, ws);
      build_octree(run, nvtxs, X, Y, Z, epsilon, posn, ws);
      repulsion(run, nvtxs, k, ratio, posn, ws);
      attraction(run, graph, nvtxs, k, epsilon, posn, ws.disp, ws);
      move(run, nvtxs, temperature(i, n, k, Y), epsilon, posn, ws.disp);
      const uint64_t fit_started = clock_ns();
      fit_to_drawing_area(run.threads, nvtxs, X, Y, Z, posn);
      run.phase_ns[kPhaseMove] += clock_ns() - fit_started;
    }
    run.finest_ns_per_vertex_iteration =
        static_cast<double>(clock_ns() - started) / (static_cast<double>(nvtxs) * n);
  }
  octree_free(ws.tree);
}
