// The multilevel driver: coarsen down to a small level, lay it out from
// random positions, then on the way back up enlarge the drawing area,
// prolong the positions and refine every level.
#include <cmath>
#include <cstdio>

#include "coarsen/coarsen.h"
#include "common/common.h"
#include "layout/layout.h"

namespace {

/// Iterations of the coarsest level, whatever "-friterations" says.
constexpr int32_t kCoarsestIterations = 100;
/// The exponent of the ideal distance, as a plain double.
constexpr double kOneThird = 0.3333333333333333;

void dump_level(const LayoutLevel& level) {
  if constexpr (level_dump) {
    char name[64];
    std::snprintf(name, sizeof name, "coarsegraph_%d.3dlayout", level.step);
    FILE* f = std::fopen(name, "w");
    if (f == nullptr) return;  // a dump that cannot be written is skipped
    std::fflush(f);
    OutFile out;
    out.fd = ::fileno(f);
    write_layout(out, *level.graph, level.nvtxs, level.nedges, *level.posn, 3);
    out_flush(out);
    std::fclose(f);
  }
}

/// Tells the run's observer that a level's iterations start.
void level_started(const LayoutLevel& level, int32_t iterations) {
  const ProgressHooks& hooks = level.run->progress;
  if (hooks.level_start) hooks.level_start(hooks.user, level.step, level.nvtxs, iterations);
}

void layout_coarsest(const LayoutLevel& level) {
  level.run->levels = level.step + 1;
  *level.k = coarsest_k(*level.X, *level.Y, *level.Z, level.nvtxs);
  level_started(level, kCoarsestIterations);
  frlayout(*level.run, *level.graph, level.nvtxs, *level.X, *level.Y, *level.Z, *level.k,
           kCoarsestIterations, level.wellseparatedratio, level.frepsilon, *level.posn, false);
  if (console_report && level.run->console != nullptr)
    std::fprintf(level.run->console,
                 "Leaving coarsest frlayout, step=%d, drawing area <%6.5f,%6.5f,%6.5f>\n",
                 level.step, *level.X, *level.Y, *level.Z);
  dump_level(level);
}

}  // namespace

double coarsest_k(double X, double Y, double Z, int32_t nvtxs) {
  return std::pow(((X * Y) * Z) / nvtxs, kOneThird);
}

double refined_k(double X, double Y, double Z, int32_t nvtxs) {
  return std::pow(((Z * X) * Y) / nvtxs, kOneThird);
}

void prolong_positions(RunContext& run, Posn& fine, const Posn& coarse, int32_t axes,
                       int32_t nvtxs, double k, const std::vector<int32_t>& coarse_of) {
  for (int32_t a = 1; a <= axes; ++a) {
    for (int32_t v = 1; v <= nvtxs; ++v) {
      const double u = rand15(run);
      const double s = (v % 2 == 1) ? 1.0 : -1.0;
      fine[a][v] = ((s * (u / 32768)) * k) + coarse[a][coarse_of[v]];
    }
  }
}

void coarsen_multilevel(LayoutLevel level) {
  RunContext& run = *level.run;
  if (console_report && run.console != nullptr)
    std::fprintf(run.console, "<Entering coarsen multi-level, step=%d, nvtxs=%d, nedges=%d>\n",
                 level.step, level.nvtxs, level.nedges);
  if (level.nvtxs <= level.coarsest_threshold) {
    layout_coarsest(level);
    return;
  }
  GraphHandle cgraph;
  int32_t cnvtxs = 0, cnedges = 0;
  std::vector<int32_t> coarse_of;
  uint32_t t0 = clock_ms();
  uint64_t started = clock_ns();
  coarsen_graph(run, *level.graph, level.nvtxs, level.nedges, cgraph, cnvtxs, cnedges,
                coarse_of);
  run.coarsening_time += clock_ms() - t0;
  run.phase_ns[kPhaseCoarsen] += clock_ns() - started;

  // A step that removes fewer than a tenth of the vertices even after
  // pair_leftovers would make the recursion deep or endless: stop here.
  if (int64_t{level.nvtxs - cnvtxs} * kMinShrinkDivisor < level.nvtxs) {
    free_graph(cgraph);
    std::vector<int32_t>().swap(coarse_of);
    layout_coarsest(level);
    return;
  }

  Posn cposn;
  allocate_posn(cposn, cnvtxs);
  LayoutLevel coarse = level;
  coarse.graph = cgraph.get();
  coarse.nvtxs = cnvtxs;
  coarse.nedges = cnedges;
  coarse.posn = &cposn;
  coarse.step = level.step + 1;
  coarsen_multilevel(coarse);

  const double r = static_cast<double>(level.nvtxs) / cnvtxs;
  *level.X = r * *level.X;
  *level.Y = r * *level.Y;
  *level.Z = r * *level.Z;
  *level.k = refined_k(*level.X, *level.Y, *level.Z, level.nvtxs);
  prolong_positions(run, *level.posn, cposn, 3, level.nvtxs, *level.k, coarse_of);
  std::vector<int32_t>().swap(coarse_of);
  level_started(level, level.friterations);
  frlayout(run, *level.graph, level.nvtxs, *level.X, *level.Y, *level.Z, *level.k,
           level.friterations, level.wellseparatedratio, level.frepsilon, *level.posn, true);
  if (console_report && run.console != nullptr)
    std::fprintf(run.console,
                 "Leaving coarsen frlayout, step=%d, drawing area <%6.5f,%6.5f,%6.5f>\n",
                 level.step, *level.X, *level.Y, *level.Z);
  dump_level(level);
}
