// The quality method's driver: component by component, pivots, classical
// scaling, sparse stress majorization and a spreading that evens out dense
// parts; then the components packed and the whole drawing fitted into the
// drawing area with one scale.
#include "quality/quality.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "quality/quality_internal.h"

namespace {

/// Pivots per component (fewer in smaller components); at most kMaxPivots.
constexpr int32_t kPivots = 64;
/// Second neighbours per vertex that get a stress term of their own.
constexpr int32_t kRing = 32;
/// Most sweeps of stress majorization before the spreading.
constexpr int32_t kMaxSweeps = 100;
/// Those sweeps end once no vertex moves farther than this (edges ~1 long).
constexpr double kSweepTolerance = 1e-3;
/// Size of the random offsets that part vertices drawn on one point.
constexpr double kJitter = 0.1;
/// Spreading sweeps, and the repulsion's first and last strength.
constexpr int32_t kSpreadSweeps = 50;
constexpr double kFirstSpread = 0.3;
constexpr double kLastSpread = 0.03;
/// Opening ratio of the spreading's octree walk.
constexpr double kSpreadRatio = 1.2;
/// Vertices whose neighbourhoods are checked in the stress drawing, and
/// the share of them kept below which neighbour embedding takes the
/// spreading's place.
constexpr int32_t kNeighbourhoodSamples = 256;
constexpr double kEmbedBelow = 0.3;

/// Components smaller than this are drawn on the calling thread alone:
/// waking the pool would cost more than the work.
constexpr int32_t kMinThreadedComponent = 4096;

/// Draws one component into xyz, in units of one hop: pivots, classical
/// scaling, stress majorization, then the spreading or neighbour
/// embedding.
void lay_out_component(RunContext& run, const Component& part, SecondNeighbours& ring,
                       Pivots& pivots, std::vector<double>& xyz) {
  xyz.assign(static_cast<size_t>(part.n) * 3, 0.0);
  if (part.n < 2) return;
  const int32_t high = rand15(run), low = rand15(run);
  const int32_t first = static_cast<int32_t>((int64_t{high} * 32768 + low) % part.n);
  const Threads alone;
  const Threads& threads = part.n >= kMinThreadedComponent ? run.threads : alone;
  choose_pivots(part, kPivots, first, pivots);
  pivot_mds(threads, part, pivots, xyz);
  // Vertices with the same distances to every pivot (leaves of one vertex)
  // start on one point, and sweeps never part points that agree in every
  // term: a small random offset each, drawn vertex by vertex, parts them.
  for (double& x : xyz) x += kJitter * (rand15(run) / 32768.0 - 0.5);
  second_neighbours(part, kRing, ring);
  sparse_stress(threads, part, ring, pivots, kMaxSweeps, kSweepTolerance, xyz);
  // Meshes and geometric graphs come out of stress majorization with many
  // neighbourhoods kept, and the spreading evens out their dense parts.
  // Where nearly all are lost (trees, small worlds: more vertices within a
  // few hops than three dimensions hold at those distances), neighbour
  // embedding sorts them out instead.
  if (sampled_neighbourhoods(threads, part, xyz, kNeighbourhoodSamples) < kEmbedBelow) {
    embed_neighbours(threads, part, ring, pivots, xyz);
    return;
  }
  // The spreading needs no distances; its octree takes their room.
  std::vector<int32_t>().swap(pivots.dist);
  spread_stress(threads, part, ring,
                Spread{kSpreadSweeps, kFirstSpread, kLastSpread, kSpreadRatio}, xyz);
}

/// Scales and shifts posn so that it fits [0,X]x[0,Y]x[0,Z] with one scale,
/// centred on every axis.
void fit_uniformly(int32_t nvtxs, const double* area, Posn& posn) {
  double lo[3], hi[3], scale = 0;
  for (int a = 0; a < 3; ++a) {
    lo[a] = hi[a] = posn[a + 1][1];
    for (int32_t v = 2; v <= nvtxs; ++v) {
      lo[a] = std::min(lo[a], posn[a + 1][v]);
      hi[a] = std::max(hi[a], posn[a + 1][v]);
    }
    if (hi[a] > lo[a]) {
      const double s = area[a] / (hi[a] - lo[a]);
      scale = scale == 0 ? s : std::min(scale, s);
    }
  }
  for (int a = 0; a < 3; ++a) {
    const double margin = 0.5 * (area[a] - (hi[a] - lo[a]) * scale);
    for (int32_t v = 1; v <= nvtxs; ++v) posn[a + 1][v] = (posn[a + 1][v] - lo[a]) * scale + margin;
  }
}

}  // namespace

void quality_layout(RunContext& run, const Graph& graph, int32_t nvtxs, double X, double Y,
                    double Z, Posn& posn) {
  allocate_posn(posn, nvtxs);
  if (nvtxs == 0) return;
  std::vector<int32_t> local, members, start;
  find_components(graph, nvtxs, local, members, start);
  const int32_t count = static_cast<int32_t>(start.size()) - 1;
  // Largest first, for packing; equal sizes in order of their first vertex.
  std::vector<int32_t> order(static_cast<size_t>(count));
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](int32_t a, int32_t b) {
    return start[a + 1] - start[a] > start[b + 1] - start[b];
  });

  Component part;
  Pivots pivots;
  SecondNeighbours ring;
  std::vector<double> xyz, extent(static_cast<size_t>(count) * 3), centre;
  for (int32_t rank = 0; rank < count; ++rank) {
    extract_component(graph, local, members, start, order[rank], part);
    lay_out_component(run, part, ring, pivots, xyz);
    double lo[3], hi[3];
    bounding_box(xyz, lo, hi);
    for (int a = 0; a < 3; ++a) {
      extent[static_cast<size_t>(rank) * 3 + a] = hi[a] - lo[a];
      const double middle = 0.5 * (lo[a] + hi[a]);
      for (int32_t v = 0; v < part.n; ++v)
        posn[a + 1][part.vertex[v]] = xyz[static_cast<size_t>(v) * 3 + a] - middle;
    }
  }
  pack_boxes(extent, centre);
  for (int32_t rank = 0; rank < count; ++rank)
    for (int32_t i = start[order[rank]]; i < start[order[rank] + 1]; ++i)
      for (int a = 0; a < 3; ++a) posn[a + 1][members[i]] += centre[static_cast<size_t>(rank) * 3 + a];
  const double area[3] = {X, Y, Z};
  fit_uniformly(nvtxs, area, posn);
}
