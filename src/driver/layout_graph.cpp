// layout_graph: the layout step shared by the tool and the library. It
// starts the drawing area, picks the layout method by its name and hands
// the graph over to it.
#include "coarsen/coarsen.h"
#include "common/common.h"
#include "driver/driver.h"
#include "quality/quality.h"

namespace {

/// Drawing area the layout starts from.
constexpr double kInitialX = 1000.0;
constexpr double kInitialY = 800.0;
constexpr double kInitialZ = 600.0;
/// Levels of at most this many vertices are laid out from random positions.
constexpr int32_t kCoarsestThreshold = 50;

/// The drawing area as a method receives it and leaves it.
struct Area {
  double X = kInitialX;
  double Y = kInitialY;
  double Z = kInitialZ;
};

/// The multilevel force-directed method of "-method frlayout".
void lay_out_frlayout(const RunSettings& s, RunContext& run, const Graph& graph, int32_t nvtxs,
                      int32_t nedges, Posn& posn, Area& area) {
  double k = 0;
  coarsen_multilevel(LayoutLevel{&graph, nvtxs, nedges, &area.X, &area.Y, &area.Z, &k,
                                 s.friterations, s.wellseparatedratio, s.frepsilon, &posn,
                                 kCoarsestThreshold, 0, &run});
}

/// The distance-faithful method of "-method quality": the area stays.
void lay_out_quality(const RunSettings&, RunContext& run, const Graph& graph, int32_t nvtxs,
                     int32_t, Posn& posn, Area& area) {
  quality_layout(run, graph, nvtxs, area.X, area.Y, area.Z, posn);
}

using LayoutMethod = void (*)(const RunSettings&, RunContext&, const Graph&, int32_t, int32_t,
                              Posn&, Area&);

struct MethodEntry {
  const char* name;  ///< as find_method knows it
  LayoutMethod lay_out;
};

const MethodEntry kMethodEntries[] = {
    {"frlayout", lay_out_frlayout},
    {"quality", lay_out_quality},
};

}  // namespace

bool layout_graph(const RunSettings& s, RunContext& run, const Graph& graph, int32_t nvtxs,
                  int32_t nedges, Posn& posn, LayoutOutcome& outcome, std::string& error) {
  LayoutMethod method = nullptr;
  if (find_method(s.method) != nullptr)
    for (const MethodEntry& entry : kMethodEntries)
      if (s.method == entry.name) method = entry.lay_out;
  if (method == nullptr) {
    error = "unknown layout method \"" + s.method + "\" (known: " + method_names() + ")";
    return false;
  }
  allocate_posn(posn, nvtxs);
  Area area;
  const uint32_t start = clock_ms();
  method(s, run, graph, nvtxs, nedges, posn, area);
  outcome.times = RunTimes{clock_ms() - start, run.coarsening_time, run.barycentralizing_time};
  outcome.extent[0] = area.X;
  outcome.extent[1] = area.Y;
  outcome.extent[2] = area.Z;
  outcome.levels = run.levels;
  return true;
}
