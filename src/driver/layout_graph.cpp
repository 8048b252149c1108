// layout_graph: the layout step shared by the tool and the library, and
// the table of layout methods. It starts the drawing area, picks the
// method by its name and hands the graph over to it.
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

/// The multilevel force-directed method of "-method frlayout".
void lay_out_frlayout(const RunSettings& s, RunContext& run, const Graph& graph, int32_t nvtxs,
                      int32_t nedges, Posn& posn, DrawingArea& area) {
  double k = 0;
  coarsen_multilevel(LayoutLevel{&graph, nvtxs, nedges, &area.X, &area.Y, &area.Z, &k,
                                 s.friterations, s.wellseparatedratio, s.frepsilon, &posn,
                                 kCoarsestThreshold, 0, &run});
}

/// The distance-faithful method of "-method quality": the area stays.
void lay_out_quality(const RunSettings&, RunContext& run, const Graph& graph, int32_t nvtxs,
                     int32_t, Posn& posn, DrawingArea& area) {
  quality_layout(run, graph, nvtxs, area.X, area.Y, area.Z, posn);
}

const MethodSpec kMethods[] = {
    {"frlayout", "multi-scale bary-centralized frlayout", lay_out_frlayout},
    {"quality", "pivot MDS, sparse stress majorization and spreading", lay_out_quality},
};

}  // namespace

const MethodSpec* find_method(const std::string& name) {
  for (const MethodSpec& method : kMethods)
    if (name == method.name) return &method;
  return nullptr;
}

std::string method_names() {
  std::string names;
  const size_t n = sizeof kMethods / sizeof kMethods[0];
  for (size_t i = 0; i < n; ++i) {
    if (i > 0) names += i + 1 == n ? " or " : ", ";
    names += kMethods[i].name;
  }
  return names;
}

bool layout_graph(const RunSettings& s, RunContext& run, const Graph& graph, int32_t nvtxs,
                  int32_t nedges, Posn& posn, LayoutOutcome& outcome, std::string& error) {
  const MethodSpec* method = find_method(s.method);
  if (method == nullptr) {
    error = "unknown layout method \"" + s.method + "\" (known: " + method_names() + ")";
    return false;
  }
  allocate_posn(posn, nvtxs);
  DrawingArea area{kInitialX, kInitialY, kInitialZ};
  const uint32_t start = clock_ms();
  method->lay_out(s, run, graph, nvtxs, nedges, posn, area);
  outcome.times = RunTimes{clock_ms() - start, run.coarsening_time, run.barycentralizing_time};
  outcome.extent[0] = area.X;
  outcome.extent[1] = area.Y;
  outcome.extent[2] = area.Z;
  outcome.levels = run.levels;
  return true;
}
