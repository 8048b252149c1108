// Random placement, barycentric smoothing and fitting to the drawing area.
#include <cmath>

#include "common/common.h"
#include "common/parallel.h"
#include "layout/layout.h"
#include "layout/layout_internal.h"

namespace {

/// Vertices per thread below which a pass is not worth splitting.
constexpr int64_t kMinChunk = 4096;

/// One smoothing step for one coordinate: halfway between the vertex and
/// the mean of its neighbours.
inline double smoothed(double sum, int32_t neighbours, double own) {
  return (sum / neighbours + own) * 0.5;
}

/// The fitted coordinate: the product is formed before the division.
inline double fitted(double p, double min, double extent, double range) {
  return ((p - min) * extent) / range;
}

}  // namespace

void random_placement(RunContext& run, int32_t nvtxs, double X, double Y, double Z,
                      Posn& posn) {
  for (int32_t v = 1; v <= nvtxs; ++v) {
    posn[1][v] = (rand15(run) / 32768.0) * X;
    posn[2][v] = (rand15(run) / 32768.0) * Y;
    posn[3][v] = (rand15(run) / 32768.0) * Z;
  }
}

void barycentralize_with(RunContext& run, const Graph& graph, int32_t nvtxs, double X, double Y, double Z,
                         int32_t passes, Posn& posn, std::vector<double>& work) {
  uint64_t started = clock_ns();
  if (passes > 0) work.resize(3 * (static_cast<size_t>(nvtxs) + 1));
  double* copy = work.data();  // x, y, z of vertex v at 3v, 3v+1, 3v+2
  double* px = posn[1].data();
  double* py = posn[2].data();
  double* pz = posn[3].data();
  const AdjacencyList* adj = graph.adj.data();
  for (int32_t pass = 0; pass < passes; ++pass) {
    parallel_for(run.threads, 1, int64_t{nvtxs} + 1, kMinChunk, [&](int, int64_t b, int64_t e) {
      for (int64_t v = b; v < e; ++v) {
        copy[3 * v] = px[v];
        copy[3 * v + 1] = py[v];
        copy[3 * v + 2] = pz[v];
      }
    });
    parallel_for(run.threads, 1, int64_t{nvtxs} + 1, kMinChunk, [&](int, int64_t b, int64_t e) {
      for (int64_t v = b; v < e; ++v) {
        const int32_t c = adj[v].count - 1;
        if (c <= 0) continue;  // no neighbours: the vertex keeps its place
        const int32_t* nbr = adj[v].entries + 1;
        double sx = 0, sy = 0, sz = 0;
        for (int32_t j = 0; j < c; ++j) {
          const double* q = copy + 3 * static_cast<int64_t>(nbr[j]);
          sx += q[0];
          sy += q[1];
          sz += q[2];
        }
        px[v] = smoothed(sx, c, copy[3 * v]);
        py[v] = smoothed(sy, c, copy[3 * v + 1]);
        pz[v] = smoothed(sz, c, copy[3 * v + 2]);
      }
    });
  }
  fit_to_drawing_area(run.threads, nvtxs, X, Y, Z, posn);
  run.phase_ns[kPhaseSmooth] += clock_ns() - started;
}

void barycentralize(RunContext& run, const Graph& graph, int32_t nvtxs, double X, double Y,
                    double Z, int32_t passes, Posn& posn) {
  std::vector<double> work;
  barycentralize_with(run, graph, nvtxs, X, Y, Z, passes, posn, work);
}

void fit_to_drawing_area(const Threads& threads, int32_t nvtxs, double X, double Y, double Z, Posn& posn) {
  const double extent[4] = {0, X, Y, Z};
  for (int a = 1; a <= 3; ++a) {
    double* p = posn[a].data();
    double lo = p[1], hi = p[1];
    for (int32_t v = 2; v <= nvtxs; ++v) {
      if (p[v] < lo) lo = p[v];
      if (p[v] > hi) hi = p[v];
    }
    const double range = hi - lo;
    const double e = extent[a];
    if (range == 0.0 || !std::isfinite(range)) {
      // Nothing to stretch (one vertex, or all agree): use the middle.
      parallel_for(threads, 1, int64_t{nvtxs} + 1, kMinChunk, [&](int, int64_t b, int64_t en) {
        for (int64_t v = b; v < en; ++v) p[v] = e * 0.5;
      });
      continue;
    }
    parallel_for(threads, 1, int64_t{nvtxs} + 1, kMinChunk, [&](int, int64_t b, int64_t en) {
      for (int64_t v = b; v < en; ++v) p[v] = fitted(p[v], lo, e, range);
    });
  }
}
